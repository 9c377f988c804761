#include "platform/render/CairoContext.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <variant>

#include "platform/render/TextLayout.h"

namespace {

// Canvases beyond this many pixels a side are refused (a hostile size would exhaust memory).
constexpr int kMaxSide = 16384;

void setSource(cairo_t* cr, const CGColor& c, double alpha) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha * alpha);
}

// Three box blurs approximate a Gaussian whose deviation is half the blur radius, as the
// platform's shadows have. Only the part of the mask that holds ink (grown by the spread
// of the blur) is worked on.
void blurAlpha(cairo_surface_t* surface, double blur) {
  int radius = static_cast<int>(std::lround(blur / 2.0));
  if (radius <= 0) return;
  cairo_surface_flush(surface);
  int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
  int stride = cairo_image_surface_get_stride(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  int minX = w, minY = h, maxX = -1, maxY = -1;
  for (int y = 0; y < h; ++y) {
    const unsigned char* row = data + static_cast<long>(y) * stride;
    for (int x = 0; x < w; ++x) {
      if (row[x]) {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
    }
  }
  if (maxX < 0) return;
  int spread = 3 * radius + 1;
  minX = std::max(0, minX - spread), maxX = std::min(w - 1, maxX + spread);
  minY = std::max(0, minY - spread), maxY = std::min(h - 1, maxY + spread);
  std::vector<unsigned char> line(static_cast<std::size_t>(std::max(w, h)));
  auto pass = [&](unsigned char* start, int count, int step) {
    long sum = 0;
    int window = 2 * radius + 1;
    auto at = [&](int i) -> int { return (i < 0 || i >= count) ? 0 : start[static_cast<long>(i) * step]; };
    for (int i = -radius; i <= radius; ++i) sum += at(i);
    for (int i = 0; i < count; ++i) {
      line[static_cast<std::size_t>(i)] = static_cast<unsigned char>(sum / window);
      sum += at(i + radius + 1) - at(i - radius);
    }
    for (int i = 0; i < count; ++i) start[static_cast<long>(i) * step] = line[static_cast<std::size_t>(i)];
  };
  for (int round = 0; round < 3; ++round) {
    for (int y = minY; y <= maxY; ++y) pass(data + static_cast<long>(y) * stride + minX, maxX - minX + 1, 1);
    for (int x = minX; x <= maxX; ++x) pass(data + static_cast<long>(minY) * stride + x, maxY - minY + 1, stride);
  }
  cairo_surface_mark_dirty(surface);
}

cairo_surface_t* surfaceOf(const CGImage& frame) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, frame.width, frame.height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return surface;
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < frame.height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<long>(y) * stride);
    for (int x = 0; x < frame.width; ++x) {
      const std::uint8_t* p = &frame.rgba[(static_cast<std::size_t>(y) * frame.width + x) * 4];
      std::uint32_t a = p[3];
      auto pre = [a](std::uint32_t c) { return (c * a + 127) / 255; };
      row[x] = (a << 24) | (pre(p[0]) << 16) | (pre(p[1]) << 8) | pre(p[2]);
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
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
  cairo_scale(context->cr_, k, k);
  if (!flipped) {
    cairo_translate(context->cr_, 0, context->height_ / k);
    cairo_scale(context->cr_, 1, -1);
  }
  return context;
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

void CairoContext::saveGState() {
  cairo_save(cr_);
  saved_.push_back(state_);
}

void CairoContext::restoreGState() {
  // Restores never reach past the start of the current transparency layer.
  std::size_t floor = groups_.empty() ? 0 : groups_.back().savedDepth;
  if (saved_.size() <= floor) return;
  cairo_restore(cr_);
  state_ = saved_.back();
  saved_.pop_back();
}

void CairoContext::translate(double dx, double dy) { cairo_translate(cr_, dx, dy); }

void CairoContext::scale(double sx, double sy) {
  if (sx == 0 || sy == 0 || !std::isfinite(sx) || !std::isfinite(sy)) return;  // a degenerate matrix breaks Cairo
  cairo_scale(cr_, sx, sy);
}

void CairoContext::appendPath(const CGPath& path) {
  cairo_new_path(cr_);
  for (const auto& element : path.elements()) {
    std::visit(
        [&](const auto& e) {
          using T = std::decay_t<decltype(e)>;
          if constexpr (std::is_same_v<T, CGPathMove>) {
            cairo_move_to(cr_, e.point.x, e.point.y);
          } else if constexpr (std::is_same_v<T, CGPathLine>) {
            cairo_line_to(cr_, e.point.x, e.point.y);
          } else if constexpr (std::is_same_v<T, CGPathCurve>) {
            cairo_curve_to(cr_, e.control1.x, e.control1.y, e.control2.x, e.control2.y, e.point.x, e.point.y);
          } else if constexpr (std::is_same_v<T, CGPathArc>) {
            if (!(e.radius > 0) || !std::isfinite(e.radius)) return;
            // Angles grow counter-clockwise in y-up space; "clockwise" runs them backwards.
            if (e.clockwise) cairo_arc_negative(cr_, e.centre.x, e.centre.y, e.radius, e.startAngle, e.endAngle);
            else cairo_arc(cr_, e.centre.x, e.centre.y, e.radius, e.startAngle, e.endAngle);
          } else {
            cairo_close_path(cr_);
          }
        },
        element);
  }
}

template <typename Step>
void CairoContext::perform(Step step, const std::optional<CGShadow>& shadow) {
  bool plain = state_.alpha >= 1 && (!shadow || shadow->color.alpha <= 0);
  if (plain) {
    step();
    return;
  }
  cairo_push_group(cr_);
  step();
  cairo_pattern_t* pattern = cairo_pop_group(cr_);
  composite(pattern, state_.alpha, shadow);
  cairo_pattern_destroy(pattern);
}

void CairoContext::composite(cairo_pattern_t* pattern, double alpha, const std::optional<CGShadow>& shadow) {
  cairo_matrix_t identity;
  cairo_matrix_init_identity(&identity);
  cairo_pattern_set_matrix(pattern, &identity);  // the group's pixels are in device space
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  if (shadow && shadow->color.alpha > 0) {
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width_, height_);
    cairo_t* m = cairo_create(mask);
    cairo_set_source(m, pattern);
    cairo_paint_with_alpha(m, alpha);
    cairo_destroy(m);
    blurAlpha(mask, shadow->blur * scale_);
    setSource(cr_, shadow->color, 1);
    // The offset is in the base space, where y grows upwards; the canvas' rows run down.
    cairo_mask_surface(cr_, mask, shadow->offset.width * scale_, -shadow->offset.height * scale_);
    cairo_surface_destroy(mask);
  }
  cairo_set_source(cr_, pattern);
  cairo_paint_with_alpha(cr_, alpha);
  cairo_restore(cr_);
}

void CairoContext::clipToPath(const CGPath& path, CGFillRule rule) {
  appendPath(path);
  cairo_set_fill_rule(cr_, rule == CGFillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr_);
}

void CairoContext::fillPath(const CGPath& path, CGFillRule rule) {
  perform(
      [&] {
        appendPath(path);
        cairo_set_fill_rule(cr_, rule == CGFillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        setSource(cr_, state_.fill, 1);
        cairo_fill(cr_);
      },
      state_.shadow);
}

void CairoContext::strokePath(const CGPath& path) {
  perform(
      [&] {
        appendPath(path);
        cairo_set_line_width(cr_, std::max(0.0, state_.lineWidth));
        setSource(cr_, state_.stroke, 1);
        cairo_stroke(cr_);
      },
      state_.shadow);
}

void CairoContext::drawLinearGradient(const std::vector<CGColor>& colors, const std::vector<double>& locations,
                                      NSPoint start, NSPoint end) {
  if (colors.empty()) return;
  perform(
      [&] {
        cairo_pattern_t* gradient = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
        for (std::size_t i = 0; i < colors.size(); ++i) {
          double at = locations.size() == colors.size() ? locations[i]
                      : colors.size() == 1              ? 0.0
                                                        : double(i) / double(colors.size() - 1);
          const CGColor& c = colors[i];
          cairo_pattern_add_color_stop_rgba(gradient, std::clamp(at, 0.0, 1.0), c.red, c.green, c.blue, c.alpha);
        }
        cairo_pattern_set_extend(gradient, CAIRO_EXTEND_PAD);
        cairo_set_source(cr_, gradient);
        cairo_paint(cr_);
        cairo_pattern_destroy(gradient);
      },
      state_.shadow);
}

void CairoContext::uprightIn(NSRect rect) {
  cairo_matrix_t m;
  cairo_get_matrix(cr_, &m);
  if (m.yy < 0) {
    cairo_translate(cr_, rect.minX(), rect.maxY());
    cairo_scale(cr_, 1, -1);
  } else {
    cairo_translate(cr_, rect.minX(), rect.minY());
  }
}

std::optional<NSRect> CairoContext::clipBoundingBox() const {
  double x1, y1, x2, y2;
  cairo_clip_extents(cr_, &x1, &y1, &x2, &y2);
  return NSMakeRect(x1, y1, x2 - x1, y2 - y1);
}

void CairoContext::drawImage(const std::shared_ptr<const CGImageSource>& image, NSRect rect, double fraction) {
  const CGImage* pixels = image ? image->imageForDrawing() : nullptr;
  if (!pixels || pixels->width <= 0 || pixels->height <= 0 ||
      pixels->rgba.size() < static_cast<std::size_t>(pixels->width) * pixels->height * 4 || rect.isEmpty() ||
      !(fraction > 0))
    return;
  perform(
      [&] {
        const CGImage& frame = *pixels;
        cairo_surface_t* surface = surfaceOf(frame);
        if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
          cairo_save(cr_);
          uprightIn(rect);
          cairo_rectangle(cr_, 0, 0, rect.width(), rect.height());
          cairo_clip(cr_);
          cairo_scale(cr_, rect.width() / frame.width, rect.height() / frame.height);
          cairo_set_source_surface(cr_, surface, 0, 0);
          cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
          // Edge pixels repeat outward, so that scaling up does not fade the picture's rim.
          cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
          cairo_paint_with_alpha(cr_, std::min(1.0, fraction));
          cairo_restore(cr_);
        }
        cairo_surface_destroy(surface);
      },
      state_.shadow);
}

void CairoContext::drawText(const std::shared_ptr<const CGTextSource>& source, NSRect rect) {
  if (!source) return;
  CGText text = source->textForDrawing();
  if (text.utf8.empty()) return;
  // A shadow given with the text draws under it when the context has none of its own.
  std::optional<CGShadow> shadow = state_.shadow ? state_.shadow : text.shadow;
  perform(
      [&] {
        auto lock = TextLayout::lock();
        cairo_save(cr_);
        uprightIn(rect);
        PangoContext* context = pango_cairo_create_context(cr_);
        TextLayout::configure(context);
        PangoLayout* layout = TextLayout::makeLayout(context, text, rect.width());
        cairo_set_source_rgba(cr_, 0, 0, 0, 1);  // the platform's default text colour
        pango_cairo_show_layout(cr_, layout);
        g_object_unref(layout);
        g_object_unref(context);
        cairo_restore(cr_);
      },
      shadow);
}

void CairoContext::beginTransparencyLayer(double alpha) {
  groups_.push_back({state_, std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 1.0, saved_.size()});
  cairo_push_group(cr_);
  state_.shadow.reset();
  state_.alpha = 1;
}

void CairoContext::endTransparencyLayer(const std::function<void(GraphicsContext&)>& mask) {
  if (groups_.empty()) return;
  // Close any state left saved inside the layer.
  while (saved_.size() > groups_.back().savedDepth) {
    cairo_restore(cr_);
    saved_.pop_back();
  }
  cairo_pattern_t* content = cairo_pop_group(cr_);
  Group group = groups_.back();
  groups_.pop_back();
  state_ = group.before;
  if (mask) {
    cairo_push_group(cr_);
    State outer = state_;
    state_ = State{};
    groups_.push_back({state_, 1, saved_.size()});
    mask(*this);
    while (saved_.size() > groups_.back().savedDepth) {
      cairo_restore(cr_);
      saved_.pop_back();
    }
    groups_.pop_back();
    state_ = outer;
    cairo_pattern_t* maskPattern = cairo_pop_group(cr_);
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    cairo_pattern_set_matrix(content, &identity);
    cairo_pattern_set_matrix(maskPattern, &identity);
    cairo_push_group(cr_);
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_set_source(cr_, content);
    cairo_mask(cr_, maskPattern);
    cairo_restore(cr_);
    cairo_pattern_t* masked = cairo_pop_group(cr_);
    cairo_pattern_destroy(maskPattern);
    cairo_pattern_destroy(content);
    content = masked;
  }
  composite(content, group.alpha * state_.alpha, state_.shadow);
  cairo_pattern_destroy(content);
}
