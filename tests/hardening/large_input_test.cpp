// Inputs far larger than an editor sends: 100,000 nested elements, a 100 MB answer, megabyte attribute
// values. Nothing here may recurse per nesting level, and sizes only cost time and memory in proportion.
#include <gtest/gtest.h>
#include <mxml.h>
#include <pthread.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace tessaline::hardening {
namespace {

constexpr int kDepth = 100000;

// Runs work on a thread with a 1 MiB stack: code that recursed once per nesting level of a 100,000-deep
// document would need several times that and crash.
template <class Work>
void OnSmallStack(Work work) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, size_t{1} << 20);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<Work*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, &work), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

std::string Nested(const std::string& name, int depth, const std::string& open, const std::string& inner) {
  std::string xml;
  xml.reserve((open.size() + name.size() + 3) * static_cast<size_t>(depth) + inner.size());
  for (int i = 0; i < depth; ++i)
    xml += open;
  xml += inner;
  for (int i = 0; i < depth; ++i)
    xml += "</" + name + ">";
  return xml;
}

// ---------------------------------------------------------------------------------------------------------
// Deep nesting

TEST(DeepNesting, LibraryParsesSearchesAndDeletesWithoutRecursing) {
  // Mini-XML itself: its loader, element search and delete walk the tree with parent links.
  const std::string text = kXmlDeclaration + Nested("g", kDepth, "<g>", "<leaf />");
  bool loaded = false, found = false;
  OnSmallStack([&] {
    mxml_node_t* top = mxmlLoadString(nullptr, text.c_str(), MXML_OPAQUE_CALLBACK);
    loaded = top != nullptr;
    found = mxmlFindElement(top, top, "leaf", nullptr, nullptr, MXML_DESCEND) != nullptr;
    mxmlDelete(top);
  });
  EXPECT_TRUE(loaded);
  EXPECT_TRUE(found);
}

class DeepNestingRun : public ExportHarness {};

TEST_F(DeepNestingRun, SceneBelowDeepNestingExports) {
  SetScene(Nested("g", kDepth, "<g>", QuadScene(1, 2)));
  OnSmallStack([&] { Run(); });
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  EXPECT_EQ(report.frames.size(), 3u);
}

TEST_F(DeepNestingRun, NestedMaterialsEachTakeTheFirstLayerBelowThem) {
  // Every material's layer search runs through its subtree, so all 100,000 find the innermost layer.
  const std::string materials =
      Nested("material", kDepth, "<material id=\"1\">",
             "<layer type=\"color\"><color r=\"5\" g=\"6\" b=\"7\" a=\"8\" /></layer>");
  std::vector<SceneMaterial> read;
  OnSmallStack([&] { read = ReadScene(kXmlDeclaration + materials).scene.materials; });
  ASSERT_EQ(read.size(), static_cast<size_t>(kDepth));
  const std::vector<TextureLayer> colour = {
      {.name = "col_rgba_5_6_7_8_.png", .source = "col_rgba_5_6_7_8_.png", .isFile = false}};
  EXPECT_EQ(read.front().layers, colour);
  EXPECT_EQ(read.back().layers, colour);

  // The whole export: 100,000 mesh records, of which the first with id 1 takes every polygon.
  SetScene(QuadScene(1, 2, materials));
  OnSmallStack([&] { Run(); });
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(report.frames.size(), 2u);
  EXPECT_EQ(report.frames[1].mesh.vertexCount, 4u);  // the quad of material 2 has no record
  EXPECT_TRUE(fs::exists(Out("Media/col_rgba_5_6_7_8_.png")));
}

TEST_F(DeepNestingRun, DeepUnclosedNestingIsAnErrorAndKeepsTheEarlierFile) {
  // The same depth without its closing tags: the parser gives up at the end and frees what it built.
  WriteText(Out("level.dbo"), "earlier export");
  std::string answer;
  for (int i = 0; i < kDepth; ++i)
    answer += "<g>";
  SetScene(answer + QuadScene(1, 2));
  OnSmallStack([&] { RunQuietly(); });
  EXPECT_EQ(Messages(), std::vector<std::string>{kUnreadable});
  EXPECT_FALSE(Saved());
  EXPECT_EQ(ReadText(Out("level.dbo")), "earlier export");
}

// ---------------------------------------------------------------------------------------------------------
// A 100 MB answer

class LargeAnswerRun : public ExportHarness {};

TEST_F(LargeAnswerRun, HundredMegabyteAnswerExports) {
  // 100 MiB: geometry of 2,000 quads in 10 primitives behind 100,000 elements of text that the reader does
  // not look at, so that the run takes a few seconds rather than minutes. The text comes in runs of 1,000
  // characters: Mini-XML grows its buffer for one run in steps of 1 KiB, which copies quadratically on
  // allocators that cannot grow a block in place.
  constexpr size_t kSize = size_t{100} << 20;
  const std::string geometry = QuadScene(10, 200);
  const std::string note = "<note>" + std::string(1000, 'n') + "</note>\n";
  std::string answer;
  answer.reserve(kSize + note.size());
  while (answer.size() + note.size() + geometry.size() <= kSize)
    answer += note;
  answer += geometry;
  answer.resize(kSize, ' ');
  host_.answers.erase(kSceneSelectionRequest);
  host_.answers[kSceneAllRequest] = std::move(answer);
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(report.frames.size(), 3u);
  EXPECT_EQ(report.frames[1].mesh.vertexCount, 4000u);
  EXPECT_EQ(report.frames[2].mesh.vertexCount, 4000u);
}

// ---------------------------------------------------------------------------------------------------------
// Megabyte attribute values

constexpr size_t kMegabyte = size_t{1} << 20;

TEST(LongAttributes, MegabyteIdsAreWrappedAndMegabyteVidsComparedWhole) {
  const std::string nines(kMegabyte, '9');  // 10^(2^20) - 1 wraps to -1
  std::string idA(kMegabyte, '7'), idB(kMegabyte, '7');
  idB.back() = '8';  // differs from idA in its last character only
  // Two documents, so that each megabyte value is parsed once.
  const std::vector<SceneMaterial> materials =
      ReadScene(std::string(kXmlDeclaration) + "<material id=\"" + nines + "\" />").scene.materials;
  ASSERT_EQ(materials.size(), 1u);
  EXPECT_EQ(materials[0].id, -1);
  const std::string text = std::string(kXmlDeclaration) + "<primitive id=\"" + nines +
                           "\"><vertices><vertex id=\"" + idA + "\" x=\"1\" /><vertex id=\"" + idB +
                           "\" x=\"2\" /></vertices><polygons><poly mid=\"" + nines + "\"><vertex vid=\"" +
                           idB + "\" /><vertex vid=\"" + idA + "\" /><vertex vid=\"" + idA.substr(1) +
                           "\" /></poly></polygons></primitive>";
  SceneReading reading = ReadScene(std::string(text));
  ASSERT_EQ(reading.status, ReadStatus::Read);
  const std::vector<ScenePolygon>& polygons = reading.scene.polygons;
  const std::vector<SceneVertex>& vertices = reading.scene.vertices;
  ASSERT_EQ(polygons.size(), 1u);
  EXPECT_EQ(polygons[0].materialId, -1);
  EXPECT_EQ(polygons[0].primitiveId, -1);
  ASSERT_EQ(vertices.size(), 3u);
  EXPECT_EQ(vertices[0].x, 2.0f);
  EXPECT_EQ(vertices[1].x, 1.0f);
  EXPECT_EQ(vertices[2].x, 0.0f);  // a prefix of an id is another id
}

TEST(LongAttributes, MegabyteNumbersConvert) {
  const std::string third = "0." + std::string(kMegabyte, '3');
  const std::string huge = "1" + std::string(kMegabyte, '0');
  const std::string tiny = "0." + std::string(kMegabyte, '0') + "1";
  const std::string blanks = std::string(kMegabyte, ' ') + "5";
  const std::string text = std::string(kXmlDeclaration) +
                           "<primitive id=\"0\"><vertices><vertex id=\"0\" x=\"" + third + "\" y=\"" + huge +
                           "\" z=\"" + tiny + "\" /></vertices><polygons><poly mid=\"1\">" +
                           "<vertex vid=\"0\" u0=\"" + blanks + "\" v0=\"" + std::string(kMegabyte, '-') +
                           "\" /></poly></polygons></primitive>";
  SceneReading reading = ReadScene(std::string(text));
  ASSERT_EQ(reading.status, ReadStatus::Read);
  const std::vector<SceneVertex>& vertices = reading.scene.vertices;
  ASSERT_EQ(vertices.size(), 1u);
  EXPECT_EQ(vertices[0].x, 1.0f / 3.0f);
  EXPECT_EQ(vertices[0].y, std::numeric_limits<float>::infinity());
  EXPECT_EQ(vertices[0].z, 0.0f);
  EXPECT_TRUE(std::signbit(vertices[0].z));  // +0 negated
  EXPECT_EQ(vertices[0].uvSets.Get(0).u, 5.0f);
  EXPECT_EQ(vertices[0].uvSets.Get(0).v, 0.0f);
}

class LongAttributeRun : public ExportHarness {};

TEST_F(LongAttributeRun, MegabyteTextureNameIsWrittenAndReportedAsNotPlaced) {
  // A name no file system takes: the DBO file names it as read, the stage lists it, and nothing else is
  // created.
  const std::string name(kMegabyte, 'w');
  SetScene(QuadScene(1, 2,
                     "<materials><material id=\"1\"><layer type=\"texture\"><texture file=\"Bricks\\" + name +
                         "\" /></layer></material></materials>"));
  Run();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"message Tessaline|Scene correctly exported.\nThis texture could "
                                     "not be placed beside it:\nMedia\\" +
                                     name + "\n|warning"});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(report.frames.size(), 2u);
  EXPECT_EQ(report.frames[1].mesh.textureNames, std::vector<std::string>{"Media\\" + name});
  EXPECT_TRUE(fs::is_empty(Out("Media")));
  EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(LongAttributeRun, MegabyteSourcePathOfManyFoldersIsLookedUpAndMissed) {
  std::string source;
  while (source.size() < kMegabyte)
    source += "a\\";
  source += "wall.png";
  SetScene(QuadScene(1, 2,
                     "<materials><material id=\"1\"><layer type=\"texture\"><texture file=\"" + source +
                         "\" /></layer></material></materials>"));
  Run();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"message Tessaline|Scene correctly exported.\nThis texture could "
                                     "not be placed beside it:\nMedia\\wall.png\n|warning"});
  EXPECT_TRUE(fs::is_empty(Out("Media")));
}

TEST_F(LongAttributeRun, MegabyteLayerTypeFindsTheChildOfThatName) {
  const std::string type(kMegabyte, 't');
  SetScene(QuadScene(1, 2,
                     "<materials><material id=\"1\"><layer type=\"" + type + "\"><" + type +
                         " file=\"Bricks\\wall.png\" /></layer></material></materials>"));
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(ReadText(Out("Media/wall.png")), "wall image");
}

TEST_F(LongAttributeRun, MegabyteDialogTextsAreCutTo255Characters) {
  desktop_.options.sceneName = std::string(kMegabyte, 's');
  desktop_.options.textureFolder = std::string(kMegabyte, 'm');
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  for (const DboFrameInfo& frame : report.frames)
    EXPECT_EQ(frame.name, std::string(255, 's'));
  EXPECT_EQ(ReadText(Out(std::string(255, 'm') + "/wall.png")), "wall image");
}

TEST_F(LongAttributeRun, CollisionFileNameOf250CharactersIsWritten) {
  // As long a name as the file system takes: the temporary file beside it must not need a longer one.
  const std::string name = std::string(246, 'c') + ".dbo";
  WriteText(Out(name), "earlier collision file");
  desktop_.options.exportCollision = true;
  desktop_.options.collisionFileName = name;
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  EXPECT_TRUE(WalkFile(Out(name)).ok);
  EXPECT_TRUE(NoTemporaryFiles());
}

}  // namespace
}  // namespace tessaline::hardening
