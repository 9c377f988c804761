#pragma once
// The stand-in's single-post answer:
//   GET "/v1/post?id=N"   {"results": [item]} for an item of the catalogue, {"results": []}
//                         for any other identifier
class StandinServer;

namespace PostRoutes {

void addTo(StandinServer& server);

}  // namespace PostRoutes
