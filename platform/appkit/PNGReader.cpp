#include "platform/appkit/PNGReader.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/appkit/NSImage.h"

namespace {

std::shared_ptr<NSError> pngFailure(NSImage::ErrorCode code, std::string text) {
  return NSError::make(std::string(NSImage::ErrorDomain), code, std::move(text));
}

// One read of the data through libpng's low-level interface. libpng reports errors by a
// long jump: the functions that set the jump point below hold nothing that needs undoing
// beyond what this object (made before them) undoes.
struct RowReading {
  std::string_view bytes;
  std::size_t offset = 0;
  char message[160] = "";
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~RowReading() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

void readPngBytes(png_structp png, png_bytep into, std::size_t length) {
  auto* reading = static_cast<RowReading*>(png_get_io_ptr(png));
  if (length > reading->bytes.size() - reading->offset) png_error(png, "the data end inside the picture");
  std::memcpy(into, reading->bytes.data() + reading->offset, length);
  reading->offset += length;
}

[[noreturn]] void pngErrorJump(png_structp png, png_const_charp message) {
  auto* reading = static_cast<RowReading*>(png_get_error_ptr(png));
  std::snprintf(reading->message, sizeof reading->message, "%s", message ? message : "");
  png_longjmp(png, 1);
}

void ignorePngWarning(png_structp, png_const_charp) {}

struct RowHeader {
  int width = 0, height = 0;
  bool interlaced = false;
};

// Reads up to the pixels and sets the transforms that make every row straight 8-bit RGBA.
bool readRowHeader(RowReading& reading, RowHeader& header) {
  if (setjmp(png_jmpbuf(reading.png))) return false;
  png_set_read_fn(reading.png, &reading, readPngBytes);
  png_read_info(reading.png, reading.info);
  header.width = static_cast<int>(png_get_image_width(reading.png, reading.info));
  header.height = static_cast<int>(png_get_image_height(reading.png, reading.info));
  header.interlaced = png_get_interlace_type(reading.png, reading.info) != PNG_INTERLACE_NONE;
  const int colour = png_get_color_type(reading.png, reading.info);
  // As the whole-picture decoding gives them: sRGB unless the file says otherwise, alpha
  // not multiplied in.
  png_set_alpha_mode(reading.png, PNG_ALPHA_PNG, PNG_DEFAULT_sRGB);
  png_set_expand(reading.png);
  png_set_scale_16(reading.png);
  if (!(colour & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(reading.png);
  if (!(colour & PNG_COLOR_MASK_ALPHA) && !png_get_valid(reading.png, reading.info, PNG_INFO_tRNS)) {
    png_set_add_alpha(reading.png, 0xff, PNG_FILLER_AFTER);
  }
  png_read_update_info(reading.png, reading.info);
  if (png_get_channels(reading.png, reading.info) != 4 || png_get_bit_depth(reading.png, reading.info) != 8) {
    png_error(reading.png, "unexpected pixel layout");
  }
  return true;
}

// The kept pixels, each a box of the picture's: sums of colour times alpha and of alpha.
struct BoxSums {
  int width = 0, height = 0;          // kept
  std::vector<int> columnBox, rowBox;  // the kept column (row) each of the picture's falls in
  std::vector<int> columnsIn, rowsIn;  // how many of the picture's columns (rows) each box spans
  std::vector<float> sums;             // 4 a kept pixel

  BoxSums(int sourceWidth, int sourceHeight, int keptWidth, int keptHeight) : width(keptWidth), height(keptHeight) {
    auto boxes = [](int from, int to, std::vector<int>& box, std::vector<int>& count) {
      box.resize(static_cast<std::size_t>(from));
      count.assign(static_cast<std::size_t>(to), 0);
      for (int i = 0; i < from; ++i) {
        box[i] = static_cast<int>(std::int64_t(i) * to / from);
        ++count[box[i]];
      }
    };
    boxes(sourceWidth, keptWidth, columnBox, columnsIn);
    boxes(sourceHeight, keptHeight, rowBox, rowsIn);
    sums.assign(static_cast<std::size_t>(keptWidth) * keptHeight * 4, 0.0f);
  }

  // Adds `count` pixels of one row of the picture, the first at column `first`, then every
  // `step`. Neighbours fall in the same box: their sums are run up in integers and added to
  // the box once.
  void add(const std::uint8_t* pixels, int count, int row, int first, int step) {
    float* line = sums.data() + static_cast<std::size_t>(rowBox[row]) * width * 4;
    const int* box = columnBox.data();
    int i = 0, x = first;
    while (i < count) {
      const int at = box[x];
      std::uint64_t red = 0, green = 0, blue = 0, alpha = 0;
      for (; i < count && box[x] == at; ++i, x += step, pixels += 4) {
        const std::uint32_t a = pixels[3];
        red += pixels[0] * a;
        green += pixels[1] * a;
        blue += pixels[2] * a;
        alpha += a;
      }
      float* sum = line + static_cast<std::size_t>(at) * 4;
      sum[0] += float(red);
      sum[1] += float(green);
      sum[2] += float(blue);
      sum[3] += float(alpha);
    }
  }

  void writeTo(std::vector<std::uint8_t>& rgba) const {
    rgba.resize(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 4;
        const float* sum = &sums[at];
        const float alpha = sum[3];
        const float area = float(columnsIn[x]) * float(rowsIn[y]);
        auto channel = [](float value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); };
        rgba[at + 3] = channel(alpha / area);
        for (int c = 0; c < 3; ++c) rgba[at + c] = alpha > 0 ? channel(sum[c] / alpha) : 0;
      }
    }
  }
};

// Reads every row (pass by pass when interlaced: each pass holds every few pixels of every
// few rows, as the file stores them) into the sums, through the one row buffer.
bool readRowsInto(RowReading& reading, const RowHeader& header, std::uint8_t* row, BoxSums& sums) {
  if (setjmp(png_jmpbuf(reading.png))) return false;
  const int passes = header.interlaced ? PNG_INTERLACE_ADAM7_PASSES : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int columns = header.interlaced ? static_cast<int>(PNG_PASS_COLS(header.width, pass)) : header.width;
    const int rows = header.interlaced ? static_cast<int>(PNG_PASS_ROWS(header.height, pass)) : header.height;
    // libpng leaves out passes without pixels.
    if (columns == 0 || rows == 0) continue;
    const int first = header.interlaced ? static_cast<int>(PNG_PASS_START_COL(pass)) : 0;
    const int step = header.interlaced ? 1 << PNG_PASS_COL_SHIFT(pass) : 1;
    for (int i = 0; i < rows; ++i) {
      png_read_row(reading.png, row, nullptr);
      const int y = header.interlaced ? static_cast<int>(PNG_ROW_FROM_PASS_ROW(i, pass)) : i;
      sums.add(row, columns, y, first, step);
    }
  }
  return true;
}

PNGReader::Result readScaled(std::string_view bytes, int maxSide) {
  RowReading reading;
  reading.bytes = bytes;
  reading.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading, pngErrorJump, ignorePngWarning);
  if (reading.png) reading.info = png_create_info_struct(reading.png);
  if (!reading.png || !reading.info) return std::unexpected(pngFailure(NSImage::corruptData, "PNG reader unavailable"));
  RowHeader header;
  if (!readRowHeader(reading, header)) {
    return std::unexpected(pngFailure(NSImage::corruptData, std::string("unreadable PNG: ") + reading.message));
  }
  const double scale = double(maxSide) / std::max(header.width, header.height);
  const int keptWidth = std::clamp(static_cast<int>(std::lround(header.width * scale)), 1, header.width);
  const int keptHeight = std::clamp(static_cast<int>(std::lround(header.height * scale)), 1, header.height);
  BoxSums sums(header.width, header.height, keptWidth, keptHeight);
  std::vector<std::uint8_t> row(png_get_rowbytes(reading.png, reading.info));
  if (!readRowsInto(reading, header, row.data(), sums)) {
    return std::unexpected(pngFailure(NSImage::corruptData, std::string("unreadable PNG: ") + reading.message));
  }
  auto frame = std::make_shared<NSImageFrame>();
  frame->width = keptWidth;
  frame->height = keptHeight;
  sums.writeTo(frame->rgba);
  return PNGReader::Picture{header.width, header.height, std::move(frame)};
}

}  // namespace

PNGReader::Result PNGReader::read(std::string_view bytes, int maxSide) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    return std::unexpected(pngFailure(NSImage::corruptData, std::string("unreadable PNG: ") + image.message));
  }
  const std::uint32_t width = image.width, height = image.height;
  if (width == 0 || height == 0 || width > std::uint32_t(kMostSide) || height > std::uint32_t(kMostSide) ||
      std::uint64_t(width) * height > kMostPixels) {
    png_image_free(&image);
    return std::unexpected(pngFailure(NSImage::tooLarge, "PNG too large"));
  }
  if (maxSide > 0 && (width > std::uint32_t(maxSide) || height > std::uint32_t(maxSide))) {
    png_image_free(&image);
    return readScaled(bytes, maxSide);
  }
  image.format = PNG_FORMAT_RGBA;
  auto frame = std::make_shared<NSImageFrame>();
  frame->width = static_cast<int>(width);
  frame->height = static_cast<int>(height);
  frame->rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, frame->rgba.data(), 0, nullptr)) {
    std::string message = image.message;
    png_image_free(&image);
    return std::unexpected(pngFailure(NSImage::corruptData, "unreadable PNG: " + message));
  }
  return Picture{frame->width, frame->height, std::move(frame)};
}
