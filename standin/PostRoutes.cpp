#include "standin/PostRoutes.h"

#include "standin/StandinServer.h"

void PostRoutes::addTo(StandinServer& server) {
  server.addRoute("GET", "/v1/post", [](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
    const CatalogueItem* item = catalogue.item(request.queryValue("id").value_or(""));
    response.setJson(item ? "{\"results\":[" + catalogue.itemJson(*item) + "]}" : "{\"results\":[]}");
  });
}
