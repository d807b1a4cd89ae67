// Internal to dbo/: the DBO encodings as appends to a byte buffer, shared by dbofstream and the scene writer
// so that both produce the same bytes. Everything is little-endian whatever the machine.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "scene/scene.h"

namespace tessaline::dbo_bytes {

inline void StoreDword(char* at, uint32_t value) {
  at[0] = static_cast<char>(value & 0xFF);
  at[1] = static_cast<char>((value >> 8) & 0xFF);
  at[2] = static_cast<char>((value >> 16) & 0xFF);
  at[3] = static_cast<char>((value >> 24) & 0xFF);
}

inline void StoreFloat(char* at, float value) {
  StoreDword(at, std::bit_cast<uint32_t>(value));
}

inline void AppendDword(std::string& out, uint32_t value) {
  char bytes[4];
  StoreDword(bytes, value);
  out.append(bytes, 4);
}

inline void AppendFloat(std::string& out, float value) {
  AppendDword(out, std::bit_cast<uint32_t>(value));
}

inline void AppendFlag(std::string& out, bool value) {
  out.push_back(value ? 1 : 0);
}

inline void AppendWord(std::string& out, uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}

inline void AppendString(std::string& out, const std::string& text) {
  AppendDword(out, static_cast<uint32_t>(text.size()));
  out.append(text);
}

// Position, normal, then exactly pairCount coordinate pairs: the present slots in slot order, cut to
// pairCount, padded with (0, 0).
inline void AppendVertex(std::string& out, const SceneVertex& vertex, uint32_t pairCount) {
  char fixed[24 + 8 * 4];
  StoreFloat(fixed + 0, vertex.x);
  StoreFloat(fixed + 4, vertex.y);
  StoreFloat(fixed + 8, vertex.z);
  StoreFloat(fixed + 12, vertex.nx);
  StoreFloat(fixed + 16, vertex.ny);
  StoreFloat(fixed + 20, vertex.nz);
  size_t length = 24;
  uint32_t pairs = 0;
  for (int k = 0; k < 4; ++k) {
    if (pairs == pairCount) break;
    const UvSet slot = vertex.uvSets.Get(k);
    if (!slot.present) continue;
    StoreFloat(fixed + length, slot.u);
    StoreFloat(fixed + length + 4, slot.v);
    length += 8;
    ++pairs;
  }
  out.append(fixed, length);
  // Padding pairs (0.0, 0.0) are all-zero bytes.
  for (; pairs < pairCount; ++pairs)
    out.append(8, '\0');
}

}  // namespace tessaline::dbo_bytes
