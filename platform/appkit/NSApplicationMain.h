#pragma once
// The program's way into the kit: makes the delegate the shared application's, runs the
// application until it terminates, and turns the system's requests to stop (an interrupt
// from the terminal, a termination request, a hang-up) into a terminate on the main
// thread, so the delegate hears of the end as it would of a Quit.

#include <memory>

#include "platform/appkit/NSApplication.h"

int NSApplicationMain(int argc, char** argv, const std::shared_ptr<NSApplicationDelegate>& delegate);
