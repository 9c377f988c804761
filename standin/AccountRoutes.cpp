#include "standin/AccountRoutes.h"

#include <cstdio>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "standin/ServiceBase.h"
#include "standin/StandinServer.h"
#include "standin/TextHelpers.h"

using standin::text;

namespace {

using State = std::shared_ptr<StandinState>;
using AccountHandler = std::function<void(StandinState&, const StandinRequest&, StandinResponse&, const Catalogue&)>;

void answer(StandinResponse& response, const id& object) {
  response.setJson(NSJSONSerialization::stringWithJSONObject(object).value_or("{}"));
}

void fail(StandinResponse& response, const id& error) { answer(response, NSDictionary::make({{"error", error}})); }

std::shared_ptr<NSDictionary> userObject(const StandinState& state, const StandinUser& user, const Catalogue& catalogue,
                                         bool withCollections) {
  auto object = NSDictionary::make({{"id", NSNumber::numberWithInteger(user.userid)},
                                    {"username", text(user.username)},
                                    {"tagline", text("")},
                                    {"avatars", NSDictionary::make({{"256", text(catalogue.baseURL() + "/avatars/" +
                                                                                std::to_string(user.userid) + ".png")}})}});
  if (withCollections) object->setObject(state.collectionObjects(user.userid, catalogue.baseURL()), "collections");
  return object;
}

// A signed-in answer: the user and a new token, unless the account must still accept the
// terms and this request does not accept them.
void signIn(StandinState& state, const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue,
            const StandinUser& user) {
  if (request.queryValue("tos") == "true") state.accounts().setNeedsTermsAcceptance(user.userid, false);
  auto current = state.accounts().user(user.userid).value_or(user);
  auto reply = NSDictionary::make({{"user", userObject(state, current, catalogue, true)},
                                   {"tosacceptancerequired", NSNumber::numberWithBool(current.needsTermsAcceptance)}});
  if (!current.needsTermsAcceptance) {
    auto [token, expires] = state.accounts().issueToken(current.userid);
    char moment[64];
    std::snprintf(moment, sizeof moment, "%.0f", expires);
    reply->setObject(NSDictionary::make({{"token", text(token)}, {"expires", text(moment)}}), "auth");
  }
  answer(response, reply);
}

// The user of the request's token; otherwise answers the failure and gives none. Whatever
// is wrong with the token (none, never issued, ended, expired), the service asks for a log-in.
std::optional<StandinUser> tokenUser(StandinState& state, const StandinRequest& request, StandinResponse& response) {
  auto user = state.accounts().userForToken(request.queryValue("token").value_or(""));
  if (!user) response.setLoginRequired();
  return user;
}

void signup(StandinState& state, const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
  auto missing = NSArray::make();
  for (const char* name : {"email", "username", "password"}) {
    if (request.queryValue(name).value_or("").empty()) missing->addObject(text(std::string(name) + " is required"));
  }
  if (missing->count() != 0) return fail(response, missing);
  const auto username = *request.queryValue("username");
  if (state.accounts().userNamed(username)) return fail(response, NSDictionary::make({{"username", text("is taken")}}));
  auto user = state.accounts().seedUser(username, *request.queryValue("password"), true);
  signIn(state, request, response, catalogue, user);
}

void login(StandinState& state, const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
  auto user = state.accounts().userNamed(request.queryValue("username").value_or(""));
  if (!user || user->password != request.queryValue("password")) return fail(response, text("wrong password"));
  signIn(state, request, response, catalogue, *user);
}

}  // namespace

void AccountRoutes::addTo(StandinServer& server) {
  State state = server.sharedState();
  auto route = [&](const std::string& pattern, AccountHandler handler) {
    server.addRoute("GET", pattern, [state, handler](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
      if (serviceBaseOf(request) != ServiceBase::legacyWeb) return response.setError(404, "Not Found");
      handler(*state, request, response, catalogue);
    });
  };
  route("/quorb\\.signup", signup);
  route("/quorb\\.login", login);
  route("/quorb\\.user", [](StandinState& state, const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
    auto user = tokenUser(state, request, response);
    if (!user) return;
    answer(response, NSDictionary::make({{"user", userObject(state, *user, catalogue, true)},
                                         {"tosacceptancerequired", NSNumber::numberWithBool(user->needsTermsAcceptance)}}));
  });
  route("/quorb\\.unauthorize", [](StandinState& state, const StandinRequest& request, StandinResponse& response, const Catalogue&) {
    const auto token = request.queryValue("token").value_or("");
    const bool valid = state.accounts().userForToken(token).has_value();
    // An expired token ends all the same.
    state.accounts().revokeToken(token);
    if (!valid) return response.setLoginRequired();
    answer(response, NSDictionary::make({{"status", text("ok")}}));
  });
  route("/quorb\\.accepttos", [](StandinState& state, const StandinRequest& request, StandinResponse& response, const Catalogue&) {
    auto user = tokenUser(state, request, response);
    if (!user) return;
    if (request.queryValue("tos") != "true") return fail(response, text("the terms were not accepted"));
    state.accounts().setNeedsTermsAcceptance(user->userid, false);
    answer(response, NSDictionary::make({{"status", text("ok")}}));
  });
}
