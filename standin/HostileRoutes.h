#pragma once
// Answers of a slow or hostile server, for the clients' limits and their exit under load:
//   GET "/_standin/slow/<name>[?ms=M]"   a small GIF after M milliseconds (without M: 50 to
//        600, fixed per name), with "X-Standin-Slow: <M>" telling the reply from others
//   GET "/_standin/trickle?length=L&bytes=B&every=M"   a body of L bytes announced in full,
//        sent B bytes at a time every M milliseconds
//   GET "/_standin/headers?count=N&size=S"   N distinct header fields of S bytes each
//   GET "/_standin/redirect?to=URL[&status=S]"   a redirect (302 unless S is another 3xx)

class StandinServer;

namespace HostileRoutes {

void addTo(StandinServer& server);

}  // namespace HostileRoutes
