// The open panel as GTK's file chooser on the X server. The test plays the user from a GLib
// timeout that runs while the panel is open: it finds the chooser among the toplevels,
// selects real files in it and answers, as a click on Open or Cancel would.

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "platform/appkit/NSOpenPanel.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSURL.h"
#include "platform/host/DesktopHost.h"
#include "tests/platform/host/HostTestSupport.h"

namespace {

class HostOpenPanelTest : public HostTest {};

// What the user does in the chooser, and what the chooser showed meanwhile.
struct ChooserUser {
  std::string select;                 // the file to select
  bool selectAll = false;             // and then everything shown
  std::vector<std::string> awaited;    // what must show selected before answering
  gint response = GTK_RESPONSE_ACCEPT;
  std::function<void(GtkWidget*)> beforeAnswer;
  std::shared_ptr<DesktopHost> host;
  // Seen in the chooser:
  bool found = false;
  bool selectMultiple = false;
  bool filtered = false;
  int ticks = 0;
  int step = 0;
  bool served = false;
};

GtkWidget* shownChooser() {
  GtkWidget* found = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* it = toplevels; it; it = it->next) {
    auto* widget = GTK_WIDGET(it->data);
    if (GTK_IS_FILE_CHOOSER_DIALOG(widget) && gtk_widget_get_mapped(widget)) found = widget;
  }
  g_list_free(toplevels);
  return found;
}

std::vector<std::string> selectedNames(GtkFileChooser* chooser) {
  std::vector<std::string> names;
  GSList* list = gtk_file_chooser_get_filenames(chooser);
  for (GSList* it = list; it; it = it->next) names.emplace_back(static_cast<const char*>(it->data));
  g_slist_free_full(list, g_free);
  std::ranges::sort(names);
  return names;
}

gboolean actAsUser(gpointer data) {
  auto* user = static_cast<ChooserUser*>(data);
  GtkWidget* dialog = shownChooser();
  if (++user->ticks > 1500) {  // 30 s: answer anyhow rather than hang the suite
    std::string seen;
    if (dialog) {
      for (const auto& name : selectedNames(GTK_FILE_CHOOSER(dialog))) seen += " " + name;
    }
    ADD_FAILURE() << "the chooser never showed the awaited selection; it showed:" << seen;
    if (dialog) gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    else user->host->stop();
    return G_SOURCE_REMOVE;
  }
  if (!dialog) return G_SOURCE_CONTINUE;
  auto* chooser = GTK_FILE_CHOOSER(dialog);
  if (!user->found) {
    user->found = true;
    user->selectMultiple = gtk_file_chooser_get_select_multiple(chooser);
    user->filtered = gtk_file_chooser_get_filter(chooser) != nullptr;
  }
  // GTK selects a file of a folder it has not read yet once it has read it; then the user
  // may select everything the filter shows.
  auto selection = selectedNames(chooser);
  auto shows = [&](const std::string& path) { return std::ranges::find(selection, path) != selection.end(); };
  if (user->step == 0) {
    gtk_file_chooser_select_filename(chooser, user->select.c_str());
    user->step = 1;
    return G_SOURCE_CONTINUE;
  }
  if (user->step == 1) {
    if (!shows(user->select)) return G_SOURCE_CONTINUE;
    if (user->selectAll) gtk_file_chooser_select_all(chooser);
    // Our run loop goes on while the chooser is open.
    NSRunLoop::main()->perform([user] { user->served = true; });
    user->step = 2;
    selection = selectedNames(chooser);
  }
  if (!user->served || !std::ranges::all_of(user->awaited, shows)) return G_SOURCE_CONTINUE;
  if (user->beforeAnswer) user->beforeAnswer(dialog);
  gtk_dialog_response(GTK_DIALOG(dialog), user->response);
  return G_SOURCE_REMOVE;
}

TEST_F(HostOpenPanelTest, TheChooserAnswersWithTheFilesChosenThereOfTheAllowedTypes) {
  auto gifs = home() / "gifs";
  std::filesystem::create_directories(gifs);
  for (const char* name : {"a.gif", "B.GIF", "c.png"}) std::ofstream(gifs / name) << "GIF89a";
  auto at = [&](const char* name) { return (gifs / name).string(); };

  struct Case {
    const char* name;
    bool several;
    std::string select;
    bool selectAll;
    std::vector<std::string> awaited;
    gint response;
    NSModalResponse expected;
    std::vector<std::string> chosen;
  };
  const Case table[] = {
      {"several", true, at("a.gif"), true, {at("a.gif"), at("B.GIF")}, GTK_RESPONSE_ACCEPT, NSModalResponseOK,
       {"B.GIF", "a.gif"}},
      {"one", false, at("B.GIF"), false, {at("B.GIF")}, GTK_RESPONSE_ACCEPT, NSModalResponseOK, {"B.GIF"}},
      // GTK hands over a file its filter hides when it is named to it (as a typed name is).
      {"not a gif", true, at("c.png"), false, {at("c.png")}, GTK_RESPONSE_ACCEPT, NSModalResponseCancel, {}},
      {"cancelled", true, at("a.gif"), false, {at("a.gif")}, GTK_RESPONSE_CANCEL, NSModalResponseCancel, {}},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    ChooserUser user;
    user.select = row.select;
    user.selectAll = row.selectAll;
    user.awaited = row.awaited;
    user.response = row.response;
    user.host = host;
    bool shot = false;
    if (row.several) {
      user.beforeAnswer = [&](GtkWidget* dialog) {
        if (shot) return;
        shot = true;
        // Taken once GTK has painted the selection.
        int painted = 0;
        gulong handler = g_signal_connect_after(dialog, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer count) {
          ++*static_cast<int*>(count);
          return FALSE;
        }), &painted);
        gtk_widget_queue_draw(dialog);
        EXPECT_TRUE(runUntil([&] { return painted > 0; }));
        g_signal_handler_disconnect(dialog, handler);
        host->sync();
        auto xid = std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(dialog)));
        EXPECT_TRUE(screenshot(xid, "open-panel").valid());
      };
    }
    g_timeout_add(20, actAsUser, &user);

    auto panel = NSOpenPanel::openPanel();
    panel->allowsMultipleSelection = row.several;
    panel->allowedFileTypes = {"gif"};
    EXPECT_EQ(panel->runModal(), row.expected);
    std::vector<std::string> chosen;
    for (const auto& url : panel->URLs()) chosen.push_back(url->lastPathComponent());
    std::ranges::sort(chosen);
    EXPECT_EQ(chosen, row.chosen);
    EXPECT_TRUE(user.found);
    EXPECT_EQ(user.selectMultiple, row.several);
    EXPECT_TRUE(user.filtered);
    EXPECT_FALSE(shownChooser()) << "the chooser is gone once answered";
  }
}

TEST_F(HostOpenPanelTest, StoppingTheHostGivesThePanelBack) {
  host->stop();
  EXPECT_EQ(NSOpenPanel::openPanel()->runModal(), NSModalResponseCancel) << "headless again: nobody to choose";
}

}  // namespace
