#include "platform/host/X11Windows.h"

namespace X11Windows {

std::vector<Window> selfAndAncestors(Display* display, Window window) {
  std::vector<Window> chain;
  // Window managers nest a client a level or two deep; a longer walk means a broken tree.
  for (int depth = 0; window && depth < 16; ++depth) {
    chain.push_back(window);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) break;
    if (children) XFree(children);
    if (parent == root) break;
    window = parent;
  }
  return chain;
}

}  // namespace X11Windows
