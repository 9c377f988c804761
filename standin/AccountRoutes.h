#pragma once
// The stand-in's account calls, on the legacy web base, kept in its state's accounts:
//   GET "/quorb.signup?email&username&password&deviceid&quorbid&tos"
//   GET "/quorb.login?username&password&deviceid&quorbid[&tos]"
//       {"user": {...}, "auth": {"token": t, "expires": "<seconds>"}, "tosacceptancerequired": false},
//       or, while the account must accept the terms and "tos" is not "true", the user and
//       "tosacceptancerequired": true without "auth"
//   GET "/quorb.user?token"        {"user": {... "collections": [...]}, "tosacceptancerequired": b}
//   GET "/quorb.unauthorize?token[&quorbid]"   the token ends
//   GET "/quorb.accepttos?token&tos=true"      the account has accepted the terms
// Failures carry "error" as the service words them: a text ("wrong password"), a list (the
// missing sign-up fields) or a map from field to text ({"username": "is taken"}); a call
// without a valid token (none, one never issued or already ended, one that has expired) gives
// {"error": {"login": "requred"}}, which signs the client out.

class StandinServer;

namespace AccountRoutes {

void addTo(StandinServer& server);

}  // namespace AccountRoutes
