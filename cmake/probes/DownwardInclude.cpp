// Built as part of the appkit layer: the values of the foundation below it are visible.
#include "platform/foundation/NSObject.h"

int layerProbe() { return 0; }
