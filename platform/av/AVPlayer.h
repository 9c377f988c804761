#pragma once
// Plays one item on the process's clock: the item's time runs with the clock while the
// rate is 1. When playback reaches the item's end the player posts
// AVPlayerItemDidPlayToEndTimeNotification once for that pass and then does what
// `actionAtItemEnd` says. The player decodes nothing itself: its layer asks for the
// picture of the current time when it is drawn.

#include <memory>
#include <optional>
#include <vector>

#include "platform/av/AVPlayerItem.h"
#include "platform/foundation/NSRunLoop.h"

class CALayer;

enum class AVPlayerActionAtItemEnd { advance = 0, pause = 1, none = 2 };

class AVPlayer : public NSObject {
 public:
  // A player of a new item for the URL (a movie file).
  static std::shared_ptr<AVPlayer> initWithURL(const std::shared_ptr<NSURL>& url);
  static std::shared_ptr<AVPlayer> initWithPlayerItem(const std::shared_ptr<AVPlayerItem>& item);

  // Passes shorter than this are stretched to it, so that a clip of (next to) no length
  // that is restarted at each end still ends only a few times a second.
  static constexpr double kShortestPass = 0.1;

  void play();
  void pause();
  double rate() const { return rate_; }
  // Moves the item's time (clamped to the item) and starts a new pass.
  void seekToTime(CMTime time);
  CMTime currentTime() const { return CMTimeMakeWithSeconds(currentSeconds(), 600); }
  double currentSeconds() const;
  const std::shared_ptr<AVPlayerItem>& currentItem() const { return item_; }
  // The clock time at which playback reaches a time of the item; none while paused.
  std::optional<double> clockTimeOfItemTime(double seconds) const;

  // Layers that show this player: their picture changes when the time jumps or playback
  // starts or stops, so they are marked for display then (player layers sign up here).
  void addDisplayingLayer(const std::shared_ptr<CALayer>& layer);

  // Movies play muted or not; previews carry no sound the player would play.
  float volume = 1.0f;
  AVPlayerActionAtItemEnd actionAtItemEnd = AVPlayerActionAtItemEnd::advance;

  std::string className() const override { return "AVPlayer"; }

 private:
  AVPlayer() = default;
  double itemDuration() const;
  void anchor(double itemTime);
  void scheduleEnd();
  void reachEnd();
  void markLayers();

  std::shared_ptr<AVPlayerItem> item_;
  double rate_ = 0;
  double anchorItemTime_ = 0;  // the item's time at anchorClock_
  double anchorClock_ = 0;
  bool passEnded_ = false;
  std::optional<double> lastEnd_;  // clock time of the last end notification
  std::shared_ptr<RunLoopTimerToken> endTimer_;
  std::vector<std::weak_ptr<CALayer>> layers_;
};
