// The walker accepts what the writer writes and rejects broken files with the offset of the fault.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "dbo/dbo.h"
#include "dbo_test_support.h"

namespace tessaline::testing {
namespace {

Scene TwoLayerTriangle() {
  Scene scene;
  scene.materials.push_back(Material(3, {"wall.png", "light.png"}, {BlendReplace, BlendModulate}));
  SceneVertex a = Corner(0, 0, 0), b = Corner(1, 0, 0), c = Corner(1, 1, 0);
  for (SceneVertex* v : {&a, &b, &c}) {
    v->uvSets[1] = {true, 0.5f, 0.5f};
    v->vertexSize = 40;
  }
  AddPolygon(scene, {a, b, c}, 3);
  return scene;
}

class WalkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = WriteAndWalk(BuildMain(TwoLayerTriangle(), "Level"), false, {1, 2, 3}, &report_);
  }

  // The offset of the first item with this code.
  uint64_t OffsetOf(uint32_t code) const {
    for (const DboItem& item : report_.items) {
      if (item.code == code) return item.offset;
    }
    ADD_FAILURE() << "no item " << code;
    return 0;
  }

  void SetDword(std::vector<uint8_t>& bytes, uint64_t offset, uint32_t value) {
    std::memcpy(bytes.data() + offset, &value, 4);  // the tests run little-endian
  }

  std::string ErrorOf(const std::vector<uint8_t>& bytes) {
    const DboReport report = WalkDbo(bytes);
    EXPECT_FALSE(report.ok);
    return report.error;
  }

  std::vector<uint8_t> file_;
  DboReport report_;
};

TEST_F(WalkerTest, ReportsFramesMeshesTexturesAndScale) {
  ASSERT_TRUE(report_.ok);
  ASSERT_EQ(report_.frames.size(), 2u);
  EXPECT_EQ(report_.frames[0].name, "Level");
  EXPECT_FALSE(report_.frames[0].hasMesh);
  EXPECT_EQ(report_.frames[0].scale, (std::array<float, 3>{1, 2, 3}));
  const DboFrameInfo& frame = report_.frames[1];
  EXPECT_TRUE(frame.hasMesh);
  EXPECT_EQ(frame.scale, (std::array<float, 3>{1, 2, 3}));
  EXPECT_EQ(frame.mesh.vertexFormat, 530u);
  EXPECT_EQ(frame.mesh.vertexSize, 40u);
  EXPECT_EQ(frame.mesh.vertexCount, 3u);
  EXPECT_EQ(frame.mesh.indexCount, 3u);
  EXPECT_EQ(frame.mesh.textureCount, 2u);
  EXPECT_EQ(frame.mesh.textureNames, (std::vector<std::string>{"wall.png", "light.png"}));
  EXPECT_EQ(report_.items.front().code, 1u);
  EXPECT_EQ(report_.items.front().offset, 24u);
  EXPECT_EQ(report_.items.back().code, 406u);
  EXPECT_STREQ(DboItemName(115), "MeshVertexData");
  EXPECT_STREQ(DboItemName(9999), "");
}

TEST_F(WalkerTest, RejectsEveryTruncation) {
  for (size_t length = 0; length < file_.size(); ++length) {
    const DboReport report = WalkDbo(std::vector<uint8_t>(file_.begin(), file_.begin() + length));
    ASSERT_FALSE(report.ok) << length;
    ASSERT_FALSE(report.error.empty());
  }
  file_.pop_back();
  EXPECT_EQ(ErrorOf(file_), "offset " + std::to_string(file_.size() - 7) +
                                ": file ends where the terminator closing the file should be");
}

TEST_F(WalkerTest, RejectsTruncatedVertexData) {
  const uint64_t data = OffsetOf(115);
  file_.resize(data + 8 + 100);
  EXPECT_EQ(ErrorOf(file_), "offset " + std::to_string(data + 8) + ": file ends inside the vertex data");
}

TEST_F(WalkerTest, RejectsMissingTerminator) {
  // Drop the terminator that closes the mesh item list: the frame's child item follows directly.
  const uint64_t end = OffsetOf(166) + 12;
  file_.erase(file_.begin() + static_cast<std::ptrdiff_t>(end),
              file_.begin() + static_cast<std::ptrdiff_t>(end + 8));
  EXPECT_EQ(ErrorOf(file_), "offset " + std::to_string(end) +
                                ": expected the terminator closing the mesh, found code 104 (FrameChild)");
}

TEST_F(WalkerTest, RejectsVertexSizeThatDisagreesWithTheFormat) {
  const uint64_t item = OffsetOf(112);
  SetDword(file_, item + 8, 32);
  EXPECT_EQ(ErrorOf(file_),
            "offset " + std::to_string(item + 8) + ": vertex size 32 does not match the format's 40 bytes");
}

TEST_F(WalkerTest, RejectsVertexDataOfTheWrongDeclaredSize) {
  const uint64_t item = OffsetOf(115);
  SetDword(file_, item + 4, 3 * 32);
  EXPECT_EQ(ErrorOf(file_), "offset " + std::to_string(item) +
                                ": vertex data declares 96 bytes, 3 vertices of 40 bytes take 120");
}

TEST_F(WalkerTest, RejectsIndexNotBelowVertexCount) {
  const uint64_t item = OffsetOf(116);
  file_[item + 8 + 2] = 3;  // the second index
  EXPECT_EQ(ErrorOf(file_),
            "offset " + std::to_string(item + 10) + ": index 3 is not below the vertex count 3");
}

TEST_F(WalkerTest, RejectsTrailingBytes) {
  file_.push_back(0);
  EXPECT_EQ(ErrorOf(file_),
            "offset " + std::to_string(file_.size() - 1) + ": 1 trailing byte(s) after the final terminator");
}

TEST_F(WalkerTest, RejectsWrongHeader) {
  file_[5] = 'X';
  EXPECT_EQ(ErrorOf(file_), "offset 5: not a DBO header of this format (magic, version 1, two zeros)");
  EXPECT_EQ(WalkDbo({}).error, "offset 0: file ends inside the header");
}

TEST_F(WalkerTest, RejectsContainerSizesOffTheirFormulas) {
  std::vector<uint8_t> root = file_;
  SetDword(root, 28, report_.items[0].size + 1);
  EXPECT_EQ(ErrorOf(root), "offset 24: root frame declares size " +
                               std::to_string(report_.items[0].size + 1) + ", expected " +
                               std::to_string(report_.items[0].size));

  // One frame of meshSize 40 x 3 + 6 + 345 + 527 = 998 after the root: 998 + 5 + 88 + 32.
  const uint64_t sibling = OffsetOf(105);
  SetDword(file_, sibling + 4, 8);
  EXPECT_EQ(ErrorOf(file_),
            "offset " + std::to_string(sibling) + ": frame 0 sibling declares size 8, expected 1123");
}

TEST_F(WalkerTest, RejectsTextureCountOffTheFormat) {
  const uint64_t item = OffsetOf(127);
  SetDword(file_, item + 8, 1);
  EXPECT_EQ(ErrorOf(file_), "offset " + std::to_string(item + 8) +
                                ": texture count 1 differs from the 2 texture sets of the vertex format");
}

TEST_F(WalkerTest, SurvivesCorruptedBytes) {
  std::mt19937 random(12345);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> bytes = file_;
    const int changes = 1 + round % 4;
    for (int c = 0; c < changes; ++c) {
      const size_t at = random() % bytes.size();
      bytes[at] = static_cast<uint8_t>(round % 3 == 0 ? 0xFF : random());
    }
    const DboReport report = WalkDbo(bytes);
    if (!report.ok) {
      ASSERT_EQ(report.error.rfind("offset ", 0), 0u) << report.error;
    }
  }
}

std::string FixtureError(const char* name) {
  const DboReport report =
      WalkDbo(ReadFile(std::filesystem::path(TESSALINE_SOURCE_DIR) / "tests/fixtures/dbo" / name));
  EXPECT_FALSE(report.ok);
  return report.error;
}

TEST(WalkerFixtures, RejectsBrokenTriangleFiles) {
  EXPECT_EQ(FixtureError("synthetic_triangle_fail_index_out_of_range.dbo"),
            "offset 450: index 3 is not below the vertex count 3");
  EXPECT_EQ(FixtureError("synthetic_triangle_fail_truncated.dbo"),
            "offset 342: file ends inside the vertex data");
}

}  // namespace
}  // namespace tessaline::testing
