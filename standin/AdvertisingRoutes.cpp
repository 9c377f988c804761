#include "standin/AdvertisingRoutes.h"

#include "standin/StandinServer.h"

namespace AdvertisingRoutes {

void addTo(StandinServer& server) {
  for (const char* path : {"/v1/registerview", "/v1/registeraction"}) {
    server.addRoute("GET", path, [](const StandinRequest& request, StandinResponse& response, const Catalogue&) {
      if (!request.queryValue("source_id") || !request.queryValue("key")) {
        response.setError(400, "source_id and key are required");
        return;
      }
      response.setJson(R"({"status":"ok"})");
    });
  }
}

}  // namespace AdvertisingRoutes
