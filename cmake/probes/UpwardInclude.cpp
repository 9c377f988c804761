// Built as part of the lowest layer on purpose: the interface kit's views lie above it, so
// this include must not compile.
#include "platform/appkit/NSView.h"

int layerProbe() { return 0; }
