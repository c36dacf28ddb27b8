#pragma once
// PNG pictures for the tests, decoded by libpng into 8-bit RGBA pixels.
#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelmarino::testing {

struct Rgba {
  int r, g, b, a;
};

struct PngImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;  // row by row, four bytes a pixel
  std::string problem;        // empty when decoded

  Rgba at(int32_t x, int32_t y) const {
    const size_t i =
        4 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x));
    return {rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
  }
};

inline PngImage decode_png(const std::string& file) {
  PngImage image;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&png, file.data(), file.size()) != 0) {
    png.format = PNG_FORMAT_RGBA;
    image.width = static_cast<int32_t>(png.width);
    image.height = static_cast<int32_t>(png.height);
    image.rgba.resize(PNG_IMAGE_SIZE(png));
    png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr);
  }
  if (PNG_IMAGE_FAILED(png)) image.problem = png.message;
  png_image_free(&png);
  return image;
}

}  // namespace kelmarino::testing
