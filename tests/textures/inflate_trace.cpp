#include "inflate_trace.h"

#include <zlib.h>
#include <array>

namespace tessaline::testing {

namespace {

struct Failure {
  std::string what;
};

class BitReader {
 public:
  explicit BitReader(const std::vector<uint8_t>& bytes, size_t start) : bytes_(bytes), bit_(start * 8) {}

  uint32_t Bit() {
    if (bit_ / 8 >= bytes_.size()) throw Failure{"stream ends early"};
    uint32_t value = (bytes_[bit_ / 8] >> (bit_ % 8)) & 1u;
    ++bit_;
    return value;
  }
  uint32_t Bits(uint32_t count) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i)
      value |= Bit() << i;
    return value;
  }
  void Align() { bit_ = (bit_ + 7) / 8 * 8; }
  size_t BytePosition() const { return bit_ / 8; }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t bit_;
};

// Canonical Huffman decoding: codes of each length are consecutive, shorter lengths first, and within a
// length in symbol order.
class Decoder {
 public:
  explicit Decoder(const std::vector<uint32_t>& lengths) : count_(16, 0) {
    for (uint32_t length : lengths)
      ++count_[length];
    count_[0] = 0;
    for (uint32_t length = 1; length < 16; ++length) {
      for (uint32_t symbol = 0; symbol < lengths.size(); ++symbol) {
        if (lengths[symbol] == length) symbols_.push_back(symbol);
      }
    }
    int left = 1;
    for (uint32_t length = 1; length < 16; ++length) {
      left = left * 2 - static_cast<int>(count_[length]);
      if (left < 0) throw Failure{"over-subscribed code"};
    }
  }

  uint32_t Decode(BitReader& bits) const {
    uint32_t code = 0, first = 0, index = 0;
    for (uint32_t length = 1; length < 16; ++length) {
      code |= bits.Bit();
      if (code - first < count_[length]) return symbols_[index + code - first];
      index += count_[length];
      first = (first + count_[length]) << 1;
      code <<= 1;
    }
    throw Failure{"no such code"};
  }

 private:
  std::vector<uint32_t> count_;
  std::vector<uint32_t> symbols_;
};

constexpr std::array<uint32_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                  15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                  67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint32_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint32_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint32_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<uint32_t, 19> kOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                             11, 4,  12, 3, 13, 2, 14, 1, 15};

void DecodeSymbols(BitReader& bits, const Decoder& literals, const Decoder& distances, InflateTrace& trace) {
  for (;;) {
    uint32_t symbol = literals.Decode(bits);
    if (symbol < 256) {
      trace.output.push_back(static_cast<uint8_t>(symbol));
      trace.events.push_back({0, 0, static_cast<uint8_t>(symbol)});
      continue;
    }
    if (symbol == 256) return;
    if (symbol > 285) throw Failure{"bad length code"};
    uint32_t length = kLengthBase[symbol - 257] + bits.Bits(kLengthExtra[symbol - 257]);
    uint32_t code = distances.Decode(bits);
    if (code > 29) throw Failure{"bad distance code"};
    uint32_t distance = kDistanceBase[code] + bits.Bits(kDistanceExtra[code]);
    if (distance > trace.output.size()) throw Failure{"distance before the start"};
    for (uint32_t i = 0; i < length; ++i)
      trace.output.push_back(trace.output[trace.output.size() - distance]);
    trace.events.push_back({length, distance, 0});
    trace.maxDistance = std::max(trace.maxDistance, distance);
  }
}

void DecodeDynamic(BitReader& bits, InflateTrace& trace) {
  uint32_t literalCount = bits.Bits(5) + 257;
  uint32_t distanceCount = bits.Bits(5) + 1;
  uint32_t lengthCount = bits.Bits(4) + 4;
  trace.literalCodes.push_back(literalCount);
  trace.distanceCodes.push_back(distanceCount);
  trace.codeLengthCodes.push_back(lengthCount);
  std::vector<uint32_t> codeLengthLengths(19, 0);
  for (uint32_t i = 0; i < lengthCount; ++i)
    codeLengthLengths[kOrder[i]] = bits.Bits(3);
  Decoder lengthDecoder(codeLengthLengths);
  trace.codeLengthLengths = codeLengthLengths;

  std::vector<uint32_t> lengths;
  while (lengths.size() < literalCount + distanceCount) {
    uint32_t symbol = lengthDecoder.Decode(bits);
    CodeLengthToken token{symbol, 0};
    if (symbol < 16) {
      lengths.push_back(symbol);
    } else if (symbol == 16) {
      if (lengths.empty()) throw Failure{"repeat with nothing before"};
      token.extra = bits.Bits(2);
      lengths.insert(lengths.end(), 3 + token.extra, lengths.back());
    } else if (symbol == 17) {
      token.extra = bits.Bits(3);
      lengths.insert(lengths.end(), 3 + token.extra, 0);
    } else {
      token.extra = bits.Bits(7);
      lengths.insert(lengths.end(), 11 + token.extra, 0);
    }
    trace.tokens.push_back(token);
  }
  if (lengths.size() != literalCount + distanceCount) throw Failure{"code lengths overrun"};
  trace.literalLengths.assign(lengths.begin(), lengths.begin() + literalCount);
  trace.distanceLengths.assign(lengths.begin() + literalCount, lengths.end());
  DecodeSymbols(bits, Decoder(trace.literalLengths), Decoder(trace.distanceLengths), trace);
}

}  // namespace

InflateTrace TraceInflate(const std::vector<uint8_t>& stream) {
  InflateTrace trace;
  try {
    if (stream.size() < 6) throw Failure{"too short for a zlib stream"};
    if ((stream[0] * 256u + stream[1]) % 31 != 0 || (stream[0] & 0x0F) != 8) throw Failure{"bad zlib header"};
    BitReader bits(stream, 2);
    uint32_t final = 0;
    do {
      final = bits.Bit();
      uint32_t type = bits.Bits(2);
      trace.blockTypes.push_back(type);
      if (type == 0) {
        bits.Align();
        uint32_t length = bits.Bits(16);
        uint32_t inverse = bits.Bits(16);
        if ((length ^ 0xFFFF) != inverse) throw Failure{"stored length check"};
        for (uint32_t i = 0; i < length; ++i)
          trace.output.push_back(static_cast<uint8_t>(bits.Bits(8)));
      } else if (type == 1) {
        std::vector<uint32_t> literal(288, 8);
        for (uint32_t i = 144; i < 256; ++i)
          literal[i] = 9;
        for (uint32_t i = 256; i < 280; ++i)
          literal[i] = 7;
        DecodeSymbols(bits, Decoder(literal), Decoder(std::vector<uint32_t>(30, 5)), trace);
      } else if (type == 2) {
        DecodeDynamic(bits, trace);
      } else {
        throw Failure{"block type 3"};
      }
    } while (!final);
    bits.Align();
    size_t at = bits.BytePosition();
    if (stream.size() != at + 4) throw Failure{"Adler-32 missing or bytes after it"};
    uint32_t expected = (uint32_t{stream[at]} << 24) | (uint32_t{stream[at + 1]} << 16) |
                        (uint32_t{stream[at + 2]} << 8) | stream[at + 3];
    uint32_t actual =
        static_cast<uint32_t>(adler32(1, trace.output.data(), static_cast<uInt>(trace.output.size())));
    if (expected != actual) throw Failure{"Adler-32 differs"};
    trace.ok = true;
  } catch (const Failure& failure) {
    trace.error = failure.what;
  }
  return trace;
}

}  // namespace tessaline::testing
