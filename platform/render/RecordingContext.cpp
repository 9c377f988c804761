#include "platform/render/RecordingContext.h"

#include <sstream>


void RecordingContext::clear() {
  calls_.clear();
  saved_.clear();
  state_ = RecordedState{};
  GraphicsContext::beginPath();
}

void RecordingContext::saveGState() {
  record(Recorded::SaveGState{});
  saved_.push_back(state_);
  state_.depth = static_cast<int>(saved_.size());
}

void RecordingContext::restoreGState() {
  if (saved_.empty()) return;  // an unbalanced restore is ignored, as the real backends do
  state_ = saved_.back();
  saved_.pop_back();
  record(Recorded::RestoreGState{});
}

void RecordingContext::translate(double dx, double dy) {
  record(Recorded::Translate{dx, dy});
  state_.offsetX += dx * state_.scaleX;
  state_.offsetY += dy * state_.scaleY;
}

void RecordingContext::scale(double sx, double sy) {
  record(Recorded::Scale{sx, sy});
  state_.scaleX *= sx;
  state_.scaleY *= sy;
}

void RecordingContext::setFillColor(const CGColor& color) {
  record(Recorded::SetFillColor{color});
  state_.fillColor = color;
}

void RecordingContext::setStrokeColor(const CGColor& color) {
  record(Recorded::SetStrokeColor{color});
  state_.strokeColor = color;
}

void RecordingContext::setLineWidth(double width) {
  record(Recorded::SetLineWidth{width});
  state_.lineWidth = width;
}

void RecordingContext::setAlpha(double alpha) {
  record(Recorded::SetAlpha{alpha});
  state_.alpha = alpha;
}

void RecordingContext::setShadow(const std::optional<CGShadow>& shadow) {
  record(Recorded::SetShadow{shadow});
  state_.shadow = shadow;
}

void RecordingContext::clipToRect(NSRect rect) { record(Recorded::ClipToRect{rect}); }
void RecordingContext::clipToPath(const CGPath& path, CGFillRule rule) { record(Recorded::ClipToPath{path, rule}); }
void RecordingContext::fillRect(NSRect rect) { record(Recorded::FillRect{rect}); }
void RecordingContext::strokeRect(NSRect rect) { record(Recorded::StrokeRect{rect}); }
void RecordingContext::fillRoundedRect(NSRect rect, double radius) { record(Recorded::FillRoundedRect{rect, radius}); }
void RecordingContext::strokeRoundedRect(NSRect rect, double radius) {
  record(Recorded::StrokeRoundedRect{rect, radius});
}
void RecordingContext::fillEllipse(NSRect rect) { record(Recorded::FillEllipse{rect}); }
void RecordingContext::strokeEllipse(NSRect rect) { record(Recorded::StrokeEllipse{rect}); }
void RecordingContext::fillPath(const CGPath& path, CGFillRule rule) { record(Recorded::FillPath{path, rule}); }

void RecordingContext::castShadowOfPath(const CGPath& path, CGFillRule rule, NSRect /*covered*/, NSRect /*alsoCovered*/) {
  record(Recorded::CastShadowOfPath{path, rule});
}
void RecordingContext::strokePath(const CGPath& path) { record(Recorded::StrokePath{path}); }

void RecordingContext::beginPath() {
  record(Recorded::BeginPath{});
  GraphicsContext::beginPath();
}

void RecordingContext::moveTo(NSPoint point) {
  record(Recorded::MoveTo{point});
  GraphicsContext::moveTo(point);
}

void RecordingContext::lineTo(NSPoint point) {
  record(Recorded::LineTo{point});
  GraphicsContext::lineTo(point);
}

void RecordingContext::curveTo(NSPoint control1, NSPoint control2, NSPoint point) {
  record(Recorded::CurveTo{control1, control2, point});
  GraphicsContext::curveTo(control1, control2, point);
}

void RecordingContext::addArc(NSPoint centre, double radius, double startAngle, double endAngle, bool clockwise) {
  record(Recorded::AddArc{centre, radius, startAngle, endAngle, clockwise});
  GraphicsContext::addArc(centre, radius, startAngle, endAngle, clockwise);
}

void RecordingContext::addRect(NSRect rect) {
  record(Recorded::AddRect{rect});
  GraphicsContext::addRect(rect);
}

void RecordingContext::closePath() {
  record(Recorded::ClosePath{});
  GraphicsContext::closePath();
}

void RecordingContext::drawLinearGradient(const std::vector<CGColor>& colors, const std::vector<double>& locations,
                                          NSPoint start, NSPoint end) {
  record(Recorded::LinearGradient{colors, locations, start, end});
}

void RecordingContext::drawImage(const std::shared_ptr<const CGImageSource>& image, NSRect rect, double fraction) {
  record(Recorded::DrawImage{image, rect, fraction});
}

void RecordingContext::drawText(const std::shared_ptr<const CGTextSource>& text, NSRect rect) {
  record(Recorded::DrawText{text ? text->textForDrawing().utf8 : std::string(), text, rect});
}

void RecordingContext::beginTransparencyLayer(double alpha) {
  record(Recorded::BeginTransparencyLayer{alpha});
  saved_.push_back(state_);
  state_.depth = static_cast<int>(saved_.size());
  state_.shadow.reset();  // the shadow applies to the layer as a whole, not to what is inside
  state_.alpha = 1;
}

void RecordingContext::endTransparencyLayer(const std::function<void(GraphicsContext&)>& mask) {
  if (mask) {
    record(Recorded::BeginMask{});
    mask(*this);
  }
  if (!saved_.empty()) {
    state_ = saved_.back();
    saved_.pop_back();
  }
  record(Recorded::EndTransparencyLayer{static_cast<bool>(mask)});
}

namespace {

std::ostream& operator<<(std::ostream& out, NSRect r) {
  return out << r.origin.x << ' ' << r.origin.y << ' ' << r.size.width << ' ' << r.size.height;
}
std::ostream& operator<<(std::ostream& out, NSPoint p) { return out << p.x << ' ' << p.y; }
std::ostream& operator<<(std::ostream& out, const CGColor& c) {
  return out << '(' << c.red << ' ' << c.green << ' ' << c.blue << ' ' << c.alpha << ')';
}

struct Describe {
  std::ostream& out;
  void operator()(const Recorded::SaveGState&) { out << "saveGState"; }
  void operator()(const Recorded::RestoreGState&) { out << "restoreGState"; }
  void operator()(const Recorded::Translate& c) { out << "translate " << c.dx << ' ' << c.dy; }
  void operator()(const Recorded::Scale& c) { out << "scale " << c.sx << ' ' << c.sy; }
  void operator()(const Recorded::SetFillColor& c) { out << "setFillColor " << c.color; }
  void operator()(const Recorded::SetStrokeColor& c) { out << "setStrokeColor " << c.color; }
  void operator()(const Recorded::SetLineWidth& c) { out << "setLineWidth " << c.width; }
  void operator()(const Recorded::SetAlpha& c) { out << "setAlpha " << c.alpha; }
  void operator()(const Recorded::SetShadow& c) {
    out << "setShadow";
    if (c.shadow) out << ' ' << c.shadow->offset.width << ' ' << c.shadow->offset.height << ' ' << c.shadow->blur
                      << ' ' << c.shadow->color;
  }
  void operator()(const Recorded::ClipToRect& c) { out << "clipToRect " << c.rect; }
  void operator()(const Recorded::ClipToPath& c) { out << "clipToPath " << c.path.boundingBox(); }
  void operator()(const Recorded::FillRect& c) { out << "fillRect " << c.rect; }
  void operator()(const Recorded::StrokeRect& c) { out << "strokeRect " << c.rect; }
  void operator()(const Recorded::FillRoundedRect& c) { out << "fillRoundedRect " << c.rect << " r " << c.radius; }
  void operator()(const Recorded::StrokeRoundedRect& c) {
    out << "strokeRoundedRect " << c.rect << " r " << c.radius;
  }
  void operator()(const Recorded::FillEllipse& c) { out << "fillEllipse " << c.rect; }
  void operator()(const Recorded::StrokeEllipse& c) { out << "strokeEllipse " << c.rect; }
  void operator()(const Recorded::FillPath& c) { out << "fillPath " << c.path.boundingBox(); }
  void operator()(const Recorded::CastShadowOfPath& c) { out << "castShadowOfPath " << c.path.boundingBox(); }
  void operator()(const Recorded::StrokePath& c) { out << "strokePath " << c.path.boundingBox(); }
  void operator()(const Recorded::BeginPath&) { out << "beginPath"; }
  void operator()(const Recorded::MoveTo& c) { out << "moveTo " << c.point; }
  void operator()(const Recorded::LineTo& c) { out << "lineTo " << c.point; }
  void operator()(const Recorded::CurveTo& c) { out << "curveTo " << c.point; }
  void operator()(const Recorded::AddArc& c) {
    out << "addArc " << c.centre << " r " << c.radius << ' ' << c.startAngle << ' ' << c.endAngle
        << (c.clockwise ? " cw" : " ccw");
  }
  void operator()(const Recorded::AddRect& c) { out << "addRect " << c.rect; }
  void operator()(const Recorded::ClosePath&) { out << "closePath"; }
  void operator()(const Recorded::LinearGradient& c) {
    out << "linearGradient " << c.colors.size() << " colours " << c.start << " -> " << c.end;
  }
  void operator()(const Recorded::DrawImage& c) { out << "drawImage " << c.rect; }
  void operator()(const Recorded::DrawText& c) { out << "drawText \"" << c.text << "\" " << c.rect; }
  void operator()(const Recorded::BeginTransparencyLayer& c) { out << "beginTransparencyLayer " << c.alpha; }
  void operator()(const Recorded::BeginMask&) { out << "beginMask"; }
  void operator()(const Recorded::EndTransparencyLayer& c) {
    out << "endTransparencyLayer" << (c.masked ? " masked" : "");
  }
};

}  // namespace

std::string RecordingContext::transcript() const {
  std::ostringstream out;
  for (const auto& call : calls_) {
    out << std::string(static_cast<std::size_t>(call.state.depth) * 2, ' ');
    std::visit(Describe{out}, call.command);
    out << '\n';
  }
  return out.str();
}
