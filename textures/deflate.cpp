// The zlib stream inside every PNG this program writes: one deflate block with dynamic codes, found by a
// hash-bucket string matcher, with length-limited Huffman code lengths from the package-merge method.
// Stored and fixed-code blocks are available too. The output bytes are fully determined by the input and
// the settings; every step below keeps that so (ties in sorting and matching have fixed winners).
#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <utility>
#include <vector>

#include "textures/textures.h"

namespace tessaline {

namespace {

constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kHashBuckets = 65536;
constexpr uint32_t kLiteralLengthSymbols = 286;
constexpr uint32_t kDistanceSymbols = 30;
constexpr uint32_t kCodeLengthSymbols = 19;
constexpr uint32_t kEndOfBlock = 256;

// Length codes 257..285 and distance codes 0..29: base values and extra-bit counts.
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

// The order in which the code-length code lengths are sent.
constexpr std::array<uint32_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                       11, 4,  12, 3, 13, 2, 14, 1, 15};

// Index of the last table entry whose base is not above value.
template <size_t N>
uint32_t LastBaseNotAbove(const std::array<uint32_t, N>& bases, uint32_t value) {
  size_t low = 0;
  size_t high = N;  // the answer lies in [low, high)
  while (high - low > 1) {
    size_t middle = (low + high) / 2;
    if (bases[middle] <= value) {
      low = middle;
    } else {
      high = middle;
    }
  }
  return static_cast<uint32_t>(low);
}

// Bits packed from the least significant bit of each byte up, appended to a byte vector.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

  void WriteBit(uint32_t bit) {
    if (position_ % 8 == 0) out_.push_back(0);
    if (bit) out_.back() = static_cast<uint8_t>(out_.back() | (1u << (position_ % 8)));
    ++position_;
  }
  // A plain value, least significant bit first.
  void WriteValue(uint32_t value, uint32_t bitCount) {
    for (uint32_t i = 0; i < bitCount; ++i)
      WriteBit((value >> i) & 1u);
  }
  // A Huffman code, most significant bit first.
  void WriteCode(uint32_t code, uint32_t length) {
    for (uint32_t i = length; i > 0; --i)
      WriteBit((code >> (i - 1)) & 1u);
  }
  // Moves on to the next byte boundary (the bits skipped stay zero).
  void AlignToByte() { position_ = (position_ + 7) / 8 * 8; }

 private:
  std::vector<uint8_t>& out_;
  uint64_t position_ = 0;
};

// ------------------------------------------------------------------------------------------------------
// String matcher

uint32_t HashAt(const std::vector<uint8_t>& data, size_t position) {
  size_t count = std::min<size_t>(6, data.size() - position);
  uint32_t hash = 0;
  for (size_t i = 0; i < count; ++i)
    hash ^= static_cast<uint32_t>(data[position + i]) << (2 * i);
  return hash % kHashBuckets;
}

// Every position ever hashed, per bucket in ascending order, with two cursors per bucket: the first entry
// still inside the window and the entry of the position being matched.
class MatchIndex {
 public:
  MatchIndex() : buckets_(kHashBuckets), firstInWindow_(kHashBuckets, 0), current_(kHashBuckets, 0) {}

  uint32_t Add(const std::vector<uint8_t>& data, size_t position) {
    uint32_t hash = HashAt(data, position);
    buckets_[hash].push_back(static_cast<uint32_t>(position));
    return hash;
  }

  // The longest earlier repeat of the bytes at position within the window; among equal lengths the
  // nearest. Returns its length (0 when none) and sets distance.
  uint32_t FindLongest(const std::vector<uint8_t>& data, size_t position, uint32_t hash, uint32_t windowSize,
                       uint32_t& distance) {
    std::vector<uint32_t>& bucket = buckets_[hash];
    size_t windowStart = position - std::min<size_t>(position, windowSize);
    uint32_t& first = firstInWindow_[hash];
    while (first < bucket.size() && bucket[first] < windowStart)
      ++first;
    uint32_t& current = current_[hash];
    while (current < bucket.size() && bucket[current] < position)
      ++current;

    size_t limit = std::min<size_t>(kMaxMatch, data.size() - position);
    const uint8_t* here = data.data() + position;
    uint32_t bestLength = 0;
    for (uint32_t i = current; i > first; --i) {
      size_t candidate = bucket[i - 1];
      const uint8_t* there = data.data() + candidate;
      // Only a strictly longer match replaces the best, so it must agree at the byte just past the best
      // length: checking that byte first skips most candidates in long runs without changing the choice.
      if (bestLength > 0 && there[bestLength] != here[bestLength]) continue;
      size_t length = 0;
      while (length < limit && there[length] == here[length]) {
        ++length;
      }
      if (length > bestLength) {
        bestLength = static_cast<uint32_t>(length);
        distance = static_cast<uint32_t>(position - candidate);
        if (length == limit) break;  // nothing can be longer (258 bytes, or the rest of the input)
      }
    }
    return bestLength;
  }

 private:
  std::vector<std::vector<uint32_t>> buckets_;
  std::vector<uint32_t> firstInWindow_;
  std::vector<uint32_t> current_;
};

// The symbol stream: a literal is one entry (0..255); a match is four entries: length code, length extra
// value, distance code, distance extra value.
std::vector<uint32_t> MakeSymbols(const std::vector<uint8_t>& data, const EncoderSettings& settings) {
  std::vector<uint32_t> symbols;
  if (!settings.useLZ77) {
    symbols.assign(data.begin(), data.end());
    return symbols;
  }
  MatchIndex index;
  size_t position = 0;
  while (position < data.size()) {
    uint32_t hash = index.Add(data, position);
    uint32_t distance = 0;
    uint32_t length = index.FindLongest(data, position, hash, settings.windowSize, distance);
    if (length >= kMinMatch) {
      uint32_t lengthIndex = LastBaseNotAbove(kLengthBase, length);
      uint32_t distanceIndex = LastBaseNotAbove(kDistanceBase, distance);
      symbols.push_back(257 + lengthIndex);
      symbols.push_back(length - kLengthBase[lengthIndex]);
      symbols.push_back(distanceIndex);
      symbols.push_back(distance - kDistanceBase[distanceIndex]);
      for (uint32_t i = 1; i < length; ++i)
        index.Add(data, position + i);
      position += length;
    } else {
      symbols.push_back(data[position]);
      ++position;
    }
  }
  return symbols;
}

// ------------------------------------------------------------------------------------------------------
// Code lengths (package-merge) and canonical codes

struct Coin {
  float weight = 0.0f;
  std::vector<uint32_t> symbols;
};

// Comb sort by ascending weight. Equal weights never swap, so the order is fully determined.
void CombSort(std::vector<Coin>& coins) {
  size_t gap = coins.size();
  bool swapped = false;
  while (gap > 1 || swapped) {
    gap = gap * 10 / 13;
    if (gap == 9 || gap == 10) gap = 11;
    if (gap < 1) gap = 1;
    swapped = false;
    for (size_t i = 0; i + gap < coins.size(); ++i) {
      if (coins[i + gap].weight < coins[i].weight) {
        std::swap(coins[i], coins[i + gap]);
        swapped = true;
      }
    }
  }
}

// Code lengths of at most maxLength bits for the given frequencies. Weights are single-precision
// fractions of the total, rounded at every step exactly as written here (the chosen lengths of equally
// weighted symbols depend on it).
std::vector<uint32_t> CodeLengths(const std::vector<uint32_t>& frequencies, uint32_t maxLength) {
  std::vector<uint32_t> lengths(frequencies.size(), 0);
  uint64_t sum = 0;
  for (uint32_t f : frequencies)
    sum += f;
  const float total = static_cast<float>(sum);
  const float reciprocal = 1.0f / total;

  std::vector<Coin> leaves;
  for (uint32_t symbol = 0; symbol < frequencies.size(); ++symbol) {
    if (frequencies[symbol] == 0) continue;
    const float weight = static_cast<float>(frequencies[symbol]) * reciprocal;
    leaves.push_back(Coin{weight, {symbol}});
  }
  const size_t used = leaves.size();
  if (used == 0) return lengths;
  if (used == 1) {
    lengths[leaves[0].symbols[0]] = 1;
    return lengths;
  }

  std::vector<Coin> row = leaves;
  CombSort(row);
  for (uint32_t level = 1; level <= maxLength; ++level) {
    std::vector<Coin> previous = std::move(row);
    row.clear();
    for (size_t i = 0; i + 1 < previous.size(); i += 2) {
      Coin package;
      const float weight = previous[i].weight + previous[i + 1].weight;
      package.weight = weight;
      package.symbols = std::move(previous[i].symbols);
      package.symbols.insert(package.symbols.end(), previous[i + 1].symbols.begin(),
                             previous[i + 1].symbols.end());
      row.push_back(std::move(package));
    }
    if (level < maxLength) {
      row.insert(row.end(), leaves.begin(), leaves.end());
      CombSort(row);
    }
  }
  for (size_t i = 0; i + 1 < used; ++i) {
    for (uint32_t symbol : row[i].symbols)
      ++lengths[symbol];
  }
  return lengths;
}

// Canonical codes for the given lengths (zero length: no code).
std::vector<uint32_t> CanonicalCodes(const std::vector<uint32_t>& lengths) {
  uint32_t maxLength = 0;
  for (uint32_t length : lengths)
    maxLength = std::max(maxLength, length);
  std::vector<uint32_t> lengthCount(maxLength + 1, 0);
  for (uint32_t length : lengths)
    ++lengthCount[length];
  lengthCount[0] = 0;
  std::vector<uint32_t> nextCode(maxLength + 1, 0);
  uint32_t code = 0;
  for (uint32_t bits = 1; bits <= maxLength; ++bits) {
    code = (code + lengthCount[bits - 1]) << 1;
    nextCode[bits] = code;
  }
  std::vector<uint32_t> codes(lengths.size(), 0);
  for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    if (lengths[symbol] != 0) codes[symbol] = nextCode[lengths[symbol]]++;
  }
  return codes;
}

struct HuffmanCode {
  std::vector<uint32_t> lengths;
  std::vector<uint32_t> codes;

  void Write(BitWriter& bits, uint32_t symbol) const { bits.WriteCode(codes[symbol], lengths[symbol]); }
};

HuffmanCode MakeCode(std::vector<uint32_t> lengths) {
  HuffmanCode code;
  code.codes = CanonicalCodes(lengths);
  code.lengths = std::move(lengths);
  return code;
}

// The fixed codes of block type 1.
HuffmanCode FixedLiteralLengthCode() {
  std::vector<uint32_t> lengths(288, 0);
  for (uint32_t i = 0; i < 288; ++i)
    lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  return MakeCode(std::move(lengths));
}

HuffmanCode FixedDistanceCode() {
  return MakeCode(std::vector<uint32_t>(30, 5));
}

void WriteSymbols(BitWriter& bits, const std::vector<uint32_t>& symbols, const HuffmanCode& literalLength,
                  const HuffmanCode& distance) {
  for (size_t i = 0; i < symbols.size(); ++i) {
    uint32_t symbol = symbols[i];
    literalLength.Write(bits, symbol);
    if (symbol > kEndOfBlock) {
      bits.WriteValue(symbols[i + 1], kLengthExtra[symbol - 257]);
      distance.Write(bits, symbols[i + 2]);
      bits.WriteValue(symbols[i + 3], kDistanceExtra[symbols[i + 2]]);
      i += 3;
    }
  }
  literalLength.Write(bits, kEndOfBlock);
}

// ------------------------------------------------------------------------------------------------------
// Blocks

void WriteStoredBlocks(BitWriter& bits, const std::vector<uint8_t>& data) {
  constexpr size_t kMaxStored = 65535;
  size_t position = 0;
  do {
    size_t size = std::min(kMaxStored, data.size() - position);
    bool last = position + size == data.size();
    bits.WriteValue(last ? 1 : 0, 1);
    bits.WriteValue(0, 2);
    bits.AlignToByte();
    bits.WriteValue(static_cast<uint32_t>(size), 16);
    bits.WriteValue(static_cast<uint32_t>(~size & 0xFFFF), 16);
    for (size_t i = 0; i < size; ++i)
      bits.WriteValue(data[position + i], 8);
    position += size;
  } while (position < data.size());
}

void WriteFixedBlock(BitWriter& bits, const std::vector<uint8_t>& data, const EncoderSettings& settings) {
  bits.WriteValue(1, 1);
  bits.WriteValue(1, 2);
  WriteSymbols(bits, MakeSymbols(data, settings), FixedLiteralLengthCode(), FixedDistanceCode());
}

// One code-length symbol of the coded length sequence with its extra value.
struct LengthToken {
  uint32_t symbol;
  uint32_t extra;
};

// Run-length codes the sequence of code lengths with the symbols 0..18.
std::vector<LengthToken> RunLengthCode(const std::vector<uint32_t>& lengths) {
  std::vector<LengthToken> tokens;
  size_t i = 0;
  while (i < lengths.size()) {
    uint32_t value = lengths[i];
    size_t repeats = 0;
    while (i + 1 + repeats < lengths.size() && lengths[i + 1 + repeats] == value)
      ++repeats;
    if (value == 0 && repeats >= 2) {
      size_t zeros = repeats + 1;
      if (zeros <= 10) {
        tokens.push_back({17, static_cast<uint32_t>(zeros - 3)});
        i += zeros;
      } else {
        size_t taken = std::min<size_t>(zeros, 138);
        tokens.push_back({18, static_cast<uint32_t>(taken - 11)});
        i += taken;
      }
    } else if (repeats < 3) {
      tokens.push_back({value, 0});
      i += 1;
    } else {
      tokens.push_back({value, 0});
      size_t sixes = repeats / 6;
      for (size_t k = 0; k < sixes; ++k)
        tokens.push_back({16, 3});
      size_t rest = repeats % 6;
      if (rest >= 3) {
        tokens.push_back({16, static_cast<uint32_t>(rest - 3)});
        i += 1 + repeats;
      } else {
        // The last one or two repeats are sent again as plain lengths from the next position.
        i += 1 + sixes * 6;
      }
    }
  }
  return tokens;
}

void WriteDynamicBlock(BitWriter& bits, const std::vector<uint8_t>& data, const EncoderSettings& settings) {
  std::vector<uint32_t> symbols = MakeSymbols(data, settings);

  std::vector<uint32_t> literalLengthFrequencies(kLiteralLengthSymbols, 0);
  std::vector<uint32_t> distanceFrequencies(kDistanceSymbols, 0);
  for (size_t i = 0; i < symbols.size(); ++i) {
    ++literalLengthFrequencies[symbols[i]];
    if (symbols[i] > kEndOfBlock) {
      ++distanceFrequencies[symbols[i + 2]];
      i += 3;
    }
  }
  literalLengthFrequencies[kEndOfBlock] = 1;

  HuffmanCode literalLength = MakeCode(CodeLengths(literalLengthFrequencies, 15));
  HuffmanCode distance = MakeCode(CodeLengths(distanceFrequencies, 15));

  bits.WriteValue(1, 1);
  bits.WriteValue(2, 2);

  std::vector<uint32_t> allLengths = literalLength.lengths;
  allLengths.insert(allLengths.end(), distance.lengths.begin(), distance.lengths.end());
  std::vector<LengthToken> tokens = RunLengthCode(allLengths);

  std::vector<uint32_t> tokenFrequencies(kCodeLengthSymbols, 0);
  for (const LengthToken& token : tokens)
    ++tokenFrequencies[token.symbol];
  HuffmanCode lengthCode = MakeCode(CodeLengths(tokenFrequencies, 7));

  uint32_t sentLengths = kCodeLengthSymbols;
  while (sentLengths > 4 && lengthCode.lengths[kCodeLengthOrder[sentLengths - 1]] == 0)
    --sentLengths;

  bits.WriteValue(kLiteralLengthSymbols - 257, 5);
  bits.WriteValue(kDistanceSymbols - 1, 5);
  bits.WriteValue(sentLengths - 4, 4);
  for (uint32_t i = 0; i < sentLengths; ++i)
    bits.WriteValue(lengthCode.lengths[kCodeLengthOrder[i]], 3);

  for (const LengthToken& token : tokens) {
    lengthCode.Write(bits, token.symbol);
    if (token.symbol == 16) bits.WriteValue(token.extra, 2);
    if (token.symbol == 17) bits.WriteValue(token.extra, 3);
    if (token.symbol == 18) bits.WriteValue(token.extra, 7);
  }

  WriteSymbols(bits, symbols, literalLength, distance);
}

}  // namespace

uint32_t Adler32(const uint8_t* data, size_t size) {
  constexpr uint32_t kModulus = 65521;
  constexpr size_t kChunk = 5552;  // the longest run of additions that cannot overflow 32 bits
  uint32_t a = 1;
  uint32_t b = 0;
  while (size > 0) {
    size_t chunk = std::min(size, kChunk);
    for (size_t i = 0; i < chunk; ++i) {
      a += data[i];
      b += a;
    }
    a %= kModulus;
    b %= kModulus;
    data += chunk;
    size -= chunk;
  }
  return (b << 16) | a;
}

void compress(std::vector<uint8_t>& out, const std::vector<uint8_t>& data, const EncoderSettings& settings) {
  assert(settings.blockType <= 2);
  out.push_back(0x78);
  out.push_back(0x01);
  {
    BitWriter bits(out);
    if (settings.blockType == 0) {
      WriteStoredBlocks(bits, data);
    } else if (settings.blockType == 1) {
      WriteFixedBlock(bits, data, settings);
    } else {
      WriteDynamicBlock(bits, data, settings);
    }
  }
  uint32_t adler = Adler32(data.data(), data.size());
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<uint8_t>(adler >> shift));
}

}  // namespace tessaline
