// Answers that are not well-formed XML: cut short, broken in the middle, or holding a NUL. Reading never
// crashes; a text the parser rejects reads as nothing, and the export ends with an error.
#include <gtest/gtest.h>
#include <mxml.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace tessaline::hardening {
namespace {

struct ReadResult {
  std::string installDirectory;
  std::vector<SceneMaterial> materials;
  std::vector<ScenePolygon> polygons;
  std::vector<SceneVertex> vertices;
  uint32_t polygonCount = 0;
  ReadStatus status = ReadStatus::Unparsable;
};

// Reads an answer the way the export run does, with the declaration in front. The one pass must reject
// exactly the texts that Mini-XML's tree parser rejects: every answer read here is checked for that.
ReadResult ReadAnswer(const std::string& answer) {
  const std::string text = kXmlDeclaration + answer;
  ReadResult result;
  QuietStderr quiet;
  mxml_node_t* tree = mxmlLoadString(nullptr, text.c_str(), MXML_OPAQUE_CALLBACK);
  result.installDirectory = ReadInstallDirectory(text);
  SceneReading reading = ReadScene(std::string(text));
  EXPECT_EQ(reading.status == ReadStatus::Unparsable, tree == nullptr) << text;
  mxmlDelete(tree);
  result.status = reading.status;
  result.materials = std::move(reading.scene.materials);
  result.polygons = std::move(reading.scene.polygons);
  result.vertices = std::move(reading.scene.vertices);
  result.polygonCount = reading.scene.polygonCount;
  return result;
}

bool IsEmptyScene(const ReadResult& result) {
  return result.status != ReadStatus::MissingGeometry && result.materials.empty() &&
         result.polygons.empty() && result.vertices.empty() && result.polygonCount == 0 &&
         result.installDirectory.empty();
}

bool IsWholeScene(const ReadResult& result, const ReadResult& whole) {
  if (result.status != ReadStatus::Read) return false;
  if (result.materials.size() != whole.materials.size() || result.polygons.size() != whole.polygons.size() ||
      result.vertices.size() != whole.vertices.size() || result.polygonCount != whole.polygonCount) {
    return false;
  }
  for (size_t i = 0; i < whole.materials.size(); ++i) {
    if (result.materials[i].layers != whole.materials[i].layers) return false;
  }
  for (size_t i = 0; i < whole.vertices.size(); ++i) {
    if (result.vertices[i].z != whole.vertices[i].z) return false;
  }
  return true;
}

TEST(TruncatedAnswer, EveryCutReadsAsNothingUntilTheRootIsClosed) {
  const std::string answer = Fixture("synthetic_two_primitives.xml");
  ASSERT_FALSE(answer.empty());
  const ReadResult whole = ReadAnswer(answer);
  ASSERT_EQ(whole.materials.size(), 2u);
  ASSERT_EQ(whole.polygonCount, 3u);
  ASSERT_EQ(whole.vertices.size(), 10u);

  // Before the root's closing tag every cut leaves an element open (or a tag, attribute or comment
  // unfinished), which the parser rejects as a whole. The parser takes a closing tag cut off at the end of
  // the text, so the document is whole from "</scene" on.
  const size_t rootClosed = answer.rfind("</scene>") + 7;
  for (size_t cut = 0; cut <= answer.size(); ++cut) {
    const ReadResult result = ReadAnswer(answer.substr(0, cut));
    if (cut < rootClosed) {
      EXPECT_TRUE(IsEmptyScene(result))
          << "cut at " << cut << ": ..." << answer.substr(cut > 30 ? cut - 30 : 0, cut > 30 ? 30 : cut);
    } else {
      EXPECT_TRUE(IsWholeScene(result, whole)) << "cut at " << cut;
    }
  }
}

TEST(TruncatedAnswer, CutsThroughALargeSceneNeverCrash) {
  // Cuts at pseudo-random points of a scene with many primitives: the same all-or-nothing result, also
  // for cuts inside long runs of sibling elements.
  const std::string answer = QuadScene(5, 20);
  std::mt19937 random(6);
  std::uniform_int_distribution<size_t> position(0, answer.size() - 1);
  for (int i = 0; i < 100; ++i) {
    const size_t cut = position(random);
    EXPECT_TRUE(IsEmptyScene(ReadAnswer(answer.substr(0, cut)))) << "cut at " << cut;
  }
}

// Each fixture is a well-formed scene with one fault that the parser rejects: nothing is read from it.
TEST(MalformedAnswer, RejectedDocumentsReadAsAnEmptyScene) {
  const char* const fixtures[] = {
      "answer_fail_unclosed_root.xml",
      "answer_fail_mismatched_close.xml",
      "answer_fail_unknown_entity.xml",
      "answer_fail_stray_angle_bracket.xml",
      "answer_fail_unclosed_comment.xml",
      "answer_fail_entity_expansion.xml",
      "answer_fail_windows1252_mismatched_close.xml",
  };
  for (const char* name : fixtures) {
    SCOPED_TRACE(name);
    const std::string answer = Fixture(name);
    ASSERT_FALSE(answer.empty());
    EXPECT_TRUE(IsEmptyScene(ReadAnswer(answer)));
  }
}

TEST(MalformedAnswer, RandomBytesReadAsAnEmptySceneOrWithoutFault) {
  std::mt19937 random(42);
  std::uniform_int_distribution<int> byte(1, 255);  // the run never hands over a NUL
  for (int i = 0; i < 300; ++i) {
    std::string answer(static_cast<size_t>(i * 7), '\0');
    for (char& c : answer)
      c = static_cast<char>(byte(random));
    // Random bytes after an opening tag: whatever the parser makes of them, reading finishes.
    ReadAnswer("<scene><primitive id=\"0\">" + answer);
    ReadAnswer(answer);
  }
}

TEST(MalformedAnswer, SecondRootElementGivesItsMaterialsButNotItsPrimitives) {
  // Behind the declaration the parser takes any number of top-level elements. Materials are found in
  // document order everywhere; primitives only as following siblings of the first one, and the second
  // root's primitives element is none of those.
  const std::string answer = Fixture("synthetic_two_primitives.xml");
  const ReadResult result = ReadAnswer(answer + answer);
  EXPECT_EQ(result.materials.size(), 4u);
  EXPECT_EQ(result.polygonCount, 3u);
}

TEST(MalformedAnswer, UnquotedAttributeValueIsAccepted) {
  // The parser takes mid=1 as mid="1": the scene reads as if it were quoted.
  EXPECT_TRUE(IsWholeScene(ReadAnswer(Fixture("synthetic_unquoted_attribute.xml")),
                           ReadAnswer(Fixture("synthetic_two_primitives.xml"))));
}

// Whole runs over an answer the parser rejects.
class MalformedAnswerRun : public ExportHarness {};

TEST_F(MalformedAnswerRun, RejectedAnswerIsAnErrorAndWritesNothing) {
  SetScene(Fixture("answer_fail_mismatched_close.xml"));
  RunQuietly();
  EXPECT_EQ(Messages(), std::vector<std::string>{kUnreadable});
  EXPECT_FALSE(Saved());
  EXPECT_FALSE(fs::exists(Out("level.dbo")));
  EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(MalformedAnswerRun, PrimitiveWithoutPolygonsIsNamedAndNothingIsWritten) {
  SetScene("<scene><primitives><primitive id=\"12\"><vertices/></primitive></primitives></scene>");
  Run();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"message Tessaline|The primitive with id 12 has no polygons or "
                                     "no vertices. Nothing was exported.\n|error"});
  EXPECT_FALSE(Saved());
}

TEST_F(MalformedAnswerRun, CutAnswersNeverCrashTheRunNorPassForScenes) {
  const std::string answer = Fixture("synthetic_two_primitives.xml");
  for (size_t cut = 0; cut < answer.size(); cut += 97) {
    SCOPED_TRACE(cut);
    desktop_.calls.clear();
    fs::remove(Out("level.dbo"));
    SetScene(answer.substr(0, cut));
    RunQuietly();
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    if (messages[0] == kUnreadable) {
      EXPECT_FALSE(fs::exists(Out("level.dbo")));
    } else {
      // Only a cut that leaves well-formed text (nothing but the declaration) exports, as an empty scene.
      EXPECT_EQ(messages[0], kSuccess);
      const DboReport report = WalkFile(Out("level.dbo"));
      EXPECT_TRUE(report.ok) << report.error;
      EXPECT_EQ(report.frames.size(), 1u);
    }
  }
}

// The answer ends at its first NUL: what follows it is never read, even when it would complete the text.
class NulInAnswer : public ExportHarness {
 protected:
  void SetAnswer(const std::string& answer) {
    SetScene(answer);
    host_.announcedSizes[kSceneAllRequest] = static_cast<uint32_t>(answer.size() + 1);
  }
};

TEST_F(NulInAnswer, TextAfterTheNulIsIgnored) {
  const std::string scene = Fixture("synthetic_two_primitives.xml");
  SetAnswer(scene + std::string(1, '\0') + "<scene><materials><material id=\"9\">");
  RunQuietly();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  EXPECT_EQ(report.frames.size(), 3u);  // root and one mesh per material
}

TEST_F(NulInAnswer, NulInsideTheSceneCutsItShort) {
  const std::string scene = Fixture("synthetic_two_primitives.xml");
  const size_t middle = scene.find("<primitives");
  SetAnswer(scene.substr(0, middle) + std::string(1, '\0') + scene.substr(middle));
  RunQuietly();
  // The cut-off scene does not parse: an error, and no file.
  EXPECT_EQ(Messages(), std::vector<std::string>{kUnreadable});
  EXPECT_FALSE(fs::exists(Out("level.dbo")));
}

TEST_F(NulInAnswer, NulInsideAnAttributeCutsTheAnswerThere) {
  // A vid cut by a NUL inside its quotes: the text ends in an open attribute value, so nothing is read.
  const std::string scene = Fixture("synthetic_two_primitives.xml");
  const size_t vid = scene.find("vid=\"1\"") + 5;
  SetAnswer(scene.substr(0, vid) + std::string(1, '\0') + scene.substr(vid));
  RunQuietly();
  EXPECT_EQ(Messages(), std::vector<std::string>{kUnreadable});
  EXPECT_FALSE(fs::exists(Out("level.dbo")));
}

TEST_F(NulInAnswer, LeadingNulGivesAnEmptyAnswer) {
  SetAnswer(std::string(1, '\0') + Fixture("synthetic_two_primitives.xml"));
  RunQuietly();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(WalkFile(Out("level.dbo")).frames.size(), 1u);
}

TEST_F(NulInAnswer, AnswerWithoutNulEndsAtTheAnnouncedSize) {
  // The host announces fewer bytes than its text holds: only those are read, and no NUL is needed.
  const std::string scene = Fixture("synthetic_two_primitives.xml");
  SetScene(scene + "<trailing>");
  host_.announcedSizes[kSceneAllRequest] = static_cast<uint32_t>(scene.size());
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(WalkFile(Out("level.dbo")).frames.size(), 3u);
}

}  // namespace
}  // namespace tessaline::hardening
