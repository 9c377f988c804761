#pragma once
// What the stream screens do when a GIF leaves a grid: the "share" event with the screen's
// parameters, the item's id and, for a copy from a tile's menu, the kind of copy; and the
// click that copies a GIF and confirms it on its tile. Main thread only.

#include <memory>
#include <optional>
#include <string_view>

#include "browse/EllipsesMenuShareType.h"
#include "model/VornObject.h"
#include "service/InterfaceFunctions.h"

class GifCell;

struct ShareReporting {
  struct Constants {
    static constexpr std::string_view shareEvent = "share";
    static constexpr std::string_view copyGif = "copygif";
    static constexpr std::string_view copyLink = "copylink";
    static constexpr std::string_view copyEmbed = "copyembed";
  };

  // "copylink" and "copyembed" for their kinds; anything else was a GIF copy.
  static std::string_view targetApp(EllipsesMenuShareType type);
  // Adds the item's id (and the copy kind when given) to the parameters and sends "share".
  static void logShare(StringDictionary parameters, const VornObject& vorn,
                       std::optional<EllipsesMenuShareType> type = std::nullopt);
  // Copies the item to the pasteboard; when something was written and the tile is a GIF
  // tile, its confirmation fades in and hides again later. Answers whether it copied.
  static bool copyAndConfirm(const std::shared_ptr<VornObject>& vorn, const std::shared_ptr<GifCell>& cell);
};
