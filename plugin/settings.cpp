#include <cmath>

#include "plugin/plugin.h"

namespace tessaline {

ExportSettings StartSettings() {
  ExportSettings settings;
  settings.allObjects = true;
  settings.exportTextures = true;
  settings.sceneName = "DeleDExported";
  settings.textureFolder = "Media";
  settings.scaleX = settings.scaleY = settings.scaleZ = 1.0f;
  settings.collisionMode = CollisionMode::None;
  settings.collisionFileName.clear();
  return settings;
}

std::string EditText(const std::string& text) {
  // The dialog reads edits through a 256-byte buffer: 255 characters and the terminating NUL. A NUL
  // inside the text ends it there, as it would for the control.
  std::string cut = text.substr(0, 255);
  return cut.substr(0, cut.find('\0'));
}

float ReadScale(const std::string& text) {
  const float value = static_cast<float>(ParseDouble(EditText(text)));
  // Zero, negative and non-finite factors (after rounding to 32 bits) would flatten, mirror or destroy
  // the model in the engine, so they fall back to 1.
  if (!std::isfinite(value) || !(value > 0.0f)) return 1.0f;
  return value;
}

ExportSettings SettingsFromControls(const OptionsControls& controls) {
  ExportSettings settings;
  if (controls.exportTextures) {
    settings.exportTextures = true;
    settings.textureFolder = EditText(controls.textureFolder);
  } else {
    settings.exportTextures = false;
    settings.textureFolder.clear();
  }
  settings.allObjects = controls.allObjects;
  settings.sceneName = EditText(controls.sceneName);
  settings.scaleX = ReadScale(controls.scaleX);
  settings.scaleY = ReadScale(controls.scaleY);
  settings.scaleZ = ReadScale(controls.scaleZ);
  if (controls.exportCollision) {
    settings.collisionMode = controls.oneBigObject ? CollisionMode::OneBigObject : CollisionMode::PerObject;
    settings.collisionFileName = EditText(controls.collisionFileName);
  } else {
    settings.collisionMode = CollisionMode::None;
    settings.collisionFileName.clear();
  }
  return settings;
}

}  // namespace tessaline
