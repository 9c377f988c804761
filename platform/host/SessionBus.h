#pragma once
// Whether the session bus is named in the environment. Without an address GLib would start
// a bus of its own (dbus-launch): none is looked for then.

namespace SessionBus {

bool named();

}  // namespace SessionBus
