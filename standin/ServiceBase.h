#pragma once
// Which of the service's base URLs a request was sent to. The client spells the stand-in's
// one address differently for each base (see Webapp), so the Host header tells them apart:
// "legacy-web.<host>" is the legacy web base of the "/quorb." calls, "legacy-api.<host>" the
// legacy API base, "legacy-message.<host>" the message base, "web.<host>" the current web
// base, and anything else the current API base.

#include "standin/StandinRequest.h"

enum class ServiceBase { legacyWeb, legacyApi, message, web, api };

ServiceBase serviceBaseOf(const StandinRequest& request);
