#include "platform/host/HostClipboard.h"

#include "platform/host/HostTransfer.h"

namespace {
// Fetches another program's copy from the desktop the first time a type is read.
class DesktopClipboardProvider : public NSPasteboardItemDataProvider {
 public:
  explicit DesktopClipboardProvider(std::weak_ptr<HostClipboard> clipboard) : clipboard_(std::move(clipboard)) {}
  void pasteboard(const std::shared_ptr<NSPasteboard>&, const std::shared_ptr<NSPasteboardItem>& item,
                  const NSPasteboardType& type) override {
    auto clipboard = clipboard_.lock();
    if (!clipboard) return;
    if (auto data = clipboard->fetch(type)) item->setData(data, type);
  }

 private:
  std::weak_ptr<HostClipboard> clipboard_;
};
}  // namespace

std::shared_ptr<HostClipboard> HostClipboard::attach() {
  auto host = std::shared_ptr<HostClipboard>(new HostClipboard());
  host->clipboard_ = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  // The object the desktop's clipboard names as ours while we own it.
  host->owner_ = G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr));
  g_object_set_data(host->owner_, "glimdeck-clipboard", host.get());
  host->pasteboard_ = NSPasteboard::generalPasteboard();
  host->pasteboard_->addObserver(host);
  g_signal_connect(host->clipboard_, "owner-change", G_CALLBACK(onOwnerChange), host.get());
  // What another program copied before we started becomes the pasteboard's once the launch
  // is over: asking the desktop for it makes GTK set up its selection window and wait for the
  // server, which a launch should not wait for. A change meanwhile asks for itself.
  struct Pending {
    std::weak_ptr<HostClipboard> clipboard;
    unsigned long generation;
  };
  g_idle_add_full(
      G_PRIORITY_LOW,
      [](gpointer data) -> gboolean {
        auto* pending = static_cast<Pending*>(data);
        auto self = pending->clipboard.lock();
        if (self && self->generation_ == pending->generation && !gtk_clipboard_get_owner(self->clipboard_)) {
          self->takeForeignContents();
        }
        return G_SOURCE_REMOVE;
      },
      new Pending{host, host->generation_}, [](gpointer data) { delete static_cast<Pending*>(data); });
  return host;
}

HostClipboard::~HostClipboard() {
  g_signal_handlers_disconnect_by_data(clipboard_, this);
  if (owning_) gtk_clipboard_clear(clipboard_);
  g_object_set_data(owner_, "glimdeck-clipboard", nullptr);
  g_object_unref(owner_);
}

void HostClipboard::pasteboardDidChange(const std::shared_ptr<NSPasteboard>& pasteboard) {
  if (pasteboard != pasteboard_) return;
  offered_ = pasteboard_->types();
  if (offered_.empty()) {
    if (owning_) gtk_clipboard_clear(clipboard_);
    return;
  }
  GtkTargetList* list = HostTransfer::targetListFor(offered_);
  int count = 0;
  GtkTargetEntry* targets = gtk_target_table_new_from_list(list, &count);
  // Setting anew clears our previous contents first (onClear); owning_ follows after.
  owning_ = gtk_clipboard_set_with_owner(clipboard_, targets, static_cast<guint>(count), onGet, onClear, owner_);
  ++generation_;
  gtk_target_table_free(targets, count);
  gtk_target_list_unref(list);
}

void HostClipboard::onGet(GtkClipboard*, GtkSelectionData* selection, guint info, gpointer owner) {
  auto* self = static_cast<HostClipboard*>(g_object_get_data(G_OBJECT(owner), "glimdeck-clipboard"));
  if (!self || info >= self->offered_.size()) return;
  HostTransfer::answer(selection, *self->pasteboard_, self->offered_[info]);
}

void HostClipboard::onClear(GtkClipboard*, gpointer owner) {
  if (auto* self = static_cast<HostClipboard*>(g_object_get_data(G_OBJECT(owner), "glimdeck-clipboard"))) {
    self->owning_ = false;
  }
}

void HostClipboard::onOwnerChange(GtkClipboard* clipboard, GdkEvent*, gpointer data) {
  auto* self = static_cast<HostClipboard*>(data);
  if (gtk_clipboard_get_owner(clipboard) == self->owner_) return;
  self->owning_ = false;
  self->takeForeignContents();
}

void HostClipboard::takeForeignContents() {
  // Only the list of types is asked for now; the data waits until the application reads.
  auto generation = ++generation_;
  std::weak_ptr<HostClipboard> weak = weak_from_this();
  struct Request {
    std::weak_ptr<HostClipboard> clipboard;
    unsigned long generation;
  };
  gtk_clipboard_request_targets(clipboard_, [](GtkClipboard*, GdkAtom* atoms, gint count, gpointer data) {
    std::unique_ptr<Request> request(static_cast<Request*>(data));
    auto self = request->clipboard.lock();
    // A later change (ours or another program's) has overtaken this answer.
    if (!self || self->generation_ != request->generation || self->owning_) return;
    self->foreignTargets_.assign(atoms, atoms + std::max(count, 0));
    auto types = HostTransfer::typesFromTargets(atoms, count);
    std::vector<std::shared_ptr<NSPasteboardItem>> items;
    if (!types.empty()) {
      auto item = NSPasteboardItem::make();
      item->setDataProvider(std::make_shared<DesktopClipboardProvider>(self), types);
      items.push_back(item);
    }
    self->pasteboard_->installForeignContents(items);
  }, new Request{weak, generation});
}

std::shared_ptr<NSData> HostClipboard::fetch(const NSPasteboardType& type) {
  GdkAtom target = HostTransfer::targetForType(type, foreignTargets_.data(), static_cast<int>(foreignTargets_.size()));
  // Waits for the other program's answer (GTK runs its loop meanwhile).
  GtkSelectionData* selection = gtk_clipboard_wait_for_contents(clipboard_, target);
  auto data = HostTransfer::received(selection, type);
  if (selection) gtk_selection_data_free(selection);
  return data;
}
