// Web pages open in the desktop's default browser, found as every desktop program finds it:
// here a browser of the test's own, named the user's default for http and https in the XDG
// mime-application list, which takes the page over the session bus as D-Bus activated
// applications do. Once it is gone nothing opens the page, and an alert on the desktop says so.

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/NSURL.h"
#include "platform/host/DesktopHost.h"
#include "tests/platform/host/HostTestSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kBrowserId = "com.glimdeck.TestBrowser";
constexpr const char* kApplicationInterface = R"xml(<node>
  <interface name="org.freedesktop.Application">
    <method name="Activate"><arg type="a{sv}" direction="in"/></method>
    <method name="Open"><arg type="as" direction="in"/><arg type="a{sv}" direction="in"/></method>
    <method name="ActivateAction"><arg type="s" direction="in"/><arg type="av" direction="in"/><arg type="a{sv}" direction="in"/></method>
  </interface>
</node>)xml";

// The browser: each Open call's addresses.
class StandInBrowser {
 public:
  StandInBrowser()
      : service_(kBrowserId, "/com/glimdeck/TestBrowser", kApplicationInterface,
                 [this](TestBusService&, const std::string& method, GVariant* parameters,
                        GDBusMethodInvocation* invocation) {
                   if (method == "Open") {
                     GVariantIter* uris = nullptr;
                     g_variant_get(parameters, "(as@a{sv})", &uris, nullptr);
                     std::vector<std::string> call;
                     const gchar* uri = nullptr;
                     while (g_variant_iter_next(uris, "&s", &uri)) call.emplace_back(uri);
                     g_variant_iter_free(uris);
                     std::lock_guard lock(mutex_);
                     calls_.push_back(call);
                   }
                   g_dbus_method_invocation_return_value(invocation, nullptr);
                 }) {}
  bool serving() const { return service_.serving(); }
  std::vector<std::vector<std::string>> calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::vector<std::string>> calls_;
  TestBusService service_;
};

class HostWebPagesTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    // GLib reads the XDG folders once per process: the entry and the list go where it looks.
    const fs::path data = g_get_user_data_dir(), config = g_get_user_config_dir();
    for (const auto& folder : {data / "applications", config}) {
      fs::path made = folder;
      while (!fs::exists(made.parent_path())) made = made.parent_path();
      if (!fs::exists(made)) madeFolders_.push_back(made);
      fs::create_directories(folder);
    }
    entry_ = data / "applications" / (std::string(kBrowserId) + ".desktop");
    list_ = config / "mimeapps.list";
    std::ofstream(entry_) << "[Desktop Entry]\nType=Application\nName=Stand-in browser\nDBusActivatable=true\n"
                             "StartupNotify=true\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n";
    std::ofstream(list_) << "[Default Applications]\nx-scheme-handler/http=" << kBrowserId
                         << ".desktop\nx-scheme-handler/https=" << kBrowserId << ".desktop\n";
    // GLib notices the files through its folder monitors.
    ASSERT_TRUE(runUntil([] { return defaultIsTheStandIn("http") && defaultIsTheStandIn("https"); }, 30))
        << "GIO takes the stand-in browser as the default";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove(entry_, ignored);
    fs::remove(list_, ignored);
    for (const auto& folder : madeFolders_) fs::remove_all(folder, ignored);
    HostTest::TearDown();
  }

  static bool defaultIsTheStandIn(const char* scheme) {
    GAppInfo* app = g_app_info_get_default_for_uri_scheme(scheme);
    const bool ours = app && std::string(g_app_info_get_id(app)) == std::string(kBrowserId) + ".desktop";
    if (app) g_object_unref(app);
    return ours;
  }

  fs::path entry_, list_;
  std::vector<fs::path> madeFolders_;
};

TEST_F(HostWebPagesTest, APageOpensInTheDefaultBrowserAndOneNothingOpensIsTold) {
  const std::vector<std::string> addresses = {"https://zolto.example/about", "http://zolto.example/a?b=c&d=%20e#f"};
  {
    StandInBrowser browser;
    ASSERT_TRUE(browser.serving());
    for (const auto& address : addresses) EXPECT_TRUE(NSWorkspace::sharedWorkspace()->openURL(NSURL::URLWithString(address)));
    ASSERT_TRUE(runUntil([&] { return browser.calls().size() == 2; })) << "the browser is asked to open both";
    // Each in a call of its own, in the order GIO finished finding the browser.
    auto calls = browser.calls();
    std::ranges::sort(calls);
    EXPECT_EQ(calls, (std::vector<std::vector<std::string>>{{addresses[1]}, {addresses[0]}}));
    EXPECT_FALSE(NSApplication::sharedApplication()->modalWindow());
    for (const auto& line : printedLines()) ADD_FAILURE() << line;
  }

  // The browser has gone: GIO cannot start it, and an alert on the desktop tells the user
  // until its OK is pressed. The look is taken inside the alert's modal loop, where GLib's
  // sources still run.
  struct Look {
    std::shared_ptr<DesktopHost> host;
    std::vector<std::string> texts;
    unsigned long nativeId = 0;
    int alerts = 0;
  } look{host};
  guint source = g_timeout_add(20, [](gpointer data) -> gboolean {
    auto& look = *static_cast<Look*>(data);
    auto modal = NSApplication::sharedApplication()->modalWindow();
    if (!modal) return G_SOURCE_CONTINUE;
    ++look.alerts;
    look.nativeId = look.host->nativeWindowId(modal);
    look.texts = {modal->title};
    for (const auto& view : modal->contentView()->subviews()) {
      if (auto label = asA<NSTextField>(view)) look.texts.push_back(label->stringValue());
    }
    for (const auto& view : modal->contentView()->subviews()) {
      if (auto button = asA<NSButton>(view)) button->performClick(nullptr);
    }
    return G_SOURCE_CONTINUE;
  }, &look);
  EXPECT_TRUE(NSWorkspace::sharedWorkspace()->openURL(NSURL::URLWithString(addresses[0])));
  EXPECT_TRUE(runUntil([&] { return look.alerts > 0 && !NSApplication::sharedApplication()->modalWindow(); }));
  g_source_remove(source);
  EXPECT_EQ(look.alerts, 1);
  EXPECT_EQ(printedLines().size(), 1u) << "one line for the one page that did not open";
  ASSERT_EQ(look.texts.size(), 3u);
  EXPECT_EQ(look.texts[0], "The page could not be opened") << "the alert's window is named by its message";
  EXPECT_EQ(look.texts[1], "The page could not be opened");
  EXPECT_NE(look.texts[2].find(kBrowserId), std::string::npos) << "GIO's reason: " << look.texts[2];
  EXPECT_TRUE(look.texts[2].ends_with("\n" + addresses[0])) << look.texts[2];
  EXPECT_NE(look.nativeId, 0u) << "shown on the desktop";

  host->stop();
  EXPECT_FALSE(NSWorkspace::sharedWorkspace()->openURL(NSURL::URLWithString(addresses[0])))
      << "off the desktop nothing opens pages";
}

}  // namespace
