// The options dialog's rules: start values, what OK stores, and how scale texts are read.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "plugin/plugin.h"

namespace tessaline {
namespace {

TEST(ReadScale, ReadsDecimalNumbersAndFallsBackToOneForUnusableValues) {
  struct Case {
    const char* text;
    float expected;
  } cases[] = {
      {"1.0", 1.0f},  {" 2.5xyz", 2.5f}, {"1e2", 100.0f}, {"-2", 1.0f}, {"0", 1.0f},
      {"abc", 1.0f},  {"", 1.0f},        {"1e-50", 1.0f}, {"-0", 1.0f}, {"1e999", 1.0f},
      {"1e39", 1.0f}, {"inf", 1.0f},     {"nan", 1.0f},   {"+3", 3.0f}, {".5", 0.5f},
      {"0.1", 0.1f},  {"\t\n7", 7.0f},   {"2,5", 2.0f},   {"1e", 1.0f}, {"3e+1x", 30.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReadScale(c.text), c.expected);
  }
}

TEST(ReadScale, DoesNotDependOnTheProcessLocale) {
  // A locale with a decimal comma, when the machine has one; the result must not change either way.
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  EXPECT_EQ(ReadScale("2.5"), 2.5f);
  EXPECT_EQ(ReadScale("2,5"), 2.0f);
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(OptionsDialog, StartValues) {
  const ExportSettings s = StartSettings();
  EXPECT_TRUE(s.allObjects);
  EXPECT_TRUE(s.exportTextures);
  EXPECT_EQ(s.sceneName, "DeleDExported");
  EXPECT_EQ(s.textureFolder, "Media");
  EXPECT_EQ(s.collisionMode, CollisionMode::None);
  EXPECT_EQ(s.collisionFileName, "");
  EXPECT_EQ(s.scaleX, 1.0f);
  EXPECT_EQ(s.scaleY, 1.0f);
  EXPECT_EQ(s.scaleZ, 1.0f);
}

TEST(OptionsDialog, OkWithUntouchedControlsGivesTheDefaults) {
  const ExportSettings s = SettingsFromControls(OptionsControls{});
  EXPECT_TRUE(s.allObjects);
  EXPECT_EQ(s.sceneName, "DeleDExported");
  EXPECT_TRUE(s.exportTextures);
  EXPECT_EQ(s.textureFolder, "Media");
  EXPECT_EQ(s.collisionMode, CollisionMode::None);
  EXPECT_EQ(s.collisionFileName, "");
}

TEST(OptionsDialog, FolderIsIgnoredWhenTexturesAreOff) {
  OptionsControls controls;
  controls.exportTextures = false;
  const ExportSettings s = SettingsFromControls(controls);
  EXPECT_FALSE(s.exportTextures);
  EXPECT_EQ(s.textureFolder, "");
}

TEST(OptionsDialog, CollisionModesAndFileName) {
  OptionsControls controls;
  controls.exportCollision = true;
  controls.oneBigObject = false;
  ExportSettings s = SettingsFromControls(controls);
  EXPECT_EQ(s.collisionMode, CollisionMode::PerObject);
  EXPECT_EQ(s.collisionFileName, "collision.dbo");

  controls.oneBigObject = true;
  controls.collisionFileName = "";
  s = SettingsFromControls(controls);
  EXPECT_EQ(s.collisionMode, CollisionMode::OneBigObject);
  EXPECT_EQ(s.collisionFileName, "");

  // Unchecking collision again: the radio choice and the file name are ignored.
  controls.exportCollision = false;
  controls.collisionFileName = "x.dbo";
  s = SettingsFromControls(controls);
  EXPECT_EQ(s.collisionMode, CollisionMode::None);
  EXPECT_EQ(s.collisionFileName, "");
}

TEST(OptionsDialog, EditTextsAreCutAt255Characters) {
  OptionsControls controls;
  controls.sceneName = std::string(300, 'n');
  controls.textureFolder = std::string(256, 'f');
  controls.sceneName[10] = 'X';
  const ExportSettings s = SettingsFromControls(controls);
  EXPECT_EQ(s.sceneName.size(), 255u);
  EXPECT_EQ(s.sceneName[10], 'X');
  EXPECT_EQ(s.textureFolder, std::string(255, 'f'));
  EXPECT_EQ(SettingsFromControls(OptionsControls{.sceneName = ""}).sceneName, "");
}

TEST(CallbackErrors, TextsNameTheCodeAndItsDescription) {
  EXPECT_EQ(CallbackErrorText(1), "Error Code 1: No Data present.");
  EXPECT_EQ(CallbackErrorText(4), "Error Code 4: Invalid GetData Command.");
  EXPECT_EQ(CallbackErrorText(8), "Error Code 8: Invalid Data Property.");
  EXPECT_EQ(CallbackErrorText(11), "Error Code 11: Error in Object Data.");
  EXPECT_EQ(CallbackErrorText(98), "Error Code 98: Unknown Callback Reason.");
  EXPECT_EQ(CallbackErrorText(99), "Error Code 99: Unknown Error.");
  for (uint32_t code : {9u, 10u, 14u, 64u, 97u, 100u}) {
    EXPECT_EQ(CallbackErrorText(code), "Error Code " + std::to_string(code) + ": Unknown Error Code.");
  }
  EXPECT_EQ(CallbackErrorText(0xFFFFFFFFu), "Error Code 4294967295: Unknown Error Code.");
}

TEST(HostProtocol, RequestTextsAreByteExact) {
  EXPECT_EQ(std::string(kInstallDirectoryRequest).size(), 44u);
  EXPECT_EQ(std::string(kSceneAllRequest).size(), 119u);
  EXPECT_EQ(std::string(kSceneSelectionRequest).size(), 125u);
  EXPECT_EQ(std::string(kXmlDeclaration), "<?xml version=\"1.0\"?>\n");
}

}  // namespace
}  // namespace tessaline
