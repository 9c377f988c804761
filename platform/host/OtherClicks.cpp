#include "platform/host/OtherClicks.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <gdk/gdkx.h>

#include <algorithm>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/foundation/Clock.h"
#include "platform/host/DesktopHost.h"
#include "platform/host/HostMenu.h"
#include "platform/host/HostTray.h"
#include "platform/host/X11Windows.h"

namespace {
// Whether the top-level window under the pointer holds one of ours (a window manager puts
// its frame around them).
bool holdsOneOf(Display* x, Window topLevel, const std::vector<unsigned long>& ours) {
  return std::ranges::any_of(ours, [&](Window window) {
    auto chain = X11Windows::selfAndAncestors(x, window);
    return std::ranges::find(chain, topLevel) != chain.end();
  });
}

GdkFilterReturn otherClickFilter(GdkXEvent* xevent, GdkEvent*, gpointer self) {
  static_cast<OtherClicks*>(self)->handle(xevent);
  return GDK_FILTER_CONTINUE;
}
}  // namespace

std::unique_ptr<OtherClicks> OtherClicks::watch(DesktopHost& host) {
  GdkDisplay* display = gdk_display_get_default();
  if (!GDK_IS_X11_DISPLAY(display)) return nullptr;
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  int opcode = 0, event = 0, error = 0;
  if (!XQueryExtension(x, "XInputExtension", &opcode, &event, &error)) return nullptr;
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(bits, XI_RawButtonPress);
  // Master devices only: GDK keeps its own selection on the root window for all devices.
  XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
  XISelectEvents(x, DefaultRootWindow(x), &mask, 1);
  auto clicks = std::unique_ptr<OtherClicks>(new OtherClicks(host, opcode));
  gdk_window_add_filter(nullptr, otherClickFilter, clicks.get());
  return clicks;
}

OtherClicks::~OtherClicks() {
  gdk_window_remove_filter(nullptr, otherClickFilter, this);
  Display* x = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
  XISelectEvents(x, DefaultRootWindow(x), &mask, 1);
}

void OtherClicks::handle(void* raw) {
  auto* xevent = static_cast<XEvent*>(raw);
  XGenericEventCookie* cookie = &xevent->xcookie;
  if (cookie->type != GenericEvent || cookie->extension != opcode_ || cookie->evtype != XI_RawButtonPress) return;
  Display* x = cookie->display;
  bool fetched = !cookie->data && XGetEventData(x, cookie);
  int button = cookie->data ? static_cast<XIRawEvent*>(cookie->data)->detail : 0;
  Time time = cookie->data ? static_cast<XIRawEvent*>(cookie->data)->time : 0;
  if (fetched) XFreeEventData(x, cookie);
  if (button != 1 && button != 3) return;  // wheel notches and other buttons are no clicks
  // An open menu holds the pointer: the press that closes it goes to no other program.
  if (host_.menus_ && host_.menus_->tookPress(static_cast<std::uint32_t>(time))) return;
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, winX = 0, winY = 0;
  unsigned int state = 0;
  XQueryPointer(x, DefaultRootWindow(x), &root, &child, &rootX, &rootY, &winX, &winY, &state);
  // Our own windows hear their clicks as they are.
  if (child && holdsOneOf(x, child, host_.nativeWindowIds())) return;
  // So are the icons of its status items, wherever the tray shows them.
  if (host_.tray_ && host_.tray_->covers(rootX, rootY)) return;
  auto type = button == 1 ? NSEventType::leftMouseDown : NSEventType::rightMouseDown;
  auto event = NSEvent::mouseEventWithType(type, host_.screenPointFromDesktop(rootX, rootY), 0, Clock::current().now(),
                                           0, nullptr, ++eventNumber_, 1, 1.0);
  NSApplication::sharedApplication()->handleEventOfOtherApplication(event);
}
