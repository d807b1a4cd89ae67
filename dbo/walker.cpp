#include <algorithm>
#include <bit>
#include <cstddef>
#include <iterator>
#include <limits>
#include <string>

#include "dbo/dbo.h"
#include "dbo/dbo_items.h"

namespace tessaline {

using namespace dbo_item;

const char* DboItemName(uint32_t code) {
  const dbo_items::ItemInfo* item = dbo_items::Find(code);
  return item == nullptr ? "" : item->name;
}

namespace {

std::string Describe(uint32_t code) {
  std::string text = std::to_string(code);
  const char* name = DboItemName(code);
  if (*name != '\0') text += std::string(" (") + name + ")";
  return text;
}

// What one frame declared, for the size formulas checked once the whole chain is known.
struct FrameSizes {
  uint64_t siblingOffset = 0;
  uint32_t siblingSize = 0;
  bool hasSibling = false;
  uint64_t meshOffset = 0;
  uint32_t meshSize = 0;
};

// Reads the file front to back. The frame chain nests one level per frame, so it is followed in a loop
// rather than by recursion; meshes and texture lists nest to a fixed depth. Every read checks the bytes
// left first. The first fault ends the walk with its offset.
class Walker {
 public:
  explicit Walker(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  DboReport Run() {
    report_.ok = WalkFile();
    return std::move(report_);
  }

 private:
  uint64_t Left() const { return bytes_.size() - at_; }

  bool Fail(uint64_t offset, const std::string& text) {
    report_.error = "offset " + std::to_string(offset) + ": " + text;
    report_.errorText = text;
    report_.errorOffset = offset;
    return false;
  }

  uint32_t DwordAt(uint64_t offset) const {
    const uint8_t* p = bytes_.data() + offset;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  }

  bool ReadDword(uint32_t& value, const char* what) {
    if (Left() < 4) return Fail(at_, std::string("file ends inside ") + what);
    value = DwordAt(at_);
    at_ += 4;
    return true;
  }

  bool ReadFloat(float& value, const char* what) {
    uint32_t bits = 0;
    if (!ReadDword(bits, what)) return false;
    value = std::bit_cast<float>(bits);
    return true;
  }

  // Looks at the next item's code without consuming it; false at the end of the file.
  bool PeekCode(uint32_t& code) const {
    if (Left() < 4) return false;
    code = DwordAt(at_);
    return true;
  }

  // The code and size of the next item, which must be `code`.
  bool Item(uint32_t code, int depth, uint32_t& size) {
    const uint64_t offset = at_;
    if (Left() < 8) return Fail(offset, "file ends where item " + Describe(code) + " should start");
    const uint32_t found = DwordAt(at_);
    if (found != code)
      return Fail(offset, "expected item " + Describe(code) + ", found code " + Describe(found));
    size = DwordAt(at_ + 4);
    at_ += 8;
    report_.items.push_back({code, size, offset, depth});
    return true;
  }

  bool SizedItem(uint32_t code, int depth, uint64_t expectedSize) {
    uint32_t size = 0;
    if (!Item(code, depth, size)) return false;
    if (size != expectedSize) {
      return Fail(at_ - 8, "item " + Describe(code) + " declares size " + std::to_string(size) +
                               ", expected " + std::to_string(expectedSize));
    }
    if (Left() < expectedSize) return Fail(at_, "file ends inside item " + Describe(code));
    return true;
  }

  bool Terminator(const std::string& closing) {
    const uint64_t offset = at_;
    if (Left() < 8) return Fail(offset, "file ends where the terminator closing " + closing + " should be");
    const uint32_t code = DwordAt(at_);
    const uint32_t size = DwordAt(at_ + 4);
    if (code != 0) {
      return Fail(offset, "expected the terminator closing " + closing + ", found code " + Describe(code));
    }
    if (size != 0) return Fail(offset, "terminator closing " + closing + " has size " + std::to_string(size));
    at_ += 8;
    return true;
  }

  bool EmptyList(uint32_t code, int depth) {
    return SizedItem(code, depth, 8) && Terminator("the list of item " + Describe(code));
  }

  // A dword item with any value.
  bool DwordItem(uint32_t code, int depth, uint32_t& value) {
    return SizedItem(code, depth, 4) && ReadDword(value, "a dword");
  }

  // A dword item that must hold `expected`.
  bool DwordItemIs(uint32_t code, int depth, uint64_t expected) {
    uint32_t value = 0;
    if (!DwordItem(code, depth, value)) return false;
    if (value != expected) {
      return Fail(at_ - 4, "item " + Describe(code) + " holds " + std::to_string(value) + ", expected " +
                               std::to_string(expected));
    }
    return true;
  }

  // A flag item: one byte, 0 or 1.
  bool FlagItem(uint32_t code, int depth, bool& value) {
    if (!SizedItem(code, depth, 1)) return false;
    const uint8_t byte = bytes_[at_];
    if (byte > 1) return Fail(at_, "flag item " + Describe(code) + " holds " + std::to_string(byte));
    value = byte == 1;
    ++at_;
    return true;
  }

  // A flag item that must hold `expected`.
  bool FlagItemIs(uint32_t code, int depth, bool expected) {
    bool value = false;
    if (!FlagItem(code, depth, value)) return false;
    if (value != expected) {
      return Fail(at_ - 1, "flag item " + Describe(code) + " holds " + std::to_string(value) + ", expected " +
                               std::to_string(expected));
    }
    return true;
  }

  // An item of fixed floats; `expected` null accepts any values.
  bool FloatsItem(uint32_t code, int depth, size_t count, float* values, const float* expected) {
    if (!SizedItem(code, depth, 4 * count)) return false;
    for (size_t i = 0; i < count; ++i) {
      const uint64_t offset = at_;
      float value = 0;
      ReadFloat(value, "a float");
      if (expected != nullptr && value != expected[i]) {
        return Fail(offset, "item " + Describe(code) + " float " + std::to_string(i) + " is " +
                                std::to_string(value) + ", expected " + std::to_string(expected[i]));
      }
      if (values != nullptr) values[i] = value;
    }
    return true;
  }

  bool StringItem(uint32_t code, int depth, std::string& text) {
    uint32_t size = 0;
    if (!Item(code, depth, size)) return false;
    const uint64_t offset = at_;
    uint32_t length = 0;
    if (!ReadDword(length, "a string length")) return false;
    if (uint64_t{length} + 4 != size) {
      return Fail(offset, "string of " + std::to_string(length) + " bytes in item " + Describe(code) +
                              " of size " + std::to_string(size));
    }
    if (Left() < length) return Fail(at_, "file ends inside the string of item " + Describe(code));
    text.assign(reinterpret_cast<const char*>(bytes_.data() + at_), length);
    at_ += length;
    return true;
  }

  // Items whose values every file holds alike, checked against the table.
  bool Fixed(std::span<const dbo_items::ItemInfo> run, int depth) {
    for (const dbo_items::ItemInfo& item : run) {
      bool good = false;
      switch (item.kind) {
        case dbo_items::Kind::Dword:
          good = DwordItemIs(item.code, depth, item.value);
          break;
        case dbo_items::Kind::Flag:
          good = FlagItemIs(item.code, depth, item.value != 0);
          break;
        case dbo_items::Kind::Floats:
          good = FloatsItem(item.code, depth, item.floatCount, nullptr, item.floats);
          break;
        default:
          good = EmptyList(item.code, depth);
      }
      if (!good) return false;
    }
    return true;
  }
  bool Fixed(uint32_t code, int depth) { return Fixed({&dbo_items::Fixed(code), 1}, depth); }

  bool WalkFile() {
    if (!Header()) return false;

    uint32_t rootSize = 0;
    if (!Item(RootFrame, 0, rootSize)) return false;
    const uint64_t rootOffset = at_ - 8;

    // Frame heads: each frame's sibling item holds the next frame, up to the last frame.
    std::vector<FrameSizes> sizes;
    for (;;) {
      const size_t index = report_.frames.size();
      report_.frames.emplace_back();
      sizes.emplace_back();
      if (!FrameHead(index, sizes.back())) return false;
      if (!sizes.back().hasSibling) break;
    }

    // Closing groups: the last frame's first, the root frame's last.
    for (size_t k = report_.frames.size(); k-- > 0;) {
      const int depth = static_cast<int>(k) + 1;
      if (!Fixed(dbo_items::kFrameOffsets, depth)) return false;
      if (!FloatsItem(FrameScale, depth, 3, report_.frames[k].scale.data(), nullptr)) return false;
      if (!Terminator("frame " + std::to_string(k))) return false;
    }

    if (!SizeFormulas(rootOffset, rootSize, sizes)) return false;

    if (!Fixed(dbo_items::kFileEnd, 0)) return false;
    if (!Terminator("the file")) return false;
    if (at_ != bytes_.size()) {
      return Fail(at_, std::to_string(bytes_.size() - at_) + " trailing byte(s) after the final terminator");
    }
    return true;
  }

  bool Header() {
    const auto& header = dbo_items::kHeader;
    for (size_t i = 0; i < sizeof header; ++i) {
      if (i >= bytes_.size()) return Fail(i, "file ends inside the header");
      if (bytes_[i] != header[i])
        return Fail(i, "not a DBO header of this format (magic, version 1, two zeros)");
    }
    at_ = sizeof header;
    return true;
  }

  // The head of a list item that may be empty: `more` tells whether items follow.
  bool ListHead(uint32_t code, int depth, uint64_t& offset, uint32_t& size, bool& more) {
    offset = at_;
    if (!Item(code, depth, size)) return false;
    uint32_t next = 0;
    if (!PeekCode(next)) return Fail(at_, "file ends inside item " + Describe(code));
    more = next != dbo_item::Terminator;
    return true;
  }

  // The end of a list item found empty: its declared size and its terminator.
  bool EmptyListEnd(uint32_t code, uint64_t offset, uint32_t size, const std::string& closing) {
    if (size != dbo_items::kEmptyListBytes) {
      return Fail(offset,
                  "empty item " + Describe(code) + " declares size " + std::to_string(size) + ", expected 8");
    }
    return Terminator(closing);
  }

  bool FrameHead(size_t index, FrameSizes& sizes) {
    const int depth = static_cast<int>(index) + 1;
    DboFrameInfo& frame = report_.frames[index];
    const uint64_t nameOffset = at_;
    if (!StringItem(FrameName, depth, frame.name)) return false;
    if (index > 0 && frame.name != report_.frames[0].name) {
      return Fail(nameOffset, "frame " + std::to_string(index) + " is named \"" + frame.name +
                                  "\", the root frame \"" + report_.frames[0].name + "\"");
    }
    if (!Fixed(FrameMatrix, depth)) return false;

    // Only the root frame has no mesh.
    if (!ListHead(FrameMesh, depth, sizes.meshOffset, sizes.meshSize, frame.hasMesh)) return false;
    if (frame.hasMesh != (index > 0)) {
      return Fail(at_, index == 0 ? "the root frame has a mesh"
                                  : "mesh frame " + std::to_string(index) + " has no mesh");
    }
    if (frame.hasMesh) {
      if (!Mesh(depth + 1, frame.mesh, sizes)) return false;
    } else if (!EmptyListEnd(FrameMesh, sizes.meshOffset, sizes.meshSize,
                             "the empty mesh of frame " + std::to_string(index))) {
      return false;
    }

    if (!Fixed(FrameChild, depth)) return false;
    if (!ListHead(FrameSibling, depth, sizes.siblingOffset, sizes.siblingSize, sizes.hasSibling))
      return false;
    return sizes.hasSibling || EmptyListEnd(FrameSibling, sizes.siblingOffset, sizes.siblingSize,
                                            "the last frame's sibling list");
  }

  // The vertex format, size and counts; returns the number of texture sets in `sets`.
  bool MeshCounts(int depth, DboMeshInfo& mesh, uint64_t& sets) {
    const uint64_t formatOffset = at_;
    if (!DwordItem(MeshVertexFormat, depth, mesh.vertexFormat)) return false;
    if ((mesh.vertexFormat & 0xFF) != dbo_items::kPositionNormal) {
      return Fail(formatOffset + 8, "vertex format " + std::to_string(mesh.vertexFormat) +
                                        " is not position, normal and texture sets");
    }
    sets = mesh.vertexFormat >> 8;
    const uint64_t vertexBytes = dbo_items::VertexBytes(sets);
    const uint64_t sizeOffset = at_ + 8;
    if (!DwordItem(MeshVertexSize, depth, mesh.vertexSize)) return false;
    if (mesh.vertexSize != vertexBytes) {
      return Fail(sizeOffset, "vertex size " + std::to_string(mesh.vertexSize) +
                                  " does not match the format's " + std::to_string(vertexBytes) + " bytes");
    }
    const uint64_t countOffset = at_ + 8;
    if (!DwordItem(MeshVertexCount, depth, mesh.vertexCount)) return false;
    if (mesh.vertexCount > kMaxIndexableVertices) {
      return Fail(countOffset,
                  std::to_string(mesh.vertexCount) + " vertices are more than 16-bit indices address");
    }
    if (!DwordItem(MeshIndexCount, depth, mesh.indexCount)) return false;
    if (mesh.indexCount % 3 != 0)
      return Fail(at_ - 4, "index count " + std::to_string(mesh.indexCount) + " is not whole triangles");
    return Fixed(MeshDword138, depth);
  }

  // The vertex data (V vertices of the format's size, whatever else was declared; the product compared in
  // 64 bits, so a size field that wrapped past 2^32 never matches) and the index data.
  bool MeshData(int depth, DboMeshInfo& mesh) {
    const uint64_t vertexCount = mesh.vertexCount;
    const uint64_t vertexBytes = mesh.vertexSize;
    const uint64_t dataBytes = vertexCount * vertexBytes;
    uint32_t declared = 0;
    if (!Item(MeshVertexData, depth, declared)) return false;
    if (declared != dataBytes) {
      return Fail(at_ - 8, "vertex data declares " + std::to_string(declared) + " bytes, " +
                               std::to_string(vertexCount) + " vertices of " + std::to_string(vertexBytes) +
                               " bytes take " + std::to_string(dataBytes) + FitsNote(dataBytes));
    }
    if (Left() < dataBytes) return Fail(at_, "file ends inside the vertex data");
    Bounds(vertexCount, vertexBytes, mesh);
    at_ += dataBytes;

    if (!SizedItem(MeshIndexData, depth, 2 * uint64_t{mesh.indexCount})) return false;
    for (uint64_t i = 0; i < mesh.indexCount; ++i) {
      const uint32_t index = uint32_t{bytes_[at_]} | uint32_t{bytes_[at_ + 1]} << 8;
      if (index >= vertexCount) {
        return Fail(at_, "index " + std::to_string(index) + " is not below the vertex count " +
                             std::to_string(vertexCount));
      }
      at_ += 2;
    }
    return true;
  }

  // The texture count and list: one entry per texture set; returns the list's declared size.
  bool MeshTextures(int depth, DboMeshInfo& mesh, uint64_t sets, uint32_t& listSize) {
    if (!DwordItem(dbo_item::MeshTextureCount, depth, mesh.textureCount)) return false;
    if (mesh.textureCount != sets) {
      return Fail(at_ - 4, "texture count " + std::to_string(mesh.textureCount) + " differs from the " +
                               std::to_string(sets) + " texture sets of the vertex format");
    }
    if (!Item(dbo_item::MeshTextures, depth, listSize)) return false;
    const uint64_t listOffset = at_ - 8;
    const uint64_t entriesStart = at_;
    for (uint32_t code = 0; PeekCode(code) && code == TextureName;) {
      if (!TextureEntry(depth + 1, static_cast<uint32_t>(mesh.textureNames.size()), mesh)) return false;
    }
    const uint64_t entryBytes = at_ - entriesStart;
    if (!Terminator("the texture list")) return false;
    if (mesh.textureNames.size() != sets) {
      return Fail(listOffset, std::to_string(mesh.textureNames.size()) + " texture entries for " +
                                  std::to_string(sets) + " texture sets");
    }
    // An empty list declares 8 in the collision file and 0 (no layers) in the main file.
    if (listSize != entryBytes && !(sets == 0 && listSize == dbo_items::kEmptyListBytes)) {
      return Fail(listOffset, "texture list declares " + std::to_string(listSize) +
                                  " bytes, its entries take " + std::to_string(entryBytes));
    }
    return true;
  }

  bool Mesh(int depth, DboMeshInfo& mesh, const FrameSizes& sizes) {
    uint64_t sets = 0;
    if (!MeshCounts(depth, mesh, sets) || !MeshData(depth, mesh)) return false;
    if (!Fixed(MeshPrimitiveType, depth)) return false;
    if (!DwordItemIs(MeshDrawVertexCount, depth, mesh.vertexCount)) return false;
    if (!DwordItemIs(MeshTriangleCount, depth, mesh.indexCount / 3)) return false;
    if (!Fixed(dbo_items::kMeshDrawing, depth)) return false;
    uint32_t listSize = 0;
    if (!MeshTextures(depth, mesh, sets, listSize)) return false;
    if (!Fixed(dbo_items::kMeshFlags, depth)) return false;
    bool collision = false;
    if (!FlagItem(MeshFlag129, depth, collision)) return false;
    if (collision && sets != 0) return Fail(at_ - 1, "collision mesh with texture sets");
    if (!Fixed(dbo_items::kMeshTail, depth)) return false;
    if (!Terminator("the mesh")) return false;
    return MeshSizeFormula(mesh, sizes, listSize);
  }

  // FrameMesh declares first vertex size x V + 2 x I + texture list size + 527; the first vertex's size
  // is one of the four a scene vertex can have (one to four coordinate pairs).
  bool MeshSizeFormula(const DboMeshInfo& mesh, const FrameSizes& sizes, uint64_t listSize) {
    const uint64_t vertexCount = mesh.vertexCount;
    const uint64_t indexBytes = 2 * uint64_t{mesh.indexCount};
    for (uint64_t pairs = 1; pairs <= 4; ++pairs) {
      if (sizes.meshSize ==
          dbo_items::VertexBytes(pairs) * vertexCount + indexBytes + listSize + dbo_items::kMeshItemBytes) {
        return true;
      }
    }
    return Fail(sizes.meshOffset, "mesh declares size " + std::to_string(sizes.meshSize) +
                                      ", not vertex size x " + std::to_string(vertexCount) + " + " +
                                      std::to_string(indexBytes) + " + " + std::to_string(listSize) +
                                      " + 527 for any vertex size 32, 40, 48 or 56");
  }

  bool TextureEntry(int depth, uint32_t layer, DboMeshInfo& mesh) {
    std::string name;
    if (!StringItem(TextureName, depth, name)) return false;
    mesh.textureNames.push_back(name);
    if (!DwordItemIs(TextureStage, depth, layer)) return false;
    uint32_t blend = 0;
    if (!DwordItem(dbo_item::TextureBlendOp, depth, blend)) return false;
    const auto known = [blend](const dbo_items::BlendOp& entry) { return entry.op == blend; };
    if (std::none_of(std::begin(dbo_items::kBlendOps), std::end(dbo_items::kBlendOps), known))
      return Fail(at_ - 4, "blend operation " + std::to_string(blend) + " is none this writer uses");
    if (!Fixed(dbo_items::kTextureStates, depth)) return false;
    if (!DwordItemIs(TextureDword151, depth, dbo_items::StageValue151(layer))) return false;
    if (!Fixed(dbo_items::kTextureTail, depth)) return false;
    return Terminator("texture entry " + std::to_string(layer));
  }

  // The container sizes are fixed formulas over the declared mesh sizes and the name length L: the root
  // frame L + 168 + the sum of (112 + L + mesh size); frame j's sibling the sum over the frames after it of
  // (mesh size + L + 88), + 32. Computed in 64 bits (the sums cannot pass 2^64: at most 2^32 frames of
  // less than 2^34 each), so a total the dword cannot hold is reported rather than matched modulo 2^32.
  bool SizeFormulas(uint64_t rootOffset, uint32_t rootSize, const std::vector<FrameSizes>& sizes) {
    const uint64_t nameLength = report_.frames[0].name.size();
    uint64_t total = nameLength + dbo_items::kRootFrameBytes;
    for (size_t k = 1; k < sizes.size(); ++k)
      total += dbo_items::kMeshFrameBytes + nameLength + sizes[k].meshSize;
    if (rootSize != total) {
      return Fail(rootOffset, "root frame declares size " + std::to_string(rootSize) + ", expected " +
                                  std::to_string(total) + FitsNote(total));
    }
    uint64_t after = dbo_items::kSiblingBytes;
    for (size_t k = sizes.size(); k-- > 1;) {
      after += sizes[k].meshSize + nameLength + dbo_items::kSiblingFrameBytes;
      const FrameSizes& previous = sizes[k - 1];
      if (previous.siblingSize != after) {
        return Fail(previous.siblingOffset, "frame " + std::to_string(k - 1) + " sibling declares size " +
                                                std::to_string(previous.siblingSize) + ", expected " +
                                                std::to_string(after) + FitsNote(after));
      }
    }
    return true;
  }

  // Said after an expected size that the format's 32-bit size fields cannot hold.
  static std::string FitsNote(uint64_t size) {
    return size > std::numeric_limits<uint32_t>::max() ? ", more than a 32-bit size holds" : "";
  }

  // The mesh's bounds over the V positions (the first three floats of every vertex) at at_.
  void Bounds(uint64_t vertexCount, uint64_t vertexBytes, DboMeshInfo& mesh) const {
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    mesh.boundsMin = {kInfinity, kInfinity, kInfinity};
    mesh.boundsMax = {-kInfinity, -kInfinity, -kInfinity};
    for (uint64_t v = 0; v < vertexCount; ++v) {
      for (size_t axis = 0; axis < 3; ++axis) {
        const float value = std::bit_cast<float>(DwordAt(at_ + v * vertexBytes + 4 * axis));
        if (value < mesh.boundsMin[axis]) mesh.boundsMin[axis] = value;
        if (value > mesh.boundsMax[axis]) mesh.boundsMax[axis] = value;
      }
    }
  }

  std::span<const uint8_t> bytes_;
  uint64_t at_ = 0;
  DboReport report_;
};

}  // namespace

DboReport WalkDbo(std::span<const uint8_t> bytes) {
  return Walker(bytes).Run();
}

}  // namespace tessaline
