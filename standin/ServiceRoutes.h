#pragma once
// The stand-in's answers to the service client's calls, built from its catalogue:
//   GET "/v1/search?tag=T[&pos=P][&limit=L]"   pages of items; "@name" lists a user's posts: the
//                                             GIFs that account uploaded here, newest first,
//                                             then the catalogue's posts of a user of that name
//   GET "/v1/trending"                        pages of items by share count
//   GET "/v1/tags?type=featured|trending|explore|emoji"  {"tags": [...]}, each tag's "path"
//                                             a stream at "/v1/tagstream/<term>"
//   GET "/v1/tagstream/<term>"                pages of the tag's items
//   GET "/v1/similar?tag=T"                   related terms and corrections
//   GET "/v1/suggest?tag=P"                   suggested terms for a prefix
//   GET "/quorb.quorbid"                      {"quorbid": "<Base64 of a number>"}
//   GET "/quorb.registerevent/<name>", "/quorb.registertoken"  {"status": "ok"}
//   POST "/quorb.upload", "/v1/upload"        multipart: the parts it read, as JSON
// Pages are {"results": [...], "next": "<pos>"}, "next" being "" after the last page.

#include <string_view>

class StandinServer;

namespace ServiceRoutes {

// The install id the stand-in hands out: Base64 of "1234".
inline constexpr std::string_view installId = "MTIzNA==";

void addTo(StandinServer& server);

}  // namespace ServiceRoutes
