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

// GTK 3's own chooser dialog has two faults that a path typed into its location bar meets
// (a plain GTK program showing this chooser prints the same criticals); while a chooser is up
// the host keeps GTK out of both.
//
// The location bar slides in and its entry takes the focus at once, but the entry is realised
// only at the slide's first frame: keys that reach it before (the release of the "/" or Ctrl+L
// that opened it, a quick typist's, any typed while our loop is busy) are dropped, each with
// "gtk_widget_event: assertion 'WIDGET_REALIZED_FOR_EVENT' failed". Without animations the bar
// is there at once. Nothing else of ours is drawn by GTK, so nothing else stops moving.
//
// When the folder of the typed path cannot be read, the entry drops its list of names but turns
// inline completion on again, and every key typed after that asks the missing list for its
// first row ("gtk_tree_model_get_iter_first: assertion 'GTK_IS_TREE_MODEL' failed"). An entry
// with no list of names is kept without inline completion: there is nothing to complete.
class ChooserFaultGuard {
 public:
  ChooserFaultGuard()
      : settings_(gtk_settings_get_default()), setFocus_(g_signal_lookup("set-focus", GTK_TYPE_WINDOW)) {
    if (settings_) g_object_set(settings_, kAnimations, FALSE, nullptr);
    focusHook_ = g_signal_add_emission_hook(setFocus_, 0, onSetFocus, nullptr, nullptr);
  }
  ~ChooserFaultGuard() {
    g_signal_remove_emission_hook(setFocus_, focusHook_);
    // Back to the desktop's own setting.
    if (settings_) gtk_settings_reset_property(settings_, kAnimations);
  }
  ChooserFaultGuard(const ChooserFaultGuard&) = delete;
  ChooserFaultGuard& operator=(const ChooserFaultGuard&) = delete;

 private:
  static constexpr const char* kAnimations = "gtk-enable-animations";

  // The location bar's entry is made when the bar first opens, and takes the focus then.
  static gboolean onSetFocus(GSignalInvocationHint*, guint count, const GValue* values, gpointer) {
    auto* focus = count > 1 ? static_cast<GObject*>(g_value_get_object(&values[1])) : nullptr;
    GtkEntryCompletion* completion = focus && GTK_IS_ENTRY(focus) ? gtk_entry_get_completion(GTK_ENTRY(focus)) : nullptr;
    if (completion && !g_signal_handler_find(completion, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                             reinterpret_cast<gpointer>(completeOnlyWithNames), nullptr)) {
      g_signal_connect(completion, "notify::inline-completion", G_CALLBACK(completeOnlyWithNames), nullptr);
      completeOnlyWithNames(completion, nullptr, nullptr);
    }
    return TRUE;
  }

  static void completeOnlyWithNames(GtkEntryCompletion* completion, GParamSpec*, gpointer) {
    if (gtk_entry_completion_get_inline_completion(completion) && !gtk_entry_completion_get_model(completion)) {
      gtk_entry_completion_set_inline_completion(completion, FALSE);
    }
  }

  GtkSettings* settings_;
  guint setFocus_;
  gulong focusHook_ = 0;
};

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

  ChooserFaultGuard guard;
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
