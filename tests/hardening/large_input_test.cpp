// Inputs nested far deeper than an editor sends: 100,000 levels. Nothing here may recurse per nesting level.
#include <gtest/gtest.h>
#include <pthread.h>

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
    std::string answer, message;
    size_t frames;  // of the file written; 0: the earlier file is kept
  } cases[] = {
      {Nested("g", "<g>", QuadScene(1, 2)), kSuccess, 3},
      {QuadScene(1, 2, materials), kSuccess, 2},  // the quad of material 2 has no record
      {Nested("g", "<g>", QuadScene(1, 2), false), kUnreadable, 0},
  };
  for (const auto& c : cases) {
    WriteText(Out("level.dbo"), "earlier export");
    SetScene(c.answer);
    OnSmallStack([this] { Quietly([this] { Run(); }); });
    EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
    EXPECT_EQ(WalkFile(Out("level.dbo")).frames.size(), c.frames);
    EXPECT_EQ(ReadText(Out("level.dbo")) == "earlier export", c.frames == 0);
  }
  EXPECT_TRUE(fs::exists(Out("Media/col_rgba_5_6_7_8_.png")));
}

}  // namespace
}  // namespace tessaline::hardening
