#include <span>
#include <string>
#include <vector>

#include "dbo/byte_encoding.h"
#include "dbo/dbo.h"
#include "dbo/dbo_items.h"

namespace tessaline {

namespace {

// Collects encoded items and hands them to the stream in large blocks: one stream call per block rather
// than per field. The bytes and their order are exactly those of one write per field.
class ItemWriter {
 public:
  explicit ItemWriter(ByteSink& out) : out_(out) { bytes_.reserve(kBlockBytes + 4096); }
  ~ItemWriter() { Flush(); }

  void Bytes(std::span<const uint8_t> data) { bytes_.append(data.begin(), data.end()); }
  void Dword(uint32_t value) { dbo_bytes::AppendDword(bytes_, value); }
  void Float(float value) { dbo_bytes::AppendFloat(bytes_, value); }

  void Item(uint32_t code, uint32_t size) {
    Dword(code);
    Dword(size);
  }
  void Terminator() { Item(dbo_item::Terminator, 0); }
  void DwordItem(uint32_t code, uint32_t value) {
    Item(code, 4);
    Dword(value);
  }
  void FlagItem(uint32_t code, bool value) {
    Item(code, 1);
    dbo_bytes::AppendFlag(bytes_, value);
  }
  void FloatsItem(uint32_t code, std::span<const float> values) {
    Item(code, static_cast<uint32_t>(4 * values.size()));
    for (float value : values)
      Float(value);
  }
  // Items whose values every file holds alike, as the table gives them.
  void Fixed(std::span<const dbo_items::ItemInfo> run) {
    for (const dbo_items::ItemInfo& item : run) {
      switch (item.kind) {
        case dbo_items::Kind::Dword:
          DwordItem(item.code, item.value);
          break;
        case dbo_items::Kind::Flag:
          FlagItem(item.code, item.value != 0);
          break;
        case dbo_items::Kind::Floats:
          FloatsItem(item.code, {item.floats, item.floatCount});
          break;
        default:
          EmptyList(item.code);
      }
    }
  }
  void Fixed(uint32_t code) { Fixed({&dbo_items::Fixed(code), 1}); }
  // An empty list item that is not always empty.
  void EmptyList(uint32_t code) {
    Item(code, static_cast<uint32_t>(dbo_items::kEmptyListBytes));
    Terminator();
  }

  void StringItem(uint32_t code, const std::string& text) {
    Item(code, static_cast<uint32_t>(text.size()) + 4);
    dbo_bytes::AppendString(bytes_, text);
    FlushIfFull();
  }
  void Vertex(const SceneVertex& vertex, uint32_t pairCount) {
    dbo_bytes::AppendVertex(bytes_, vertex, pairCount);
    FlushIfFull();
  }
  void Word(uint16_t value) {
    dbo_bytes::AppendWord(bytes_, value);
    FlushIfFull();
  }

  void FlushIfFull() {
    if (bytes_.size() >= kBlockBytes) Flush();
  }
  // Hands the collected bytes to the sink; false once the sink has refused any.
  bool Flush() {
    if (ok_ && !bytes_.empty()) ok_ = out_.Append(bytes_.data(), bytes_.size());
    bytes_.clear();
    return ok_;
  }

 private:
  static constexpr size_t kBlockBytes = size_t{1} << 20;
  ByteSink& out_;
  std::string bytes_;
  bool ok_ = true;
};

void WriteFrameHead(ItemWriter& w, const std::string& name) {
  w.StringItem(dbo_item::FrameName, name);
  w.Fixed(dbo_item::FrameMatrix);
}

uint32_t TextureBlendOp(BlendMode blendMode) {
  for (const dbo_items::BlendOp& entry : dbo_items::kBlendOps) {
    if (entry.blend == blendMode) return entry.op;
  }
  return dbo_items::kBlendOps[0].op;  // any other mode: disabled
}

void WriteTextureEntry(ItemWriter& w, const TextureLayer& texture, uint32_t layer) {
  w.StringItem(dbo_item::TextureName, texture.name);
  w.DwordItem(dbo_item::TextureStage, layer);
  w.DwordItem(dbo_item::TextureBlendOp, TextureBlendOp(texture.blend));
  w.Fixed(dbo_items::kTextureStates);
  w.DwordItem(dbo_item::TextureDword151, static_cast<uint32_t>(dbo_items::StageValue151(layer)));
  w.Fixed(dbo_items::kTextureTail);
  w.Terminator();
}

// The mesh item list of one mesh frame (the payload of its FrameMesh item).
void WriteMeshList(ItemWriter& w, const MeshRecord& mesh, bool collision) {
  using namespace dbo_item;
  const uint32_t n = dbo_items::TextureSetCount(mesh.material, collision);
  const auto vertexSize = static_cast<uint32_t>(dbo_items::VertexBytes(n));
  const auto vertexCount = static_cast<uint32_t>(mesh.vertices.size());
  const auto indexCount = static_cast<uint32_t>(mesh.indices.size());

  w.DwordItem(MeshVertexFormat, dbo_items::VertexFormat(n));
  w.DwordItem(MeshVertexSize, vertexSize);
  w.DwordItem(MeshVertexCount, vertexCount);
  w.DwordItem(MeshIndexCount, indexCount);
  w.Fixed(MeshDword138);
  w.Item(MeshVertexData, vertexSize * vertexCount);
  for (const SceneVertex& vertex : mesh.vertices)
    w.Vertex(vertex, n);
  w.Item(MeshIndexData, 2 * indexCount);
  for (uint16_t index : mesh.indices)
    w.Word(index);
  w.Fixed(MeshPrimitiveType);
  w.DwordItem(MeshDrawVertexCount, vertexCount);
  w.DwordItem(MeshTriangleCount, indexCount / 3);
  w.Fixed(dbo_items::kMeshDrawing);
  w.DwordItem(MeshTextureCount, n);
  w.Item(MeshTextures, static_cast<uint32_t>(dbo_items::TextureListSize(mesh.material, collision)));
  for (uint32_t layer = 0; layer < n; ++layer)
    WriteTextureEntry(w, mesh.material.layers[layer], layer);
  w.Terminator();
  w.Fixed(dbo_items::kMeshFlags);
  w.FlagItem(MeshFlag129, collision);
  w.Fixed(dbo_items::kMeshTail);
  w.Terminator();
}

}  // namespace

bool WriteScene(ByteSink& out, const PackedModel& model, const std::array<float, 3>& scale,
                ProgressWindow& progress, bool collision) {
  using namespace dbo_item;
  const std::string& name = model.name;
  const auto nameLength = static_cast<uint32_t>(name.size());
  const size_t meshCount = model.meshes.size();
  ItemWriter w(out);
  w.Bytes(dbo_items::kHeader);

  // Sizes are dwords, so modulo 2^32.
  std::vector<uint32_t> meshSizes;
  meshSizes.reserve(meshCount);
  uint32_t totalSize = 0;
  uint32_t siblingSum = 0;
  for (const MeshRecord& mesh : model.meshes) {
    meshSizes.push_back(static_cast<uint32_t>(dbo_items::MeshItemSize(mesh, collision)));
    totalSize += dbo_items::kMeshFrameBytes + nameLength + meshSizes.back();
    siblingSum += meshSizes.back() + nameLength + dbo_items::kSiblingFrameBytes;
  }

  // Root frame: no mesh; its sibling is the first mesh frame.
  w.Item(RootFrame, nameLength + totalSize + dbo_items::kRootFrameBytes);
  WriteFrameHead(w, name);
  w.EmptyList(FrameMesh);

  Pacing pacing = Pacing::For(meshCount, 0.0125);
  pacing.Begin(progress);
  for (size_t j = 0; j < meshCount; ++j) {
    w.Fixed(FrameChild);
    w.Item(FrameSibling, siblingSum + dbo_items::kSiblingBytes);
    siblingSum -= meshSizes[j] + nameLength + dbo_items::kSiblingFrameBytes;
    WriteFrameHead(w, name);
    w.Item(FrameMesh, meshSizes[j]);
    WriteMeshList(w, model.meshes[j], collision);
    pacing.After(j, progress);
  }

  // The last frame has neither child nor sibling; then every frame's closing group, innermost first.
  w.Fixed(FrameChild);
  w.EmptyList(FrameSibling);
  for (size_t frame = 0; frame <= meshCount; ++frame) {
    w.Fixed(dbo_items::kFrameOffsets);
    w.FloatsItem(FrameScale, scale);
    w.Terminator();
    w.FlushIfFull();
  }

  w.Fixed(dbo_items::kFileEnd);
  w.Terminator();
  return w.Flush();
}

}  // namespace tessaline
