// dbo: from the scene model to DBO model files.
//
// This folder owns mesh building (one mesh record per material, or collision meshes), packing of mesh
// lists into packed models (one record per frame), the scene writer that writes a packed model as a
// complete DBO file into a byte sink (memory, or the file stream dbofstream), the DBO vocabulary, and a
// walker that checks the structure of a DBO file.
//
// Typical use:
//   std::vector<MeshRecord> meshes = BuildMainMeshList(scene.materials);
//   Pacing pacing = Pacing::For(scene.polygons.size(), 2.0 / 45.0);
//   pacing.Begin(progress);
//   BuildGeometry(MeshRouting::ByMaterial, scene.polygons, scene.vertices, meshes, progress,
//                 pacing.threshold);
//   PackedModel model = PackMeshes(std::move(meshes), settings.sceneName);
//   MemorySink sink;
//   bool written = WriteScene(sink, model, {scaleX, scaleY, scaleZ}, progress, false);
//
// Nothing here reports to the user; writing reports through its result.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "base/base.h"
#include "scene/scene.h"

namespace tessaline {

// ---------------------------------------------------------------------------------------------------------
// Mesh building

// Indices are 16 bits wide, so a mesh can address at most kMaxIndexableVertices vertices. Games that share
// vertex buffers between objects cap a buffer at 0xFFFF vertices, and a larger mesh is then not drawn, so
// mesh building fills a frame with at most kMaxFrameVertices.
constexpr uint32_t kMaxIndexableVertices = 65536;
constexpr uint32_t kMaxFrameVertices = 65535;

// Where a mesh record's geometry continues in a new frame because the previous frame was full.
struct FrameBreak {
  uint32_t firstVertex = 0;
  uint32_t firstIndex = 0;
};

struct MeshRecord {
  SceneMaterial material;
  std::vector<SceneVertex> vertices;
  std::vector<uint16_t> indices;  // relative to the first vertex of the frame they belong to
  // The starts of the second and later frames, in order. Empty while everything fits in one frame.
  std::vector<FrameBreak> frameBreaks;
};

// A mesh record holding a copy of the material and no geometry.
MeshRecord MeshFromMaterial(const SceneMaterial& material);

// The material of every collision mesh: id 0, no layers.
SceneMaterial CollisionMaterial();

// The vertex format stores the number of texture-coordinate sets in 4 bits, and the engine's Direct3D 9
// takes at most 8 of them: a material never gives more texture layers than this.
constexpr uint32_t kMaxTextureLayers = 8;

// Cuts every material with more than kMaxTextureLayers layers to its first ones and returns those
// materials' ids, in order. Other materials are left as they are.
std::vector<int32_t> LimitTextureLayers(std::vector<SceneMaterial>& materials);

// One mesh record per material, in material order.
std::vector<MeshRecord> BuildMainMeshList(const std::vector<SceneMaterial>& materials);

// Which mesh record each polygon of a scene goes to.
enum class MeshRouting : uint8_t {
  ByMaterial,   // the first record whose material id is the polygon's materialId (the model's meshes)
  OneRecord,    // the first record (a collision file of one big object)
  ByPrimitive,  // the record at position primitiveId (a collision file of one object per primitive)
};

// The collision file's records, all from CollisionMaterial(): OneRecord one, ByPrimitive recordCount,
// ByMaterial none.
std::vector<MeshRecord> BuildCollisionMeshList(MeshRouting routing, uint32_t recordCount);

// The unit normal of the turn p0 -> p1 -> p2 in single precision; collinear corners give (0, 0, 0).
std::array<float, 3> faceNormal(const std::array<float, 3>& p0, const std::array<float, 3>& p1,
                                const std::array<float, 3>& p2);

// Appends every polygon with at least 3 corners to its mesh record, each corner a vertex of its own with
// the polygon's face normal, triangulated in zigzag order, in the record the routing gives. Polygons whose
// record does not exist, or with more corners than a frame holds, are skipped. A polygon that would take
// a frame past kMaxFrameVertices starts a new frame (a FrameBreak). Steps the bar by the pacing rule,
// starting from the given threshold (the caller has set the step).
void BuildGeometry(MeshRouting routing, const std::vector<ScenePolygon>& polygons,
                   const std::vector<SceneVertex>& vertices, std::vector<MeshRecord>& meshes,
                   ProgressWindow& progress, uint64_t threshold);

// ---------------------------------------------------------------------------------------------------------
// Packing and writing

// The meshes of one DBO file, ready to write: the scene name and one record per frame.
struct PackedModel {
  std::string name;
  std::vector<MeshRecord> meshes;  // records with geometry, one per frame, no frameBreaks
};

// Keeps the records that have vertices and indices, in order, splitting each at its frame breaks into
// records of their own.
PackedModel PackMeshes(std::vector<MeshRecord> meshes, const std::string& sceneName);

// True when every size that a DBO file of model (main form, or collision form) stores in a dword fits in
// 32 bits; the root frame's size, which holds all others, decides. Sizes are summed in 64 bits here.
bool FitsDboSizes(const PackedModel& model, bool collision);

// Where the scene writer puts a file's bytes: it hands them over in order, in blocks.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Takes the next size bytes; false when they could not be kept (the writer then hands over no more).
  virtual bool Append(const char* data, size_t size) = 0;
};

// A sink that keeps the bytes in memory.
class MemorySink final : public ByteSink {
 public:
  bool Append(const char* data, size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    return true;
  }
  std::vector<uint8_t> bytes;
};

// The binary output stream for DBO files: a standard file stream that is a sink for the scene writer.
class dbofstream : public std::ofstream, public ByteSink {
 public:
  dbofstream() = default;
  // A stream that writes into sink instead of a file of its own (open() is then not used).
  explicit dbofstream(std::streambuf* sink) { std::ios::rdbuf(sink); }
  ~dbofstream() override;

  // Writes the bytes; true when the stream holds no error bit afterwards.
  bool Append(const char* data, size_t size) override;
};

// Writes a packed model as a complete DBO file into out: the main form (collision false) or the collision
// form. True when out took every byte; after the first refusal nothing more is handed over. Steps the bar
// by the pacing rule over the meshes.
bool WriteScene(ByteSink& out, const PackedModel& model, const std::array<float, 3>& scale,
                ProgressWindow& progress, bool collision);

// ---------------------------------------------------------------------------------------------------------
// DBO vocabulary. A file is a 24-byte header and a list of items; an item is its code and its declared
// size (two dwords), then its payload; a list item's payload is further items closed by a terminator (code
// 0, size 0). These are the codes the writer uses; their names, kinds and fixed values are kept in one
// table inside this folder, which the writer and the walker both follow.

namespace dbo_item {
enum Code : uint32_t {
  Terminator = 0,
  RootFrame = 1,
  List2 = 2,
  FrameName = 101,
  FrameMatrix = 102,
  FrameMesh = 103,
  FrameChild = 104,
  FrameSibling = 105,
  FrameVector106 = 106,
  FrameVector107 = 107,
  FrameScale = 108,
  MeshVertexFormat = 111,
  MeshVertexSize = 112,
  MeshVertexCount = 113,
  MeshIndexCount = 114,
  MeshVertexData = 115,
  MeshIndexData = 116,
  MeshPrimitiveType = 117,
  MeshDrawVertexCount = 118,
  MeshTriangleCount = 119,
  MeshDword121 = 121,
  MeshList122 = 122,
  MeshFlag123 = 123,
  MeshDword124 = 124,
  MeshFlag125 = 125,
  MeshMaterial = 126,
  MeshTextureCount = 127,
  MeshTextures = 128,
  MeshFlag129 = 129,  // set in collision meshes
  MeshFlag130 = 130,
  MeshFlag131 = 131,
  MeshFlag132 = 132,
  MeshFlag133 = 133,
  MeshFlag134 = 134,
  MeshFlag135 = 135,
  MeshDword136 = 136,
  MeshFlag137 = 137,
  MeshDword138 = 138,
  MeshList139 = 139,
  MeshFlag140 = 140,
  TextureName = 141,
  TextureStage = 142,
  TextureBlendOp = 143,
  TextureArg1 = 144,
  TextureArg2 = 145,
  TextureAddressU = 146,
  TextureAddressV = 147,
  TextureMagFilter = 148,
  TextureMinFilter = 149,
  TextureMipFilter = 150,
  TextureDword151 = 151,
  TextureDword152 = 152,
  TextureDword153 = 153,
  MeshDword155 = 155,
  MeshFlag156 = 156,
  MeshDword157 = 157,
  MeshDword158 = 158,
  MeshFlag159 = 159,
  MeshFlag160 = 160,
  MeshDword166 = 166,
  Dword406 = 406,
};
}  // namespace dbo_item

// The name of a DBO item code the writer uses ("FrameName", "MeshVertexData", ...), or "" if unknown.
const char* DboItemName(uint32_t code);

// ---------------------------------------------------------------------------------------------------------
// Walker: reads a DBO file back and checks its structure.

struct DboItem {
  uint32_t code = 0;
  uint32_t size = 0;    // as declared
  uint64_t offset = 0;  // of the code dword
  int depth = 0;
};

struct DboMeshInfo {
  uint32_t vertexFormat = 0;
  uint32_t vertexSize = 0;
  uint32_t vertexCount = 0;
  uint32_t indexCount = 0;
  uint32_t textureCount = 0;
  std::vector<std::string> textureNames;
  // The smallest and largest vertex position on each axis, as stored; NaN coordinates are left out, so an
  // axis with no other value keeps +infinity and -infinity. Meaningful only when vertexCount > 0.
  std::array<float, 3> boundsMin{};
  std::array<float, 3> boundsMax{};
};

struct DboFrameInfo {
  std::string name;
  bool hasMesh = false;
  DboMeshInfo mesh;
  std::array<float, 3> scale{};
};

struct DboReport {
  bool ok = false;
  std::string error;                 // what is wrong, with the byte offset, when !ok: "offset N: text"
  std::string errorText;             // the same without the offset
  uint64_t errorOffset = 0;          // the byte offset of the fault
  std::vector<DboItem> items;        // every item met, in file order (terminators are not listed)
  std::vector<DboFrameInfo> frames;  // root frame first
};

// Walks a whole file: header, every item list closed by its terminator, the frame chain with one closing
// group per frame, each mesh's vertex data = V x vertex size bytes and every index below V, texture
// entries, and nothing after the final terminator. It accepts exactly what WriteScene writes: items in the
// writer's order with their fixed sizes and constant values, every frame named like the root frame, a mesh
// in every frame but the root, at most kMaxIndexableVertices vertices per mesh, and container sizes that
// follow the writer's formulas over the declared mesh sizes. Sizes are computed in 64 bits: one that the
// format's 32-bit size fields cannot hold is a fault, never a wrapped match. Stops at the first fault; any
// input is safe (bounds are checked before every read, and the frame chain is followed without recursion).
DboReport WalkDbo(std::span<const uint8_t> bytes);

}  // namespace tessaline
