// The options dialog's rules: what OK stores and how scale texts are read; the host's error texts.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "plugin/plugin.h"

namespace tessaline {
namespace {

// Decimal reading itself (and its locale independence) is the number parser's; here only what the scale
// adds: unusable factors (zero, negative, non-finite once rounded to float) fall back to 1.
TEST(ReadScale, ReadsDecimalNumbersAndFallsBackToOneForUnusableValues) {
  const std::pair<const char*, float> cases[] = {{" 2.5xyz", 2.5f}, {"2,5", 2.0f}, {"-2", 1.0f},
                                                 {"0", 1.0f},       {"abc", 1.0f}, {"1e-50", 1.0f},
                                                 {"1e39", 1.0f}};
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(ReadScale(text), expected) << text;
}

TEST(OptionsDialog, OkStoresOnlyTheChoicesThatApply) {
  // Textures on, collision on, one big object, the file name typed; the mode and file name stored.
  const std::tuple<bool, bool, bool, CollisionMode, const char*, const char*> cases[] = {
      {true, true, false, CollisionMode::PerObject, "x.dbo", "x.dbo"},
      {true, true, true, CollisionMode::OneBigObject, "", ""},
      {false, false, true, CollisionMode::None, "x.dbo",
       ""},  // unchecked: the radio choice and the file name are ignored
  };
  for (const auto& [textures, collision, oneBig, mode, typed, stored] : cases) {
    OptionsControls controls;
    controls.exportTextures = textures;
    controls.exportCollision = collision;
    controls.oneBigObject = oneBig;
    controls.collisionFileName = typed;
    const ExportSettings s = SettingsFromControls(controls);
    EXPECT_EQ(s.collisionMode, mode) << typed;
    EXPECT_EQ(s.collisionFileName, stored);
    EXPECT_EQ(s.textureFolder, textures ? "Media" : "");  // the folder is ignored when textures are off
  }
}

TEST(OptionsDialog, EditTextsAreCutAt255Characters) {
  OptionsControls controls;
  controls.sceneName = std::string(300, 'n');
  controls.textureFolder = std::string(256, 'f');
  controls.sceneName[10] = 'X';
  const ExportSettings s = SettingsFromControls(controls);
  EXPECT_EQ(s.sceneName, std::string(10, 'n') + "X" + std::string(244, 'n'));
  EXPECT_EQ(s.textureFolder, std::string(255, 'f'));
}

TEST(HostProtocol, CallbackErrorTexts) {
  const std::pair<uint32_t, const char*> known[] = {
      {1, "No Data present."},       {4, "Invalid GetData Command."},  {8, "Invalid Data Property."},
      {11, "Error in Object Data."}, {98, "Unknown Callback Reason."}, {99, "Unknown Error."},
      {9, "Unknown Error Code."},
  };
  for (const auto& [code, text] : known)
    EXPECT_EQ(CallbackErrorText(code), "Error Code " + std::to_string(code) + ": " + text);
}

}  // namespace
}  // namespace tessaline
