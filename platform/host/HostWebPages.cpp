#include "platform/host/HostWebPages.h"

#include <gdk/gdkx.h>
#include <gio/gio.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/NSURL.h"

namespace {

void launched(GObject*, GAsyncResult* result, gpointer data) {
  std::unique_ptr<std::shared_ptr<NSURL>> url(static_cast<std::shared_ptr<NSURL>*>(data));
  GError* error = nullptr;
  if (g_app_info_launch_default_for_uri_finish(result, &error)) return;
  // The user dismissed the portal's choice of application: that was an answer.
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    g_error_free(error);
    return;
  }
  // GIO finds no handler as "not supported" (no registered application, no virtual file
  // system that knows the scheme).
  const bool noHandler = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED) ||
                         g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND);
  const std::string reason = noHandler ? std::string(HostWebPages::Constants::noBrowserReason) : error->message;
  g_error_free(error);
  NSWorkspace::sharedWorkspace()->couldNotOpen(*url, reason);
}

bool openInDefaultHandler(const std::shared_ptr<NSURL>& url) {
  GdkDisplay* display = gdk_display_get_default();
  GdkAppLaunchContext* context = display ? gdk_display_get_app_launch_context(display) : nullptr;
  if (context && GDK_IS_X11_DISPLAY(display)) {
    gdk_app_launch_context_set_timestamp(context, gdk_x11_display_get_user_time(display));
  }
  g_app_info_launch_default_for_uri_async(url->absoluteString().c_str(),
                                          context ? G_APP_LAUNCH_CONTEXT(context) : nullptr, nullptr, launched,
                                          new std::shared_ptr<NSURL>(url));
  if (context) g_object_unref(context);
  return true;
}

}  // namespace

void HostWebPages::install() { NSWorkspace::sharedWorkspace()->setOpener(openInDefaultHandler); }

void HostWebPages::uninstall() { NSWorkspace::sharedWorkspace()->setOpener(nullptr); }
