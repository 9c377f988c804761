#pragma once
// Pasteboard types against the desktop's selection targets, for the clipboard and for
// drags alike. Types are MIME types already; plain text is offered under every text
// target GTK knows (UTF8_STRING, TEXT, STRING...), since many programs ask only for those.

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/appkit/NSPasteboard.h"

namespace HostTransfer {

// A target list for the types; a target's info is the index of its type in `types`.
GtkTargetList* targetListFor(const std::vector<NSPasteboardType>& types);
// The types worth taking from what another program offers, in its order, each once.
std::vector<NSPasteboardType> typesFromTargets(GdkAtom* targets, int count);
// The target to ask another program for when the application reads a type.
GdkAtom targetForType(const NSPasteboardType& type, GdkAtom* offered, int count);

// Answers a request for one type with the pasteboard's data (a lazy provider runs now);
// leaves the answer empty, which refuses the request, when there is none.
void answer(GtkSelectionData* selection, NSPasteboard& pasteboard, const NSPasteboardType& type);
// What another program sent, as data of the type; empty when it sent nothing.
std::shared_ptr<NSData> received(GtkSelectionData* selection, const NSPasteboardType& type);

}  // namespace HostTransfer
