// The renderer, seen through its images: DBO files made by our own writer are drawn, and the pixels are
// checked against what the engine's rules say must be on screen.
#include <cstdlib>
#include <filesystem>
#include <map>

#include "dbo/dbo_test_support.h"
#include "render/render.h"

namespace tessaline::testing {
namespace {

using Rgb = std::array<int, 3>;
using Point = std::array<float, 3>;

// Textures from memory: the named images a test adds, solid colours among them.
struct MemoryTextures final : TextureSource {
  std::map<std::string, RgbaImage> images;
  std::string Load(const std::string& name, RgbaImage& image) override {
    if (!images.contains(name)) return "not in this test";
    image = images[name];
    return "";
  }
  void Solid(const std::string& name, Rgb colour, int alpha = 255) {
    images[name] = {1, 1, {uint8_t(colour[0]), uint8_t(colour[1]), uint8_t(colour[2]), uint8_t(alpha)}};
  }
};

// A quad whose corners run top-left, top-right, bottom-right, bottom-left as seen from the side its
// front faces: clockwise, the engine's front. right and up are half the quad's sides.
void AddQuad(Scene& scene, int32_t material, Point centre, Point right, Point up, float uvScale = 1) {
  std::vector<SceneVertex> corners;
  for (const auto& s : {Point{-1, 1, 0}, Point{1, 1, 1}, Point{1, -1, 1}, Point{-1, -1, 0}}) {
    Point p;
    for (int c = 0; c < 3; ++c)
      p[c] = centre[c] + s[0] * right[c] + s[1] * up[c];
    corners.push_back(Corner(p[0], p[1], p[2], s[2] * uvScale, (1 - s[1]) / 2 * uvScale));
    corners.back().uvSets.Set(1, s[2] * uvScale, (1 - s[1]) / 2 * uvScale);
    corners.back().vertexSize = 40;
  }
  AddPolygon(scene, corners, material);
}

RenderModel Model(const Scene& scene, bool collision = false) {
  RenderModel model;
  std::string error;
  const MeshRouting routing = collision ? MeshRouting::OneRecord : MeshRouting::ByMaterial;
  EXPECT_TRUE(ReadRenderModel(WriteAndWalk(Build(scene, routing), collision).bytes, model, error)) << error;
  return model;
}

// Draws a small front view unless the options say otherwise.
RgbaImage Draw(const RenderModel& model, MemoryTextures& textures,
               const RenderOptions& options = {.width = 64, .height = 48, .view = View::Front}) {
  std::vector<MissingTexture> missing;
  return RenderModelImage(model, options, textures, missing);
}

Rgb Pixel(const RgbaImage& image, uint32_t x, uint32_t y) {
  const uint8_t* p = &image.pixels[(size_t{y} * image.width + x) * 4];
  return {p[0], p[1], p[2]};
}

void ExpectNear(Rgb actual, Rgb expected, int tolerance, const std::string& where) {
  for (int c = 0; c < 3; ++c)
    EXPECT_NEAR(actual[c], expected[c], tolerance) << where << " channel " << c;
}

// The six sides of the view table: eye direction, screen right and up, as the engine defines them. Each
// side's colour has a second stage of 128,128,255 over it, combined by the side's blend: what its view sees.
struct Side {
  View view;
  Point toEye, right, up;
  Rgb colour, seen;
  BlendMode blend;
};
const Side kSides[] = {
    {View::Front, {0, 0, -1}, {1, 0, 0}, {0, 1, 0}, {200, 100, 0}, {100, 50, 0}, BlendModulate},
    {View::Back, {0, 0, 1}, {-1, 0, 0}, {0, 1, 0}, {200, 100, 0}, {228, 178, 255}, BlendAdd},  // a + b - ab
    {View::Left, {-1, 0, 0}, {0, 0, -1}, {0, 1, 0}, {40, 40, 200}, {128, 128, 255}, BlendReplace},
    // A disabled stage ends the cascade.
    {View::Right, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, {200, 200, 40}, {200, 200, 40}, BlendNone},
    {View::Top, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {40, 200, 200}, {40, 200, 200}, BlendNone},
    {View::Bottom, {0, -1, 0}, {-1, 0, 0}, {0, 0, 1}, {200, 40, 200}, {200, 40, 200}, BlendNone},
};

TEST(Render, EachViewSeesTheCubeFaceOnItsSideWithItsStagesCombined) {
  Scene scene;
  MemoryTextures textures;
  textures.Solid("light.png", {128, 128, 255});
  for (int32_t i = 0; i < 6; ++i) {
    const std::string name = "side" + std::to_string(i) + ".png";
    scene.materials.push_back(Material(i, {name, "light.png"}, {BlendReplace, kSides[i].blend}));
    textures.Solid(name, kSides[i].colour);
    AddQuad(scene, i, kSides[i].toEye, kSides[i].right, kSides[i].up);
  }
  const RenderModel model = Model(scene);
  for (const Side& side : kSides)
    ExpectNear(Pixel(Draw(model, textures, {.width = 64, .height = 48, .view = side.view}), 32, 24),
               side.seen, 3, "centre, view " + std::to_string(int(side.view)));
}

TEST(Render, TranslucentLayersBlendBackToFrontWhateverTheFileOrder) {
  Scene scene;
  for (int32_t i = 0; i < 3; ++i)
    scene.materials.push_back(Material(i, {"layer" + std::to_string(i) + ".png"}, {BlendReplace}));
  AddQuad(scene, 0, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});             // blue glass, in front, written first
  AddQuad(scene, 1, {0, 0, 1}, {0.5f, 0, 0}, {0, 0.5f, 0});       // the wall behind its centre
  AddQuad(scene, 2, {0, 0, 0.5f}, {0.25f, 0, 0}, {0, 0.25f, 0});  // green glass between, written last
  MemoryTextures textures;
  textures.Solid("layer0.png", {0, 0, 255}, 128);
  textures.Solid("layer1.png", {255, 0, 0});
  textures.Solid("layer2.png", {0, 255, 0}, 128);
  const RgbaImage image = Draw(Model(scene), textures);
  ExpectNear(Pixel(image, 32, 24), {63, 64, 128}, 4, "blue over green over the wall");
}

std::string Png(const RgbaImage& image) {
  std::vector<uint8_t> png;
  PngEncoder().encode(png, image.pixels.data(), image.width, image.height);
  return {png.begin(), png.end()};
}

// A name that leads out of the model's folder is refused like a missing file: listed with its reason and
// drawn as the checker. The reason for a file that is not found is checked by the command's tests.
TEST(Render, EscapingTexturesAreCheckeredAndNamed) {
  const std::string folder = ::testing::TempDir() + "tessaline-render-" + std::to_string(getpid());
  // A green image just outside the model's folder: a name leading there must not reach it.
  WriteText(folder + "/outside.png", Png({1, 1, {0, 255, 0, 255}}));
  Scene scene;
  scene.materials.push_back(Material(0, {"..\\outside.png"}, {BlendReplace}));
  AddQuad(scene, 0, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 4);
  const std::vector<uint8_t> dbo = WriteAndWalk(Build(scene), false).bytes;
  WriteText(folder + "/model/m.dbo", {dbo.begin(), dbo.end()});

  StdFileSystem files;
  const RenderResult result =
      RenderDboFile(folder + "/model/m.dbo", folder + "/model/m.png", {.view = View::Front}, files);
  EXPECT_EQ(result.status, RenderMissingTextures);
  ASSERT_EQ(result.missing.size(), 1u);
  EXPECT_EQ(result.missing[0].name + ": " + result.missing[0].reason,
            "..\\outside.png: its name leaves the model's folder");
  RgbaImage image;
  ASSERT_EQ(DecodeImage(ReadFile(folder + "/model/m.png"), image), "");
  int magenta = 0;
  for (uint32_t x = 250; x < 550; ++x) {
    const Rgb p = Pixel(image, x, 300);
    EXPECT_TRUE(p[1] == 0 && std::abs(p[0] - p[2]) <= 1) << "only the magenta and black checker at " << x;
    magenta += p[0] > 200;
  }
  EXPECT_GT(magenta, 100);
  std::filesystem::remove_all(folder);
}

// Whole images compared with a tolerance, since rounding may differ between compilers. Set
// TESSALINE_UPDATE_GOLDEN=1 to write the images anew after a deliberate change.
TEST(Render, GoldenImages) {
  Scene textured;
  textured.materials.push_back(Material(0, {"bricks.png", "shade.png"}, {BlendReplace, BlendModulate}));
  for (const Side& side : kSides)
    AddQuad(textured, 0, side.toEye, side.right, side.up, 2);
  Scene untextured = textured;
  untextured.polygons.resize(4);  // an open box: its inside shows through the missing faces
  MemoryTextures textures;
  textures.images["bricks.png"] = {
      2, 2, {180, 60, 40, 255, 230, 220, 200, 255, 230, 220, 200, 255, 180, 60, 40, 255}};
  textures.images["shade.png"] = {1, 2, {255, 255, 255, 255, 120, 120, 160, 255}};
  const struct {
    const char* name;
    RenderModel model;
    bool wireframe;  // and two-sided
  } kCases[] = {
      {"textured_cube_iso", Model(textured), false},
      {"untextured_open_box_wireframe", Model(untextured, true), true},
  };
  for (const auto& c : kCases) {
    const RgbaImage image = Draw(
        c.model, textures, {.width = 96, .height = 72, .twoSided = c.wireframe, .wireframe = c.wireframe});
    const std::string path = std::string(TESSALINE_SOURCE_DIR) + "/tests/fixtures/render/" + c.name + ".png";
    if (std::getenv("TESSALINE_UPDATE_GOLDEN") != nullptr) WriteText(path, Png(image));
    RgbaImage golden;
    ASSERT_EQ(DecodeImage(ReadFile(path), golden), "") << path;
    ASSERT_EQ(std::pair(golden.width, golden.height), std::pair(image.width, image.height));
    int64_t total = 0, worst = 0;
    for (size_t i = 0; i < image.pixels.size(); ++i) {
      const int64_t d = std::abs(int(image.pixels[i]) - int(golden.pixels[i]));
      total += d;
      worst = std::max(worst, d);
    }
    EXPECT_LT(double(total) / image.pixels.size(), 0.5) << c.name;
    EXPECT_LE(worst, 64) << c.name;
  }
}

}  // namespace
}  // namespace tessaline::testing
