#include "platform/host/HostTransfer.h"

#include <algorithm>
#include <cstring>

namespace HostTransfer {

namespace {
bool isText(const NSPasteboardType& type) { return type == NSPasteboardTypeString; }
}  // namespace

GtkTargetList* targetListFor(const std::vector<NSPasteboardType>& types) {
  GtkTargetList* list = gtk_target_list_new(nullptr, 0);
  for (std::size_t i = 0; i < types.size(); ++i) {
    auto info = static_cast<guint>(i);
    if (isText(types[i])) {
      gtk_target_list_add_text_targets(list, info);
    } else {
      gtk_target_list_add(list, gdk_atom_intern(types[i].c_str(), FALSE), 0, info);
    }
  }
  return list;
}

std::vector<NSPasteboardType> typesFromTargets(GdkAtom* targets, int count) {
  std::vector<NSPasteboardType> types;
  auto add = [&](const NSPasteboardType& type) {
    if (std::ranges::find(types, type) == types.end()) types.push_back(type);
  };
  for (int i = 0; i < count; ++i) {
    if (gtk_targets_include_text(&targets[i], 1)) {
      add(NSPasteboardTypeString);
      continue;
    }
    gchar* name = gdk_atom_name(targets[i]);
    // MIME types cross as they are; X's own targets (TARGETS, TIMESTAMP...) do not.
    if (name && std::strchr(name, '/')) add(name);
    g_free(name);
  }
  return types;
}

GdkAtom targetForType(const NSPasteboardType& type, GdkAtom* offered, int count) {
  if (isText(type)) {
    // The richest text target the other program offers.
    for (const char* name : {"UTF8_STRING", "text/plain;charset=utf-8", "TEXT", "COMPOUND_TEXT", "STRING", "text/plain"}) {
      GdkAtom atom = gdk_atom_intern(name, FALSE);
      for (int i = 0; i < count; ++i) {
        if (offered[i] == atom) return atom;
      }
    }
    return gdk_atom_intern("UTF8_STRING", FALSE);
  }
  return gdk_atom_intern(type.c_str(), FALSE);
}

void answer(GtkSelectionData* selection, NSPasteboard& pasteboard, const NSPasteboardType& type) {
  auto data = pasteboard.dataForType(type);
  if (!data) return;
  const auto& bytes = data->bytes();
  if (isText(type)) {
    // GTK converts to what the target asks (UTF8_STRING, STRING in Latin-1, ...).
    gtk_selection_data_set_text(selection, reinterpret_cast<const gchar*>(bytes.data()), static_cast<gint>(bytes.size()));
  } else {
    gtk_selection_data_set(selection, gtk_selection_data_get_target(selection), 8, bytes.data(),
                           static_cast<gint>(bytes.size()));
  }
}

std::shared_ptr<NSData> received(GtkSelectionData* selection, const NSPasteboardType& type) {
  if (!selection || gtk_selection_data_get_length(selection) < 0) return nullptr;
  if (isText(type)) {
    guchar* text = gtk_selection_data_get_text(selection);
    if (!text) return nullptr;
    auto* start = reinterpret_cast<const std::uint8_t*>(text);
    auto data = NSData::make(std::vector<std::uint8_t>(start, start + std::strlen(reinterpret_cast<char*>(text))));
    g_free(text);
    return data;
  }
  const guchar* bytes = gtk_selection_data_get_data(selection);
  auto length = static_cast<std::size_t>(gtk_selection_data_get_length(selection));
  return NSData::make(std::vector<std::uint8_t>(bytes, bytes + length));
}

}  // namespace HostTransfer
