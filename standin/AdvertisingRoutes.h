#pragma once
// The stand-in's answers to the sponsored-content reports:
//   GET "/v1/registerview?key=K&source_id=S&quorbid=Q&timestamp=T"            {"status": "ok"}
//   GET "/v1/registeraction?key=K&source_id=S&action=A&quorbid=Q&timestamp=T" {"status": "ok"}
// A report without "source_id" or "key" is answered 400, as the service does. Every report
// lands in the request log; tracking pixels are the catalogue's "/media/pixel/..." files.

class StandinServer;

namespace AdvertisingRoutes {

void addTo(StandinServer& server);

}  // namespace AdvertisingRoutes
