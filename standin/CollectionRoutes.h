#pragma once
// The stand-in's answers to the collection, like and upload calls, kept in its state (see
// StandinState). Each call answers only on the base the client sends it to; elsewhere it is
// an unknown path (404).
//   legacy web base, every call with "token":
//     GET "/quorb.like?pid&remove"                      like or unlike an item
//     GET "/quorb.makevornpost?collectionid&stream&postid|url&tags"  {"postid": n}
//     POST "/quorb.uploadgif", "/quorb.uploadsticker"  multipart, the same fields and "file"; {"postid": n}
//     GET "/quorb.removepost?pid"                        out of the user's saved items and packs
//     GET "/quorb.createcollection?name&public"          {"collection": {"id": n, "url": u}}
//     GET "/quorb.removecollection?collectionid"
//     GET "/quorb.subscribe?collectionid", "/quorb.unsubscribe?collectionid"
//   legacy API base: GET "/v1/collect?id&channelid&pack_token"   into an anonymous pack
//   API base:
//     POST "/v1/upload"                 multipart: channelid, pack_token, tags, url or file; {"itemid": n}
//     GET "/v1/createpack?title[&quorbid]"       {"id": n, "token": t, "url": u}
//     GET "/v1/claimpack?id&pack_token&access_token"
//     GET "/v1/userliked", "/v1/usersaved" (access_token), "/v1/collection?id"   pages of items
//     GET "/uploads/<id>.gif"     an uploaded GIF
// "collectionid" names the target as "collection-<pack id>" or "quorbuser-<user id>", and
// "stream" as "vorns" (the pack or the saved items), "favoritevorns" or "savedvorns". A call
// that needs a signed-in user and has no valid "token" or "access_token" answers 401 with
// {"error": {"login": "requred"}}, as the account calls do.

class StandinServer;

namespace CollectionRoutes {

void addTo(StandinServer& server);

}  // namespace CollectionRoutes
