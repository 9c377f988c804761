#include "platform/av/MovieDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>


namespace {
// Longer than any preview; a declared length beyond it is not believed.
constexpr double kLongestClip = 24 * 3600;
// Frames a clip may have before the rest is treated as its end.
constexpr std::size_t kMostFrames = 100'000;

std::shared_ptr<NSError> movieError(AVError code, std::string text) {
  return NSError::make(std::string(AVFoundationErrorDomain), code, std::move(text));
}

using Deadline = std::chrono::steady_clock::time_point;

int pastDeadline(void* opaque) {
  return std::chrono::steady_clock::now() > *static_cast<Deadline*>(opaque) ? 1 : 0;
}
}  // namespace

struct MovieDecoder::Parts {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  SwsContext* scaler = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* pending = nullptr;   // the frame waiting for its end
  AVFrame* incoming = nullptr;  // the frame just received
  std::vector<std::uint8_t> scratch;  // the scaler's output
  int stream = -1;
  AVRational timeBase{1, 1};
  std::int64_t streamStart = 0;
  std::size_t packetsLeft = 0;
  Deadline deadline;

  ~Parts() {
    sws_freeContext(scaler);
    av_frame_free(&pending);
    av_frame_free(&incoming);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }
  void startRequest(const Limits& limits) {
    packetsLeft = limits.packetsPerRequest;
    deadline = std::chrono::steady_clock::now() +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                   std::chrono::duration<double>(limits.secondsPerRequest));
  }
};

MovieDecoder::MovieDecoder() : parts_(std::make_unique<Parts>()) {}
MovieDecoder::~MovieDecoder() = default;

std::expected<std::unique_ptr<MovieDecoder>, std::shared_ptr<NSError>> MovieDecoder::open(
    const std::filesystem::path& path, const Limits& limits) {
  // Damaged files are expected here and answered with errors; FFmpeg's own complaints
  // would only flood the terminal.
  av_log_set_level(AV_LOG_QUIET);
  std::unique_ptr<MovieDecoder> decoder(new MovieDecoder());
  decoder->limits_ = limits;
  Parts& p = *decoder->parts_;
  p.startRequest(limits);
  p.format = avformat_alloc_context();
  if (!p.format) return std::unexpected(movieError(AVErrorUnknown, "out of memory"));
  p.format->interrupt_callback = {pastDeadline, &p.deadline};
  p.format->probesize = 1 << 20;
  // Only the MP4/QuickTime reader, only local files: other demuxers (playlists above all)
  // can be steered by a file's bytes to open further files or addresses.
  const AVInputFormat* mp4 = av_find_input_format("mp4");
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  av_dict_set(&options, "format_whitelist", "mov,mp4,m4a,3gp,3g2,mj2", 0);
  av_dict_set(&options, "enable_drefs", "0", 0);
  std::string name = path.string();
  int status = avformat_open_input(&p.format, name.c_str(), mp4, &options);
  av_dict_free(&options);
  if (status < 0) return std::unexpected(movieError(AVErrorFileFormatNotRecognized, "not a movie file"));

  const AVCodec* codec = nullptr;
  p.stream = av_find_best_stream(p.format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (p.stream < 0 || !codec) return std::unexpected(movieError(AVErrorDecodeFailed, "the movie has no playable picture"));
  AVStream* stream = p.format->streams[p.stream];
  const AVCodecParameters* parameters = stream->codecpar;
  if (parameters->width <= 0 || parameters->height <= 0 || parameters->width > limits.maxSide ||
      parameters->height > limits.maxSide ||
      std::int64_t(parameters->width) * parameters->height > limits.maxPixels) {
    return std::unexpected(movieError(AVErrorDecodeFailed, "the movie's pictures are too large"));
  }
  p.codec = avcodec_alloc_context3(codec);
  if (!p.codec || avcodec_parameters_to_context(p.codec, parameters) < 0) {
    return std::unexpected(movieError(AVErrorDecodeFailed, "the movie's pictures cannot be decoded"));
  }
  // One thread: a panel of previews is many small decoders, where threads only add cost.
  p.codec->thread_count = 1;
  p.codec->max_pixels = limits.maxPixels;
  p.codec->pkt_timebase = stream->time_base;
  if (avcodec_open2(p.codec, codec, nullptr) < 0) {
    return std::unexpected(movieError(AVErrorDecodeFailed, "the movie's pictures cannot be decoded"));
  }
  p.packet = av_packet_alloc();
  p.pending = av_frame_alloc();
  p.incoming = av_frame_alloc();
  if (!p.packet || !p.pending || !p.incoming) return std::unexpected(movieError(AVErrorUnknown, "out of memory"));
  p.timeBase = stream->time_base.num > 0 && stream->time_base.den > 0 ? stream->time_base : AVRational{1, 90000};
  p.streamStart = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;

  decoder->width_ = parameters->width;
  decoder->height_ = parameters->height;
  decoder->outputWidth_ = parameters->width;
  decoder->outputHeight_ = parameters->height;
  if (stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0) {
    double rate = av_q2d(stream->avg_frame_rate);
    if (rate >= 1 && rate <= 240) decoder->frameLength_ = 1 / rate;
  }
  double duration = 0;
  if (stream->duration > 0) duration = stream->duration * av_q2d(p.timeBase);
  else if (p.format->duration > 0) duration = double(p.format->duration) / AV_TIME_BASE;
  if (!std::isfinite(duration) || duration < 0) duration = 0;
  decoder->duration_ = std::clamp(duration, decoder->frameLength_, kLongestClip);
  return decoder;
}

bool MovieDecoder::receiveFrame() {
  Parts& p = *parts_;
  if (framesDecoded_ >= kMostFrames) return false;
  while (true) {
    int status = avcodec_receive_frame(p.codec, p.incoming);
    if (status == 0) {
      ++framesDecoded_;
      return true;
    }
    if (status != AVERROR(EAGAIN) || draining_) return false;
    if (p.packetsLeft == 0 || pastDeadline(&p.deadline)) return false;
    --p.packetsLeft;
    if (av_read_frame(p.format, p.packet) < 0) {
      avcodec_send_packet(p.codec, nullptr);
      draining_ = true;
      continue;
    }
    // A damaged packet is skipped; the codec resumes at the next one it can read.
    if (p.packet->stream_index == p.stream) avcodec_send_packet(p.codec, p.packet);
    av_packet_unref(p.packet);
  }
}

void MovieDecoder::rewindTo(double time) {
  Parts& p = *parts_;
  std::int64_t target = p.streamStart + std::int64_t(time / av_q2d(p.timeBase));
  if (av_seek_frame(p.format, p.stream, target, AVSEEK_FLAG_BACKWARD) < 0) {
    av_seek_frame(p.format, p.stream, p.streamStart, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
  }
  avcodec_flush_buffers(p.codec);
  av_frame_unref(p.pending);
  pendingStart_.reset();
  draining_ = false;
  ended_ = false;
}

void MovieDecoder::setOutputSize(int width, int height) {
  width = std::clamp(width, 1, limits_.maxSide);
  height = std::clamp(height, 1, limits_.maxSide);
  if (width == outputWidth_ && height == outputHeight_) return;
  outputWidth_ = width;
  outputHeight_ = height;
  cache_.clear();
  cacheOrder_.clear();
  cachedBytes_ = 0;
}

std::shared_ptr<const MovieDecoder::Picture> MovieDecoder::convert() {
  Parts& p = *parts_;
  AVFrame* frame = p.pending;
  int w = frame->width, h = frame->height;
  if (w <= 0 || h <= 0 || w > limits_.maxSide || h > limits_.maxSide || std::int64_t(w) * h > limits_.maxPixels) {
    return nullptr;
  }
  // Scaled as it is converted: the picture is made at the size it is shown at.
  const int ow = outputWidth_, oh = outputHeight_;
  const int filter = ow == w && oh == h ? SWS_POINT : (ow < w / 2 || oh < h / 2) ? SWS_AREA : SWS_BILINEAR;
  p.scaler = sws_getCachedContext(p.scaler, w, h, static_cast<AVPixelFormat>(frame->format), ow, oh, AV_PIX_FMT_RGBA,
                                  filter, nullptr, nullptr, nullptr);
  if (!p.scaler) return nullptr;
  // The scaler writes whole vector words: its rows are padded, then copied out tight.
  int stride = FFALIGN(ow * 4, 64);
  p.scratch.resize(static_cast<std::size_t>(stride) * oh + 64);
  std::uint8_t* planes[4] = {p.scratch.data(), nullptr, nullptr, nullptr};
  int strides[4] = {stride, 0, 0, 0};
  if (sws_scale(p.scaler, frame->data, frame->linesize, 0, h, planes, strides) != oh) return nullptr;
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(ow) * oh * 4);
  for (int y = 0; y < oh; ++y) {
    std::copy_n(p.scratch.data() + static_cast<std::size_t>(y) * stride, static_cast<std::size_t>(ow) * 4,
                rgba.data() + static_cast<std::size_t>(y) * ow * 4);
  }
  return std::make_shared<const Picture>(CGImage{ow, oh, std::move(rgba)});
}

void MovieDecoder::remember(const Frame& frame) {
  std::size_t bytes = frame.image->pixels().rgba.size();
  if (bytes > limits_.cacheBytes) return;
  while (cachedBytes_ + bytes > limits_.cacheBytes && !cacheOrder_.empty()) {
    auto oldest = cacheOrder_.begin();
    auto found = cache_.find(oldest->second);
    if (found != cache_.end()) {
      cachedBytes_ -= found->second.image->pixels().rgba.size();
      cache_.erase(found);
    }
    cacheOrder_.erase(oldest);
  }
  if (cache_.emplace(frame.start, frame).second) {
    cacheOrder_.emplace(insertions_++, frame.start);
    cachedBytes_ += bytes;
  }
}

std::optional<MovieDecoder::Frame> MovieDecoder::cached(double time) const {
  auto after = cache_.upper_bound(time);
  if (after == cache_.begin()) return std::nullopt;
  const Frame& frame = std::prev(after)->second;
  if (time < frame.end) return frame;
  return std::nullopt;
}

std::optional<MovieDecoder::Frame> MovieDecoder::frameAt(double time) {
  time = std::clamp(std::isfinite(time) ? time : 0.0, 0.0, duration_);
  // The last frame shows until the end, the end included.
  if (time >= duration_) time = std::nextafter(duration_, 0.0);
  if (auto hit = cached(time)) return hit;

  Parts& p = *parts_;
  p.startRequest(limits_);
  if (pendingStart_ ? time < *pendingStart_ : ended_) rewindTo(time);
  std::optional<Frame> shown;
  std::optional<Frame> latest;  // the last picture passed on the way, for a request past the decodable end
  while (!shown) {
    bool received = receiveFrame();
    double start = duration_;
    if (received) {
      std::int64_t stamp = p.incoming->best_effort_timestamp;
      start = stamp == AV_NOPTS_VALUE ? (pendingStart_ ? *pendingStart_ + frameLength_ : 0)
                                      : (stamp - p.streamStart) * av_q2d(p.timeBase);
      if (!std::isfinite(start) || start < 0) start = 0;
      // A clip whose stated length leaves out its last frame's own length still shows it.
      if (start >= duration_ && start < kLongestClip) duration_ = start + frameLength_;
    }
    if (pendingStart_ && start > *pendingStart_) {
      Frame frame{*pendingStart_, std::min(start, duration_), nullptr};
      if (frame.end <= frame.start) frame.end = frame.start + frameLength_;
      bool wanted = time >= frame.start && time < frame.end;
      // While the cache has room every picture is kept, so a clip that fits is decoded once.
      if (wanted || cachedBytes_ < limits_.cacheBytes) frame.image = convert();
      if (frame.image) {
        remember(frame);
        latest = frame;
        if (wanted) shown = frame;
      }
    }
    // A frame with the same time as the one before replaces it (zero-length frames show nothing).
    if (!received) {
      ended_ = true;
      av_frame_unref(p.pending);
      pendingStart_.reset();
      break;
    }
    if (!pendingStart_ || start >= *pendingStart_) {
      av_frame_unref(p.pending);
      av_frame_move_ref(p.pending, p.incoming);
      pendingStart_ = start;
    } else {
      av_frame_unref(p.incoming);
    }
  }
  return shown ? shown : latest;
}
