// Answers that are not well-formed XML: cut short, broken in the middle, or holding a NUL. Reading never
// crashes; a text the parser rejects reads as nothing, and the export ends with an error.
#include <gtest/gtest.h>
#include <mxml.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace tessaline::hardening {
namespace {

// Reads an answer the way the export run does, with the declaration in front. The one pass must reject
// exactly the texts that Mini-XML's tree parser rejects: every answer read here is checked for that.
// Returns whether the geometry was found missing, the counts of
// materials, polygons, corners and polygon elements, and a fold of the content: all zero for nothing.
std::vector<size_t> ReadAnswer(const std::string& answer) {
  const std::string text = kXmlDeclaration + answer;
  mxml_node_t* tree = nullptr;
  SceneReading reading;
  Quietly([&] {
    tree = mxmlLoadString(nullptr, text.c_str(), MXML_OPAQUE_CALLBACK);
    reading = ReadScene(std::string(text));
  });
  EXPECT_EQ(reading.status == ReadStatus::Unparsable, tree == nullptr) << text;
  mxmlDelete(tree);
  const Scene& scene = reading.scene;
  size_t content = 0;  // the corners' positions and the polygons' materials, folded into one number
  for (const SceneVertex& vertex : scene.vertices)
    content = content * 31 + std::bit_cast<uint32_t>(vertex.z) + std::bit_cast<uint32_t>(vertex.x);
  for (const ScenePolygon& polygon : scene.polygons)
    content = content * 31 + static_cast<uint32_t>(polygon.materialId);
  return {reading.status == ReadStatus::MissingGeometry,
          scene.materials.size(),
          scene.polygons.size(),
          scene.vertices.size(),
          scene.polygonCount,
          content};
}
const std::vector<size_t> kNothing = {0, 0, 0, 0, 0, 0};

TEST(MalformedAnswer, WhatTheParserRejectsReadsAsNothingAndTheRestAsItTakesIt) {
  const std::string answer = Fixture("synthetic_two_primitives.xml");
  const std::vector<size_t> whole = ReadAnswer(answer);
  ASSERT_EQ(std::vector<size_t>(whole.begin(), whole.end() - 1), (std::vector<size_t>{0, 2, 3, 10, 3}));
  // Before the root's closing tag every cut leaves an element open (or a tag, attribute or comment
  // unfinished), which the parser rejects as a whole. The parser takes a closing tag cut off at the end of
  // the text, so the document is whole from "</scene" on.
  const size_t rootClosed = answer.rfind("</scene>") + 7;
  for (size_t cut = 0; cut <= answer.size(); ++cut) {
    const std::vector<size_t> read = ReadAnswer(answer.substr(0, cut));
    EXPECT_EQ(read, cut < rootClosed ? kNothing : whole) << "cut at " << cut;
  }
  // Each fixture is a well-formed scene with one fault that the parser rejects.
  for (const char* name : {"unclosed_root", "mismatched_close", "unknown_entity", "stray_angle_bracket",
                           "unclosed_comment", "entity_expansion", "windows1252_mismatched_close"}) {
    const std::string broken = Fixture("answer_fail_" + std::string(name) + ".xml");
    ASSERT_FALSE(broken.empty()) << name;
    EXPECT_EQ(ReadAnswer(broken), kNothing) << name;
  }
  // Behind the declaration the parser takes any number of top-level elements. Materials are found in
  // document order everywhere; primitives only as following siblings of the first one, and the second
  // root's primitives element is none of those. The parser takes mid=1 as mid="1".
  const std::vector<size_t> twice = ReadAnswer(answer + answer);
  EXPECT_EQ(std::vector<size_t>(twice.begin(), twice.end() - 1), (std::vector<size_t>{0, 4, 3, 10, 3}));
  EXPECT_EQ(ReadAnswer(Fixture("synthetic_unquoted_attribute.xml")), whole);
}

using MalformedAnswerRun = ExportHarness;

// An answer the parser rejects, or with a primitive without geometry, is an error and writes nothing. The
// answer ends at its first NUL: what follows
// it is never read, even when it would complete the text. Without a NUL it ends at the size the host
// announced.
TEST_F(MalformedAnswerRun, BrokenAnswersWriteNothingAndAnswersEndAtTheirFirstNul) {
  const std::string scene = Fixture("synthetic_two_primitives.xml");
  const std::string nul(1, '\0');
  const size_t vid = scene.find("vid=\"1\"") + 5;  // inside the quotes
  const struct {
    std::string answer;
    size_t announced;  // 0: the whole answer and its NUL
    std::string message;
    size_t frames;  // of the file written; 0: none
  } cases[] = {
      {"<scene><primitives><primitive id=\"12\"><vertices/></primitive></primitives></scene>", 0,
       "message Tessaline|The primitive with id 12 has no polygons or no vertices. Nothing was "
       "exported.\n|error",
       0},
      {scene + nul + "<scene><materials><material id=\"9\">", 0, kSuccess, 3},
      {scene.substr(0, vid) + nul + scene.substr(vid), 0, kUnreadable, 0},
      {nul + scene, 0, kSuccess, 1},
      {scene + "<trailing>", scene.size(), kSuccess, 3},
  };
  for (const auto& c : cases) {
    fs::remove(Out("level.dbo"));
    SetScene(c.answer);
    host_.announcedSizes[kSceneAllRequest] =
        static_cast<uint32_t>(c.announced ? c.announced : c.answer.size() + 1);
    Quietly([this] { Run(); });
    EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
    EXPECT_EQ(std::ranges::count(desktop_.calls, "save"), c.frames != 0);
    EXPECT_EQ(WalkFile(Out("level.dbo")).frames.size(), c.frames);  // none when there is no file
  }
}

}  // namespace
}  // namespace tessaline::hardening
