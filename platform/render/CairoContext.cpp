#include "platform/render/CairoContext.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <variant>

#include "platform/foundation/DispatchQueue.h"
#include "platform/render/BlurredMaskCache.h"
#include "platform/render/TextLayout.h"
#include "platform/render/TextPictureCache.h"

namespace {

// Canvases beyond this many pixels a side are refused (a hostile size would exhaust memory).
constexpr int kMaxSide = 16384;
// A picture drawn larger than this many pixels is scaled as it is drawn rather than kept.
constexpr long kMostKeptPixels = 4096L * 4096L;
// Marks the drawing caches this backend filled, and those it fills on a worker.
constexpr char kScaledPictureOwner = 0;
constexpr char kScalingOwner = 1;
// Scaling that reads or makes more pixels than this is done on a worker: the drawings
// meanwhile scale the picture as they lay it on, keeping nothing.
constexpr long kMostScaledOnTheSpot = 1L << 17;

bool isFinite(NSRect r) {
  return std::isfinite(r.minX()) && std::isfinite(r.maxX()) && std::isfinite(r.minY()) && std::isfinite(r.maxY());
}

void setSource(cairo_t* cr, const CGColor& c, double alpha) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha * alpha);
}

// Runs `draw` with the identity matrix, so that it works in canvas pixels.
template <typename Draw>
void inPixels(cairo_t* cr, Draw draw) {
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  cairo_identity_matrix(cr);
  draw();
  cairo_set_matrix(cr, &m);
}

// Runs `draw` in canvas pixels, clipped to the box, the clip undone after.
template <typename Draw>
void inBox(cairo_t* cr, const PixelBox& box, Draw draw) {
  cairo_save(cr);
  inPixels(cr, [&] {
    cairo_rectangle(cr, box.x0, box.y0, box.width(), box.height());
    cairo_clip(cr);
    draw();
  });
  cairo_restore(cr);
}

void clipToBox(cairo_t* cr, const PixelBox& box) {
  inPixels(cr, [&] {
    cairo_rectangle(cr, box.x0, box.y0, box.width(), box.height());
    cairo_clip(cr);
  });
}

// A picture's pixels premultiplied as Cairo takes them; `opaque` tells whether every pixel is.
cairo_surface_t* surfaceOf(const CGImage& frame, bool* opaque = nullptr) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, frame.width, frame.height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return surface;
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  std::uint32_t all = 255;
  for (int y = 0; y < frame.height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<long>(y) * stride);
    const std::uint8_t* p = &frame.rgba[static_cast<std::size_t>(y) * frame.width * 4];
    for (int x = 0; x < frame.width; ++x, p += 4) {
      std::uint32_t a = p[3];
      all &= a;
      if (a == 255) {
        row[x] = 0xff000000u | (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
      } else {
        auto pre = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        row[x] = (a << 24) | (pre(p[0]) << 16) | (pre(p[1]) << 8) | pre(p[2]);
      }
    }
  }
  cairo_surface_mark_dirty(surface);
  if (opaque) *opaque = all == 255;
  return surface;
}

// A picture made once for one size on the canvas.
struct ScaledPicture {
  cairo_surface_t* surface = nullptr;
  int width = 0, height = 0;
  const std::uint8_t* pixels = nullptr;  // the picture it was made from
  ~ScaledPicture() {
    if (surface) cairo_surface_destroy(surface);
  }
};

// Scales a picture Cairo holds (`opaque` when every pixel is) to a size; takes `source`.
std::shared_ptr<ScaledPicture> scaledFrom(cairo_surface_t* source, bool opaque, const std::uint8_t* pixels, int width,
                                          int height) {
  auto made = std::make_shared<ScaledPicture>();
  made->width = width;
  made->height = height;
  made->pixels = pixels;
  if (cairo_surface_status(source) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(source);
    return nullptr;
  }
  const int sourceWidth = cairo_image_surface_get_width(source), sourceHeight = cairo_image_surface_get_height(source);
  if (width == sourceWidth && height == sourceHeight && !opaque) {
    made->surface = source;
    return made;
  }
  // An opaque picture is kept without alpha: drawing it is then a plain copy.
  made->surface = cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(made->surface);
  cairo_scale(cr, double(width) / sourceWidth, double(height) / sourceHeight);
  cairo_set_source_surface(cr, source, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  // Edge pixels repeat outward, so that scaling up does not fade the picture's rim.
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(source);
  if (cairo_surface_status(made->surface) != CAIRO_STATUS_SUCCESS) return nullptr;
  return made;
}

std::size_t bytesOf(const ScaledPicture& picture) {
  return static_cast<std::size_t>(cairo_image_surface_get_stride(picture.surface)) *
         static_cast<std::size_t>(cairo_image_surface_get_height(picture.surface));
}

// Keeps the picture in the cache and tells the cache's budget, which may let it go again.
void keepIn(CGImageDrawingCache& slot, const std::shared_ptr<ScaledPicture>& picture) {
  std::shared_ptr<CGImageDrawingBudget> budget;
  {
    std::lock_guard lock(slot.mutex);
    slot.owner = &kScaledPictureOwner;
    slot.content = picture;
    budget = slot.budget.lock();
  }
  if (budget) budget->noteKept(slot, bytesOf(*picture));
}

}  // namespace

std::shared_ptr<CairoContext> CairoContext::make(NSSize size, double scale, bool flipped) {
  std::shared_ptr<CairoContext> context(new CairoContext());
  double k = std::isfinite(scale) && scale > 0 ? std::min(scale, 8.0) : 1.0;
  auto side = [&](double points) {
    double pixels = std::ceil(std::isfinite(points) ? points * k : 0);
    return static_cast<int>(std::clamp(pixels, 1.0, double(kMaxSide)));
  };
  context->width_ = side(size.width);
  context->height_ = side(size.height);
  context->scale_ = k;
  context->surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, context->width_, context->height_);
  context->cr_ = cairo_create(context->surface_);
  context->state_.clip = ClipRect{0, 0, double(context->width_), double(context->height_)};
  cairo_scale(context->cr_, k, k);
  if (!flipped) {
    cairo_translate(context->cr_, 0, context->height_ / k);
    cairo_scale(context->cr_, 1, -1);
  }
  return context;
}

std::size_t CairoContext::DrawingKeyHash::operator()(const std::vector<double>& key) const {
  std::size_t hash = 0xcbf29ce484222325ULL;
  for (double v : key) hash = (hash ^ std::hash<double>{}(v)) * 0x100000001b3ULL;
  return hash;
}

CairoContext::~CairoContext() {
  if (cr_) cairo_destroy(cr_);
  if (surface_) cairo_surface_destroy(surface_);
}

std::expected<void, std::shared_ptr<NSError>> CairoContext::writePNG(const std::filesystem::path& path) const {
  std::error_code error;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), error);
  cairo_surface_flush(surface_);
  cairo_status_t status = cairo_surface_write_to_png(surface_, path.c_str());
  if (status != CAIRO_STATUS_SUCCESS) {
    return std::unexpected(NSError::make(std::string(NSError::NSCocoaErrorDomain), 512,
                                         std::string("cannot write PNG: ") + cairo_status_to_string(status)));
  }
  return {};
}

CGImage CairoContext::pixels() const {
  cairo_surface_flush(surface_);
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  int stride = cairo_image_surface_get_stride(surface_);
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width_) * height_ * 4);
  for (int y = 0; y < height_; ++y) {
    auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<long>(y) * stride);
    for (int x = 0; x < width_; ++x) {
      std::uint32_t px = row[x], a = px >> 24;
      auto straight = [a](std::uint32_t c) { return a == 0 ? 0u : std::min(255u, (c * 255 + a / 2) / a); };
      std::uint8_t* out = &rgba[(static_cast<std::size_t>(y) * width_ + x) * 4];
      out[0] = static_cast<std::uint8_t>(straight((px >> 16) & 0xFF));
      out[1] = static_cast<std::uint8_t>(straight((px >> 8) & 0xFF));
      out[2] = static_cast<std::uint8_t>(straight(px & 0xFF));
      out[3] = static_cast<std::uint8_t>(a);
    }
  }
  return CGImage{width_, height_, std::move(rgba)};
}

// Most saved states are restored with Cairo's matrix and clip as they were (a view that
// draws without moving or clipping, a clip to bounds that cut nothing): Cairo's state is
// saved only once something is about to change it.
void CairoContext::saveGState() {
  saved_.push_back(state_);
  saved_.back().savedInCairo = false;
}

void CairoContext::willChangeCairoState() {
  // Entries at or below the current layer's start need nothing: the layer's own save
  // brings Cairo back to them at its end.
  const std::size_t floor = groups_.empty() ? 0 : groups_.back().savedDepth;
  if (saved_.size() > floor && !saved_.back().savedInCairo) {
    cairo_save(cr_);
    saved_.back().savedInCairo = true;
  }
}

void CairoContext::restoreSaved() {
  if (saved_.back().savedInCairo) cairo_restore(cr_);
  state_ = saved_.back();
  saved_.pop_back();
}

void CairoContext::restoreGState() {
  // Restores never reach past the start of the current transparency layer.
  std::size_t floor = groups_.empty() ? 0 : groups_.back().savedDepth;
  if (saved_.size() <= floor) return;
  restoreSaved();
}

void CairoContext::translate(double dx, double dy) {
  willChangeCairoState();
  cairo_translate(cr_, dx, dy);
}

void CairoContext::scale(double sx, double sy) {
  if (sx == 0 || sy == 0 || !std::isfinite(sx) || !std::isfinite(sy)) return;  // a degenerate matrix breaks Cairo
  willChangeCairoState();
  cairo_scale(cr_, sx, sy);
}

// ---- where drawing goes ---------------------------------------------------------------

PixelBox CairoContext::clipBox() const {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  inPixels(cr_, [&] { cairo_clip_extents(cr_, &x1, &y1, &x2, &y2); });
  return PixelBox::covering(x1, y1, x2, y2);
}

PixelBox CairoContext::deviceBoxOf(NSRect rect) const {
  if (!(rect.width() >= 0) || !(rect.height() >= 0)) return {};
  double xs[4] = {rect.minX(), rect.maxX(), rect.minX(), rect.maxX()};
  double ys[4] = {rect.minY(), rect.minY(), rect.maxY(), rect.maxY()};
  double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (int i = 0; i < 4; ++i) {
    cairo_user_to_device(cr_, &xs[i], &ys[i]);
    minX = std::min(minX, xs[i]), maxX = std::max(maxX, xs[i]);
    minY = std::min(minY, ys[i]), maxY = std::max(maxY, ys[i]);
  }
  return PixelBox::covering(minX, minY, maxX, maxY);
}

CairoContext::ShadowReach CairoContext::reachOf(const CGShadow& shadow) const {
  ShadowReach reach;
  double blur = std::isfinite(shadow.blur) ? std::clamp(shadow.blur, 0.0, 1000.0) : 0.0;
  reach.radius = static_cast<int>(std::lround(blur * scale_ / 2.0));
  reach.spread = reach.radius > 0 ? 3 * reach.radius + 1 : 0;
  // The offset is in the base space, where y grows upwards; the canvas' rows run down.
  auto clamp = [](double v) { return std::isfinite(v) ? std::clamp(v, -1e6, 1e6) : 0.0; };
  reach.dx = clamp(shadow.offset.width * scale_);
  reach.dy = clamp(-shadow.offset.height * scale_);
  return reach;
}

PixelBox CairoContext::shadowBoxOf(const PixelBox& shape, const ShadowReach& reach) const {
  return shape.grown(reach.spread).shifted(reach.dx, reach.dy);
}

void CairoContext::noteInk(const PixelBox& box) {
  if (!groups_.empty()) groups_.back().ink = groups_.back().ink.united(box);
}

bool CairoContext::holdBack(NSRect rect) {
  if (groups_.empty()) return false;
  Group& group = groups_.back();
  if (group.skipped || !group.ink.empty() || !(state_.alpha >= 1) || !(state_.fill.alpha >= 1) ||
      (state_.shadow && state_.shadow->color.alpha > 0)) {
    return false;
  }
  cairo_matrix_t m;
  cairo_get_matrix(cr_, &m);
  if (m.xy != 0 || m.yx != 0) return false;
  double xa = rect.minX(), ya = rect.minY(), xb = rect.maxX(), yb = rect.maxY();
  cairo_user_to_device(cr_, &xa, &ya);
  cairo_user_to_device(cr_, &xb, &yb);
  // The pixels the fill covers wholly, and the clip lets it reach.
  const PixelBox covered = PixelBox::covering(std::ceil(std::min(xa, xb)), std::ceil(std::min(ya, yb)),
                                              std::floor(std::max(xa, xb)), std::floor(std::max(ya, yb)));
  if (!covered.contains(group.region) || !wholePixelsOfClipHold(group.region)) return false;
  group.heldFill = state_.fill;
  group.opaqueWithin = true;
  noteInk(group.region);
  return true;
}

void CairoContext::layHeldFill() {
  if (groups_.empty() || !groups_.back().heldFill) return;
  layHeldFill(std::span(&groups_.back().region, 1));
}

void CairoContext::layHeldFill(std::span<const PixelBox> parts) {
  Group& group = groups_.back();
  const CGColor colour = *group.heldFill;
  group.heldFill.reset();
  if (parts.empty()) return;
  // Each pixel takes the colour, as the fill gave every pixel the layer holds.
  cairo_save(cr_);
  cairo_reset_clip(cr_);
  inPixels(cr_, [&] {
    cairo_new_path(cr_);
    for (const PixelBox& part : parts) cairo_rectangle(cr_, part.x0, part.y0, part.width(), part.height());
    setSource(cr_, colour, 1);
    cairo_fill(cr_);
  });
  cairo_restore(cr_);
}

NSSize CairoContext::deviceSizeOf(NSRect rect) const {
  double w = rect.width(), h = rect.height();
  cairo_user_to_device_distance(cr_, &w, &h);
  double across = rect.width(), down = 0;
  cairo_user_to_device_distance(cr_, &across, &down);
  double sideways = 0, tall = rect.height();
  cairo_user_to_device_distance(cr_, &sideways, &tall);
  return {std::hypot(across, down), std::hypot(sideways, tall)};
}

bool CairoContext::coversWholly(NSRect cover, NSRect beneath) const {
  // Only under one upright clip rectangle, with nothing faded, cast or turned, and for a
  // picture laid on from a copy made for its size (see drawCachedImage).
  if (skipping_ > 0 || !state_.clip || !(state_.alpha >= 1) || (state_.shadow && state_.shadow->color.alpha > 0)) {
    return false;
  }
  cairo_matrix_t m;
  cairo_get_matrix(cr_, &m);
  if (m.xy != 0 || m.yx != 0 || !(m.xx > 0) || m.yy == 0 || !isFinite(cover) || !isFinite(beneath)) return false;
  double x0 = cover.minX(), y0 = cover.minY(), x1 = cover.maxX(), y1 = cover.maxY();
  cairo_user_to_device(cr_, &x0, &y0);
  cairo_user_to_device(cr_, &x1, &y1);
  if ((x1 - x0) * std::abs(y1 - y0) > double(kMostKeptPixels)) return false;
  // The pixels the picture covers wholly: laid on at whole pixels, it may sit half a pixel
  // off its rectangle on either side.
  const PixelBox picture = PixelBox::covering(std::ceil(std::min(x0, x1)) + 1, std::ceil(std::min(y0, y1)) + 1,
                                              std::floor(std::max(x0, x1)) - 1, std::floor(std::max(y0, y1)) - 1);
  // And those the clip covers wholly: at its rim what is beneath shows through the blend.
  const ClipRect& c = *state_.clip;
  const PixelBox clip = PixelBox::covering(std::ceil(c.x0), std::ceil(c.y0), std::floor(c.x1), std::floor(c.y1));
  const PixelBox drawn = deviceBoxOf(beneath).grown(1);
  return !drawn.empty() && picture.intersected(clip).contains(drawn);
}

std::optional<NSRect> CairoContext::clipBoundingBox() const {
  double x1, y1, x2, y2;
  cairo_clip_extents(cr_, &x1, &y1, &x2, &y2);
  return NSMakeRect(x1, y1, x2 - x1, y2 - y1);
}

// ---- drawing --------------------------------------------------------------------------

void CairoContext::appendPath(cairo_t* cr, const CGPath& path) const {
  cairo_new_path(cr);
  for (const auto& element : path.elements()) {
    std::visit(
        [&](const auto& e) {
          using T = std::decay_t<decltype(e)>;
          if constexpr (std::is_same_v<T, CGPathMove>) {
            cairo_move_to(cr, e.point.x, e.point.y);
          } else if constexpr (std::is_same_v<T, CGPathLine>) {
            cairo_line_to(cr, e.point.x, e.point.y);
          } else if constexpr (std::is_same_v<T, CGPathCurve>) {
            cairo_curve_to(cr, e.control1.x, e.control1.y, e.control2.x, e.control2.y, e.point.x, e.point.y);
          } else if constexpr (std::is_same_v<T, CGPathArc>) {
            if (!(e.radius > 0) || !std::isfinite(e.radius)) return;
            // Angles grow counter-clockwise in y-up space; "clockwise" runs them backwards.
            if (e.clockwise) cairo_arc_negative(cr, e.centre.x, e.centre.y, e.radius, e.startAngle, e.endAngle);
            else cairo_arc(cr, e.centre.x, e.centre.y, e.radius, e.startAngle, e.endAngle);
          } else {
            cairo_close_path(cr);
          }
        },
        element);
  }
}

template <typename Step>
void CairoContext::perform(const PixelBox& box, Step step, const std::optional<CGShadow>& shadow) {
  const double alpha = state_.alpha;
  if (skipping_ > 0 || !(alpha > 0)) return;
  layHeldFill();
  const PixelBox clip = clipBox();
  const PixelBox drawn = box.intersected(clip);
  PixelBox shaded;
  if (shadow && shadow->color.alpha > 0) shaded = shadowBoxOf(box, reachOf(*shadow)).intersected(clip);
  if (drawn.empty() && shaded.empty()) return;
  noteInk(drawn.united(shaded));
  if (!shaded.empty()) {
    cairo_matrix_t user;
    cairo_get_matrix(cr_, &user);
    drawShadow(box, clip, *shadow, alpha, [&](cairo_t* mask) {
      cairo_transform(mask, &user);
      step(mask);
    });
  }
  if (drawn.empty()) return;
  if (alpha >= 1) {
    if (insideClip(drawn)) {
      // See layOn: within the whole pixels of such a clip, one of whole pixels draws alike.
      cairo_save(cr_);
      cairo_reset_clip(cr_);
      clipToBox(cr_, drawn);
      step(cr_);
      cairo_restore(cr_);
      return;
    }
    step(cr_);
    return;
  }
  // Overlapping parts of one drawing take the alpha once: it is drawn apart, then laid on.
  cairo_save(cr_);
  clipToBox(cr_, drawn);
  cairo_push_group(cr_);
  step(cr_);
  cairo_pop_group_to_source(cr_);
  cairo_paint_with_alpha(cr_, alpha);
  cairo_restore(cr_);
}

template <typename Render>
void CairoContext::drawShadow(const PixelBox& shape, const PixelBox& clip, const CGShadow& shadow, double alpha,
                              Render render) {
  const ShadowReach reach = reachOf(shadow);
  // Where the shadow lands inside the clip, taken back to before its offset...
  const PixelBox needed = clip.shifted(-reach.dx, -reach.dy).intersected(shape.grown(reach.spread));
  if (needed.empty()) return;
  // ...and the alpha that the blur carries into it.
  const PixelBox area = needed.grown(reach.spread);
  if (area.width() > kMaxSide || area.height() > kMaxSide) return;
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, area.width(), area.height());
  if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(mask);
    return;
  }
  cairo_t* m = cairo_create(mask);
  // The mask's pixels are the canvas's, moved to the area's corner.
  cairo_translate(m, -area.x0, -area.y0);
  render(m);
  cairo_destroy(m);
  if (BlurredMaskCache::shared().blur(mask, reach.radius)) shadowPixelsBlurred_ += static_cast<std::size_t>(area.area());
  const PixelBox landing = needed.shifted(reach.dx, reach.dy).intersected(clip);
  cairo_save(cr_);
  if (insideClip(landing)) cairo_reset_clip(cr_);  // see layOn
  inPixels(cr_, [&] {
    cairo_rectangle(cr_, landing.x0, landing.y0, landing.width(), landing.height());
    cairo_clip(cr_);
    setSource(cr_, shadow.color, alpha);
    cairo_mask_surface(cr_, mask, area.x0 + reach.dx, area.y0 + reach.dy);
  });
  cairo_restore(cr_);
  cairo_surface_destroy(mask);
}

void CairoContext::composite(cairo_pattern_t* pattern, double alpha, const std::optional<CGShadow>& shadow,
                             const PixelBox& ink) {
  cairo_matrix_t identity;
  cairo_matrix_init_identity(&identity);
  cairo_pattern_set_matrix(pattern, &identity);  // the group's pixels are in canvas pixels
  const PixelBox clip = clipBox();
  const PixelBox drawn = ink.intersected(clip);
  PixelBox shaded;
  if (shadow && shadow->color.alpha > 0 && alpha > 0) {
    shaded = shadowBoxOf(ink, reachOf(*shadow)).intersected(clip);
    if (!shaded.empty()) {
      drawShadow(ink, clip, *shadow, alpha, [&](cairo_t* mask) {
        cairo_set_source(mask, pattern);
        cairo_paint(mask);
      });
    }
  }
  if (!drawn.empty() && alpha > 0) {
    layOn(drawn, [&] {
      cairo_set_source(cr_, pattern);
      cairo_paint_with_alpha(cr_, alpha);
    });
  }
  noteInk(drawn.united(shaded));
}

template <typename Paint>
void CairoContext::layOn(const PixelBox& box, Paint paint) {
  // A clip with edges inside pixels makes Cairo work out its coverage over all that is laid
  // on through a mask (a label's shadow inside its field's bounds at fractions of a pixel).
  // Pixels that it covers wholly need none: laid on under a clip of whole pixels they take
  // the same values, their coverage being full. (Cutting a layer into the part the clip
  // covers wholly and its rim costs more than the one masking: Cairo's work per call.)
  if (insideClip(box)) {
    cairo_save(cr_);
    cairo_reset_clip(cr_);
    inBox(cr_, box, paint);
    cairo_restore(cr_);
    return;
  }
  inBox(cr_, box, paint);
}

bool CairoContext::ClipRect::whole() const {
  return x0 == std::floor(x0) && y0 == std::floor(y0) && x1 == std::floor(x1) && y1 == std::floor(y1);
}

bool CairoContext::insideClip(const PixelBox& box) const {
  return state_.clip && !state_.clip->whole() && wholePixelsOfClipHold(box);
}

void CairoContext::clipToPath(const CGPath& path, CGFillRule rule) {
  willChangeCairoState();
  appendPath(cr_, path);
  cairo_set_fill_rule(cr_, rule == CGFillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr_);
  state_.clip.reset();
}

namespace {
// The path of CGPath::rect, built straight into Cairo.
void appendRect(cairo_t* cr, NSRect r) {
  cairo_new_path(cr);
  cairo_move_to(cr, r.minX(), r.minY());
  cairo_line_to(cr, r.maxX(), r.minY());
  cairo_line_to(cr, r.maxX(), r.maxY());
  cairo_line_to(cr, r.minX(), r.maxY());
  cairo_close_path(cr);
}
}  // namespace

// Views clip to their bounds and fill rectangles at every drawing: the rectangle's path goes
// to Cairo without a CGPath made and walked, and the clip is followed while it stays one
// upright rectangle.
void CairoContext::clipToRect(NSRect rect) {
  if (!isFinite(rect)) {
    GraphicsContext::clipToRect(rect);
    return;
  }
  cairo_matrix_t m;
  cairo_get_matrix(cr_, &m);
  const bool upright = m.xy == 0 && m.yx == 0;
  double xa = rect.minX(), ya = rect.minY(), xb = rect.maxX(), yb = rect.maxY();
  cairo_user_to_device(cr_, &xa, &ya);
  cairo_user_to_device(cr_, &xb, &yb);
  const ClipRect device{std::min(xa, xb), std::min(ya, yb), std::max(xa, xb), std::max(ya, yb)};
  if (state_.clip && upright) {
    // A rectangle holding all the clip leaves it as it is (a view's bounds inside the part
    // being repainted): Cairo is not asked.
    const ClipRect& clip = *state_.clip;
    if (device.x0 <= clip.x0 && device.y0 <= clip.y0 && device.x1 >= clip.x1 && device.y1 >= clip.y1) return;
  }
  willChangeCairoState();
  appendRect(cr_, rect);
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr_);
  if (!state_.clip) return;
  if (!upright) {
    state_.clip.reset();
    return;
  }
  ClipRect& clip = *state_.clip;
  clip = {std::max(clip.x0, device.x0), std::max(clip.y0, device.y0), std::min(clip.x1, device.x1),
          std::min(clip.y1, device.y1)};
}

void CairoContext::fillRect(NSRect rect) {
  if (!isFinite(rect)) {
    GraphicsContext::fillRect(rect);
    return;
  }
  if (skipping_ > 0 || holdBack(rect)) return;
  // The box CGPath::boundingBox gives the rectangle's path.
  const double minX = std::min(rect.minX(), rect.maxX()), maxX = std::max(rect.minX(), rect.maxX());
  const double minY = std::min(rect.minY(), rect.maxY()), maxY = std::max(rect.minY(), rect.maxY());
  perform(
      deviceBoxOf(NSMakeRect(minX, minY, maxX - minX, maxY - minY)),
      [&](cairo_t* cr) {
        appendRect(cr, rect);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        setSource(cr, state_.fill, 1);
        cairo_fill(cr);
      },
      state_.shadow);
}

void CairoContext::fillPath(const CGPath& path, CGFillRule rule) {
  if (skipping_ > 0 || path.elements().empty()) return;
  perform(
      deviceBoxOf(path.boundingBox()),
      [&](cairo_t* cr) {
        appendPath(cr, path);
        cairo_set_fill_rule(cr, rule == CGFillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        setSource(cr, state_.fill, 1);
        cairo_fill(cr);
      },
      state_.shadow);
}

void CairoContext::fillShape(cairo_t* cr, const CGPath& path, CGFillRule rule) const {
  appendPath(cr, path);
  cairo_set_fill_rule(cr, rule == CGFillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  cairo_set_source_rgba(cr, 0, 0, 0, 1);
  cairo_fill(cr);
}

void CairoContext::castShadowOfPath(const CGPath& path, CGFillRule rule, NSRect covered, NSRect alsoCovered) {
  const std::optional<CGShadow>& shadow = state_.shadow;
  if (skipping_ > 0 || path.elements().empty() || !shadow || !(shadow->color.alpha > 0) || !(state_.alpha > 0)) return;
  const PixelBox box = deviceBoxOf(path.boundingBox());
  const ShadowReach reach = reachOf(*shadow);
  const PixelBox clip = clipBox();
  const PixelBox shaded = shadowBoxOf(box, reach).intersected(clip);
  if (shaded.empty() || box.width() > kMaxSide || box.height() > kMaxSide) return;
  layHeldFill();
  noteInk(shaded);
  // The pixels that the drawing to come covers wholly need no shadow.
  auto wholly = [&](NSRect r) { return r.width() > 0 && r.height() > 0 ? deviceBoxOf(r).grown(-1) : PixelBox{}; };
  const PixelBox insides[2] = {wholly(covered), wholly(alsoCovered)};
  // Around what is covered, as one clip of whole-pixel rectangles; none when the drawing to
  // come covers all the clip shows of the shadow (a repaint inside a tile's face).
  const std::vector<PixelBox> parts = PixelBox::outside(shaded, insides);
  if (parts.empty()) return;
  // A large shape's shadow is worked out where the clip needs it, and not kept.
  constexpr long kMostKeptShadowPixels = 1L << 20;
  const bool keep = box.grown(reach.spread).area() <= kMostKeptShadowPixels;
  // Moved by whole pixels, and inside whole pixels of the clip, the shadow is copied on from
  // its coloured picture: a tile's corners at every frame cost a copy of their pixels.
  if (keep && reach.dx == std::floor(reach.dx) && reach.dy == std::floor(reach.dy) && wholePixelsOfClipHold(shaded)) {
    if (cairo_surface_t* picture = shadowPicture(path, rule, box, reach, shadow->color, state_.alpha)) {
      layOnParts(parts, [&] {
        cairo_set_source_surface(cr_, picture, box.x0 - reach.spread + reach.dx, box.y0 - reach.spread + reach.dy);
      });
      return;
    }
  }
  cairo_surface_t* mask = keep ? shapeShadow(path, rule, box, reach) : nullptr;
  if (!mask) {
    cairo_matrix_t user;
    cairo_get_matrix(cr_, &user);
    drawShadow(box, clip, *shadow, state_.alpha, [&](cairo_t* m) {
      cairo_transform(m, &user);
      fillShape(m, path, rule);
    });
    return;
  }
  cairo_save(cr_);
  if (insideClip(shaded)) cairo_reset_clip(cr_);  // see layOn
  inPixels(cr_, [&] {
    for (const PixelBox& part : parts) {
      cairo_rectangle(cr_, part.x0, part.y0, part.width(), part.height());
    }
    cairo_clip(cr_);
    setSource(cr_, shadow->color, state_.alpha);
    cairo_mask_surface(cr_, mask, box.x0 - reach.spread + reach.dx, box.y0 - reach.spread + reach.dy);
  });
  cairo_restore(cr_);
}

bool CairoContext::wholePixelsOfClipHold(const PixelBox& box) const {
  if (!state_.clip || box.empty()) return false;
  const ClipRect& c = *state_.clip;
  return PixelBox::covering(std::ceil(c.x0), std::ceil(c.y0), std::floor(c.x1), std::floor(c.y1)).contains(box);
}

template <typename SetSource>
void CairoContext::layOnParts(std::span<const PixelBox> parts, SetSource setSource) {
  // Within whole pixels of the clip the parts' own rectangles clip alike (see layOn).
  const bool whole = state_.clip->whole();
  if (!whole) {
    cairo_save(cr_);
    cairo_reset_clip(cr_);
  }
  inPixels(cr_, [&] {
    setSource();
    cairo_new_path(cr_);
    for (const PixelBox& part : parts) cairo_rectangle(cr_, part.x0, part.y0, part.width(), part.height());
    cairo_fill(cr_);
  });
  if (!whole) cairo_restore(cr_);
}

cairo_surface_t* CairoContext::shadowPicture(const CGPath& path, CGFillRule rule, const PixelBox& box,
                                             const ShadowReach& reach, const CGColor& colour, double alpha) {
  makeShadowKey(path, rule, box, reach);
  pictureKey_ = shadowKey_;
  pictureKey_.insert(pictureKey_.end(), {colour.red, colour.green, colour.blue, colour.alpha, alpha});
  if (auto* kept = shadowPictures_.find(pictureKey_)) return kept->value.get();
  // A window shows a few shadows over and over (its tiles'): a few megabytes are kept.
  constexpr std::size_t kPicturesKept = 48;
  constexpr long kMostPicturePixels = 2L << 20;
  const PixelBox area = box.grown(reach.spread);
  if (area.area() > kMostPicturePixels / 4) return nullptr;
  cairo_surface_t* mask = shapeShadow(path, rule, box, reach);
  if (!mask) return nullptr;
  cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, area.width(), area.height());
  if (cairo_surface_status(picture) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(picture);
    return nullptr;
  }
  // The colour laid through the mask as onto the canvas, onto nothing: what the canvas then
  // takes from the picture is what it took from the colour and the mask.
  cairo_t* p = cairo_create(picture);
  setSource(p, colour, alpha);
  cairo_mask_surface(p, mask, 0, 0);
  cairo_destroy(p);
  cairo_surface_flush(picture);
  shadowPictures_.add(pictureKey_, KeptSurface(picture));
  shadowPicturePixels_ += area.area();
  auto pixelsOf = [](cairo_surface_t* s) { return long(cairo_image_surface_get_width(s)) * cairo_image_surface_get_height(s); };
  while (shadowPictures_.size() > 1 &&
         (shadowPictures_.size() > kPicturesKept || shadowPicturePixels_ > kMostPicturePixels)) {
    shadowPicturePixels_ -= pixelsOf(shadowPictures_.oldest().value.get());
    shadowPictures_.dropOldest();
  }
  return picture;
}

void CairoContext::makeShadowKey(const CGPath& path, CGFillRule rule, const PixelBox& box, const ShadowReach& reach) {
  cairo_matrix_t user;
  cairo_get_matrix(cr_, &user);
  const double dx = user.x0 - box.x0 + reach.spread, dy = user.y0 - box.y0 + reach.spread;
  // Made in a vector kept for it: a tile's shadow is looked up at every frame.
  std::vector<double>& key = shadowKey_;
  key.assign({double(rule == CGFillRule::evenOdd), double(reach.radius), double(reach.spread), user.xx, user.yx,
              user.xy, user.yy, dx, dy, double(box.width()), double(box.height())});
  for (const auto& element : path.elements()) {
    std::visit(
        [&](const auto& e) {
          using T = std::decay_t<decltype(e)>;
          if constexpr (std::is_same_v<T, CGPathMove>) {
            key.insert(key.end(), {1, e.point.x, e.point.y});
          } else if constexpr (std::is_same_v<T, CGPathLine>) {
            key.insert(key.end(), {2, e.point.x, e.point.y});
          } else if constexpr (std::is_same_v<T, CGPathCurve>) {
            key.insert(key.end(), {3, e.control1.x, e.control1.y, e.control2.x, e.control2.y, e.point.x, e.point.y});
          } else if constexpr (std::is_same_v<T, CGPathArc>) {
            key.insert(key.end(), {4, e.centre.x, e.centre.y, e.radius, e.startAngle, e.endAngle, double(e.clockwise)});
          } else {
            key.push_back(5);
          }
        },
        element);
  }
}

cairo_surface_t* CairoContext::shapeShadow(const CGPath& path, CGFillRule rule, const PixelBox& box,
                                           const ShadowReach& reach) {
  cairo_matrix_t user;
  cairo_get_matrix(cr_, &user);
  // The shape's place on the canvas, less the whole pixels of its box: the same shape at
  // another whole-pixel place has the same shadow.
  const double dx = user.x0 - box.x0 + reach.spread, dy = user.y0 - box.y0 + reach.spread;
  makeShadowKey(path, rule, box, reach);
  std::vector<double>& key = shadowKey_;
  if (auto* kept = shapeShadows_.find(key)) return kept->value.get();
  const PixelBox area = box.grown(reach.spread);
  cairo_surface_t* mask = filledMask(path, rule, area, dx, dy);
  if (!mask) return nullptr;
  if (BlurredMaskCache::shared().blur(mask, reach.radius)) shadowPixelsBlurred_ += static_cast<std::size_t>(area.area());
  return keepMask(shapeShadows_, key, mask);
}

cairo_surface_t* CairoContext::filledMask(const CGPath& path, CGFillRule rule, const PixelBox& area, double dx,
                                          double dy) const {
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, area.width(), area.height());
  if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(mask);
    return nullptr;
  }
  cairo_t* m = cairo_create(mask);
  cairo_matrix_t placed;
  cairo_get_matrix(cr_, &placed);
  placed.x0 = dx;
  placed.y0 = dy;
  cairo_set_matrix(m, &placed);
  fillShape(m, path, rule);
  cairo_destroy(m);
  cairo_surface_flush(mask);
  return mask;
}

cairo_surface_t* CairoContext::keepMask(KeptMasks& kept, std::vector<double> key, cairo_surface_t* mask) {
  // A window shows a few shapes over and over (its tiles, its buttons): a few dozen are kept.
  constexpr std::size_t kShapesKept = 48;
  kept.add(std::move(key), KeptSurface(mask));
  if (kept.size() > kShapesKept) kept.dropOldest();
  return mask;
}

void CairoContext::strokePath(const CGPath& path) {
  if (skipping_ > 0 || path.elements().empty()) return;
  const double width = std::max(0.0, state_.lineWidth);
  appendPath(cr_, path);
  cairo_set_line_width(cr_, width);
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  cairo_stroke_extents(cr_, &x1, &y1, &x2, &y2);
  cairo_new_path(cr_);
  perform(
      deviceBoxOf(NSMakeRect(x1, y1, x2 - x1, y2 - y1)).grown(1),
      [&](cairo_t* cr) {
        appendPath(cr, path);
        cairo_set_line_width(cr, width);
        setSource(cr, state_.stroke, 1);
        cairo_stroke(cr);
      },
      state_.shadow);
}

namespace {

cairo_pattern_t* linearGradient(const std::vector<CGColor>& colors, const std::vector<double>& locations, NSPoint start,
                                NSPoint end) {
  cairo_pattern_t* gradient = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
  for (std::size_t i = 0; i < colors.size(); ++i) {
    double at = locations.size() == colors.size() ? locations[i]
                : colors.size() == 1              ? 0.0
                                                  : double(i) / double(colors.size() - 1);
    const CGColor& c = colors[i];
    cairo_pattern_add_color_stop_rgba(gradient, std::clamp(at, 0.0, 1.0), c.red, c.green, c.blue, c.alpha);
  }
  cairo_pattern_set_extend(gradient, CAIRO_EXTEND_PAD);
  return gradient;
}

}  // namespace

cairo_surface_t* CairoContext::gradientPicture(const std::vector<CGColor>& colors, const std::vector<double>& locations,
                                               NSPoint start, NSPoint end, const PixelBox& box) {
  // Where the gradient runs on the canvas: the same gradient at the same place, drawn again
  // (a tile's title shade under its playing picture), is copied from what was made of it.
  double sx = start.x, sy = start.y, ex = end.x, ey = end.y;
  cairo_user_to_device(cr_, &sx, &sy);
  cairo_user_to_device(cr_, &ex, &ey);
  std::vector<double> key{sx, sy, ex, ey};
  for (const auto& c : colors) key.insert(key.end(), {c.red, c.green, c.blue, c.alpha});
  key.push_back(-1);
  key.insert(key.end(), locations.begin(), locations.end());
  PixelBox made = box;
  if (auto* kept = gradients_.find(key)) {
    if (kept->value.box.contains(box)) return kept->value.surface.get();
    // Made for another part of the canvas: made again over both.
    made = made.united(kept->value.box);
    gradients_.dropNewest();
  }
  constexpr long kMostPixels = 1024L * 1024L;
  if (made.empty() || made.area() > kMostPixels) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, made.width(), made.height());
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  gradientPixelsMade_ += static_cast<std::size_t>(made.area());
  cairo_t* g = cairo_create(surface);
  cairo_pattern_t* gradient = linearGradient(colors, locations, {sx - made.x0, sy - made.y0}, {ex - made.x0, ey - made.y0});
  cairo_set_source(g, gradient);
  cairo_set_operator(g, CAIRO_OPERATOR_SOURCE);
  cairo_paint(g);
  cairo_pattern_destroy(gradient);
  cairo_destroy(g);
  cairo_surface_flush(surface);
  // A window shows a few shades over and over (its tiles' titles): a few megabytes are kept.
  constexpr std::size_t kGradientsKept = 48;
  constexpr long kMostGradientPixels = 4L << 20;
  gradients_.add(std::move(key), {made, KeptSurface(surface)});
  long kept = 0;
  gradients_.forEach([&](const auto& gradient) { kept += gradient.value.box.area(); });
  while (gradients_.size() > 1 && (gradients_.size() > kGradientsKept || kept > kMostGradientPixels)) {
    kept -= gradients_.oldest().value.box.area();
    gradients_.dropOldest();
  }
  return surface;
}

void CairoContext::drawLinearGradient(const std::vector<CGColor>& colors, const std::vector<double>& locations,
                                      NSPoint start, NSPoint end) {
  if (skipping_ > 0 || colors.empty()) return;
  const PixelBox box = clipBox();
  perform(
      box,
      [&](cairo_t* cr) {
        if (cr == cr_) {
          if (cairo_surface_t* picture = gradientPicture(colors, locations, start, end, box)) {
            const PixelBox& at = gradients_.newest().value.box;
            inPixels(cr_, [&] {
              cairo_set_source_surface(cr_, picture, at.x0, at.y0);
              cairo_paint(cr_);
            });
            return;
          }
        }
        cairo_pattern_t* gradient = linearGradient(colors, locations, start, end);
        cairo_set_source(cr, gradient);
        cairo_paint(cr);
        cairo_pattern_destroy(gradient);
      },
      state_.shadow);
}

void CairoContext::uprightIn(cairo_t* cr, NSRect rect) const {
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  if (m.yy < 0) {
    cairo_translate(cr, rect.minX(), rect.maxY());
    cairo_scale(cr, 1, -1);
  } else {
    cairo_translate(cr, rect.minX(), rect.minY());
  }
}

namespace {
std::shared_ptr<DispatchQueue> scalingQueue() {
  static auto queue = DispatchQueue::makeSerial("picture scaling");
  return queue;
}

// Has the picture made for the size on the scaling queue and kept in the cache once it is
// there (unless the cache went away or was given something else meanwhile).
void startScaling(CGImageDrawingCache& slot, const CGImage& frame, int width, int height) {
  bool opaque = false;
  cairo_surface_t* source = surfaceOf(frame, &opaque);
  if (cairo_surface_status(source) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(source);
    return;
  }
  auto awaited = std::make_shared<ScaledPicture>();
  awaited->width = width;
  awaited->height = height;
  awaited->pixels = frame.rgba.data();
  {
    std::lock_guard lock(slot.mutex);
    slot.owner = &kScalingOwner;
    slot.content = awaited;
  }
  scalingQueue()->async([reach = slot.reach(), awaited, source, opaque] {
    auto made = scaledFrom(source, opaque, awaited->pixels, awaited->width, awaited->height);
    std::lock_guard lock(reach->mutex);
    if (!reach->cache) return;
    CGImageDrawingCache& cache = *reach->cache;
    {
      std::lock_guard held(cache.mutex);
      if (cache.owner != &kScalingOwner || cache.content != awaited) return;
      if (!made) {
        cache.owner = nullptr;
        cache.content.reset();
        return;
      }
    }
    keepIn(cache, made);
  });
}

// The picture made once for the size the rectangle covers on the canvas, kept or made now,
// and the whole pixels it is laid on; null when the picture or the placement (turned, or
// too large) does not allow it, while it is being made on a worker (`scaling` then set,
// with the pixels it will be laid on), or when its budget has no room for it (`fromPixels`
// then set: it is scaled as it is laid on, each time).
std::shared_ptr<ScaledPicture> placedPicture(cairo_t* cr, const CGImageSource& source, const CGImage& frame, NSRect rect,
                                             PixelBox& at, bool* scaling = nullptr, bool* fromPixels = nullptr) {
  CGImageDrawingCache* slot = source.drawingCache();
  if (!slot) return nullptr;
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  // Only plain placements: scaled and moved, upright or upside down, never turned.
  if (m.xy != 0 || m.yx != 0 || !(m.xx > 0) || m.yy == 0) return nullptr;
  const double x0 = m.xx * rect.minX() + m.x0, x1 = m.xx * rect.maxX() + m.x0;
  const double ya = m.yy * rect.minY() + m.y0, yb = m.yy * rect.maxY() + m.y0;
  const double y0 = std::min(ya, yb), y1 = std::max(ya, yb);
  const long width = std::lround(x1 - x0), height = std::lround(y1 - y0);
  if (width <= 0 || height <= 0 || width * height > kMostKeptPixels || !std::isfinite(x0) || !std::isfinite(y0) ||
      std::abs(x0) > PixelBox::kFar || std::abs(y0) > PixelBox::kFar) {
    return nullptr;
  }
  // Whole pixels: the picture is laid on as it is, with no filtering.
  const int left = static_cast<int>(std::round(x0)), top = static_cast<int>(std::round(y0));
  at = {left, top, left + static_cast<int>(width), top + static_cast<int>(height)};
  std::shared_ptr<ScaledPicture> picture;
  bool awaited = false;
  {
    std::lock_guard lock(slot->mutex);
    if ((slot->owner == &kScaledPictureOwner || slot->owner == &kScalingOwner) && slot->content) {
      auto kept = std::static_pointer_cast<ScaledPicture>(slot->content);
      if (kept->width == width && kept->height == height && kept->pixels == frame.rgba.data()) {
        if (slot->owner == &kScaledPictureOwner) picture = kept;
        else awaited = true;
      }
    }
  }
  if (!picture) {
    if (!awaited) {
      std::shared_ptr<CGImageDrawingBudget> budget;
      {
        std::lock_guard lock(slot->mutex);
        budget = slot->budget.lock();
      }
      if (budget && !budget->hasRoomFor(static_cast<std::size_t>(width * height) * 4)) {
        if (fromPixels) *fromPixels = true;
        return nullptr;
      }
    }
    // Large pictures are scaled off the thread that draws (the main thread, for windows).
    if (awaited || long(frame.width) * frame.height + width * height > kMostScaledOnTheSpot) {
      if (!awaited) startScaling(*slot, frame, static_cast<int>(width), static_cast<int>(height));
      if (scaling) *scaling = true;
      return nullptr;
    }
    bool opaque = false;
    picture = scaledFrom(surfaceOf(frame, &opaque), opaque, frame.rgba.data(), static_cast<int>(width),
                         static_cast<int>(height));
    if (!picture) return nullptr;
    keepIn(*slot, picture);
  }
  return picture;
}
}  // namespace

bool CairoContext::drawCachedImage(const CGImageSource& source, const CGImage& frame, NSRect rect, double fraction) {
  PixelBox at;
  bool awaited = false, fromPixels = false;
  const auto picture = placedPicture(cr_, source, frame, rect, at, &awaited, &fromPixels);
  cairo_surface_t* unscaled = nullptr;
  if (!picture) {
    if (!awaited && !fromPixels) return false;
    // Until the worker has made it, the picture is scaled as it is laid on, onto the same
    // pixels and with the same filter: what shows is what the kept copy will show (but for
    // a unit of rounding here and there).
    unscaled = surfaceOf(frame);
    if (cairo_surface_status(unscaled) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(unscaled);
      return false;
    }
  }
  cairo_save(cr_);
  inPixels(cr_, [&] {
    cairo_rectangle(cr_, at.x0, at.y0, at.width(), at.height());
    if (picture) {
      cairo_set_source_surface(cr_, picture->surface, at.x0, at.y0);
      cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
    } else {
      cairo_matrix_t placed;
      cairo_matrix_init_translate(&placed, at.x0, at.y0);
      cairo_matrix_scale(&placed, double(at.width()) / frame.width, double(at.height()) / frame.height);
      cairo_matrix_invert(&placed);
      cairo_pattern_t* pattern = cairo_pattern_create_for_surface(unscaled);
      cairo_pattern_set_matrix(pattern, &placed);
      cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
      // Edge pixels repeat outward, as in the kept copy.
      cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
      cairo_set_source(cr_, pattern);
      cairo_pattern_destroy(pattern);
    }
    if (fraction >= 1) {
      cairo_fill(cr_);
    } else {
      cairo_clip(cr_);
      cairo_paint_with_alpha(cr_, fraction);
    }
  });
  cairo_restore(cr_);
  if (unscaled) cairo_surface_destroy(unscaled);
  return true;
}

void CairoContext::layHeldFillUnder(const CGImageSource& source, const CGImage& frame, NSRect rect, double fraction) {
  if (fraction >= 1 && state_.alpha >= 1 && !(state_.shadow && state_.shadow->color.alpha > 0) && state_.clip) {
    const PixelBox& region = groups_.back().region;
    PixelBox at;
    const auto picture = placedPicture(cr_, source, frame, rect, at);
    // Kept without alpha when every pixel is opaque (see scaledFrom).
    if (picture && cairo_image_surface_get_format(picture->surface) == CAIRO_FORMAT_RGB24 && at.contains(region)) {
      // Only where the clip cuts into pixels does the fill show through the picture's edge.
      const ClipRect& c = *state_.clip;
      const PixelBox inside =
          PixelBox::covering(std::ceil(c.x0), std::ceil(c.y0), std::floor(c.x1), std::floor(c.y1)).intersected(region);
      layHeldFill(PixelBox::outside(region, std::span(&inside, 1)));
      return;
    }
  }
  layHeldFill();
}

void CairoContext::drawImage(const std::shared_ptr<const CGImageSource>& image, NSRect rect, double fraction) {
  if (skipping_ > 0) return;
  const CGImage* pixels = image ? image->imageForDrawing() : nullptr;
  if (!pixels || pixels->width <= 0 || pixels->height <= 0 ||
      pixels->rgba.size() < static_cast<std::size_t>(pixels->width) * pixels->height * 4 || rect.isEmpty() ||
      !(fraction > 0))
    return;
  const CGImage& frame = *pixels;
  const double shown = std::min(1.0, fraction);
  // An opaque picture over all a layer holds replaces the fill held back under it.
  if (!groups_.empty() && groups_.back().heldFill) layHeldFillUnder(*image, frame, rect, shown);
  perform(
      deviceBoxOf(rect),
      [&](cairo_t* cr) {
        if (cr == cr_ && drawCachedImage(*image, frame, rect, shown)) return;
        cairo_surface_t* surface = surfaceOf(frame);
        if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
          cairo_save(cr);
          uprightIn(cr, rect);
          cairo_rectangle(cr, 0, 0, rect.width(), rect.height());
          cairo_clip(cr);
          cairo_scale(cr, rect.width() / frame.width, rect.height() / frame.height);
          cairo_set_source_surface(cr, surface, 0, 0);
          cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
          // Edge pixels repeat outward, so that scaling up does not fade the picture's rim.
          cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
          cairo_paint_with_alpha(cr, shown);
          cairo_restore(cr);
        }
        cairo_surface_destroy(surface);
      },
      state_.shadow);
}

cairo_pattern_t* CairoContext::drawnMask(const std::function<void(GraphicsContext&)>& mask, const PixelBox& region) {
  // The mask is drawn over all the layer holds, not only where the clip lets the layer
  // show: Cairo may rasterise a curve's pixels at a clip's edge otherwise than away from
  // it, and a repaint of part of the layer must give the pixels of a full one.
  cairo_save(cr_);
  cairo_reset_clip(cr_);
  clipToBox(cr_, region);
  cairo_push_group_with_content(cr_, CAIRO_CONTENT_ALPHA);  // only its alpha counts
  State outer = state_;
  state_ = State{};  // the clip is the region's, but none is followed for the mask's drawing
  groups_.push_back({state_, 1, saved_.size(), false, {}, {}});
  mask(*this);
  layHeldFill();
  while (saved_.size() > groups_.back().savedDepth) restoreSaved();
  groups_.pop_back();
  state_ = outer;
  cairo_pattern_t* pattern = cairo_pop_group(cr_);
  cairo_restore(cr_);
  return pattern;
}

std::shared_ptr<const TextPictureCache::Picture> CairoContext::textPicture(const TextPictureCache::Key& key) {
  if (auto kept = TextPictureCache::shared().find(key)) return kept;
  auto lock = TextLayout::lock();
  // Laid out at the scale it shows at, from a pixel's corner.
  cairo_save(cr_);
  cairo_matrix_t scaled;
  cairo_matrix_init_scale(&scaled, key.scaleX, key.scaleY);
  cairo_set_matrix(cr_, &scaled);
  PangoContext* context = pango_cairo_create_context(cr_);
  cairo_restore(cr_);
  TextLayout::configure(context);
  PangoLayout* layout = TextLayout::makeLayout(context, key.text, key.width);
  // The text may run past the rectangle's bottom (and its glyphs past their boxes).
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(layout, &ink, &logical);
  const double x1 = std::min(ink.x, logical.x), y1 = std::min(ink.y, logical.y);
  const double x2 = std::max(ink.x + ink.width, logical.x + logical.width);
  const double y2 = std::max(ink.y + ink.height, logical.y + logical.height);
  auto picture = std::make_shared<TextPictureCache::Picture>();
  picture->box = PixelBox::covering(x1 * key.scaleX, y1 * key.scaleY, x2 * key.scaleX, y2 * key.scaleY).grown(1);
  if (!picture->box.empty() && picture->box.width() <= kMaxSide && picture->box.height() <= kMaxSide) {
    picture->surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture->box.width(), picture->box.height());
    cairo_t* t = cairo_create(picture->surface);
    cairo_matrix_t placed;
    cairo_matrix_init(&placed, key.scaleX, 0, 0, key.scaleY, -picture->box.x0, -picture->box.y0);
    cairo_set_matrix(t, &placed);
    cairo_set_source_rgba(t, 0, 0, 0, 1);  // the platform's default text colour
    pango_cairo_update_layout(t, layout);
    pango_cairo_show_layout(t, layout);
    cairo_destroy(t);
    cairo_surface_flush(picture->surface);
  }
  g_object_unref(layout);
  g_object_unref(context);
  if (!picture->surface) return nullptr;
  TextPictureCache::shared().keep(key, picture);
  return picture;
}

// Text in a space that is turned or mirrored: laid out and drawn as it is.
void CairoContext::drawTextLaidOut(const CGText& text, NSRect rect, const std::optional<CGShadow>& shadow) {
  auto lock = TextLayout::lock();
  PangoContext* context = pango_cairo_create_context(cr_);
  TextLayout::configure(context);
  PangoLayout* layout = TextLayout::makeLayout(context, text, rect.width());
  perform(
      clipBox(),
      [&](cairo_t* cr) {
        cairo_save(cr);
        uprightIn(cr, rect);
        cairo_set_source_rgba(cr, 0, 0, 0, 1);  // the platform's default text colour
        pango_cairo_update_layout(cr, layout);
        pango_cairo_show_layout(cr, layout);
        cairo_restore(cr);
      },
      shadow);
  g_object_unref(layout);
  g_object_unref(context);
}

void CairoContext::drawText(const std::shared_ptr<const CGTextSource>& source, NSRect rect) {
  if (skipping_ > 0 || !source || !(state_.alpha > 0)) return;
  CGText text = source->textForDrawing();
  if (text.utf8.empty()) return;
  // A shadow given with the text draws under it when the context has none of its own.
  std::optional<CGShadow> shadow = state_.shadow ? state_.shadow : text.shadow;
  text.shadow.reset();
  // The space the text is laid out in: upright, from the rectangle's top-left corner.
  cairo_matrix_t upright;
  cairo_save(cr_);
  uprightIn(cr_, rect);
  cairo_get_matrix(cr_, &upright);
  cairo_restore(cr_);
  const bool plain = upright.xy == 0 && upright.yx == 0 && upright.xx > 0 && upright.yy > 0 &&
                     std::isfinite(upright.x0) && std::isfinite(upright.y0) && std::isfinite(rect.width());
  if (!plain) {
    drawTextLaidOut(text, rect, shadow);
    return;
  }
  auto picture = textPicture({std::move(text), rect.width(), upright.xx, upright.yy});
  if (!picture) return;
  // Laid on from the whole pixel nearest to where the layout starts.
  const PixelBox box = picture->box.shifted(std::round(upright.x0), std::round(upright.y0));
  cairo_matrix_t user, fromPixels;
  cairo_get_matrix(cr_, &user);
  fromPixels = user;
  if (cairo_matrix_invert(&fromPixels) != CAIRO_STATUS_SUCCESS) return;
  // The shadow comes from the picture's own blurred alpha, made once: the same label drawn
  // again (a tile's title over its playing picture) costs one masking.
  if (shadow && shadow->color.alpha > 0) {
    layHeldFill();
    const ShadowReach reach = reachOf(*shadow);
    const PixelBox shaded = shadowBoxOf(box, reach).intersected(clipBox());
    cairo_surface_t* blurred = shaded.empty() ? nullptr : picture->shadow(reach.radius, reach.spread);
    if (blurred) {
      noteInk(shaded);
      cairo_save(cr_);
      if (insideClip(shaded)) cairo_reset_clip(cr_);  // see layOn
      inPixels(cr_, [&] {
        cairo_rectangle(cr_, shaded.x0, shaded.y0, shaded.width(), shaded.height());
        cairo_clip(cr_);
        setSource(cr_, shadow->color, state_.alpha);
        cairo_mask_surface(cr_, blurred, box.x0 - reach.spread + reach.dx, box.y0 - reach.spread + reach.dy);
      });
      cairo_restore(cr_);
    }
    shadow.reset();
  }
  perform(
      box,
      [&](cairo_t* cr) {
        // In canvas pixels, on the canvas or on a shadow's mask alike.
        cairo_matrix_t now, pixels;
        cairo_get_matrix(cr, &now);
        cairo_matrix_multiply(&pixels, &fromPixels, &now);
        cairo_save(cr);
        cairo_set_matrix(cr, &pixels);
        cairo_set_source_surface(cr, picture->surface, box.x0, box.y0);
        cairo_rectangle(cr, box.x0, box.y0, box.width(), box.height());
        cairo_fill(cr);
        cairo_restore(cr);
      },
      shadow);
}

// ---- transparency layers --------------------------------------------------------------

void CairoContext::beginTransparencyLayer(double alpha) { beginGroup(std::nullopt, alpha); }

void CairoContext::beginTransparencyLayerWithRect(NSRect rect, double alpha) { beginGroup(rect, alpha); }

void CairoContext::beginGroup(std::optional<NSRect> rect, double alpha) {
  layHeldFill();
  Group group{state_, std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 1.0, saved_.size(), false, {}, {}};
  bool skip = skipping_ > 0 || !(group.alpha > 0) || !(state_.alpha > 0);
  if (!skip) {
    const PixelBox clip = clipBox();
    const bool shadowed = state_.shadow && state_.shadow->color.alpha > 0;
    // What the layer must hold: its contents where they show, and with a shadow, the
    // contents whose shadow falls into the clip, although they lie outside it.
    PixelBox region = clip;
    if (shadowed) {
      const ShadowReach reach = reachOf(*state_.shadow);
      region = clip.united(clip.shifted(-reach.dx, -reach.dy).grown(reach.spread));
    }
    const PixelBox extent = rect ? deviceBoxOf(*rect) : clip;
    if (rect) region = region.intersected(extent);
    skip = region.empty();
    if (!skip) {
      // A little beyond the clip too: Cairo may rasterise a slanted or curved edge in the
      // first pixels inside a clip otherwise than away from it, and the layer's pixels must
      // not depend on where a repaint cuts it (the layer is laid on inside the clip only).
      constexpr int kMargin = 2;
      region = region.united(clip.grown(kMargin));
      if (rect) region = region.intersected(extent);
      group.region = region.intersected({0, 0, width_, height_});
      cairo_save(cr_);  // the layer's own clip, undone at its end
      cairo_reset_clip(cr_);
      clipToBox(cr_, group.region);
      cairo_push_group(cr_);
    }
  }
  group.skipped = skip;
  if (skip) ++skipping_;
  groups_.push_back(group);
  state_.shadow.reset();
  state_.alpha = 1;
  if (!skip) {
    const PixelBox& r = group.region;
    state_.clip = ClipRect{double(r.x0), double(r.y0), double(r.x1), double(r.y1)};
  }
}

void CairoContext::endTransparencyLayer(const std::function<void(GraphicsContext&)>& mask) { endGroup(mask, nullptr); }

void CairoContext::endTransparencyLayerMaskedToRoundedRect(NSRect rect, double radius) {
  const std::pair<NSRect, double> rounded{rect, radius};
  endGroup(nullptr, &rounded);
}

namespace {
// Within an alpha mask, a box of fully opaque pixels through the middle: across (the rows
// between a rounded shape's corners), or down (its columns); empty when the middle is not.
PixelBox opaqueThroughMiddle(cairo_surface_t* mask, bool across) {
  const unsigned char* data = cairo_image_surface_get_data(mask);
  const int width = cairo_image_surface_get_width(mask), height = cairo_image_surface_get_height(mask);
  const long stride = cairo_image_surface_get_stride(mask);
  if (!data || width <= 0 || height <= 0) return {};
  // Along the middle line and out from it while the lines stay opaque over that run.
  const int along = across ? width : height, lines = across ? height : width;
  auto at = [&](int line, int i) { return across ? data[line * stride + i] : data[long(i) * stride + line]; };
  const int middle = lines / 2;
  int from = along / 2, to = from;
  if (at(middle, from) != 255) return {};
  while (from > 0 && at(middle, from - 1) == 255) --from;
  while (to + 1 < along && at(middle, to + 1) == 255) ++to;
  auto opaque = [&](int line) {
    for (int i = from; i <= to; ++i) {
      if (at(line, i) != 255) return false;
    }
    return true;
  };
  int first = middle, last = middle;
  while (first > 0 && opaque(first - 1)) --first;
  while (last + 1 < lines && opaque(last + 1)) ++last;
  return across ? PixelBox{from, first, to + 1, last + 1} : PixelBox{first, from, last + 1, to + 1};
}
}  // namespace

const CairoContext::RoundedMask* CairoContext::roundedMask(NSRect rect, double radius, const PixelBox& box) {
  constexpr long kMostPixels = 1L << 20;
  if (box.empty() || box.area() > kMostPixels) return nullptr;
  cairo_matrix_t user;
  cairo_get_matrix(cr_, &user);
  // The shape's place on the canvas, less the whole pixels of its box.
  const double dx = user.x0 - box.x0, dy = user.y0 - box.y0;
  std::vector<double> key{user.xx, user.yx, user.xy, user.yy, dx, dy, double(box.width()), double(box.height()),
                          rect.minX(), rect.minY(), rect.width(), rect.height(), radius};
  if (auto* kept = roundedMasks_.find(key)) return &kept->value;
  cairo_surface_t* mask = filledMask(CGPath::roundedRect(rect, radius), CGFillRule::nonZero, box, dx, dy);
  if (!mask) return nullptr;
  // A window shows a few faces over and over (its tiles): a few dozen are kept.
  constexpr std::size_t kShapesKept = 48;
  auto& made = roundedMasks_.add(std::move(key), {KeptSurface(mask), opaqueThroughMiddle(mask, true),
                                                  opaqueThroughMiddle(mask, false)});
  if (roundedMasks_.size() > kShapesKept) roundedMasks_.dropOldest();
  return &made.value;
}

void CairoContext::endGroup(const std::function<void(GraphicsContext&)>& mask, const std::pair<NSRect, double>* rounded) {
  if (groups_.empty()) return;
  layHeldFill();
  // Close any state left saved inside the layer.
  while (saved_.size() > groups_.back().savedDepth) restoreSaved();
  Group group = groups_.back();
  groups_.pop_back();
  state_ = group.before;
  if (group.skipped) {
    --skipping_;
    return;
  }
  cairo_pattern_t* content = cairo_pop_group(cr_);
  cairo_restore(cr_);
  if (group.ink.empty()) {
    cairo_pattern_destroy(content);
    return;
  }
  // A rounded mask is kept for a layer made over just the shape's pixels (a repaint that
  // cuts into the layer draws it as below): with the same bounds, Cairo rasterises the
  // shape alike on the kept mask and on the layer.
  cairo_pattern_t* kept = nullptr;
  // Where the kept mask is wholly opaque, in canvas pixels.
  PixelBox opaqueMask[2];
  if (rounded) {
    const PixelBox box = deviceBoxOf(rounded->first);
    if (box == group.region) {
      if (const RoundedMask* shape = roundedMask(rounded->first, rounded->second, box)) {
        opaqueMask[0] = shape->across.shifted(box.x0, box.y0);
        opaqueMask[1] = shape->down.shifted(box.x0, box.y0);
        cairo_surface_t* surface = shape->surface.get();
        kept = cairo_pattern_create_for_surface(surface);
        cairo_matrix_t placed;
        cairo_matrix_init_translate(&placed, -box.x0, -box.y0);
        cairo_pattern_set_matrix(kept, &placed);
      }
    }
  }
  std::function<void(GraphicsContext&)> drawer = mask;
  if (rounded && !kept) {
    drawer = [rounded](GraphicsContext& shape) {
      shape.setFillColor(CGColor{0, 0, 0, 1});
      shape.fillRoundedRect(rounded->first, rounded->second);
    };
  }
  if (kept || drawer) {
    cairo_pattern_t* maskPattern = kept;
    if (!maskPattern) maskPattern = drawnMask(drawer, group.region);
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    cairo_pattern_set_matrix(content, &identity);
    if (!kept) cairo_pattern_set_matrix(maskPattern, &identity);
    const double alpha = group.alpha * state_.alpha;
    if (alpha >= 1 && !(state_.shadow && state_.shadow->color.alpha > 0)) {
      // Nothing to cast or fade: the layer goes through its mask straight onto what is below.
      const PixelBox drawn = group.ink.intersected(clipBox());
      // A large layer opaque all over (a face under its picture at a high scale) is copied on
      // where the mask is wholly opaque, and goes through the mask only in the corners and
      // at the rim: an opaque pixel through a full mask is the pixel itself.
      constexpr long kFewestCopiedPixels = 16384;
      if (kept && group.opaqueWithin && drawn.area() >= kFewestCopiedPixels && wholePixelsOfClipHold(drawn)) {
        const PixelBox across = opaqueMask[0].intersected(drawn);
        std::vector<PixelBox> copied = PixelBox::outside(opaqueMask[1].intersected(drawn), std::span(&across, 1));
        if (!across.empty()) copied.push_back(across);
        const std::vector<PixelBox> masked = PixelBox::outside(drawn, copied);
        layOnParts(copied, [&] {
          cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
          cairo_set_source(cr_, content);
        });
        cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
        if (!masked.empty()) {
          cairo_save(cr_);
          if (!state_.clip->whole()) cairo_reset_clip(cr_);  // see layOn
          inPixels(cr_, [&] {
            cairo_new_path(cr_);
            for (const PixelBox& part : masked) cairo_rectangle(cr_, part.x0, part.y0, part.width(), part.height());
            cairo_clip(cr_);
            cairo_set_source(cr_, content);
            cairo_mask(cr_, maskPattern);
          });
          cairo_restore(cr_);
        }
        noteInk(drawn);
      } else if (!drawn.empty()) {
        layOn(drawn, [&] {
          cairo_set_source(cr_, content);
          cairo_mask(cr_, maskPattern);
        });
        noteInk(drawn);
      }
      cairo_pattern_destroy(maskPattern);
      cairo_pattern_destroy(content);
      return;
    }
    cairo_push_group(cr_);
    inPixels(cr_, [&] {
      cairo_set_source(cr_, content);
      cairo_mask(cr_, maskPattern);
    });
    cairo_pattern_t* masked = cairo_pop_group(cr_);
    cairo_pattern_destroy(maskPattern);
    cairo_pattern_destroy(content);
    content = masked;
  }
  composite(content, group.alpha * state_.alpha, state_.shadow, group.ink);
  cairo_pattern_destroy(content);
}

// ---- kept pictures --------------------------------------------------------------------

cairo_surface_t* CairoContext::pictureOver(const PixelBox& box, const std::function<bool(GraphicsContext&)>& draw,
                                           bool& keep) {
  // A context of the picture's size whose pixels are the canvas's moved by the box's corner:
  // whole pixels, so that everything drawn lands within its pixels as on the canvas.
  std::shared_ptr<CairoContext> picture(new CairoContext());
  picture->width_ = box.width();
  picture->height_ = box.height();
  picture->scale_ = scale_;
  picture->surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, box.width(), box.height());
  if (cairo_surface_status(picture->surface_) != CAIRO_STATUS_SUCCESS) return nullptr;
  picture->cr_ = cairo_create(picture->surface_);
  cairo_matrix_t placed;
  cairo_get_matrix(cr_, &placed);
  placed.x0 -= box.x0;
  placed.y0 -= box.y0;
  cairo_set_matrix(picture->cr_, &placed);
  picture->state_.clip = ClipRect{0, 0, double(box.width()), double(box.height())};
  keep = draw(*picture);
  ++keptPicturesMade_;
  cairo_surface_t* surface = std::exchange(picture->surface_, nullptr);
  cairo_destroy(std::exchange(picture->cr_, nullptr));
  cairo_surface_flush(surface);
  return surface;
}

bool CairoContext::drawKeptPicture(const std::shared_ptr<const void>& owner, std::uint64_t change, NSRect area,
                                   double alpha, const std::function<bool(GraphicsContext&)>& draw) {
  if (!owner || !draw || !isFinite(area) || !(area.width() > 0) || !(area.height() > 0)) return false;
  // A shadow in effect would be cast by each thing drawn, not by the picture as one.
  if (state_.shadow && state_.shadow->color.alpha > 0) return false;
  const PixelBox box = deviceBoxOf(area);
  if (box.empty() || box.width() > kMaxSide || box.height() > kMaxSide || box.area() > kMostKeptPixels) return false;
  const double shown = (std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 1.0) * state_.alpha;
  // Nothing shows: nor would anything drawn straight.
  if (skipping_ > 0 || !(shown > 0)) return true;
  const PixelBox drawn = box.intersected(clipBox());
  if (drawn.empty()) return true;
  cairo_matrix_t m;
  cairo_get_matrix(cr_, &m);
  const KeptPictures::Made made{change,
                                {m.xx, m.yx, m.xy, m.yy, m.x0 - box.x0, m.y0 - box.y0, double(box.width()),
                                 double(box.height())}};
  cairo_surface_t* picture = keptPictures_.find(owner.get(), made);
  cairo_surface_t* passing = nullptr;  // made for this drawing alone
  if (!picture) {
    bool keep = false;
    cairo_surface_t* fresh = pictureOver(box, draw, keep);
    if (!fresh) return false;
    if (keep) picture = keptPictures_.keep(owner, made, fresh);
    else picture = passing = fresh;
  }
  layHeldFill();
  layOn(drawn, [&] {
    cairo_set_source_surface(cr_, picture, box.x0, box.y0);
    cairo_paint_with_alpha(cr_, shown);
  });
  noteInk(drawn);
  if (passing) cairo_surface_destroy(passing);
  return true;
}
