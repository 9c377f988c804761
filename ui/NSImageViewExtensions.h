#pragma once
// Fills an image view from a file, the media cache or the network (the badge images of the
// GIF tiles), and the limits a picture is decoded within for the place it is shown at.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/appkit/NSImage.h"

class NSImageView;
class NSURL;
class NSURLSessionDataTask;

// What one picture on screen (a tile's GIF, a staged upload's preview) may hold decoded,
// with what drawing keeps of it: a panel shows a dozen, so a hostile one on each stays
// within tens of megabytes.
inline constexpr std::size_t kShownPictureBudgetBytes = 4u << 20;
// A picture fetched for a view (a sponsor's badge) is refused above this many bytes and the
// view left blank: held whole while it downloads, a few such files would take more memory
// than every tile's budget together.
inline constexpr std::int64_t kShownPictureMostBytes = std::int64_t{2} << 20;
// Pictures are decoded for screens of up to this many pixels a point (or the window's own,
// if it has more).
inline constexpr double kShownPicturePixelsPerPoint = 2.0;

// The limits of a picture shown `points` large at `pixelsPerPoint`: kept at most that many
// pixels a side whatever its own size, a GIF's frames within `budgetBytes` (made smaller,
// down to a quarter of that side, when all of them would not fit).
NSImage::Limits shownPictureLimits(NSSize points, double pixelsPerPoint = kShownPicturePixelsPerPoint,
                                   std::size_t budgetBytes = kShownPictureBudgetBytes);
// The same for the view's own size, at its window's pixels a point when it has more.
NSImage::Limits shownPictureLimits(const NSImageView& view, std::size_t budgetBytes = kShownPictureBudgetBytes);

// Decodes the picture at a URL within the limits, away from the main thread, and hands it
// to `completion` on the main thread (none when it could not be had or decoded): a file URL
// and a cached remote URL are read on the loading queue, anything else is downloaded (and
// cached) first, the started task answered so that the caller may cancel it.
std::shared_ptr<NSURLSessionDataTask> loadImageWithPath(const std::shared_ptr<NSURL>& url, const NSImage::Limits& limits,
                                                        std::function<void(std::shared_ptr<NSImage>)> completion);

// Loads the picture as above within the limits of the view's size and sets it on the view
// (on the main queue) if the view still exists; failures leave it as it was.
std::shared_ptr<NSURLSessionDataTask> networkLoadImageWithPath(const std::shared_ptr<NSImageView>& view,
                                                               const std::shared_ptr<NSURL>& url);
