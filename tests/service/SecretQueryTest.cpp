#include <gtest/gtest.h>

#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "service/VNStreamRequester.h"
#include "service/Webapp.h"
#include "tests/service/ServiceTestSupport.h"

namespace {

const std::string tokenValue = "T0kenSecret7781";
const std::string passwordValue = "PassSecret4410";

class SecretQueryTest : public ServiceTest {
 protected:
  void expectNothingPrintedHolds(const std::string& secret, const std::string& context) {
    for (const auto& line : printedLines()) {
      EXPECT_EQ(line.find(secret), std::string::npos) << context << ": " << line;
    }
  }
  // A JSON request on the shared session carrying `params`, waited for to its end.
  void sendAndWait(const std::string& endpoint, const Webapp::StringMap& params) {
    CallbackBox<bool> box;
    auto task = Webapp::jsonRequestWithEndpoint(endpoint, params, [&box](auto, auto) { box.put(true); });
    ASSERT_TRUE(task);
    ASSERT_TRUE(runUntil([&] { return box.count() == 1; }));
  }
};

// The push-token registration and other calls whose query carries a token or a password
// meet every kind of failing or odd reply; no printed line may hold the secret.
TEST_F(SecretQueryTest, TokensAndPasswordsInQueriesAreNeverPrinted) {
  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->setObject(NSString::make("MTIzNA=="), "analytics-key");
  defaults->setObject(NSString::make(tokenValue), "zerpa-push-token-remote");

  struct Case {
    const char* name;
    std::optional<Fault> fault;
  };
  const Case cases[] = {
      {"ok", std::nullopt},
      {"drop", Fault::drop()},
      {"status 500", Fault::status500()},
      {"not JSON", Fault::notJson()},
      {"chunked", Fault::chunked()},
      {"oversized", Fault::oversized(64 * 1024)},
      {"stall", Fault::stall()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    standin().clearFaults();
    standin().clearLog();
    const bool stall = c.fault && c.fault->kind == Fault::Kind::stall;
    if (stall) {
      standin().injectFault("/quorb.registertoken", *c.fault, 1);
    } else if (c.fault) {
      standin().injectFault("/quorb.registertoken", *c.fault);
      standin().injectFault("/v1/login", *c.fault);
    }
    Webapp::storePushToken();
    auto sent = waitFor("/quorb.registertoken");
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->queryValue("token"), tokenValue);
    if (stall) {
      ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
      standin().releaseStalls();
    }
    // The further calls meet the same fault; waiting for their replies gives the token's
    // own reply, which came first, its time to be handled.
    sendAndWait("/v1/login", {{"username", "someone"}, {"password", passwordValue}});
    sendAndWait("/quorb.registertoken", {{"token", tokenValue}, {"quorbid", "MTIzNA=="}});
    flushThroughMarker();
    expectNothingPrintedHolds(tokenValue, c.name);
    expectNothingPrintedHolds(passwordValue, c.name);
  }

  // Requests that cannot be formed or are cancelled say nothing about their query either.
  EXPECT_FALSE(Webapp::requestWithHandler("/v1/log in", {{"password", passwordValue}}, nullptr));
  auto requester = VNStreamRequester::initWithStreamID("not a url at all", VNRequester::Parameters{{"token", tokenValue}});
  CallbackBox<bool> box;
  requester->fetchWithCallback([&box](bool ok, auto) { box.put(ok); });
  ASSERT_TRUE(runUntil([&] { return box.count() == 1; }));
  EXPECT_FALSE(box.first());

  standin().injectFault("/v1/search", Fault::stall());
  auto stalled = VNStreamRequester::getForTermWithTerm("cat");
  stalled->addGenericParametersWithGenerics({{"password", passwordValue}});
  CallbackBox<bool> cancelled;
  stalled->fetchWithCallback([&cancelled](bool ok, auto) { cancelled.put(ok); });
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  stalled->cancelRequest();
  ASSERT_TRUE(runUntil([&] { return cancelled.count() == 1; }));
  EXPECT_FALSE(cancelled.first());
  standin().releaseStalls();
  expectNothingPrintedHolds(tokenValue, "unformed and cancelled");
  expectNothingPrintedHolds(passwordValue, "unformed and cancelled");
}

}  // namespace
