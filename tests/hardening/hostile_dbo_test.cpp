// inspect on hostile and huge DBO files: what it prints stays safe to show and linear in the file, sizes
// past 32 bits are faults, and neither an odd path nor running out of memory ends in an abort.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/dbo_report.h"
#include "dbo/dbo_test_support.h"
#include "hardening_support.h"

namespace tessaline::hardening {
namespace {

using tessaline::testing::AddPolygon;
using tessaline::testing::Build;
using tessaline::testing::Corner;
using tessaline::testing::Material;

struct Printed {
  int status = 0;
  std::string out, err;
};

// A fresh folder (the export harness's) to write DBO files into and inspect them.
class HostileDbo : public ExportHarness {
 protected:
  fs::path Write(const std::string& name, const PackedModel& object, bool collision) {
    const std::vector<uint8_t> bytes = testing::WriteAndWalk(object, collision).bytes;
    WriteText(root_ / name, std::string(bytes.begin(), bytes.end()));
    return root_ / name;
  }

  static Printed Inspect(const fs::path& path, InspectView view) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = InspectFile(path.string(), view, stdout, stderr);
    std::fflush(stdout);
    std::string out = ::testing::internal::GetCapturedStdout();
    return {status, std::move(out), ::testing::internal::GetCapturedStderr()};
  }
};

TEST_F(HostileDbo, NamesShowAsUtf8WithControlCharactersEscaped) {
  // A frame name in Windows-1252 holding a screen-clearing escape; a texture name with an undefined byte.
  Scene scene;
  scene.materials.push_back(Material(1, {"Media\\t\x81.png"}));
  // A corner at infinity: shown as stored in the summary, null in JSON.
  AddPolygon(scene, {Corner(0, 0, 0), Corner(1, 0, 0), Corner(std::numeric_limits<float>::infinity(), 1, 0)},
             1);
  const fs::path file =
      Write("names.dbo", Build(scene, MeshRouting::ByMaterial, "B\366den\200\033[2J"), false);
  const struct {
    InspectView view;
    std::vector<std::string> shown;
  } cases[] = {
      {InspectView::Summary,
       {"\"B\303\266den\342\202\254\\x1B[2J\"", "not found  Media\\t\\u0081.png", "max inf 1 0"}},
      {InspectView::Json,
       {"\"B\303\266den\342\202\254\\u001b[2J\"", "\"Media\\\\t\xc2\x81.png\"",
        "\"max\": [\n      null,\n      1.0,", "\"triangleCount\": 1,"}},
  };
  for (const auto& [view, shown] : cases) {
    const Printed printed = Inspect(file, view);
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(printed.out.find('\x1b'), std::string::npos) << printed.out;
    for (const std::string& text : shown)
      EXPECT_NE(printed.out.find(text), std::string::npos) << text << " not in\n" << printed.out;
  }
}

// A per-object collision file of 2,000 frames: one triangle each, the frame chain 2,001 deep.
PackedModel DeepChain() {
  Scene scene;
  for (int k = 0; k < 2000; ++k)
    AddPolygon(scene, {Corner(0, 0, 0), Corner(1, 0, 0), Corner(1, 1, 0)}, 1, k);
  return Build(scene, MeshRouting::ByPrimitive);
}

TEST_F(HostileDbo, DeepFrameChainsPrintInLinesOfBoundedWidth) {
  const fs::path file = Write("deep.dbo", DeepChain(), true);
  const Printed printed = Inspect(file, InspectView::Tree);
  ASSERT_EQ(printed.status, 0) << printed.err;
  std::istringstream lines(printed.out);
  size_t widest = 0;
  for (std::string line; std::getline(lines, line);)
    widest = std::max(widest, line.size());
  EXPECT_LE(widest, std::max<size_t>(100, file.string().size() + 20));  // a line may name the file
  EXPECT_NE(printed.out.find("\n                101 FrameName"), std::string::npos);  // depth 8
  EXPECT_NE(printed.out.find("\n                (depth 9) 101 FrameName"), std::string::npos);
  EXPECT_NE(printed.out.find("(depth 2001) 108 FrameScale"), std::string::npos);
}

TEST_F(HostileDbo, MeshOfExactly65536VerticesIsAcceptedWithAWarning) {
  for (uint32_t count : {65535u, 65536u}) {
    MeshRecord mesh = MeshFromMaterial(CollisionMaterial());
    mesh.vertices.assign(count, Corner(0, 0, 0));
    mesh.indices = {0, 1, 2};
    std::vector<MeshRecord> meshes;
    meshes.push_back(std::move(mesh));
    const Printed printed =
        Inspect(Write("big.dbo", PackMeshes(std::move(meshes), "Big"), true), InspectView::Summary);
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(printed.err.find(
                  "frame 1 has a mesh of 65536 vertices: it draws only without shared vertex buffers") !=
                  std::string::npos,
              count == 65536)
        << printed.err;
  }
}

TEST_F(HostileDbo, FilesThatCannotBeWalkedSayWhyInJson) {
  // Vertex data of 65,536 vertices of 65,536 bytes: exactly 2^32 bytes, which a 32-bit size field holds as
  // 0. The file is sparse, so its 4 GiB cost no disk.
  testing::Bytes head;
  head.Raw({8, 0, 0, 0, 'M', 'A', 'G', 'I', 'C', 'D', 'B', 'O', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  head.Item(1, 0);
  for (int frame = 0; frame < 2; ++frame) {
    head.NameItem(101, "").Item(102, 64).Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    if (frame == 0) head.EmptyItem(103).EmptyItem(104).Item(105, 0);
  }
  head.Item(103, 0).DwordItem(111, 8189 << 8 | 18).DwordItem(112, 65536).DwordItem(113, 65536);
  head.DwordItem(114, 3).DwordItem(138, 0).Item(115, 0);
  const uint64_t dataOffset = head.data.size() - 8;
  WriteText(root_ / "wrapped.dbo", std::string(head.data.begin(), head.data.end()));
  fs::resize_file(root_ / "wrapped.dbo", (uint64_t{1} << 32) + 4096);

  const auto expectJson = [](const fs::path& path, const std::string& error, const std::string& offset) {
    const Printed printed = Inspect(path, InspectView::Json);
    EXPECT_EQ(printed.status, 1);
    EXPECT_EQ(printed.out, "{\n  \"file\": \"" + path.string() + "\",\n  \"ok\": false,\n  \"error\": \"" +
                               error + "\",\n  \"offset\": " + offset + "\n}\n");
  };
  expectJson(
      root_ / "wrapped.dbo",
      "vertex data declares 0 bytes, 65536 vertices of 65536 bytes take 4294967296, more than a 32-bit "
      "size holds",
      std::to_string(dataOffset));
  expectJson(root_, "it is a directory, not a DBO file", "null");
}

TEST_F(HostileDbo, RunningOutOfMemoryIsAnErrorNotAnAbort) {
  if (kUnderAddressSanitizer) GTEST_SKIP() << "AddressSanitizer needs an unlimited address space";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const fs::path file = Write("deep.dbo", DeepChain(), true);
  // Room for the mapped file and a little more, not for the walker's list of 2,000 frames' items.
  const size_t room = fs::file_size(file) + (size_t{1} << 20);
  auto child = [&] {
    const rlimit limit{AddressSpaceInUse() + room, AddressSpaceInUse() + room};
    setrlimit(RLIMIT_AS, &limit);
    std::_Exit(InspectFile(file.string(), InspectView::Tree, std::fopen("/dev/null", "w"), stderr));
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(1), "out of memory while inspecting");
}

}  // namespace
}  // namespace tessaline::hardening
