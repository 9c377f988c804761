#pragma once
// The calls a client makes on a running stand-in, by HTTP on its port as the application
// makes them, for cases that check what the stand-in keeps from one run to the next.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSDictionary.h"
#include "tests/support/HttpGet.h"

namespace ServiceCalls {

// The stand-in's address on one of the service's bases: the legacy web base answers the
// account and pack calls, the API base the rest.
std::string legacyWeb(int port, const std::string& pathAndQuery);
std::string api(int port, const std::string& pathAndQuery);

// The reply's JSON object; an empty one (and a failure) when it is none.
std::shared_ptr<NSDictionary> objectOf(const HttpReply& reply);

// Signs up (accepting the terms) and answers the new account's token; "" (and a failure)
// when refused.
std::string signUp(int port, const std::string& username, const std::string& password);
// The token's account name as the service answers it, or its error text.
std::string accountOf(int port, const std::string& token);
// A new pack of the token's account; 0 (and a failure) when refused.
std::int64_t makePack(int port, const std::string& token, const std::string& name);
// Uploads the GIF into the pack; answers the new item's id, "" (and a failure) when refused.
std::string uploadInto(int port, const std::string& token, std::int64_t pack, const std::string& gif);
// The ids of a pack's items, newest first, as its page lists them.
std::vector<std::string> packItems(int port, std::int64_t pack);

}  // namespace ServiceCalls
