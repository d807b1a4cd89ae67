#include <initializer_list>
#include <streambuf>
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
  explicit ItemWriter(dbofstream& out) : out_(out) { bytes_.reserve(kBlockBytes + 4096); }
  ~ItemWriter() { Flush(); }

  void Dword(uint32_t value) { dbo_bytes::AppendDword(bytes_, value); }
  void Float(float value) { dbo_bytes::AppendFloat(bytes_, value); }
  void Floats(std::initializer_list<float> values) {
    for (float value : values)
      Float(value);
  }

  void Item(uint32_t code, uint32_t size) {
    Dword(code);
    Dword(size);
  }
  void Terminator() { Item(0, 0); }
  void EmptyList(uint32_t code) {
    Item(code, 8);
    Terminator();
  }
  void DwordItem(uint32_t code, uint32_t value) {
    Item(code, 4);
    Dword(value);
  }
  void FlagItem(uint32_t code, bool value) {
    Item(code, 1);
    dbo_bytes::AppendFlag(bytes_, value);
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
  void Flush() {
    if (bytes_.empty()) return;
    out_.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    bytes_.clear();
  }

 private:
  static constexpr size_t kBlockBytes = size_t{1} << 20;
  dbofstream& out_;
  std::string bytes_;
};

void WriteFrameHead(ItemWriter& w, const std::string& name) {
  w.StringItem(101, name);  // FrameName
  w.Item(102, 64);          // FrameMatrix: identity, row by row
  w.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

uint32_t TextureBlendOp(BlendMode blendMode) {
  switch (blendMode) {
    case BlendReplace:
      return 2;  // select argument 1
    case BlendAdd:
      return 11;  // add smooth
    case BlendModulate:
      return 4;  // modulate
    case BlendAlphaBlend:
      return 13;  // blend by texture alpha
    default:
      return 1;  // disable
  }
}

void WriteTextureEntry(ItemWriter& w, const TextureLayer& texture, uint32_t layer) {
  w.StringItem(141, texture.name);
  w.DwordItem(142, layer);
  w.DwordItem(143, TextureBlendOp(texture.blend));
  w.DwordItem(144, 2);  // argument 1: texture
  w.DwordItem(145, 1);  // argument 2: current
  w.DwordItem(146, 1);  // wrap u
  w.DwordItem(147, 1);  // wrap v
  w.DwordItem(148, 2);  // linear filters
  w.DwordItem(149, 2);
  w.DwordItem(150, 2);
  w.DwordItem(151, layer == 0 ? 0 : layer + 10);
  w.DwordItem(152, 0);
  w.DwordItem(153, 0);
  w.Terminator();
}

// The mesh item list of one mesh frame (the payload of its FrameMesh item).
void WriteMeshList(ItemWriter& w, const MeshRecord& mesh, bool collision) {
  const uint32_t n = dbo_items::TextureSetCount(mesh.material, collision);
  const uint32_t vertexSize = (n + 3) * 8;
  const uint32_t vertexCount = static_cast<uint32_t>(mesh.vertices.size());
  const uint32_t indexCount = static_cast<uint32_t>(mesh.indices.size());

  w.DwordItem(111, (n * 256) | 18);  // position + normal + n coordinate sets
  w.DwordItem(112, vertexSize);
  w.DwordItem(113, vertexCount);
  w.DwordItem(114, indexCount);
  w.DwordItem(138, 0);
  w.Item(115, vertexSize * vertexCount);
  for (const SceneVertex& vertex : mesh.vertices)
    w.Vertex(vertex, n);
  w.Item(116, 2 * indexCount);
  for (uint16_t index : mesh.indices)
    w.Word(index);
  w.DwordItem(117, 4);  // triangle list
  w.DwordItem(118, vertexCount);
  w.DwordItem(119, indexCount / 3);
  w.DwordItem(121, 0);
  w.EmptyList(122);
  w.FlagItem(125, false);
  w.Item(126, 68);  // material: white diffuse and ambient, no specular or emissive, power 0
  w.Floats({1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  w.DwordItem(127, n);
  if (collision) {
    w.EmptyList(128);
  } else {
    w.Item(128, static_cast<uint32_t>(dbo_items::TextureListSize(mesh.material, false)));
    for (uint32_t layer = 0; layer < n; ++layer)
      WriteTextureEntry(w, mesh.material.layers[layer], layer);
    w.Terminator();
  }
  w.FlagItem(123, false);
  w.DwordItem(124, 0);
  w.EmptyList(139);
  w.FlagItem(129, collision);
  w.FlagItem(130, true);
  w.FlagItem(131, true);
  w.FlagItem(132, true);
  w.FlagItem(133, true);
  w.FlagItem(134, false);
  w.FlagItem(135, false);
  w.DwordItem(136, 2);
  w.FlagItem(140, true);
  w.FlagItem(137, false);
  w.DwordItem(155, 0);
  w.FlagItem(156, false);
  w.DwordItem(157, 0);
  w.DwordItem(158, 0);
  w.FlagItem(159, true);
  w.FlagItem(160, true);
  w.DwordItem(166, 0);
  w.Terminator();
}

}  // namespace

void WriteScene(dbofstream& out, const SceneObject& object, const std::array<float, 3>& scale,
                ProgressWindow& progress, bool collision) {
  // The only test of the stream: a stream that failed to open gets nothing, and every later write to a
  // failed stream does nothing. The caller reads the state afterwards.
  if (!out.fail()) out.WriteHeader();

  const std::string& name = object.name;
  const uint32_t nameLength = static_cast<uint32_t>(name.size());
  const size_t meshCount = object.meshes.size();
  ItemWriter w(out);

  // Sizes are dwords, so modulo 2^32. The root frame declares the name, 168 and every mesh frame's
  // 112 + name + mesh size; each FrameSibling the sizes of all frames after it.
  std::vector<uint32_t> meshSizes;
  meshSizes.reserve(meshCount);
  uint32_t totalSize = 0;
  uint32_t siblingSum = 0;
  for (const MeshRecord& mesh : object.meshes) {
    meshSizes.push_back(static_cast<uint32_t>(dbo_items::MeshItemSize(mesh, collision)));
    totalSize += 112 + nameLength + meshSizes.back();
    siblingSum += meshSizes.back() + nameLength + 88;
  }

  // Root frame: no mesh; its sibling is the first mesh frame.
  w.Item(1, nameLength + totalSize + 168);
  WriteFrameHead(w, name);
  w.EmptyList(103);

  Pacing pacing = Pacing::For(meshCount, 0.0125);
  pacing.Begin(progress);
  for (size_t j = 0; j < meshCount; ++j) {
    const MeshRecord& mesh = object.meshes[j];
    w.EmptyList(104);  // FrameChild
    w.Item(105, siblingSum + 32);
    siblingSum -= meshSizes[j] + nameLength + 88;
    WriteFrameHead(w, name);
    w.Item(103, meshSizes[j]);
    WriteMeshList(w, mesh, collision);
    pacing.After(j, progress);
  }

  // The last frame has neither child nor sibling; then every frame's closing group, innermost first.
  w.EmptyList(104);
  w.EmptyList(105);
  for (size_t frame = 0; frame <= meshCount; ++frame) {
    w.Item(106, 12);
    w.Floats({0, 0, 0});
    w.Item(107, 12);
    w.Floats({0, 0, 0});
    w.Item(108, 12);
    w.Floats({scale[0], scale[1], scale[2]});
    w.Terminator();
    w.FlushIfFull();
  }

  w.EmptyList(2);
  w.DwordItem(406, 0);
  w.Terminator();
  w.Flush();
}

}  // namespace tessaline
