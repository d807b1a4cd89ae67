// Inputs nested far deeper than an editor sends: 100,000 levels. Nothing here may recurse per nesting level.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdint>
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

std::string Nested(const std::string& name, const std::string& open, const std::string& inner,
                   bool closed = true) {
  std::string xml;
  for (int i = 0; i < kDepth; ++i)
    xml += open;
  xml += inner;
  for (int i = 0; closed && i < kDepth; ++i)
    xml += "</" + name + ">";
  return xml;
}

using LargeInputRun = ExportHarness;

TEST_F(LargeInputRun, DeepNestingExportsOrFailsWithoutRecursing) {
  // A scene below 100,000 elements; 100,000 nested materials, whose layer searches all run through their
  // subtrees to the innermost layer, so the first one with id 1 takes its polygons; and the same depth
  // unclosed, which the parser gives up on at the end, keeping the earlier file.
  const std::string materials =
      Nested("material", "<material id=\"1\">",
             "<layer type=\"color\"><color r=\"5\" g=\"6\" b=\"7\" a=\"8\" /></layer>");
  const struct {
    std::string answer;
    std::string message;
    std::vector<uint32_t> vertexCounts;  // per mesh frame; none when no file is written
  } cases[] = {
      {Nested("g", "<g>", QuadScene(1, 2)), kSuccess, {4, 4}},
      {QuadScene(1, 2, materials), kSuccess, {4}},  // the quad of material 2 has no record
      {Nested("g", "<g>", QuadScene(1, 2), false), kUnreadable, {}},
  };
  for (const auto& c : cases) {
    WriteText(Out("level.dbo"), "earlier export");
    SetScene(c.answer);
    OnSmallStack([&] { RunQuietly(); });
    EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
    if (c.vertexCounts.empty()) {
      EXPECT_EQ(ReadText(Out("level.dbo")), "earlier export");
      continue;
    }
    const DboReport report = Walk("level.dbo", c.vertexCounts.size() + 1);
    for (size_t k = 0; k < c.vertexCounts.size(); ++k)
      EXPECT_EQ(report.frames[k + 1].mesh.vertexCount, c.vertexCounts[k]);
  }
  EXPECT_TRUE(fs::exists(Out("Media/col_rgba_5_6_7_8_.png")));
}

}  // namespace
}  // namespace tessaline::hardening
