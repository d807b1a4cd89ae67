// The software rasteriser. Vertices are projected once; triangles are culled and sorted into square tiles
// of the supersampled image; then every tile is drawn on its own (opaque triangles in file order with a
// z-buffer, translucent ones back to front without writing depth) and averaged down into the image. Tiles
// are shared out among threads; each tile's result depends only on its own lists, so the image is the
// same whatever the number of threads.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "render/render.h"

// mingw-w64's win32 thread model has no std::thread in older compilers: draw on one thread there.
#if defined(__GLIBCXX__) && !defined(_GLIBCXX_HAS_GTHREADS)
#define TESSALINE_ONE_THREAD 1
#else
#include <system_error>
#include <thread>
#endif

namespace tessaline {

namespace {

constexpr int kSamplesPerSide = 2;                // 2 x 2 samples per pixel
constexpr int kTile = 64;                         // tile side, in samples
constexpr int64_t kSubpixel = 256;                // fixed-point steps per sample
constexpr float kAmbient = 0.3f;                  // light on faces turned away from the headlight
constexpr double kHalfFov = 0.39269908169872414;  // 22.5 degrees: a 45 degree vertical field of view
constexpr double kMargin = 1.1;                   // bounding sphere to frame
constexpr float kGrey = 0.8f;                     // meshes without textures
constexpr float kBackgroundTop[3] = {0.86f, 0.88f, 0.91f};
constexpr float kBackgroundBottom[3] = {0.62f, 0.65f, 0.70f};
constexpr float kEdge[3] = {0.08f, 0.09f, 0.12f};

// Direct3D 9 texture operations (D3DTOP_...).
enum : uint32_t {
  OpDisable = 1,
  OpSelectArg1 = 2,
  OpSelectArg2 = 3,
  OpModulate = 4,
  OpModulate2x = 5,
  OpModulate4x = 6,
  OpAdd = 7,
  OpAddSigned = 8,
  OpSubtract = 10,
  OpAddSmooth = 11,
  OpBlendTextureAlpha = 13,
};

struct Vec3 {
  double x = 0, y = 0, z = 0;
};
Vec3 operator-(Vec3 a, Vec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator+(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator*(Vec3 a, double s) {
  return {a.x * s, a.y * s, a.z * s};
}
double Dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 Cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 Normalised(Vec3 a) {
  return a * (1.0 / std::sqrt(Dot(a, a)));
}

// A left-handed look-at camera in perspective; screen positions are in samples, y downwards.
struct Camera {
  Vec3 eye, right, up, forward;
  double focal = 1;  // samples per unit of x / z
  double centreX = 0, centreY = 0;
};

Camera MakeCamera(const RenderModel& model, View view, uint32_t samplesWide, uint32_t samplesHigh) {
  std::array<double, 3> lowest, highest;
  ModelBounds(model, lowest, highest);
  const Vec3 low{lowest[0], lowest[1], lowest[2]}, high{highest[0], highest[1], highest[2]};
  const Vec3 centre = (low + high) * 0.5;
  double radius = std::sqrt(Dot(high - low, high - low)) * 0.5;
  if (!(radius > 0)) radius = 1;

  Vec3 toEye, up{0, 1, 0};
  switch (view) {
    case View::Front:
      toEye = {0, 0, -1};
      break;
    case View::Back:
      toEye = {0, 0, 1};
      break;
    case View::Left:
      toEye = {-1, 0, 0};
      break;
    case View::Right:
      toEye = {1, 0, 0};
      break;
    case View::Top:
      toEye = {0, 1, 0};
      up = {0, 0, 1};
      break;
    case View::Bottom:
      toEye = {0, -1, 0};
      up = {0, 0, 1};
      break;
    case View::Iso:
      toEye = Normalised({-1, 1, -1});
      break;
  }
  Camera camera;
  const double aspect = double(samplesWide) / samplesHigh;
  const double halfFov = std::min(kHalfFov, std::atan(std::tan(kHalfFov) * aspect));
  camera.eye = centre + toEye * (radius / std::sin(halfFov) * kMargin);
  camera.forward = toEye * -1.0;
  camera.right = Normalised(Cross(up, camera.forward));
  camera.up = Cross(camera.forward, camera.right);
  camera.focal = samplesHigh * 0.5 / std::tan(kHalfFov);
  camera.centreX = samplesWide * 0.5;
  camera.centreY = samplesHigh * 0.5;
  return camera;
}

struct Projected {
  float x = 0, y = 0;  // samples
  float invW = 0;      // 1 / view depth; 0 marks a vertex that cannot be drawn
  float light = 0;     // cosine between the normal and the direction towards the eye
};

Projected Project(const Camera& camera, const float* vertex) {
  const Vec3 p{vertex[0], vertex[1], vertex[2]};
  const Vec3 n{vertex[3], vertex[4], vertex[5]};
  const Vec3 q = p - camera.eye;
  const double depth = Dot(q, camera.forward);
  Projected out;
  const double x = camera.centreX + Dot(q, camera.right) / depth * camera.focal;
  const double y = camera.centreY - Dot(q, camera.up) / depth * camera.focal;
  // Everything drawable lies inside the framed sphere: in front of the eye and near the image.
  if (!(depth > 0) || !(std::abs(x) < 1e6) || !(std::abs(y) < 1e6)) return out;
  out.x = static_cast<float>(x);
  out.y = static_cast<float>(y);
  out.invW = static_cast<float>(1.0 / depth);
  // The headlight shines along the view direction, so a face turned to the viewer is lit fully all over.
  out.light = static_cast<float>(-Dot(n, camera.forward));
  if (!std::isfinite(out.light)) out.light = 0;
  return out;
}

int64_t Fixed(float samples) {
  return std::llround(double{samples} * kSubpixel);
}

struct Texture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;
  bool translucent = false;
};

// Bilinear filtering with wrapped addressing, as the files ask for.
void SampleTexture(const Texture& texture, float u, float v, float out[4]) {
  if (!std::isfinite(u)) u = 0;
  if (!std::isfinite(v)) v = 0;
  u -= std::floor(u);
  v -= std::floor(v);
  const float x = u * static_cast<float>(texture.width) - 0.5f;
  const float y = v * static_cast<float>(texture.height) - 0.5f;
  const float fx = std::floor(x), fy = std::floor(y);
  const float ax = x - fx, ay = y - fy;
  const auto w = static_cast<int>(texture.width), h = static_cast<int>(texture.height);
  const int x0 = (static_cast<int>(fx) % w + w) % w, x1 = (x0 + 1) % w;
  const int y0 = (static_cast<int>(fy) % h + h) % h, y1 = (y0 + 1) % h;
  const uint8_t* p00 = &texture.pixels[(size_t(y0) * texture.width + size_t(x0)) * 4];
  const uint8_t* p10 = &texture.pixels[(size_t(y0) * texture.width + size_t(x1)) * 4];
  const uint8_t* p01 = &texture.pixels[(size_t(y1) * texture.width + size_t(x0)) * 4];
  const uint8_t* p11 = &texture.pixels[(size_t(y1) * texture.width + size_t(x1)) * 4];
  for (int c = 0; c < 4; ++c) {
    const float top = p00[c] + (p10[c] - p00[c]) * ax;
    const float bottom = p01[c] + (p11[c] - p01[c]) * ax;
    out[c] = (top + (bottom - top) * ay) * (1.0f / 255.0f);
  }
}

// The magenta and black checker that stands for a missing texture: 8 x 8 squares over the texture.
Texture Checker() {
  Texture texture;
  texture.width = texture.height = 64;
  texture.pixels.resize(64 * 64 * 4);
  for (uint32_t y = 0; y < 64; ++y) {
    for (uint32_t x = 0; x < 64; ++x) {
      uint8_t* p = &texture.pixels[(y * 64 + x) * 4];
      const bool magenta = ((x / 8) + (y / 8)) % 2 == 0;
      p[0] = p[2] = magenta ? 255 : 0;
      p[1] = 0;
      p[3] = 255;
    }
  }
  return texture;
}

float Clamp01(float value) {
  return std::min(1.0f, std::max(0.0f, value));
}

// One later stage combined with the colour so far (D3DTA_TEXTURE as the first argument, D3DTA_CURRENT as
// the second). False for a disabled stage, which ends the cascade.
bool CombineStage(uint32_t op, const float texel[4], float current[3]) {
  for (int c = 0; c < 3; ++c) {
    const float t = texel[c], v = current[c];
    switch (op) {
      case OpDisable:
        return false;
      case OpSelectArg1:
        current[c] = t;
        break;
      case OpModulate:
        current[c] = t * v;
        break;
      case OpModulate2x:
        current[c] = Clamp01(2 * t * v);
        break;
      case OpModulate4x:
        current[c] = Clamp01(4 * t * v);
        break;
      case OpAdd:
        current[c] = Clamp01(t + v);
        break;
      case OpAddSigned:
        current[c] = Clamp01(t + v - 0.5f);
        break;
      case OpSubtract:
        current[c] = Clamp01(t - v);
        break;
      case OpAddSmooth:
        current[c] = t + v - t * v;
        break;
      case OpBlendTextureAlpha:
        current[c] = t * texel[3] + v * (1 - texel[3]);
        break;
      default:  // OpSelectArg2 and the operations these files do not use keep the colour
        break;
    }
  }
  return true;
}

// A triangle that survived culling: its mesh and vertices, the back faces (with --two-sided) with two
// corners swapped so that every stored triangle runs clockwise.
struct Triangle {
  uint32_t mesh = 0;
  uint32_t v[3] = {0, 0, 0};  // indices into the mesh's vertices
  bool back = false;
};

struct Drawing {
  const RenderModel* model = nullptr;
  RenderOptions options;
  uint32_t samplesWide = 0, samplesHigh = 0, tilesWide = 0, tilesHigh = 0;
  std::vector<uint32_t> meshBase;  // first projected vertex of each mesh
  std::vector<Projected> projected;
  std::vector<std::vector<const Texture*>> stageTextures;  // per mesh, per stage
  std::vector<bool> translucent;                           // per mesh
  std::vector<Triangle> triangles;
  std::vector<std::vector<uint32_t>> opaque, blended;  // per tile, triangle numbers in drawing order
};

// Per-thread drawing space for one tile.
struct TileBuffer {
  std::vector<float> colour;  // RGB per sample
  std::vector<float> depth;   // 1 / view depth per sample; 0 is the far background
};

void BackgroundRow(const Drawing& scene, uint32_t sampleRow, float out[3]) {
  const float t = (sampleRow + 0.5f) / static_cast<float>(scene.samplesHigh);
  for (int c = 0; c < 3; ++c)
    out[c] = kBackgroundTop[c] + (kBackgroundBottom[c] - kBackgroundTop[c]) * t;
}

// A triangle's corners on screen in fixed point, with its edge functions. Edge k runs from corner k + 1 to
// corner k + 2, so that its function is the weight of corner k.
struct Edges {
  const Projected* p[3] = {};
  const float* attributes[3] = {};  // the corners' vertex floats
  int64_t X[3] = {}, Y[3] = {};
  int64_t dx[3] = {}, dy[3] = {}, bias[3] = {};
  float invLength[3] = {};
  float invArea = 0;
};

// False for a triangle that covers no area on screen.
bool SetUpEdges(const Drawing& scene, const Triangle& triangle, Edges& edges) {
  const RenderMesh& mesh = scene.model->meshes[triangle.mesh];
  const uint32_t floats = mesh.VertexFloats();
  for (int k = 0; k < 3; ++k) {
    edges.p[k] = &scene.projected[scene.meshBase[triangle.mesh] + triangle.v[k]];
    edges.attributes[k] = &mesh.vertices[size_t{triangle.v[k]} * floats];
    edges.X[k] = Fixed(edges.p[k]->x);
    edges.Y[k] = Fixed(edges.p[k]->y);
  }
  const int64_t* X = edges.X;
  const int64_t* Y = edges.Y;
  const int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
  if (area <= 0) return false;
  edges.invArea = 1.0f / static_cast<float>(area);
  for (int k = 0; k < 3; ++k) {
    const int a = (k + 1) % 3, b = (k + 2) % 3;
    const int64_t dx = X[b] - X[a], dy = Y[b] - Y[a];
    edges.dx[k] = dx;
    edges.dy[k] = dy;
    // Top-left rule: a sample exactly on an edge belongs to the triangle only for top and left edges,
    // so that triangles sharing an edge cover each sample once.
    edges.bias[k] = (dy < 0 || (dy == 0 && dx > 0)) ? 0 : -1;
    edges.invLength[k] = 1.0f / std::sqrt(static_cast<float>(dx) * dx + static_cast<float>(dy) * dy);
  }
  return true;
}

// The texture stages of one sample, from the perspective-correct weights `q` of the corners: the colour
// and the first stage's alpha. Meshes without textures are grey.
void SampleStages(const Drawing& scene, const Triangle& triangle, const Edges& edges, const float q[3],
                  float colour[3], float& alpha) {
  const RenderMesh& mesh = scene.model->meshes[triangle.mesh];
  const std::vector<const Texture*>& textures = scene.stageTextures[triangle.mesh];
  const float* const* attributes = edges.attributes;
  std::fill(colour, colour + 3, kGrey);
  alpha = 1;
  for (uint32_t stage = 0; stage < mesh.stageCount; ++stage) {
    const float u = q[0] * attributes[0][6 + 2 * stage] + q[1] * attributes[1][6 + 2 * stage] +
                    q[2] * attributes[2][6 + 2 * stage];
    const float v = q[0] * attributes[0][7 + 2 * stage] + q[1] * attributes[1][7 + 2 * stage] +
                    q[2] * attributes[2][7 + 2 * stage];
    float texel[4];
    SampleTexture(*textures[stage], u, v, texel);
    if (stage == 0) {
      std::copy(texel, texel + 3, colour);
      alpha = texel[3];
    } else if (!CombineStage(stage < mesh.stageOps.size() ? mesh.stageOps[stage] : OpModulate, texel,
                             colour)) {
      break;
    }
  }
}

// One sample's final colour: its texture stages lit by the headlight and, in wireframe, the edge colour
// within one sample of an edge (`ex`: the sample's edge functions).
void ShadeSample(const Drawing& scene, const Triangle& triangle, const Edges& edges, const float q[3],
                 const int64_t ex[3], float colour[3], float& alpha) {
  SampleStages(scene, triangle, edges, q, colour, alpha);
  const Projected* const* p = edges.p;
  const float lightSign = triangle.back ? -1.0f : 1.0f;
  const float light = q[0] * p[0]->light + q[1] * p[1]->light + q[2] * p[2]->light;
  const float brightness = std::min(1.0f, kAmbient + (1 - kAmbient) * std::max(0.0f, lightSign * light));
  for (int c = 0; c < 3; ++c)
    colour[c] = Clamp01(colour[c] * brightness);
  if (!scene.options.wireframe) return;
  for (int k = 0; k < 3; ++k) {
    if (static_cast<float>(ex[k]) * edges.invLength[k] < kSubpixel) {
      std::copy(kEdge, kEdge + 3, colour);
      alpha = 1;
    }
  }
}

void DrawTriangle(const Drawing& scene, const Triangle& triangle, bool blend, int tileX, int tileY,
                  TileBuffer& buffer) {
  Edges edges;
  if (!SetUpEdges(scene, triangle, edges)) return;
  const int64_t *X = edges.X, *Y = edges.Y, *dx = edges.dx, *dy = edges.dy, *bias = edges.bias;
  const Projected* const* p = edges.p;

  const int x0 = tileX * kTile, y0 = tileY * kTile;
  const int x1 = std::min<int>(x0 + kTile, static_cast<int>(scene.samplesWide));
  const int y1 = std::min<int>(y0 + kTile, static_cast<int>(scene.samplesHigh));
  const int64_t minX = std::max<int64_t>(x0, std::min({X[0], X[1], X[2]}) / kSubpixel - 1);
  const int64_t maxX = std::min<int64_t>(x1 - 1, std::max({X[0], X[1], X[2]}) / kSubpixel + 1);
  const int64_t minY = std::max<int64_t>(y0, std::min({Y[0], Y[1], Y[2]}) / kSubpixel - 1);
  const int64_t maxY = std::min<int64_t>(y1 - 1, std::max({Y[0], Y[1], Y[2]}) / kSubpixel + 1);

  for (int64_t sy = minY; sy <= maxY; ++sy) {
    const int64_t py = sy * kSubpixel + kSubpixel / 2;
    const int64_t px0 = minX * kSubpixel + kSubpixel / 2;
    int64_t e[3];
    for (int k = 0; k < 3; ++k) {
      const int a = (k + 1) % 3;
      e[k] = dx[k] * (py - Y[a]) - dy[k] * (px0 - X[a]);
    }
    for (int64_t sx = minX; sx <= maxX; ++sx) {
      const bool inside = e[0] + bias[0] >= 0 && e[1] + bias[1] >= 0 && e[2] + bias[2] >= 0;
      const int64_t ex[3] = {e[0], e[1], e[2]};
      for (int k = 0; k < 3; ++k)
        e[k] -= dy[k] * kSubpixel;
      if (!inside) continue;

      float b[3];
      for (int k = 0; k < 3; ++k)
        b[k] = static_cast<float>(ex[k]) * edges.invArea;
      const float invW = b[0] * p[0]->invW + b[1] * p[1]->invW + b[2] * p[2]->invW;
      const size_t s = size_t(sy - y0) * kTile + size_t(sx - x0);
      if (!(invW > buffer.depth[s])) continue;
      // Perspective-correct weights of the three corners.
      float q[3];
      for (int k = 0; k < 3; ++k)
        q[k] = b[k] * p[k]->invW / invW;
      float colour[3];
      float alpha = 1;
      ShadeSample(scene, triangle, edges, q, ex, colour, alpha);
      float* target = &buffer.colour[s * 3];
      if (blend) {
        for (int c = 0; c < 3; ++c)
          target[c] = colour[c] * alpha + target[c] * (1 - alpha);
      } else {
        std::copy(colour, colour + 3, target);
        buffer.depth[s] = invW;
      }
    }
  }
}

void DrawTile(const Drawing& scene, uint32_t tile, TileBuffer& buffer, RgbaImage& image) {
  const int tileX = static_cast<int>(tile % scene.tilesWide),
            tileY = static_cast<int>(tile / scene.tilesWide);
  buffer.colour.resize(kTile * kTile * 3);
  buffer.depth.assign(kTile * kTile, 0.0f);
  for (int row = 0; row < kTile; ++row) {
    float background[3];
    BackgroundRow(scene, static_cast<uint32_t>(tileY * kTile + row), background);
    for (int column = 0; column < kTile; ++column)
      std::copy(background, background + 3, &buffer.colour[(size_t(row) * kTile + column) * 3]);
  }
  for (uint32_t number : scene.opaque[tile])
    DrawTriangle(scene, scene.triangles[number], false, tileX, tileY, buffer);
  for (uint32_t number : scene.blended[tile])
    DrawTriangle(scene, scene.triangles[number], true, tileX, tileY, buffer);

  // Each pixel is the mean of its samples.
  constexpr int kPixels = kTile / kSamplesPerSide;
  for (int py = 0; py < kPixels; ++py) {
    const uint32_t y = static_cast<uint32_t>(tileY * kPixels + py);
    if (y >= image.height) break;
    for (int px = 0; px < kPixels; ++px) {
      const uint32_t x = static_cast<uint32_t>(tileX * kPixels + px);
      if (x >= image.width) break;
      uint8_t* out = &image.pixels[(size_t{y} * image.width + x) * 4];
      for (int c = 0; c < 3; ++c) {
        float sum = 0;
        for (int sy = 0; sy < kSamplesPerSide; ++sy) {
          for (int sx = 0; sx < kSamplesPerSide; ++sx)
            sum += buffer.colour[(size_t(py * 2 + sy) * kTile + size_t(px * 2 + sx)) * 3 + c];
        }
        out[c] = static_cast<uint8_t>(std::lround(Clamp01(sum / 4) * 255.0f));
      }
      out[3] = 255;
    }
  }
}

// Runs work(item, worker) for item = 0 .. count - 1 on up to threads workers.
template <typename Work>
void ParallelFor(uint32_t count, uint32_t threads, const Work& work) {
  std::atomic<uint32_t> next{0};
  auto run = [&](uint32_t worker) {
    for (uint32_t item = next++; item < count; item = next++)
      work(item, worker);
  };
#ifndef TESSALINE_ONE_THREAD
  std::vector<std::thread> pool;
  for (uint32_t worker = 1; worker < threads; ++worker) {
    try {
      pool.emplace_back(run, worker);
    } catch (const std::system_error&) {
      break;  // fewer threads than asked for: the others share the work
    }
  }
  run(0);
  for (std::thread& thread : pool)
    thread.join();
#else
  (void)threads;
  run(0);
#endif
}

uint32_t ThreadCount(uint32_t asked) {
#ifndef TESSALINE_ONE_THREAD
  if (asked == 0) asked = std::thread::hardware_concurrency();
#endif
  return std::max<uint32_t>(1, std::min<uint32_t>(asked, 64));
}

// Adds a triangle to the lists of every tile its bounding box (in samples, one sample of margin) touches.
void ListInTiles(const Drawing& scene, std::vector<std::vector<uint32_t>>& lists, uint32_t number, float minX,
                 float maxX, float minY, float maxY) {
  const uint32_t tx0 = static_cast<uint32_t>(std::max(0.0f, minX - 1)) / kTile;
  const uint32_t tx1 = std::min(static_cast<uint32_t>(maxX + 1) / kTile, scene.tilesWide - 1);
  const uint32_t ty0 = static_cast<uint32_t>(std::max(0.0f, minY - 1)) / kTile;
  const uint32_t ty1 = std::min(static_cast<uint32_t>(maxY + 1) / kTile, scene.tilesHigh - 1);
  for (uint32_t ty = ty0; ty <= ty1; ++ty) {
    for (uint32_t tx = tx0; tx <= tx1; ++tx)
      lists[ty * scene.tilesWide + tx].push_back(number);
  }
}

// Culls each triangle and lists it in the tiles its bounding box touches: opaque ones in file order,
// translucent ones farthest first.
void SortIntoTiles(Drawing& scene) {
  struct Far {
    float depth;
    uint32_t number;
  };
  std::vector<Far> translucent;
  const RenderModel& model = *scene.model;
  for (uint32_t m = 0; m < model.meshes.size(); ++m) {
    const RenderMesh& mesh = model.meshes[m];
    const uint32_t vertexCount = mesh.VertexCount();
    for (size_t i = 0; i + 3 <= mesh.indices.size(); i += 3) {
      Triangle triangle{m, {mesh.indices[i], mesh.indices[i + 1], mesh.indices[i + 2]}, false};
      if (std::max({triangle.v[0], triangle.v[1], triangle.v[2]}) >= vertexCount) continue;
      const Projected* p[3];
      bool drawable = true;
      for (int k = 0; k < 3; ++k) {
        p[k] = &scene.projected[scene.meshBase[m] + triangle.v[k]];
        drawable = drawable && p[k]->invW > 0;
      }
      if (!drawable) continue;
      // Screen y runs downwards, so a positive area is a clockwise turn: a front face.
      const int64_t area = (Fixed(p[1]->x) - Fixed(p[0]->x)) * (Fixed(p[2]->y) - Fixed(p[0]->y)) -
                           (Fixed(p[2]->x) - Fixed(p[0]->x)) * (Fixed(p[1]->y) - Fixed(p[0]->y));
      if (area == 0) continue;
      if (area < 0) {
        if (!scene.options.twoSided) continue;
        std::swap(triangle.v[1], triangle.v[2]);
        std::swap(p[1], p[2]);
        triangle.back = true;
      }
      const float minX = std::min({p[0]->x, p[1]->x, p[2]->x}), maxX = std::max({p[0]->x, p[1]->x, p[2]->x});
      const float minY = std::min({p[0]->y, p[1]->y, p[2]->y}), maxY = std::max({p[0]->y, p[1]->y, p[2]->y});
      if (maxX < 0 || maxY < 0 || minX >= static_cast<float>(scene.samplesWide) ||
          minY >= static_cast<float>(scene.samplesHigh)) {
        continue;
      }
      const auto number = static_cast<uint32_t>(scene.triangles.size());
      scene.triangles.push_back(triangle);
      if (scene.translucent[m]) {
        translucent.push_back({1 / p[0]->invW + 1 / p[1]->invW + 1 / p[2]->invW, number});
        continue;
      }
      ListInTiles(scene, scene.opaque, number, minX, maxX, minY, maxY);
    }
  }
  std::stable_sort(translucent.begin(), translucent.end(),
                   [](const Far& a, const Far& b) { return a.depth > b.depth; });
  for (const Far& far : translucent) {
    const Triangle& triangle = scene.triangles[far.number];
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
    for (uint32_t v : triangle.v) {
      const Projected& p = scene.projected[scene.meshBase[triangle.mesh] + v];
      minX = std::min(minX, p.x);
      maxX = std::max(maxX, p.x);
      minY = std::min(minY, p.y);
      maxY = std::max(maxY, p.y);
    }
    ListInTiles(scene, scene.blended, far.number, minX, maxX, minY, maxY);
  }
}

}  // namespace

bool ParseView(const std::string& text, View& view) {
  static const std::map<std::string, View> kViews = {
      {"iso", View::Iso},     {"front", View::Front}, {"back", View::Back},    {"left", View::Left},
      {"right", View::Right}, {"top", View::Top},     {"bottom", View::Bottom}};
  const auto found = kViews.find(text);
  if (found == kViews.end()) return false;
  view = found->second;
  return true;
}

RgbaImage RenderModelImage(const RenderModel& model, const RenderOptions& options, TextureSource& textures,
                           std::vector<MissingTexture>& missing) {
  RgbaImage image;
  image.width = std::clamp<uint32_t>(options.width, 1, kMaxImageSide);
  image.height = std::clamp<uint32_t>(options.height, 1, kMaxImageSide);
  image.pixels.resize(size_t{image.width} * image.height * 4);

  Drawing scene;
  scene.model = &model;
  scene.options = options;
  scene.samplesWide = image.width * kSamplesPerSide;
  scene.samplesHigh = image.height * kSamplesPerSide;
  scene.tilesWide = (scene.samplesWide + kTile - 1) / kTile;
  scene.tilesHigh = (scene.samplesHigh + kTile - 1) / kTile;
  const uint32_t threads = ThreadCount(options.threads);

  // Textures, each name loaded once.
  std::map<std::string, Texture> loaded;
  static const Texture kChecker = Checker();
  for (const RenderMesh& mesh : model.meshes) {
    std::vector<const Texture*>& stages = scene.stageTextures.emplace_back();
    for (uint32_t stage = 0; stage < mesh.stageCount; ++stage) {
      static const std::string kNoName;
      const std::string& name = stage < mesh.textureNames.size() ? mesh.textureNames[stage] : kNoName;
      auto found = loaded.find(name);
      if (found == loaded.end()) {
        RgbaImage decoded;
        const std::string reason = textures.Load(name, decoded);
        Texture texture = kChecker;
        if (reason.empty() && decoded.width > 0 && decoded.height > 0 &&
            decoded.pixels.size() == size_t{decoded.width} * decoded.height * 4) {
          texture.width = decoded.width;
          texture.height = decoded.height;
          texture.pixels = std::move(decoded.pixels);
          for (size_t i = 3; i < texture.pixels.size(); i += 4)
            texture.translucent = texture.translucent || texture.pixels[i] < 255;
        } else {
          missing.push_back({name, reason.empty() ? "it holds no pixels" : reason});
        }
        found = loaded.emplace(name, std::move(texture)).first;
      }
      stages.push_back(&found->second);
    }
    scene.translucent.push_back(!stages.empty() && stages[0]->translucent);
  }

  // Vertices, projected once.
  const Camera camera = MakeCamera(model, options.view, scene.samplesWide, scene.samplesHigh);
  uint32_t total = 0;
  for (const RenderMesh& mesh : model.meshes) {
    scene.meshBase.push_back(total);
    total += mesh.VertexCount();
  }
  scene.projected.resize(total);
  ParallelFor(static_cast<uint32_t>(model.meshes.size()), threads, [&](uint32_t m, uint32_t) {
    const RenderMesh& mesh = model.meshes[m];
    const uint32_t floats = mesh.VertexFloats();
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v)
      scene.projected[scene.meshBase[m] + v] = Project(camera, &mesh.vertices[size_t{v} * floats]);
  });

  scene.opaque.resize(size_t{scene.tilesWide} * scene.tilesHigh);
  scene.blended.resize(scene.opaque.size());
  SortIntoTiles(scene);

  std::vector<TileBuffer> buffers(threads);
  ParallelFor(static_cast<uint32_t>(scene.opaque.size()), threads,
              [&](uint32_t tile, uint32_t worker) { DrawTile(scene, tile, buffers[worker], image); });

  DrawCaption(image, SizeCaption(model));
  return image;
}

}  // namespace tessaline
