// FFmpeg is opened when the first movie is, not when the program starts: its libraries and
// the codec libraries they bring (about half of what the program would load) cost a launch
// tens of milliseconds, and most sessions show no movie at all. The functions the decoder
// calls are defined here under FFmpeg's own names; each finds the library's function the first
// time it runs and passes the call on. The program is therefore linked against FFmpeg's
// headers only. Without the libraries every call fails the way FFmpeg reports a failure
// (an error code, no object), so a movie is refused and nothing else changes.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/macros.h>
#include <libswscale/swscale.h>
}

#include <dlfcn.h>

#include <array>
#include <cerrno>

namespace {

enum class FFmpegPart { util, scale, codec, format };

// The libraries of the major versions the headers describe, opened together once; none when
// any of them cannot be (a half-opened FFmpeg would fail in odder ways than none at all).
const std::array<void*, 4>& ffmpegHandles() {
  static const std::array<void*, 4> handles = [] {
    constexpr std::array<const char*, 4> names{
        "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
        "libswscale.so." AV_STRINGIFY(LIBSWSCALE_VERSION_MAJOR),
        "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
        "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
    };
    std::array<void*, 4> opened{};
    for (std::size_t i = 0; i < names.size(); ++i) {
      opened[i] = ::dlopen(names[i], RTLD_NOW | RTLD_LOCAL);
      if (!opened[i]) return std::array<void*, 4>{};
    }
    return opened;
  }();
  return handles;
}

template <typename Function>
Function ffmpegFunction(FFmpegPart part, const char* name) {
  void* handle = ffmpegHandles()[static_cast<std::size_t>(part)];
  return handle ? reinterpret_cast<Function>(::dlsym(handle, name)) : nullptr;
}

}  // namespace

// The library's function of this name, found once.
#define GLIMDECK_FFMPEG_FUNCTION(part, name) \
  static const auto real = ffmpegFunction<decltype(&::name)>(FFmpegPart::part, #name)

extern "C" {

// --- libavutil

void av_log_set_level(int level) {
  GLIMDECK_FFMPEG_FUNCTION(util, av_log_set_level);
  if (real) real(level);
}

int av_dict_set(AVDictionary** pm, const char* key, const char* value, int flags) {
  GLIMDECK_FFMPEG_FUNCTION(util, av_dict_set);
  return real ? real(pm, key, value, flags) : AVERROR(ENOSYS);
}

void av_dict_free(AVDictionary** m) {
  GLIMDECK_FFMPEG_FUNCTION(util, av_dict_free);
  if (real) real(m);
}

AVFrame* av_frame_alloc(void) {
  GLIMDECK_FFMPEG_FUNCTION(util, av_frame_alloc);
  return real ? real() : nullptr;
}

void av_frame_free(AVFrame** frame) {
  GLIMDECK_FFMPEG_FUNCTION(util, av_frame_free);
  if (real) real(frame);
}

void av_frame_move_ref(AVFrame* dst, AVFrame* src) {
  GLIMDECK_FFMPEG_FUNCTION(util, av_frame_move_ref);
  if (real) real(dst, src);
}

void av_frame_unref(AVFrame* frame) {
  GLIMDECK_FFMPEG_FUNCTION(util, av_frame_unref);
  if (real) real(frame);
}

// --- libswscale

SwsContext* sws_getCachedContext(SwsContext* context, int srcW, int srcH, enum AVPixelFormat srcFormat, int dstW,
                                 int dstH, enum AVPixelFormat dstFormat, int flags, SwsFilter* srcFilter,
                                 SwsFilter* dstFilter, const double* param) {
  GLIMDECK_FFMPEG_FUNCTION(scale, sws_getCachedContext);
  return real ? real(context, srcW, srcH, srcFormat, dstW, dstH, dstFormat, flags, srcFilter, dstFilter, param)
              : nullptr;
}

int sws_scale(SwsContext* c, const uint8_t* const srcSlice[], const int srcStride[], int srcSliceY, int srcSliceH,
              uint8_t* const dst[], const int dstStride[]) {
  GLIMDECK_FFMPEG_FUNCTION(scale, sws_scale);
  return real ? real(c, srcSlice, srcStride, srcSliceY, srcSliceH, dst, dstStride) : AVERROR(ENOSYS);
}

void sws_freeContext(SwsContext* swsContext) {
  GLIMDECK_FFMPEG_FUNCTION(scale, sws_freeContext);
  if (real) real(swsContext);
}

// --- libavcodec

AVPacket* av_packet_alloc(void) {
  GLIMDECK_FFMPEG_FUNCTION(codec, av_packet_alloc);
  return real ? real() : nullptr;
}

void av_packet_free(AVPacket** pkt) {
  GLIMDECK_FFMPEG_FUNCTION(codec, av_packet_free);
  if (real) real(pkt);
}

void av_packet_unref(AVPacket* pkt) {
  GLIMDECK_FFMPEG_FUNCTION(codec, av_packet_unref);
  if (real) real(pkt);
}

AVCodecContext* avcodec_alloc_context3(const AVCodec* codec) {
  GLIMDECK_FFMPEG_FUNCTION(codec, avcodec_alloc_context3);
  return real ? real(codec) : nullptr;
}

void avcodec_free_context(AVCodecContext** avctx) {
  GLIMDECK_FFMPEG_FUNCTION(codec, avcodec_free_context);
  if (real) real(avctx);
}

int avcodec_parameters_to_context(AVCodecContext* codec, const AVCodecParameters* par) {
  GLIMDECK_FFMPEG_FUNCTION(codec, avcodec_parameters_to_context);
  return real ? real(codec, par) : AVERROR(ENOSYS);
}

int avcodec_open2(AVCodecContext* avctx, const AVCodec* codec, AVDictionary** options) {
  GLIMDECK_FFMPEG_FUNCTION(codec, avcodec_open2);
  return real ? real(avctx, codec, options) : AVERROR(ENOSYS);
}

int avcodec_send_packet(AVCodecContext* avctx, const AVPacket* avpkt) {
  GLIMDECK_FFMPEG_FUNCTION(codec, avcodec_send_packet);
  return real ? real(avctx, avpkt) : AVERROR(ENOSYS);
}

int avcodec_receive_frame(AVCodecContext* avctx, AVFrame* frame) {
  GLIMDECK_FFMPEG_FUNCTION(codec, avcodec_receive_frame);
  return real ? real(avctx, frame) : AVERROR(ENOSYS);
}

void avcodec_flush_buffers(AVCodecContext* avctx) {
  GLIMDECK_FFMPEG_FUNCTION(codec, avcodec_flush_buffers);
  if (real) real(avctx);
}

// --- libavformat

AVFormatContext* avformat_alloc_context(void) {
  GLIMDECK_FFMPEG_FUNCTION(format, avformat_alloc_context);
  return real ? real() : nullptr;
}

const AVInputFormat* av_find_input_format(const char* short_name) {
  GLIMDECK_FFMPEG_FUNCTION(format, av_find_input_format);
  return real ? real(short_name) : nullptr;
}

int avformat_open_input(AVFormatContext** ps, const char* url, const AVInputFormat* fmt, AVDictionary** options) {
  GLIMDECK_FFMPEG_FUNCTION(format, avformat_open_input);
  // Without the library no context was ever made, so there is none to free here.
  return real ? real(ps, url, fmt, options) : AVERROR(ENOSYS);
}

void avformat_close_input(AVFormatContext** s) {
  GLIMDECK_FFMPEG_FUNCTION(format, avformat_close_input);
  if (real) real(s);
}

int av_find_best_stream(AVFormatContext* ic, enum AVMediaType type, int wanted_stream_nb, int related_stream,
                        const AVCodec** decoder_ret, int flags) {
  GLIMDECK_FFMPEG_FUNCTION(format, av_find_best_stream);
  return real ? real(ic, type, wanted_stream_nb, related_stream, decoder_ret, flags) : AVERROR(ENOSYS);
}

int av_read_frame(AVFormatContext* s, AVPacket* pkt) {
  GLIMDECK_FFMPEG_FUNCTION(format, av_read_frame);
  return real ? real(s, pkt) : AVERROR(ENOSYS);
}

int av_seek_frame(AVFormatContext* s, int stream_index, int64_t timestamp, int flags) {
  GLIMDECK_FFMPEG_FUNCTION(format, av_seek_frame);
  return real ? real(s, stream_index, timestamp, flags) : AVERROR(ENOSYS);
}

}  // extern "C"

#undef GLIMDECK_FFMPEG_FUNCTION
