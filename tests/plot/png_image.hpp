#pragma once
// A small PNG decoder for the tests: 8-bit RGB or RGBA, not interlaced (what rsvg-convert
// writes), with its own inflate (stored, fixed and dynamic Huffman blocks) and the five row
// filters. Checksums are not verified.
#include <cstdint>
#include <cstdlib>
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

class Inflater {
 public:
  explicit Inflater(const std::vector<uint8_t>& in) : in_(in) {}

  // The zlib stream: a two-byte header, deflate blocks, a checksum (not read).
  std::vector<uint8_t> inflate() {
    if (in_.size() < 2 || (in_[0] & 0x0f) != 8) fail("not a deflate stream");
    at_ = 2;
    bool last = false;
    while (!last) {
      last = bits(1) == 1;
      const int type = bits(2);
      if (type == 0) {
        stored();
      } else if (type == 1) {
        fixed();
      } else if (type == 2) {
        dynamic();
      } else {
        fail("bad block type");
      }
    }
    return out_;
  }

 private:
  struct Huffman {
    int count[16] = {};
    std::vector<int> symbol;
  };

  const std::vector<uint8_t>& in_;
  size_t at_ = 0;
  int bit_buffer_ = 0;
  int bit_count_ = 0;
  std::vector<uint8_t> out_;

  [[noreturn]] static void fail(const char* what) { throw std::string(what); }

  int bits(int need) {
    long value = bit_buffer_;
    while (bit_count_ < need) {
      if (at_ >= in_.size()) fail("compressed data ends early");
      value |= static_cast<long>(in_[at_++]) << bit_count_;
      bit_count_ += 8;
    }
    bit_buffer_ = static_cast<int>(value >> need);
    bit_count_ -= need;
    return static_cast<int>(value & ((1L << need) - 1));
  }

  void stored() {
    bit_buffer_ = 0;
    bit_count_ = 0;
    if (at_ + 4 > in_.size()) fail("stored block ends early");
    const size_t length = in_[at_] | (in_[at_ + 1] << 8);
    at_ += 4;
    if (at_ + length > in_.size()) fail("stored block ends early");
    out_.insert(out_.end(), in_.begin() + static_cast<long>(at_),
                in_.begin() + static_cast<long>(at_ + length));
    at_ += length;
  }

  static Huffman build(const int* lengths, int n) {
    Huffman h;
    for (int i = 0; i < n; ++i) ++h.count[lengths[i]];
    h.count[0] = 0;
    int offsets[16] = {};
    for (int len = 1; len < 16; ++len) offsets[len] = offsets[len - 1] + h.count[len - 1];
    h.symbol.assign(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
      if (lengths[i] != 0) h.symbol[static_cast<size_t>(offsets[lengths[i]]++)] = i;
    }
    return h;
  }

  // Canonical codes: the codes of one length are consecutive, read most significant bit first.
  int decode(const Huffman& h) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len < 16; ++len) {
      code |= bits(1);
      const int count = h.count[len];
      if (code - count < first) return h.symbol[static_cast<size_t>(index + (code - first))];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    fail("bad Huffman code");
  }

  void codes(const Huffman& lengths, const Huffman& distances) {
    static const int LENGTH_BASE[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                        15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                        67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const int DISTANCE_BASE[30] = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const int DISTANCE_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                           6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    for (;;) {
      int symbol = decode(lengths);
      if (symbol < 256) {
        out_.push_back(static_cast<uint8_t>(symbol));
      } else if (symbol == 256) {
        return;
      } else {
        symbol -= 257;
        if (symbol >= 29) fail("bad length code");
        const int length = LENGTH_BASE[symbol] + bits(LENGTH_EXTRA[symbol]);
        const int d = decode(distances);
        if (d >= 30) fail("bad distance code");
        const size_t distance = static_cast<size_t>(DISTANCE_BASE[d] + bits(DISTANCE_EXTRA[d]));
        if (distance > out_.size()) fail("distance beyond the output");
        for (int i = 0; i < length; ++i) out_.push_back(out_[out_.size() - distance]);
      }
    }
  }

  void fixed() {
    int lengths[288];
    for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    int distances[30];
    for (int& d : distances) d = 5;
    codes(build(lengths, 288), build(distances, 30));
  }

  void dynamic() {
    static const int ORDER[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    const int nlen = bits(5) + 257;
    const int ndist = bits(5) + 1;
    const int ncode = bits(4) + 4;
    int lengths[320] = {};
    for (int i = 0; i < ncode; ++i) lengths[ORDER[i]] = bits(3);
    const Huffman code_lengths = build(lengths, 19);
    int i = 0;
    while (i < nlen + ndist) {
      const int symbol = decode(code_lengths);
      if (symbol < 16) {
        lengths[i++] = symbol;
        continue;
      }
      int repeat = 0, value = 0;
      if (symbol == 16) {
        if (i == 0) fail("repeat with no previous length");
        value = lengths[i - 1];
        repeat = 3 + bits(2);
      } else if (symbol == 17) {
        repeat = 3 + bits(3);
      } else {
        repeat = 11 + bits(7);
      }
      if (i + repeat > nlen + ndist) fail("too many code lengths");
      while (repeat-- > 0) lengths[i++] = value;
    }
    codes(build(lengths, nlen), build(lengths + nlen, ndist));
  }
};

inline uint32_t big_endian(const std::string& s, size_t at) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 8) |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3]));
}

inline int paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Undoes the row filters of the decompressed image data, row by row, into RGBA pixels.
inline void unfilter(const std::vector<uint8_t>& data, int channels, PngImage& image) {
  const size_t stride = static_cast<size_t>(image.width) * static_cast<size_t>(channels);
  if (data.size() < (stride + 1) * static_cast<size_t>(image.height))
    throw std::string("image data ends early");
  std::vector<uint8_t> previous(stride, 0), row(stride);
  image.rgba.clear();
  for (int32_t y = 0; y < image.height; ++y) {
    const uint8_t* line = &data[static_cast<size_t>(y) * (stride + 1)];
    const int filter = line[0];
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= static_cast<size_t>(channels) ? row[i - static_cast<size_t>(channels)] : 0;
      const int b = previous[i];
      const int c =
          i >= static_cast<size_t>(channels) ? previous[i - static_cast<size_t>(channels)] : 0;
      const int predictor = filter == 0   ? 0
                            : filter == 1 ? a
                            : filter == 2 ? b
                            : filter == 3 ? (a + b) / 2
                            : filter == 4 ? paeth(a, b, c)
                                          : -1;
      if (predictor < 0) throw std::string("bad row filter");
      row[i] = static_cast<uint8_t>((line[i + 1] + predictor) & 0xff);
    }
    for (int32_t x = 0; x < image.width; ++x) {
      const uint8_t* p = &row[static_cast<size_t>(x) * static_cast<size_t>(channels)];
      image.rgba.insert(image.rgba.end(), {p[0], p[1], p[2], channels == 4 ? p[3] : uint8_t{255}});
    }
    previous = row;
  }
}

inline PngImage decode_png(const std::string& file) {
  PngImage image;
  try {
    if (file.size() < 8 || file.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
      throw std::string("not a PNG file");
    std::vector<uint8_t> compressed;
    int channels = 0;
    for (size_t at = 8; at + 8 <= file.size();) {
      const size_t length = big_endian(file, at);
      const std::string type = file.substr(at + 4, 4);
      if (at + 12 + length > file.size()) throw std::string("chunk ends early");
      if (type == "IHDR") {
        image.width = static_cast<int32_t>(big_endian(file, at + 8));
        image.height = static_cast<int32_t>(big_endian(file, at + 12));
        const int depth = static_cast<uint8_t>(file[at + 16]);
        const int colour = static_cast<uint8_t>(file[at + 17]);
        const int interlace = static_cast<uint8_t>(file[at + 20]);
        if (depth != 8 || (colour != 2 && colour != 6) || interlace != 0) {
          throw std::string("only 8-bit RGB or RGBA without interlace is decoded");
        }
        channels = colour == 6 ? 4 : 3;
      } else if (type == "IDAT") {
        compressed.insert(compressed.end(), file.begin() + static_cast<long>(at + 8),
                          file.begin() + static_cast<long>(at + 8 + length));
      }
      at += 12 + length;
    }
    if (channels == 0) throw std::string("no IHDR chunk");
    unfilter(Inflater(compressed).inflate(), channels, image);
  } catch (const std::string& problem) {
    image.problem = problem;
  }
  return image;
}

}  // namespace kelmarino::testing
