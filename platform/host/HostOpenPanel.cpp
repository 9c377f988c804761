#include "platform/host/HostOpenPanel.h"

#include <gtk/gtk.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSOpenPanel.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSURL.h"
#include "platform/host/DesktopHost.h"

namespace {

// GTK 3's filters match names case-sensitively: "gif" must also find "B.GIF".
std::string caseFreePattern(const std::string& extension) {
  std::string pattern = "*.";
  for (unsigned char c : extension) {
    if (g_ascii_isalpha(c)) {
      pattern += '[';
      pattern += static_cast<char>(g_ascii_tolower(c));
      pattern += static_cast<char>(g_ascii_toupper(c));
      pattern += ']';
    } else if (c == '*' || c == '?' || c == '[' || c == ']') {
      pattern += '[';
      pattern += static_cast<char>(c);
      pattern += ']';
    } else {
      pattern += static_cast<char>(c);
    }
  }
  return pattern;
}

struct ChooserRun {
  bool answered = false;
  gint response = GTK_RESPONSE_CANCEL;
};

std::optional<std::vector<std::shared_ptr<NSURL>>> chooseWithDesktop(const NSOpenPanel& panel) {
  auto host = DesktopHost::current();
  if (!host) return std::nullopt;
  const char* title = panel.title.empty() ? "Open" : panel.title.c_str();
  GtkFileChooserNative* native =
      gtk_file_chooser_native_new(title, nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Open", "_Cancel");
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(native);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk_file_chooser_set_select_multiple(chooser, panel.allowsMultipleSelection);
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native), TRUE);
  if (panel.directoryURL && panel.directoryURL->isFileURL()) {
    gtk_file_chooser_set_current_folder(chooser, panel.directoryURL->path().c_str());
  }
  if (!panel.allowedFileTypes.empty()) {
    GtkFileFilter* filter = gtk_file_filter_new();
    std::string name;
    for (const auto& type : panel.allowedFileTypes) {
      gtk_file_filter_add_pattern(filter, caseFreePattern(type).c_str());
      name += (name.empty() ? "" : ", ") + type;
    }
    gtk_file_filter_set_name(filter, name.c_str());
    gtk_file_chooser_add_filter(chooser, filter);  // takes the floating reference
  }

  ChooserRun run;
  gulong handler = g_signal_connect(native, "response", G_CALLBACK(+[](GtkNativeDialog*, gint response, gpointer data) {
    auto* state = static_cast<ChooserRun*>(data);
    state->answered = true;
    state->response = response;
  }), &run);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(native));
  // Our run loop, not a nested GTK loop: its waits run GTK's loop anyway, and our own
  // timers and blocks (a popover's closing animation) must not stop while the user chooses.
  // A host stopped meanwhile ends the run as a Cancel, and so does the application's
  // termination (a signal's, say), which has stopped the run loop this one is nested in: the
  // chooser closes and the application ends as it would without it.
  auto app = NSApplication::sharedApplication();
  auto over = [&] { return run.answered || DesktopHost::current() != host || app->hasTerminated(); };
  while (!over()) NSRunLoop::main()->runUntil(over, 0.05);
  g_signal_handler_disconnect(native, handler);

  std::optional<std::vector<std::shared_ptr<NSURL>>> chosen;
  if (run.answered && run.response == GTK_RESPONSE_ACCEPT) {
    chosen.emplace();
    GSList* names = gtk_file_chooser_get_filenames(chooser);
    for (GSList* it = names; it; it = it->next) {
      chosen->push_back(NSURL::fileURLWithPath(static_cast<const char*>(it->data)));
    }
    g_slist_free_full(names, g_free);
  } else if (!run.answered) {
    gtk_native_dialog_hide(GTK_NATIVE_DIALOG(native));
  }
  gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(native));
  g_object_unref(native);
  return chosen;
}

}  // namespace

void HostOpenPanel::install() { NSOpenPanel::setPresenter(chooseWithDesktop); }

void HostOpenPanel::uninstall() { NSOpenPanel::setPresenter(nullptr); }
