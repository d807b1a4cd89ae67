// Reading a DBO file's meshes for drawing. The walker checks the whole structure first (sizes, counts,
// every index below its vertex count); the meshes are then taken from the items it lists, so nothing here
// reads where the walker has not looked.
#include <algorithm>
#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "render/render.h"

namespace tessaline {

namespace {

uint32_t DwordAt(const std::vector<uint8_t>& bytes, uint64_t offset) {
  const uint8_t* p = bytes.data() + offset;
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

float FloatAt(const std::vector<uint8_t>& bytes, uint64_t offset) {
  return std::bit_cast<float>(DwordAt(bytes, offset));
}

// Positions take the frame's scale as the engine applies it; a normal turns the inverse way, so that it
// stays at right angles to its face under an uneven scale.
void ReadVertices(const std::vector<uint8_t>& bytes, uint64_t offset, const DboMeshInfo& info,
                  const std::array<float, 3>& scale, RenderMesh& mesh) {
  const uint32_t floats = mesh.VertexFloats();
  mesh.vertices.resize(uint64_t{info.vertexCount} * floats);
  float* out = mesh.vertices.data();
  for (uint32_t v = 0; v < info.vertexCount; ++v, out += floats) {
    for (uint32_t f = 0; f < floats; ++f)
      out[f] = FloatAt(bytes, offset + 4 * (uint64_t{v} * floats + f));
    float length2 = 0;
    for (int c = 0; c < 3; ++c) {
      out[c] *= scale[c];
      out[3 + c] = scale[c] != 0 ? out[3 + c] / scale[c] : out[3 + c];
      length2 += out[3 + c] * out[3 + c];
    }
    const float length = std::sqrt(length2);
    for (int c = 0; c < 3; ++c)
      out[3 + c] = std::isfinite(length) && length > 0 ? out[3 + c] / length : 0.0f;
  }
}

}  // namespace

bool ReadRenderModel(const std::vector<uint8_t>& bytes, RenderModel& model, std::string& error) {
  model.meshes.clear();
  const DboReport report = WalkDbo(bytes);
  if (!report.ok) {
    error = report.error;
    return false;
  }
  // The walker lists items in file order: each frame's FrameMesh opens its mesh items, and the
  // frames appear in the same order as report.frames.
  size_t frame = 0;
  RenderMesh* mesh = nullptr;
  for (const DboItem& item : report.items) {
    const uint64_t payload = item.offset + 8;
    if (item.code == dbo_item::FrameMesh) {
      if (frame == report.frames.size()) break;
      const DboFrameInfo& info = report.frames[frame++];
      mesh = nullptr;
      if (!info.hasMesh) continue;
      mesh = &model.meshes.emplace_back();
      mesh->stageCount = info.mesh.vertexFormat >> 8;
      mesh->textureNames = info.mesh.textureNames;
    } else if (mesh != nullptr && item.code == dbo_item::MeshVertexData) {
      const DboFrameInfo& info = report.frames[frame - 1];
      ReadVertices(bytes, payload, info.mesh, info.scale, *mesh);
    } else if (mesh != nullptr && item.code == dbo_item::MeshIndexData) {
      mesh->indices.resize(item.size / 2);
      for (size_t i = 0; i < mesh->indices.size(); ++i)
        mesh->indices[i] = uint32_t{bytes[payload + 2 * i]} | uint32_t{bytes[payload + 2 * i + 1]} << 8;
    } else if (mesh != nullptr && item.code == dbo_item::TextureBlendOp) {
      mesh->stageOps.push_back(DwordAt(bytes, payload));
    }
  }
  return true;
}

void ModelBounds(const RenderModel& model, std::array<double, 3>& low, std::array<double, 3>& high) {
  low = high = {0, 0, 0};
  bool any = false;
  for (const RenderMesh& mesh : model.meshes) {
    const uint32_t floats = mesh.VertexFloats();
    for (size_t at = 0; at + floats <= mesh.vertices.size(); at += floats) {
      const float* p = &mesh.vertices[at];
      if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
      for (int c = 0; c < 3; ++c) {
        low[c] = any ? std::min(low[c], double{p[c]}) : p[c];
        high[c] = any ? std::max(high[c], double{p[c]}) : p[c];
      }
      any = true;
    }
  }
}

}  // namespace tessaline
