// A small deflate decoder for the tests: besides the inflated bytes it keeps what the stream says on the
// way (block types, the code-length tokens of dynamic headers, every literal and match), so that tests can
// check choices that zlib's inflate does not show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaline::testing {

struct TraceEvent {
  uint32_t length = 0;    // 0 for a literal
  uint32_t distance = 0;  // of a match
  uint8_t literal = 0;
};

struct CodeLengthToken {
  uint32_t symbol = 0;  // 0..18
  uint32_t extra = 0;   // the repeat value after 16, 17 and 18
  bool operator==(const CodeLengthToken&) const = default;
};

struct InflateTrace {
  bool ok = false;
  std::string error;
  std::vector<uint8_t> output;
  std::vector<uint32_t> blockTypes;
  std::vector<TraceEvent> events;
  // Of every dynamic block: HLIT + 257, HDIST + 1, HCLEN + 4, the code-length tokens, and the decoded
  // literal/length and distance code lengths.
  std::vector<uint32_t> literalCodes, distanceCodes, codeLengthCodes;
  std::vector<CodeLengthToken> tokens;
  std::vector<uint32_t> codeLengthLengths;  // of the 19 code-length symbols, by symbol
  std::vector<uint32_t> literalLengths, distanceLengths;
  uint32_t maxDistance = 0;
};

// Decodes a zlib stream (header, deflate blocks, Adler-32 checked).
InflateTrace TraceInflate(const std::vector<uint8_t>& stream);

}  // namespace tessaline::testing
