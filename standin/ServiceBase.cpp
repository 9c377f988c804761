#include "standin/ServiceBase.h"

#include "standin/TextHelpers.h"

ServiceBase serviceBaseOf(const StandinRequest& request) {
  std::string host = standin::lower(request.header("host").value_or(""));
  // Without the port (an IPv6 literal keeps its brackets and has no spelling of ours).
  if (auto colon = host.rfind(':'); colon != std::string::npos && host.find(']') == std::string::npos) host.resize(colon);
  if (host.starts_with("legacy-web.")) return ServiceBase::legacyWeb;
  if (host.starts_with("legacy-api.")) return ServiceBase::legacyApi;
  if (host.starts_with("legacy-message.")) return ServiceBase::message;
  if (host.starts_with("web.")) return ServiceBase::web;
  return ServiceBase::api;
}
