#pragma once
// Clicks in other programs' windows, for the application's global event monitors (a
// popover closes when the user clicks elsewhere). X shows every client the raw button
// presses (XInput 2) without taking them from anyone; a press over a window that is not
// ours becomes an event of another application, at the pointer's place.

#include <memory>

class DesktopHost;

class OtherClicks {
 public:
  // Nothing is watched where the X server lacks XInput 2 (or on Wayland, which shows no
  // program another's input).
  static std::unique_ptr<OtherClicks> watch(DesktopHost& host);
  ~OtherClicks();
  OtherClicks(const OtherClicks&) = delete;
  OtherClicks& operator=(const OtherClicks&) = delete;

  // The X event filter's way in.
  void handle(void* xevent);

 private:
  OtherClicks(DesktopHost& host, int opcode) : host_(host), opcode_(opcode) {}

  DesktopHost& host_;
  int opcode_;
  long eventNumber_ = 0;
};
