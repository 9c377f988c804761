#pragma once
// A graphics context that draws nothing and keeps every call with its values, with the
// state in force at the time (saved-state depth, colours, alpha, shadow, transform), so
// that tests can read what a view or layer drew.

#include <string>
#include <variant>

#include "platform/quartz/GraphicsContext.h"

namespace Recorded {
struct SaveGState {};
struct RestoreGState {};
struct Translate { double dx, dy; };
struct Scale { double sx, sy; };
struct SetFillColor { CGColor color; };
struct SetStrokeColor { CGColor color; };
struct SetLineWidth { double width; };
struct SetAlpha { double alpha; };
struct SetShadow { std::optional<CGShadow> shadow; };
struct ClipToRect { NSRect rect; };
struct ClipToPath { CGPath path; CGFillRule rule; };
struct FillRect { NSRect rect; };
struct StrokeRect { NSRect rect; };
struct FillRoundedRect { NSRect rect; double radius; };
struct StrokeRoundedRect { NSRect rect; double radius; };
struct FillEllipse { NSRect rect; };
struct StrokeEllipse { NSRect rect; };
struct FillPath { CGPath path; CGFillRule rule; };
struct CastShadowOfPath { CGPath path; CGFillRule rule; };
struct StrokePath { CGPath path; };
struct BeginPath {};
struct MoveTo { NSPoint point; };
struct LineTo { NSPoint point; };
struct CurveTo { NSPoint control1, control2, point; };
struct AddArc { NSPoint centre; double radius, startAngle, endAngle; bool clockwise; };
struct AddRect { NSRect rect; };
struct ClosePath {};
struct LinearGradient { std::vector<CGColor> colors; std::vector<double> locations; NSPoint start, end; };
struct DrawImage { std::shared_ptr<const CGImageSource> image; NSRect rect; double fraction; };
struct DrawText { std::string text; std::shared_ptr<const CGTextSource> attributed; NSRect rect; };
struct BeginTransparencyLayer { double alpha; };
struct BeginMask {};
struct EndTransparencyLayer { bool masked; };
}  // namespace Recorded

using RecordedCommand =
    std::variant<Recorded::SaveGState, Recorded::RestoreGState, Recorded::Translate, Recorded::Scale,
                 Recorded::SetFillColor, Recorded::SetStrokeColor, Recorded::SetLineWidth, Recorded::SetAlpha,
                 Recorded::SetShadow, Recorded::ClipToRect, Recorded::ClipToPath, Recorded::FillRect,
                 Recorded::StrokeRect, Recorded::FillRoundedRect, Recorded::StrokeRoundedRect,
                 Recorded::FillEllipse, Recorded::StrokeEllipse, Recorded::FillPath, Recorded::CastShadowOfPath,
                 Recorded::StrokePath,
                 Recorded::BeginPath, Recorded::MoveTo, Recorded::LineTo, Recorded::CurveTo, Recorded::AddArc,
                 Recorded::AddRect, Recorded::ClosePath, Recorded::LinearGradient, Recorded::DrawImage,
                 Recorded::DrawText, Recorded::BeginTransparencyLayer, Recorded::BeginMask,
                 Recorded::EndTransparencyLayer>;

// The state a call was made in.
struct RecordedState {
  int depth = 0;  // how many saved states were open
  CGColor fillColor{0, 0, 0, 1};
  CGColor strokeColor{0, 0, 0, 1};
  double lineWidth = 1;
  double alpha = 1;
  std::optional<CGShadow> shadow;
  // The transform as scale then offset: base = user × scale + offset.
  double scaleX = 1, scaleY = 1, offsetX = 0, offsetY = 0;

  NSPoint toBase(NSPoint p) const { return {p.x * scaleX + offsetX, p.y * scaleY + offsetY}; }
};

struct RecordedCall {
  RecordedCommand command;
  RecordedState state;
};

class RecordingContext : public GraphicsContext {
 public:
  static std::shared_ptr<RecordingContext> make() { return std::make_shared<RecordingContext>(); }

  const std::vector<RecordedCall>& calls() const { return calls_; }
  void clear();

  // The calls of one kind, in order, with the states they were made in.
  template <typename T>
  std::vector<std::pair<T, RecordedState>> all() const {
    std::vector<std::pair<T, RecordedState>> out;
    for (const auto& call : calls_) {
      if (auto c = std::get_if<T>(&call.command)) out.emplace_back(*c, call.state);
    }
    return out;
  }
  template <typename T>
  std::size_t count() const {
    return all<T>().size();
  }
  // One line per call ("fillRect 0 0 10 10"), for failure messages.
  std::string transcript() const;

  void saveGState() override;
  void restoreGState() override;
  void translate(double dx, double dy) override;
  void scale(double sx, double sy) override;
  void setFillColor(const CGColor& color) override;
  void setStrokeColor(const CGColor& color) override;
  void setLineWidth(double width) override;
  void setAlpha(double alpha) override;
  void setShadow(const std::optional<CGShadow>& shadow) override;
  void clipToRect(NSRect rect) override;
  void clipToPath(const CGPath& path, CGFillRule rule) override;
  void fillRect(NSRect rect) override;
  void strokeRect(NSRect rect) override;
  void fillRoundedRect(NSRect rect, double radius) override;
  void strokeRoundedRect(NSRect rect, double radius) override;
  void fillEllipse(NSRect rect) override;
  void strokeEllipse(NSRect rect) override;
  void fillPath(const CGPath& path, CGFillRule rule) override;
  void castShadowOfPath(const CGPath& path, CGFillRule rule, NSRect covered, NSRect alsoCovered = NSZeroRect) override;
  void strokePath(const CGPath& path) override;
  void beginPath() override;
  void moveTo(NSPoint point) override;
  void lineTo(NSPoint point) override;
  void curveTo(NSPoint control1, NSPoint control2, NSPoint point) override;
  void addArc(NSPoint centre, double radius, double startAngle, double endAngle, bool clockwise) override;
  void addRect(NSRect rect) override;
  void closePath() override;
  void drawLinearGradient(const std::vector<CGColor>& colors, const std::vector<double>& locations, NSPoint start,
                          NSPoint end) override;
  void drawImage(const std::shared_ptr<const CGImageSource>& image, NSRect rect, double fraction = 1.0) override;
  void drawText(const std::shared_ptr<const CGTextSource>& text, NSRect rect) override;
  void beginTransparencyLayer(double alpha) override;
  void endTransparencyLayer(const std::function<void(GraphicsContext&)>& mask = nullptr) override;

 private:
  void record(RecordedCommand command) { calls_.push_back({std::move(command), state_}); }
  std::vector<RecordedCall> calls_;
  RecordedState state_;
  std::vector<RecordedState> saved_;
};
