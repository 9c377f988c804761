#pragma once
// The fixture of the stream-screen suites: the tiles' fixture with a window to show a screen
// in, tiles without media (refused at once, so the dumps hold still), an install id, so that
// events go out, and the "share" events the stand-in received as text.

#include <algorithm>
#include <set>

#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "service/AdvertisingLogger.h"
#include "tests/browse/GifCellFixture.h"

class ScreenFixture : public GifCellFixture {
 protected:
  void SetUp() override {
    GifCellFixture::SetUp();
    standin().injectFault("/media", Fault::status500());
    AdvertisingLogger::setQueue(AdvertisingLogger::makeQueue());
    auto analytics = PlovexAnalytics::sharedPlovexAnalytics();
    ASSERT_TRUE(runUntil([&] { return analytics->quorbID().has_value(); }));
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 360, 420), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
  }
  void TearDown() override {
    AdvertisingLogger::queue()->waitUntilAllOperationsAreFinished();
    GifCellFixture::TearDown();
  }

  std::size_t requests(std::string_view pathPrefix) {
    return static_cast<std::size_t>(std::ranges::count_if(
        standin().requests(), [&](const auto& request) { return request.path.starts_with(pathPrefix); }));
  }
  // The first `count` "share" events, in order of arrival, as "key=value" pairs of the
  // screen's own members (the common members every event carries are left out).
  std::vector<std::string> shares(std::size_t count) {
    std::vector<StandinRequest> found;
    runUntil([&] {
      found.clear();
      std::ranges::copy_if(standin().requests(), std::back_inserter(found),
                           [](const auto& request) { return request.path == "/quorb.registerevent/share"; });
      return found.size() >= count;
    });
    static const std::set<std::string> own{"category", "actions", "tag", "vornIDKey", "targetapp"};
    std::vector<std::string> texts;
    for (const auto& request : found) {
      auto parsed = NSJSONSerialization::JSONObjectWithBytes(request.queryValue("data").value_or(""));
      auto data = parsed ? asA<NSDictionary>(*parsed) : nullptr;
      std::string text;
      for (const auto& key : own) {
        auto value = data ? data->objectForKeyAs<NSString>(key) : nullptr;
        if (value) text += (text.empty() ? "" : " ") + key + "=" + value->string();
      }
      texts.push_back(text);
    }
    return texts;
  }
  // Advertising reports of shares, once every queued report has been answered.
  std::size_t advertisedShares() {
    AdvertisingLogger::queue()->waitUntilAllOperationsAreFinished();
    return static_cast<std::size_t>(std::ranges::count_if(standin().requests(), [](const auto& request) {
      return request.path == "/v1/registeraction" && request.queryValue("action") == "share";
    }));
  }

  std::shared_ptr<NSWindow> window;
};
