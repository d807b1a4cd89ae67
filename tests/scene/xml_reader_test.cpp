#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "scene/scene.h"

namespace tessaline {
namespace {

std::string Document(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n" + body;
}

TEST(ReadInstallDirectory, ReturnsTheFirstTextExactlyOrEmpty) {
  const std::pair<const char*, const char*> cases[] = {
      {"<r><x><installdirectory> "
       "C:\\Deled\\&amp;\r\n</installdirectory></x><installdirectory>2</installdirectory></r>",
       " C:\\Deled\\&\r\n"},
      {"<installdirectory><x/>text</installdirectory>", ""},
      {"<installdirectory>text", ""},  // malformed: no tree
  };
  for (const auto& [body, expected] : cases)
    EXPECT_EQ(ReadInstallDirectory(Document(body)), expected) << body;
}

// Each material as "id:" and its layers, each as " name|source|blend", or " name*|blend" for a generated
// colour texture.
std::string Describe(const SceneMaterial& m) {
  std::string text = std::to_string(m.id) + ":";
  for (const TextureLayer& layer : m.layers)
    text += " " + layer.name + (layer.isFile ? "|" + layer.source : "*") + "|" + std::to_string(layer.blend);
  return text;
}

TEST(ReadSceneMaterials, AppendsEveryMaterialWithItsLayers) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      // Colour names from the integer conversion; absent components and a missing child read as 0.
      {R"(<material id="12abc"><layer type="color" blend="add"><color r="-1" g="12.7" b="+5" a="4294967297"/></layer>
          <layer type="color"><color g="7"/></layer><layer type="color"/></material>)",
       {"12: col_rgba_-1_12_5_1_.png*|2 col_rgba_0_7_0_0_.png*|0 col_rgba_0_0_0_0_.png*|0"}},
      // The file name is the trimmed last piece of the path. "lightmap" reads the texture child.
      {R"(<material id="3"><layer type="texture"><texture file="wood\ oak.jpg "/></layer><layer type="texture"><texture file="dir\"/></layer>
          <layer type="texture"><texture file="a\\b\&#9;c.png&#10;"/></layer>
          <layer type="lightmap" blend="modulate"><lightmap file="no.png"/><texture file="maps\lm1.png"/></layer></material>)",
       {"3: oak.jpg|wood\\ oak.jpg |0 dir|dir\\|0 c.png|a\\\\b\\\tc.png\n|0 lm1.png|maps\\lm1.png|3"}},
      // Blend names match exactly. A missing type, file or child gives an empty file layer; other types read
      // their own child.
      {R"(<material><layer blend="replace"><texture file="x.png"/></layer><layer blend="add"/><layer blend="modulate"/><layer blend="alphablend"/>
          <layer blend="Replace"/><layer type="texture" blend="replace "/><layer type="texture"><texture/></layer>
          <layer type="bump"><bump file="b\bump.png"/><texture file="no.png"/></layer></material>)",
       {"0: ||1 ||2 ||3 ||4 ||0 ||0 ||0 bump.png|b\\bump.png|0"}},
      // The first layer is searched in the whole subtree: the outer material also takes the inner one's.
      {R"(<material id="1"><x><material id="2"><layer type="color"><color r="9"/></layer></material></x></material>)",
       {"1: col_rgba_9_0_0_0_.png*|0", "2: col_rgba_9_0_0_0_.png*|0"}},
      // A material without layers does not take the layer just after it.
      {R"(<c><material id="1"/><layer type="color"><color r="3"/></layer></c>)", {"1:"}},
  };
  for (const auto& [body, expected] : cases) {
    const std::vector<SceneMaterial> materials = ReadScene(Document(body)).scene.materials;
    std::vector<std::string> read;
    for (const SceneMaterial& material : materials)
      read.push_back(Describe(material));
    EXPECT_EQ(read, expected) << body;
  }
}

// Reads body (after the declaration) as "status | primitiveId/materialId:corners per polygon | x of each
// corner", the status "read" or else "missing <primitive id>".
std::string Read(const std::string& body) {
  const SceneReading reading = ReadScene(Document(body));
  const Scene& scene = reading.scene;
  std::ostringstream text;
  text << (reading.status == ReadStatus::Read ? "read" : "missing " + std::to_string(reading.primitiveId))
       << " |";
  for (const ScenePolygon& p : scene.polygons)
    text << " " << p.primitiveId << "/" << p.materialId << ":" << p.vertexCount;
  text << " |";
  for (const SceneVertex& v : scene.vertices)
    text << " " << v.x;
  return text.str();
}

TEST(ReadScenePrimitives, FindsElementsLikeTheLibrarySearches) {
  struct Case {
    const char *what, *body, *read;
  } const cases[] = {
      {"positions are searched forward from the vertices element, on into later primitives; of equal ids the "
       "first counts; a position before the vertices element is not seen",
       R"(<primitives>
          <primitive id="1"><vertices><vertex id="1" x="1"/><vertex id="1" x="100"/></vertices>
            <polygons><poly mid="3"><vertex vid="5"/><vertex vid="1"/></poly></polygons></primitive>
          <primitive id="2"><vertices><vertex id="5" x="55"/></vertices>
            <polygons><poly><vertex vid="1"/><vertex vid="5"/></poly></polygons></primitive></primitives>)",
       "read | 1/3:2 2/0:2 | 55 1 0 55"},
      {"ids compare as text; a corner without vid matches only an empty id",
       R"(<primitive><vertices><vertex id="07" x="7"/><vertex id="7" x="70"/><vertex id=" 7" x="700"/><vertex id="0" x="1"/>
          <vertex id="00" x="2"/><vertex id="1048576" x="3"/><vertex x="4"/><vertex id="" x="5"/></vertices>
          <polygons><poly><vertex vid="7"/><vertex vid="07"/><vertex vid=" 7"/><vertex vid="7.0"/><vertex vid="&#55;"/>
          <vertex vid="00"/><vertex vid="0"/><vertex vid="1048576"/><vertex/><vertex vid=""/></poly></polygons></primitive>)",
       "read | 0/0:10 | 70 7 700 0 70 2 1 3 5 5"},
      {"corner elements carrying an id are found by later searches",
       R"(<primitive id="1"><vertices><vertex id="1" x="1"/></vertices>
            <polygons><poly><vertex vid="9"/></poly></polygons></primitive>
          <primitive id="2"><polygons><poly><vertex vid="1" id="9" x="42"/></poly></polygons>
            <vertices><vertex id="9" x="9"/><vertex id="1" x="10"/></vertices></primitive>)",
       "read | 1/0:1 2/0:1 | 42 10"},
      {"without text after the last child, a stray corner, poly or primitive after its parent counts",
       R"(<scene><primitives><primitive id="1"><vertices><vertex id="0" x="1"/></vertices><polygons><poly mid="1"><vertex vid="0"/></poly><vertex vid="0"/><poly mid="2"><vertex vid="0"/></poly></polygons><poly mid="3"><vertex vid="0"/></poly></primitive><x/><primitive id="2"><vertices/><polygons><poly mid="4"/></polygons></primitive></primitives></scene>)",
       "read | 1/1:2 1/2:1 1/3:1 2/4:0 | 1 1 1 1"},
      {"whitespace after the last child ends the sibling search in its own list",
       "<scene><primitives><primitive id=\"1\"><vertices><vertex id=\"0\" x=\"1\"/></vertices>\n"
       "<polygons><poly mid=\"1\"><vertex vid=\"0\"/>\n</poly><vertex vid=\"0\"/><poly mid=\"2\">"
       "<vertex vid=\"0\"/>\n</poly>\n</polygons><poly mid=\"3\"><vertex vid=\"0\"/></poly>\n</primitive>"
       "<x/><primitive id=\"2\"><vertices/><polygons><poly mid=\"4\"/></polygons></primitive>\n"
       "</primitives></scene>",
       "read | 1/1:1 1/2:1 2/4:0 | 1 1"},
      {"a primitive without polygons after it ends reading; earlier records stay",
       R"(<primitive id="1"><vertices><vertex id="0"/></vertices><polygons><poly><vertex vid="0"/></poly></polygons></primitive>
          <primitive id="2"><vertices><vertex id="0"/></vertices></primitive><primitive id="3"><vertices/></primitive>)",
       "missing 2 | 1/0:1 | 0"},
      {"a primitive without lists of its own uses the next ones in the document",
       R"(<primitive id="1"/><primitive id="2"><vertices/><polygons><poly/><poly/></polygons></primitive>)",
       "read | 1/0:0 1/0:0 2/0:0 2/0:0 |"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Read(c.body), c.read) << c.what;
}

// "x y z | slot:u,v ... | vertexSize", listing the present texture-coordinate slots.
std::string Describe(const SceneVertex& v) {
  std::ostringstream text;
  text << v.x << " " << v.y << " " << v.z << " |";
  for (int slot = 0; slot < 4; ++slot) {
    const UvSet set = v.uvSets.Get(slot);
    if (set.present) text << " " << slot << ":" << set.u << "," << set.v;
  }
  text << " | " << v.vertexSize;
  return text.str();
}

TEST(ReadScenePrimitives, ReadsCoordinatesAndTextureSlots) {
  const std::string body =
      R"(<primitive><vertices><vertex id="0" x="1" y="2" z="2.5"/><vertex id="1" x="3" y="-0"/></vertices>
    <polygons><poly><vertex vid="1"/><vertex vid="0" v1="9" u3="7"/>
    <vertex vid="0" u0="1" v0="2" u1="3" v1="4" u2="5" v2="6" u3="7" v3="8"/></poly></polygons></primitive>)";
  const std::vector<SceneVertex> corners = ReadScene(Document(body)).scene.vertices;
  ASSERT_EQ(corners.size(), 3u);
  EXPECT_EQ(Describe(corners[0]), "3 -0 -0 | 0:0,0 | 32");         // absent z and uv; slot 0 always present
  EXPECT_EQ(Describe(corners[1]), "1 2 -2.5 | 0:0,0 3:7,0 | 40");  // v1 without u1 does not count
  EXPECT_EQ(Describe(corners[2]), "1 2 -2.5 | 0:1,2 1:3,4 2:5,6 3:7,8 | 56");
}

}  // namespace
}  // namespace tessaline
