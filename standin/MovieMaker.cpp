#include "standin/MovieMaker.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>

namespace {
constexpr int kMovieMaxSide = 640;
constexpr int kMovieMaxFrames = 60;

// The output of the muxer: a string it may write into and move about in.
struct Output {
  std::string bytes;
  std::size_t at = 0;
};

int writeOutput(void* opaque, std::uint8_t* data, int length) {
  auto* out = static_cast<Output*>(opaque);
  std::size_t end = out->at + static_cast<std::size_t>(length);
  if (out->bytes.size() < end) out->bytes.resize(end);
  std::memcpy(out->bytes.data() + out->at, data, static_cast<std::size_t>(length));
  out->at = end;
  return length;
}

std::int64_t seekOutput(void* opaque, std::int64_t offset, int whence) {
  auto* out = static_cast<Output*>(opaque);
  if (whence == AVSEEK_SIZE) return static_cast<std::int64_t>(out->bytes.size());
  std::int64_t base = whence == SEEK_CUR ? std::int64_t(out->at) : whence == SEEK_END ? std::int64_t(out->bytes.size()) : 0;
  if (base + offset < 0) return -1;
  out->at = static_cast<std::size_t>(base + offset);
  return static_cast<std::int64_t>(out->at);
}

// The Y, U and V of an 0xRRGGBB colour (BT.601, limited range).
void yuvOf(std::uint32_t rgb, int& y, int& u, int& v) {
  int r = (rgb >> 16) & 0xff, g = (rgb >> 8) & 0xff, b = rgb & 0xff;
  y = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
  u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
  v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
}

void paint(AVFrame* frame, int index, int frames, std::uint32_t rgb) {
  int y0, u0, v0, y1, u1, v1;
  yuvOf(rgb, y0, u0, v0);
  yuvOf(~rgb & 0xffffff, y1, u1, v1);
  int side = std::max(2, std::min(frame->width, frame->height) / 3) & ~1;
  int travel = std::max(0, frame->width - side);
  int left = frames > 1 ? (travel * index / (frames - 1)) & ~1 : 0;
  int top = ((frame->height - side) / 2) & ~1;
  for (int y = 0; y < frame->height; ++y) {
    for (int x = 0; x < frame->width; ++x) {
      bool inside = x >= left && x < left + side && y >= top && y < top + side;
      frame->data[0][y * frame->linesize[0] + x] = static_cast<std::uint8_t>(inside ? y1 : y0);
    }
  }
  for (int y = 0; y < frame->height / 2; ++y) {
    for (int x = 0; x < frame->width / 2; ++x) {
      bool inside = 2 * x >= left && 2 * x < left + side && 2 * y >= top && 2 * y < top + side;
      frame->data[1][y * frame->linesize[1] + x] = static_cast<std::uint8_t>(inside ? u1 : u0);
      frame->data[2][y * frame->linesize[2] + x] = static_cast<std::uint8_t>(inside ? v1 : v0);
    }
  }
}

struct Encoding {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVIOContext* io = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  ~Encoding() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    if (format) avformat_free_context(format);
    if (io) av_free(io->buffer);
    avio_context_free(&io);
  }
};

bool drain(Encoding& e, AVStream* stream) {
  while (true) {
    int status = avcodec_receive_packet(e.codec, e.packet);
    if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
    if (status < 0) return false;
    // Every frame lasts one tick, the last one included (else the clip would end at its start).
    e.packet->duration = 1;
    av_packet_rescale_ts(e.packet, e.codec->time_base, stream->time_base);
    e.packet->stream_index = stream->index;
    if (av_interleaved_write_frame(e.format, e.packet) < 0) return false;
  }
}
}  // namespace

std::expected<std::string, std::string> MovieMaker::tinyMovie(const GifMaker::Look& look) {
  int width = (std::clamp(look.width, 2, kMovieMaxSide) + 1) & ~1;
  int height = (std::clamp(look.height, 2, kMovieMaxSide) + 1) & ~1;
  int frames = std::clamp(look.frames, 1, kMovieMaxFrames);
  av_log_set_level(AV_LOG_QUIET);
  const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
  if (!encoder) encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (!encoder) return std::unexpected("no video encoder");

  Encoding e;
  Output output;
  if (avformat_alloc_output_context2(&e.format, nullptr, "mp4", nullptr) < 0) return std::unexpected("no MP4 muxer");
  constexpr int kBuffer = 1 << 14;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
  e.io = avio_alloc_context(buffer, kBuffer, 1, &output, nullptr, writeOutput, seekOutput);
  if (!e.io) {
    av_free(buffer);
    return std::unexpected("out of memory");
  }
  e.format->pb = e.io;
  e.format->flags |= AVFMT_FLAG_CUSTOM_IO;

  e.codec = avcodec_alloc_context3(encoder);
  e.codec->width = width;
  e.codec->height = height;
  e.codec->pix_fmt = AV_PIX_FMT_YUV420P;
  e.codec->time_base = {1, kFramesPerSecond};
  e.codec->framerate = {kFramesPerSecond, 1};
  e.codec->gop_size = frames;
  e.codec->max_b_frames = 0;
  e.codec->thread_count = 1;
  if (e.format->oformat->flags & AVFMT_GLOBALHEADER) e.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  // Fast to make and quick to start: no look-ahead, no B-frames.
  av_opt_set(e.codec->priv_data, "preset", "ultrafast", 0);
  av_opt_set(e.codec->priv_data, "tune", "zerolatency", 0);
  if (avcodec_open2(e.codec, encoder, nullptr) < 0) return std::unexpected("the encoder does not open");
  AVStream* stream = avformat_new_stream(e.format, nullptr);
  if (!stream || avcodec_parameters_from_context(stream->codecpar, e.codec) < 0) return std::unexpected("no stream");
  stream->time_base = e.codec->time_base;
  if (avformat_write_header(e.format, nullptr) < 0) return std::unexpected("the header cannot be written");

  e.frame = av_frame_alloc();
  e.packet = av_packet_alloc();
  e.frame->format = AV_PIX_FMT_YUV420P;
  e.frame->width = width;
  e.frame->height = height;
  if (av_frame_get_buffer(e.frame, 0) < 0) return std::unexpected("out of memory");
  for (int i = 0; i < frames; ++i) {
    if (av_frame_make_writable(e.frame) < 0) return std::unexpected("out of memory");
    paint(e.frame, i, frames, look.rgb);
    e.frame->pts = i;
    if (avcodec_send_frame(e.codec, e.frame) < 0 || !drain(e, stream)) return std::unexpected("encoding failed");
  }
  if (avcodec_send_frame(e.codec, nullptr) < 0 || !drain(e, stream)) return std::unexpected("encoding failed");
  if (av_write_trailer(e.format) < 0) return std::unexpected("the trailer cannot be written");
  avio_flush(e.io);
  return std::move(output.bytes);
}
