#include <bit>
#include <cstddef>
#include <limits>
#include <string>

#include "dbo/dbo.h"

namespace tessaline {

const char* DboItemName(uint32_t code) {
  switch (code) {
    case 0:
      return "Terminator";
    case 1:
      return "RootFrame";
    case 2:
      return "List2";
    case 406:
      return "Dword406";
    case 101:
      return "FrameName";
    case 102:
      return "FrameMatrix";
    case 103:
      return "FrameMesh";
    case 104:
      return "FrameChild";
    case 105:
      return "FrameSibling";
    case 106:
      return "FrameVector106";
    case 107:
      return "FrameVector107";
    case 108:
      return "FrameScale";
    case 111:
      return "MeshVertexFormat";
    case 112:
      return "MeshVertexSize";
    case 113:
      return "MeshVertexCount";
    case 114:
      return "MeshIndexCount";
    case 115:
      return "MeshVertexData";
    case 116:
      return "MeshIndexData";
    case 117:
      return "MeshPrimitiveType";
    case 118:
      return "MeshDrawVertexCount";
    case 119:
      return "MeshTriangleCount";
    case 121:
      return "MeshDword121";
    case 122:
      return "MeshList122";
    case 123:
      return "MeshFlag123";
    case 124:
      return "MeshDword124";
    case 125:
      return "MeshFlag125";
    case 126:
      return "MeshMaterial";
    case 127:
      return "MeshTextureCount";
    case 128:
      return "MeshTextures";
    case 129:
      return "MeshFlag129";
    case 130:
      return "MeshFlag130";
    case 131:
      return "MeshFlag131";
    case 132:
      return "MeshFlag132";
    case 133:
      return "MeshFlag133";
    case 134:
      return "MeshFlag134";
    case 135:
      return "MeshFlag135";
    case 136:
      return "MeshDword136";
    case 137:
      return "MeshFlag137";
    case 138:
      return "MeshDword138";
    case 139:
      return "MeshList139";
    case 140:
      return "MeshFlag140";
    case 141:
      return "TextureName";
    case 142:
      return "TextureStage";
    case 143:
      return "TextureBlendOp";
    case 144:
      return "TextureArg1";
    case 145:
      return "TextureArg2";
    case 146:
      return "TextureAddressU";
    case 147:
      return "TextureAddressV";
    case 148:
      return "TextureMagFilter";
    case 149:
      return "TextureMinFilter";
    case 150:
      return "TextureMipFilter";
    case 151:
      return "TextureDword151";
    case 152:
      return "TextureDword152";
    case 153:
      return "TextureDword153";
    case 155:
      return "MeshDword155";
    case 156:
      return "MeshFlag156";
    case 157:
      return "MeshDword157";
    case 158:
      return "MeshDword158";
    case 159:
      return "MeshFlag159";
    case 160:
      return "MeshFlag160";
    case 166:
      return "MeshDword166";
    default:
      return "";
  }
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

  bool WalkFile() {
    if (!Header()) return false;

    uint32_t rootSize = 0;
    if (!Item(1, 0, rootSize)) return false;
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
    static constexpr float kZero[3] = {0, 0, 0};
    for (size_t k = report_.frames.size(); k-- > 0;) {
      const int depth = static_cast<int>(k) + 1;
      if (!FloatsItem(106, depth, 3, nullptr, kZero)) return false;
      if (!FloatsItem(107, depth, 3, nullptr, kZero)) return false;
      if (!FloatsItem(108, depth, 3, report_.frames[k].scale.data(), nullptr)) return false;
      if (!Terminator("frame " + std::to_string(k))) return false;
    }

    if (!SizeFormulas(rootOffset, rootSize, sizes)) return false;

    if (!EmptyList(2, 0)) return false;
    if (!DwordItemIs(406, 0, 0)) return false;
    if (!Terminator("the file")) return false;
    if (at_ != bytes_.size()) {
      return Fail(at_, std::to_string(bytes_.size() - at_) + " trailing byte(s) after the final terminator");
    }
    return true;
  }

  bool Header() {
    static constexpr uint8_t kHeader[24] = {8, 0, 0, 0, 'M', 'A', 'G', 'I', 'C', 'D', 'B', 'O',
                                            1, 0, 0, 0, 0,   0,   0,   0,   0,   0,   0,   0};
    for (size_t i = 0; i < sizeof kHeader; ++i) {
      if (i >= bytes_.size()) return Fail(i, "file ends inside the header");
      if (bytes_[i] != kHeader[i])
        return Fail(i, "not a DBO header of this format (magic, version 1, two zeros)");
    }
    at_ = sizeof kHeader;
    return true;
  }

  bool FrameHead(size_t index, FrameSizes& sizes) {
    const int depth = static_cast<int>(index) + 1;
    DboFrameInfo& frame = report_.frames[index];
    const uint64_t nameOffset = at_;
    if (!StringItem(101, depth, frame.name)) return false;
    if (index > 0 && frame.name != report_.frames[0].name) {
      return Fail(nameOffset, "frame " + std::to_string(index) + " is named \"" + frame.name +
                                  "\", the root frame \"" + report_.frames[0].name + "\"");
    }
    static constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (!FloatsItem(102, depth, 16, nullptr, kIdentity)) return false;

    sizes.meshOffset = at_;
    if (!Item(103, depth, sizes.meshSize)) return false;
    uint32_t code = 0;
    if (!PeekCode(code)) return Fail(at_, "file ends inside item " + Describe(103));
    if (code == 0) {
      if (index > 0) return Fail(at_, "mesh frame " + std::to_string(index) + " has no mesh");
      if (sizes.meshSize != 8) {
        return Fail(sizes.meshOffset, "empty item " + Describe(103) + " declares size " +
                                          std::to_string(sizes.meshSize) + ", expected 8");
      }
      if (!Terminator("the empty mesh of frame " + std::to_string(index))) return false;
    } else {
      if (index == 0) return Fail(at_, "the root frame has a mesh");
      frame.hasMesh = true;
      if (!Mesh(depth + 1, frame.mesh, sizes)) return false;
    }

    if (!EmptyList(104, depth)) return false;

    sizes.siblingOffset = at_;
    if (!Item(105, depth, sizes.siblingSize)) return false;
    if (!PeekCode(code)) return Fail(at_, "file ends inside item " + Describe(105));
    if (code != 0) {
      sizes.hasSibling = true;
      return true;
    }
    if (sizes.siblingSize != 8) {
      return Fail(sizes.siblingOffset, "empty item " + Describe(105) + " declares size " +
                                           std::to_string(sizes.siblingSize) + ", expected 8");
    }
    return Terminator("the last frame's sibling list");
  }

  bool Mesh(int depth, DboMeshInfo& mesh, const FrameSizes& sizes) {
    const uint64_t formatOffset = at_;
    if (!DwordItem(111, depth, mesh.vertexFormat)) return false;
    if ((mesh.vertexFormat & 0xFF) != 18) {
      return Fail(formatOffset + 8, "vertex format " + std::to_string(mesh.vertexFormat) +
                                        " is not position, normal and texture sets");
    }
    const uint64_t n = mesh.vertexFormat >> 8;
    const uint64_t vertexBytes = (n + 3) * 8;
    const uint64_t sizeOffset = at_ + 8;
    if (!DwordItem(112, depth, mesh.vertexSize)) return false;
    if (mesh.vertexSize != vertexBytes) {
      return Fail(sizeOffset, "vertex size " + std::to_string(mesh.vertexSize) +
                                  " does not match the format's " + std::to_string(vertexBytes) + " bytes");
    }
    const uint64_t countOffset = at_ + 8;
    if (!DwordItem(113, depth, mesh.vertexCount)) return false;
    const uint64_t vertexCount = mesh.vertexCount;
    if (vertexCount > kMaxIndexableVertices) {
      return Fail(countOffset,
                  std::to_string(vertexCount) + " vertices are more than 16-bit indices address");
    }
    if (!DwordItem(114, depth, mesh.indexCount)) return false;
    const uint64_t indexCount = mesh.indexCount;
    if (indexCount % 3 != 0)
      return Fail(at_ - 4, "index count " + std::to_string(indexCount) + " is not whole triangles");
    if (!DwordItemIs(138, depth, 0)) return false;

    // The vertex data is V vertices of the declared vertex size, whatever else was declared. The product
    // is compared in 64 bits: a size field that wrapped past 2^32 never matches.
    const uint64_t dataBytes = vertexCount * vertexBytes;
    uint32_t declared = 0;
    if (!Item(115, depth, declared)) return false;
    if (declared != dataBytes) {
      return Fail(at_ - 8, "vertex data declares " + std::to_string(declared) + " bytes, " +
                               std::to_string(vertexCount) + " vertices of " + std::to_string(vertexBytes) +
                               " bytes take " + std::to_string(dataBytes) + FitsNote(dataBytes));
    }
    if (Left() < dataBytes) return Fail(at_, "file ends inside the vertex data");
    Bounds(vertexCount, vertexBytes, mesh);
    at_ += dataBytes;

    if (!SizedItem(116, depth, 2 * indexCount)) return false;
    for (uint64_t i = 0; i < indexCount; ++i) {
      const uint32_t index = uint32_t{bytes_[at_]} | uint32_t{bytes_[at_ + 1]} << 8;
      if (index >= vertexCount) {
        return Fail(at_, "index " + std::to_string(index) + " is not below the vertex count " +
                             std::to_string(vertexCount));
      }
      at_ += 2;
    }

    if (!DwordItemIs(117, depth, 4)) return false;
    if (!DwordItemIs(118, depth, vertexCount)) return false;
    if (!DwordItemIs(119, depth, indexCount / 3)) return false;
    if (!DwordItemIs(121, depth, 0)) return false;
    if (!EmptyList(122, depth)) return false;
    if (!FlagItemIs(125, depth, false)) return false;
    static constexpr float kMaterial[17] = {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (!FloatsItem(126, depth, 17, nullptr, kMaterial)) return false;
    if (!DwordItem(127, depth, mesh.textureCount)) return false;
    if (mesh.textureCount != n) {
      return Fail(at_ - 4, "texture count " + std::to_string(mesh.textureCount) + " differs from the " +
                               std::to_string(n) + " texture sets of the vertex format");
    }

    uint32_t texturesSize = 0;
    if (!Item(128, depth, texturesSize)) return false;
    const uint64_t texturesOffset = at_ - 8;
    const uint64_t texturesStart = at_;
    for (uint32_t code = 0; PeekCode(code) && code == 141;) {
      if (!TextureEntry(depth + 1, static_cast<uint32_t>(mesh.textureNames.size()), mesh)) return false;
    }
    const uint64_t entryBytes = at_ - texturesStart;
    if (!Terminator("the texture list")) return false;
    if (mesh.textureNames.size() != n) {
      return Fail(texturesOffset, std::to_string(mesh.textureNames.size()) + " texture entries for " +
                                      std::to_string(n) + " texture sets");
    }
    // An empty list declares 8 in the collision file and 0 (no layers) in the main file.
    if (texturesSize != entryBytes && !(n == 0 && texturesSize == 8)) {
      return Fail(texturesOffset, "texture list declares " + std::to_string(texturesSize) +
                                      " bytes, its entries take " + std::to_string(entryBytes));
    }

    if (!FlagItemIs(123, depth, false)) return false;
    if (!DwordItemIs(124, depth, 0)) return false;
    if (!EmptyList(139, depth)) return false;
    bool collision = false;
    if (!FlagItem(129, depth, collision)) return false;
    if (collision && n != 0) return Fail(at_ - 1, "collision mesh with texture sets");
    static constexpr struct {
      uint32_t code;
      bool flag;
      uint32_t value;
    } kTail[] = {{130, true, 1},  {131, true, 1},  {132, true, 1},  {133, true, 1},
                 {134, true, 0},  {135, true, 0},  {136, false, 2}, {140, true, 1},
                 {137, true, 0},  {155, false, 0}, {156, true, 0},  {157, false, 0},
                 {158, false, 0}, {159, true, 1},  {160, true, 1},  {166, false, 0}};
    for (const auto& item : kTail) {
      const bool good = item.flag ? FlagItemIs(item.code, depth, item.value != 0)
                                  : DwordItemIs(item.code, depth, item.value);
      if (!good) return false;
    }
    if (!Terminator("the mesh")) return false;

    // FrameMesh declares first vertex size x V + 2 x I + texture list size + 527; the first vertex's size
    // is one of the four a scene vertex can have.
    bool formulaHolds = false;
    for (uint64_t size : {32u, 40u, 48u, 56u}) {
      const uint64_t expected = size * vertexCount + 2 * indexCount + texturesSize + 527;
      if (sizes.meshSize == expected) formulaHolds = true;
    }
    if (!formulaHolds) {
      return Fail(sizes.meshOffset,
                  "mesh declares size " + std::to_string(sizes.meshSize) + ", not vertex size x " +
                      std::to_string(vertexCount) + " + " + std::to_string(2 * indexCount) + " + " +
                      std::to_string(texturesSize) + " + 527 for any vertex size 32, 40, 48 or 56");
    }
    return true;
  }

  bool TextureEntry(int depth, uint32_t layer, DboMeshInfo& mesh) {
    std::string name;
    if (!StringItem(141, depth, name)) return false;
    mesh.textureNames.push_back(name);
    if (!DwordItemIs(142, depth, layer)) return false;
    uint32_t blend = 0;
    if (!DwordItem(143, depth, blend)) return false;
    if (blend != 1 && blend != 2 && blend != 4 && blend != 11 && blend != 13) {
      return Fail(at_ - 4, "blend operation " + std::to_string(blend) + " is none this writer uses");
    }
    static constexpr uint32_t kFixed[][2] = {{144, 2}, {145, 1}, {146, 1}, {147, 1},
                                             {148, 2}, {149, 2}, {150, 2}};
    for (const auto& item : kFixed) {
      if (!DwordItemIs(item[0], depth, item[1])) return false;
    }
    if (!DwordItemIs(151, depth, layer == 0 ? 0 : uint64_t{layer} + 10)) return false;
    if (!DwordItemIs(152, depth, 0)) return false;
    if (!DwordItemIs(153, depth, 0)) return false;
    return Terminator("texture entry " + std::to_string(layer));
  }

  // The container sizes are fixed formulas over the declared mesh sizes and the name length L: the root
  // frame L + 168 + the sum of (112 + L + mesh size); frame j's sibling the sum over the frames after it of
  // (mesh size + L + 88), + 32. Computed in 64 bits (the sums cannot pass 2^64: at most 2^32 frames of
  // less than 2^34 each), so a total the dword cannot hold is reported rather than matched modulo 2^32.
  bool SizeFormulas(uint64_t rootOffset, uint32_t rootSize, const std::vector<FrameSizes>& sizes) {
    const uint64_t nameLength = report_.frames[0].name.size();
    uint64_t total = nameLength + 168;
    for (size_t k = 1; k < sizes.size(); ++k)
      total += 112 + nameLength + sizes[k].meshSize;
    if (rootSize != total) {
      return Fail(rootOffset, "root frame declares size " + std::to_string(rootSize) + ", expected " +
                                  std::to_string(total) + FitsNote(total));
    }
    uint64_t after = 32;
    for (size_t k = sizes.size(); k-- > 1;) {
      after += sizes[k].meshSize + nameLength + 88;
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
