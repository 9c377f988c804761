#pragma once
// The general pasteboard as the desktop clipboard, both ways. The application's copies are
// offered under their types (plain text under every text target) and produced only when a
// program pastes, through the pasteboard's lazy providers; another program's copy is put
// on the pasteboard as promised types, fetched from that program when the application reads.

#include <gtk/gtk.h>

#include <memory>
#include <vector>

#include "platform/appkit/NSPasteboard.h"

class HostClipboard : public NSPasteboardObserver, public std::enable_shared_from_this<HostClipboard> {
 public:
  static std::shared_ptr<HostClipboard> attach();
  ~HostClipboard() override;
  HostClipboard(const HostClipboard&) = delete;
  HostClipboard& operator=(const HostClipboard&) = delete;

  void pasteboardDidChange(const std::shared_ptr<NSPasteboard>& pasteboard) override;
  // The contents of another program's copy, read from the desktop now (the application reads).
  std::shared_ptr<NSData> fetch(const NSPasteboardType& type);

 private:
  HostClipboard() = default;
  static void onGet(GtkClipboard*, GtkSelectionData* selection, guint info, gpointer owner);
  static void onClear(GtkClipboard*, gpointer owner);
  static void onOwnerChange(GtkClipboard*, GdkEvent*, gpointer self);
  void takeForeignContents();

  GtkClipboard* clipboard_ = nullptr;
  GObject* owner_ = nullptr;
  std::shared_ptr<NSPasteboard> pasteboard_;
  std::vector<NSPasteboardType> offered_;
  std::vector<GdkAtom> foreignTargets_;
  bool owning_ = false;
  unsigned long generation_ = 0;
};
