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

// Textures from memory: solid colours by name, plus the named images a test adds.
class MemoryTextures final : public TextureSource {
 public:
  std::map<std::string, RgbaImage> images;
  std::string Load(const std::string& name, RgbaImage& image) override {
    const auto found = images.find(name);
    if (found == images.end()) return "not in this test";
    image = found->second;
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

RgbaImage Draw(const RenderModel& model, MemoryTextures& textures, View view = View::Front,
               bool twoSided = false) {
  RenderOptions options;
  options.width = 64;
  options.height = 48;
  options.view = view;
  options.twoSided = twoSided;
  std::vector<MissingTexture> missing;
  RgbaImage image = RenderModelImage(model, options, textures, missing);
  EXPECT_TRUE(missing.empty());
  return image;
}

Rgb Pixel(const RgbaImage& image, uint32_t x, uint32_t y) {
  const uint8_t* p = &image.pixels[(size_t{y} * image.width + x) * 4];
  return {p[0], p[1], p[2]};
}

void ExpectNear(Rgb actual, Rgb expected, int tolerance, const std::string& where) {
  for (int c = 0; c < 3; ++c)
    EXPECT_NEAR(actual[c], expected[c], tolerance) << where << " channel " << c;
}

// The six sides of the view table: eye direction, screen right and up, as the engine defines them.
struct Side {
  View view;
  Point toEye, right, up;
  Rgb colour;
};
const Side kSides[] = {
    {View::Front, {0, 0, -1}, {1, 0, 0}, {0, 1, 0}, {200, 40, 40}},
    {View::Back, {0, 0, 1}, {-1, 0, 0}, {0, 1, 0}, {40, 200, 40}},
    {View::Left, {-1, 0, 0}, {0, 0, -1}, {0, 1, 0}, {40, 40, 200}},
    {View::Right, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, {200, 200, 40}},
    {View::Top, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {40, 200, 200}},
    {View::Bottom, {0, -1, 0}, {-1, 0, 0}, {0, 0, 1}, {200, 40, 200}},
};

TEST(Render, EachViewSeesTheCubeFaceOnItsSideAtFullBrightness) {
  Scene scene;
  MemoryTextures textures;
  for (int32_t i = 0; i < 6; ++i) {
    const std::string name = "side" + std::to_string(i) + ".png";
    scene.materials.push_back(Material(i, {name}, {BlendReplace}));
    textures.Solid(name, kSides[i].colour);
    AddQuad(scene, i, kSides[i].toEye, kSides[i].right, kSides[i].up);
  }
  const RenderModel model = Model(scene);
  const RgbaImage empty = Draw(RenderModel{}, textures);
  for (const Side& side : kSides) {
    const RgbaImage image = Draw(model, textures, side.view);
    ExpectNear(Pixel(image, 32, 24), side.colour, 3, "centre, view " + std::to_string(int(side.view)));
    for (auto [x, y] : {std::pair{0, 0}, {63, 0}, {0, 47}, {63, 47}})
      EXPECT_EQ(Pixel(image, x, y), Pixel(empty, x, y)) << "corners stay background";
  }
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
  const Rgb background = Pixel(Draw(RenderModel{}, textures), 20, 24);
  ExpectNear(Pixel(image, 20, 24), {background[0] / 2, background[1] / 2, background[2] / 2 + 128}, 4,
             "blue over the background");
}

TEST(Render, LaterStagesCombineByTheirStoredOperation) {
  const std::pair<BlendMode, Rgb> kCases[] = {
      {BlendModulate, {100, 50, 0}},    // 200,100,0 x 128,128,255
      {BlendAdd, {228, 178, 255}},      // add smooth: a + b - ab
      {BlendReplace, {128, 128, 255}},  // the later stage replaces
      {BlendNone, {200, 100, 0}},       // a disabled stage ends the cascade
  };
  MemoryTextures textures;
  textures.Solid("base.png", {200, 100, 0});
  textures.Solid("light.png", {128, 128, 255});
  for (const auto& [blend, expected] : kCases) {
    Scene scene;
    scene.materials.push_back(Material(0, {"base.png", "light.png"}, {BlendReplace, blend}));
    AddQuad(scene, 0, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    ExpectNear(Pixel(Draw(Model(scene), textures), 32, 24), expected, 3, "blend " + std::to_string(blend));
  }
}

std::vector<uint8_t> Png(const RgbaImage& image) {
  std::vector<uint8_t> png;
  PngEncoder().encode(png, image.pixels.data(), image.width, image.height);
  return png;
}

TEST(Render, MissingAndEscapingTexturesAreCheckeredAndNamed) {
  const std::string folder = ::testing::TempDir() + "tessaline-render-" + std::to_string(getpid());
  // A green image just outside the model's folder: a name leading there must not reach it.
  const std::vector<uint8_t> green = Png({1, 1, {0, 255, 0, 255}});
  WriteText(folder + "/outside.png", {green.begin(), green.end()});
  Scene scene;
  scene.materials.push_back(Material(0, {"absent.png"}, {BlendReplace}));
  scene.materials.push_back(Material(1, {"..\\outside.png"}, {BlendReplace}));
  AddQuad(scene, 0, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, 4);
  AddQuad(scene, 1, {1, 0, 0}, {1, 0, 0}, {0, 1, 0}, 4);
  const std::vector<uint8_t> dbo = WriteAndWalk(Build(scene), false).bytes;
  WriteText(folder + "/model/m.dbo", {dbo.begin(), dbo.end()});

  RenderOptions options;
  options.view = View::Front;
  StdFileSystem files;
  const RenderResult result = RenderDboFile(folder + "/model/m.dbo", folder + "/model/m.png", options, files);
  EXPECT_EQ(result.status, RenderMissingTextures);
  ASSERT_EQ(result.missing.size(), 2u);
  EXPECT_EQ(result.missing[0].name + ": " + result.missing[0].reason, "absent.png: it is not found");
  EXPECT_EQ(result.missing[1].name + ": " + result.missing[1].reason,
            "..\\outside.png: its name leaves the model's folder");
  RgbaImage image;
  ASSERT_EQ(DecodeImage(ReadFile(folder + "/model/m.png"), image), "");
  int magenta = 0;
  for (uint32_t x = 250; x < 550; ++x) {
    const Rgb p = Pixel(image, x, 300);
    EXPECT_EQ(p[1], 0) << "no green at " << x;
    EXPECT_NEAR(p[0], p[2], 1);
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
    bool wireframe, twoSided;
  } kCases[] = {
      {"textured_cube_iso", Model(textured), false, false},
      {"untextured_open_box_wireframe", Model(untextured, true), true, true},
  };
  for (const auto& c : kCases) {
    RenderOptions options;
    options.width = 96;
    options.height = 72;
    options.wireframe = c.wireframe;
    options.twoSided = c.twoSided;
    std::vector<MissingTexture> missing;
    const RgbaImage image = RenderModelImage(c.model, options, textures, missing);
    const std::string path = std::string(TESSALINE_SOURCE_DIR) + "/tests/fixtures/render/" + c.name + ".png";
    if (std::getenv("TESSALINE_UPDATE_GOLDEN") != nullptr) {
      const std::vector<uint8_t> png = Png(image);
      WriteText(path, {png.begin(), png.end()});
    }
    RgbaImage golden;
    ASSERT_EQ(DecodeImage(ReadFile(path), golden), "") << path;
    ASSERT_EQ(golden.pixels.size(), image.pixels.size());
    ASSERT_EQ(golden.width, image.width);
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
