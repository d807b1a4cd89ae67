// Internal to dbo/: the DBO vocabulary in one table (every item the writer uses, in file order, with its
// name, kind and the value every file holds), the size constants of the format's container formulas, and
// the sizes computed from mesh records. The writer writes what the table says and the walker checks it.
#pragma once

#include <cstdint>
#include <span>

#include "dbo/dbo.h"

namespace tessaline::dbo_items {

using namespace dbo_item;

enum class Kind : uint8_t {
  End,     // the terminator closing a list
  List,    // further items, closed by a terminator
  Dword,   // one dword
  Flag,    // one byte, 0 or 1
  String,  // a dword length, then that many bytes
  Floats,  // floatCount floats
  Data,    // vertex or index data
};

// The value of an item that each file sets for itself.
constexpr uint32_t kVaries = UINT32_MAX;

inline constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
// White diffuse and ambient, no specular or emissive, power 0.
inline constexpr float kWhiteMaterial[17] = {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr float kZeroVector[3] = {0, 0, 0};

struct ItemInfo {
  uint32_t code;
  const char* name;
  Kind kind;
  // Dword and Flag: the value every file holds; List: 8 for a list that is always empty; Floats: 0 when
  // every file holds `floats`. kVaries for an item that each file sets.
  uint32_t value = kVaries;
  uint32_t floatCount = 0;        // Floats
  const float* floats = nullptr;  // Floats
};

// Every item, in the order a file holds them: the frame head, a mesh list (with one texture entry), a
// frame's closing group, and the end of the file.
inline constexpr ItemInfo kItems[] = {
    {Terminator, "Terminator", Kind::End},
    {RootFrame, "RootFrame", Kind::List},
    {FrameName, "FrameName", Kind::String},
    {FrameMatrix, "FrameMatrix", Kind::Floats, 0, 16, kIdentity},
    {FrameMesh, "FrameMesh", Kind::List},
    {FrameChild, "FrameChild", Kind::List, 8},
    {FrameSibling, "FrameSibling", Kind::List},
    {MeshVertexFormat, "MeshVertexFormat", Kind::Dword},
    {MeshVertexSize, "MeshVertexSize", Kind::Dword},
    {MeshVertexCount, "MeshVertexCount", Kind::Dword},
    {MeshIndexCount, "MeshIndexCount", Kind::Dword},
    {MeshDword138, "MeshDword138", Kind::Dword, 0},
    {MeshVertexData, "MeshVertexData", Kind::Data},
    {MeshIndexData, "MeshIndexData", Kind::Data},
    {MeshPrimitiveType, "MeshPrimitiveType", Kind::Dword, 4},  // triangle list
    {MeshDrawVertexCount, "MeshDrawVertexCount", Kind::Dword},
    {MeshTriangleCount, "MeshTriangleCount", Kind::Dword},
    {MeshDword121, "MeshDword121", Kind::Dword, 0},
    {MeshList122, "MeshList122", Kind::List, 8},
    {MeshFlag125, "MeshFlag125", Kind::Flag, 0},
    {MeshMaterial, "MeshMaterial", Kind::Floats, 0, 17, kWhiteMaterial},
    {MeshTextureCount, "MeshTextureCount", Kind::Dword},
    {MeshTextures, "MeshTextures", Kind::List},
    {TextureName, "TextureName", Kind::String},
    {TextureStage, "TextureStage", Kind::Dword},
    {TextureBlendOp, "TextureBlendOp", Kind::Dword},
    {TextureArg1, "TextureArg1", Kind::Dword, 2},          // texture
    {TextureArg2, "TextureArg2", Kind::Dword, 1},          // current
    {TextureAddressU, "TextureAddressU", Kind::Dword, 1},  // wrap
    {TextureAddressV, "TextureAddressV", Kind::Dword, 1},
    {TextureMagFilter, "TextureMagFilter", Kind::Dword, 2},  // linear
    {TextureMinFilter, "TextureMinFilter", Kind::Dword, 2},
    {TextureMipFilter, "TextureMipFilter", Kind::Dword, 2},
    {TextureDword151, "TextureDword151", Kind::Dword},
    {TextureDword152, "TextureDword152", Kind::Dword, 0},
    {TextureDword153, "TextureDword153", Kind::Dword, 0},
    {MeshFlag123, "MeshFlag123", Kind::Flag, 0},
    {MeshDword124, "MeshDword124", Kind::Dword, 0},
    {MeshList139, "MeshList139", Kind::List, 8},
    {MeshFlag129, "MeshFlag129", Kind::Flag},
    {MeshFlag130, "MeshFlag130", Kind::Flag, 1},
    {MeshFlag131, "MeshFlag131", Kind::Flag, 1},
    {MeshFlag132, "MeshFlag132", Kind::Flag, 1},
    {MeshFlag133, "MeshFlag133", Kind::Flag, 1},
    {MeshFlag134, "MeshFlag134", Kind::Flag, 0},
    {MeshFlag135, "MeshFlag135", Kind::Flag, 0},
    {MeshDword136, "MeshDword136", Kind::Dword, 2},
    {MeshFlag140, "MeshFlag140", Kind::Flag, 1},
    {MeshFlag137, "MeshFlag137", Kind::Flag, 0},
    {MeshDword155, "MeshDword155", Kind::Dword, 0},
    {MeshFlag156, "MeshFlag156", Kind::Flag, 0},
    {MeshDword157, "MeshDword157", Kind::Dword, 0},
    {MeshDword158, "MeshDword158", Kind::Dword, 0},
    {MeshFlag159, "MeshFlag159", Kind::Flag, 1},
    {MeshFlag160, "MeshFlag160", Kind::Flag, 1},
    {MeshDword166, "MeshDword166", Kind::Dword, 0},
    {FrameVector106, "FrameVector106", Kind::Floats, 0, 3, kZeroVector},
    {FrameVector107, "FrameVector107", Kind::Floats, 0, 3, kZeroVector},
    {FrameScale, "FrameScale", Kind::Floats, kVaries, 3},
    {List2, "List2", Kind::List, 8},
    {Dword406, "Dword406", Kind::Dword, 0},
};

constexpr const ItemInfo* Find(uint32_t code) {
  for (const ItemInfo& item : kItems) {
    if (item.code == code) return &item;
  }
  return nullptr;
}

// True when every file holds the same item: a dword or flag value, an empty list, or fixed floats.
constexpr bool IsFixed(const ItemInfo& item) {
  return item.value != kVaries;
}

// The items from first to last, in file order.
constexpr std::span<const ItemInfo> Run(uint32_t first, uint32_t last) {
  return {Find(first), Find(last) + 1};
}

constexpr bool AllFixed(std::span<const ItemInfo> run) {
  for (const ItemInfo& item : run) {
    if (!IsFixed(item)) return false;
  }
  return true;
}

// The runs of fixed items, which the writer writes and the walker checks from the table alone.
inline constexpr std::span<const ItemInfo> kMeshDrawing = Run(MeshDword121, MeshMaterial);
inline constexpr std::span<const ItemInfo> kMeshFlags = Run(MeshFlag123, MeshList139);
inline constexpr std::span<const ItemInfo> kMeshTail = Run(MeshFlag130, MeshDword166);
inline constexpr std::span<const ItemInfo> kTextureStates = Run(TextureArg1, TextureMipFilter);
inline constexpr std::span<const ItemInfo> kTextureTail = Run(TextureDword152, TextureDword153);
inline constexpr std::span<const ItemInfo> kFrameOffsets = Run(FrameVector106, FrameVector107);
inline constexpr std::span<const ItemInfo> kFileEnd = Run(List2, Dword406);
static_assert(AllFixed(kMeshDrawing) && AllFixed(kMeshFlags) && AllFixed(kMeshTail) &&
              AllFixed(kTextureStates) && AllFixed(kTextureTail) && AllFixed(kFrameOffsets) &&
              AllFixed(kFileEnd));

// One fixed item, from the table.
constexpr const ItemInfo& Fixed(uint32_t code) {
  return *Find(code);
}

// The 24-byte header: the magic as a string (length 8), version 1, two zero dwords.
inline constexpr uint8_t kHeader[24] = {8, 0, 0, 0, 'M', 'A', 'G', 'I', 'C', 'D', 'B', 'O',
                                        1, 0, 0, 0, 0,   0,   0,   0,   0,   0,   0,   0};

// Vertex format: position and normal, with the number of texture sets in bits 8 and up.
constexpr uint32_t kPositionNormal = 18;
constexpr uint32_t VertexFormat(uint32_t textureSets) {
  return textureSets << 8 | kPositionNormal;
}

// Bytes of one vertex with the given number of texture sets (coordinate pairs).
constexpr uint64_t VertexBytes(uint64_t textureSets) {
  return 24 + 8 * textureSets;
}

// TextureDword151: 0 for the first stage, stage + 10 for the others.
constexpr uint64_t StageValue151(uint64_t stage) {
  return stage == 0 ? 0 : stage + 10;
}

// The blend operation stored for each blend mode of a layer.
struct BlendOp {
  BlendMode blend;
  uint32_t op;
};
inline constexpr BlendOp kBlendOps[] = {
    {BlendNone, 1},         // disable
    {BlendReplace, 2},      // select argument 1
    {BlendAdd, 11},         // add smooth
    {BlendModulate, 4},     // modulate
    {BlendAlphaBlend, 13},  // blend by texture alpha
};

// The constants of the container sizes the format declares (L is the scene name's length):
//   texture list = sum over layers of (kTextureEntryBytes + name length), or kEmptyListBytes (collision)
//   FrameMesh    = first vertex's size x V + 2 x I + texture list + kMeshItemBytes
//   RootFrame    = L + kRootFrameBytes + sum over mesh frames of (kMeshFrameBytes + L + FrameMesh)
//   FrameSibling = kSiblingBytes + sum over the frames after it of (FrameMesh + L + kSiblingFrameBytes)
constexpr uint32_t kTextureEntryBytes = 164;
constexpr uint32_t kEmptyListBytes = 8;
constexpr uint32_t kMeshItemBytes = 527;
constexpr uint32_t kRootFrameBytes = 168;
constexpr uint32_t kMeshFrameBytes = 112;
constexpr uint32_t kSiblingBytes = 32;
constexpr uint32_t kSiblingFrameBytes = 88;

// The texture list a mesh declares.
inline uint64_t TextureListSize(const SceneMaterial& material, bool collision) {
  if (collision) return kEmptyListBytes;
  uint64_t size = 0;
  for (const TextureLayer& layer : material.layers)
    size += kTextureEntryBytes + uint64_t{layer.name.size()};
  return size;
}

// The texture sets a mesh's vertices carry: one per layer in the main form, none in the collision form.
inline uint32_t TextureSetCount(const SceneMaterial& material, bool collision) {
  return collision ? 0 : static_cast<uint32_t>(material.layers.size());
}

// The size a mesh's FrameMesh item declares.
inline uint64_t MeshItemSize(const MeshRecord& mesh, bool collision) {
  const uint64_t firstVertexSize = mesh.vertices.empty() ? 0 : mesh.vertices.front().vertexSize;
  return firstVertexSize * mesh.vertices.size() + 2 * uint64_t{mesh.indices.size()} +
         TextureListSize(mesh.material, collision) + kMeshItemBytes;
}

}  // namespace tessaline::dbo_items
