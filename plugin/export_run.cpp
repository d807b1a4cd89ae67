// One export from the options dialog to the closing message.
#include <algorithm>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "plugin/plugin.h"

namespace tessaline {

namespace {

constexpr const char* kCaption = "Tessaline";
constexpr const char* kSuccessText = "Scene correctly exported.\n";

// The directory part of a backslash path, ending in a backslash ("C:\Games\level.dbo" -> "C:\Games\").
std::string OutputDirectoryOf(const std::string& path) {
  std::deque<std::string> parts = SplitString(path, "\\");
  std::string directory;
  for (size_t i = 0; i + 1 < parts.size(); ++i)
    directory += parts[i] + "\\";
  return directory;
}

// The collision file: the chosen name in the output directory, or the main file's name up to its first
// "." followed by "_col.dbo".
std::string CollisionPathOf(const std::string& path, const std::string& outputDirectory,
                            const std::string& collisionFileName) {
  if (!collisionFileName.empty()) return outputDirectory + collisionFileName;
  std::deque<std::string> parts = SplitString(path, "\\");
  std::string base;
  if (!parts.empty()) {
    std::deque<std::string> pieces = SplitString(parts.back(), ".");
    if (!pieces.empty()) base = pieces.front();
  }
  return outputDirectory + base + "_col.dbo";
}

// Writes one scene object to path through a temporary file beside it, which replaces path only when
// everything was written; a failed write leaves an existing file untouched.
bool WriteDboFile(Desktop& desktop, const std::string& path, const SceneObject& object,
                  const ExportSettings& settings, bool collision) {
  const std::string temporary = TemporaryPathFor(path);
  bool complete = false;
  {
    dbofstream out;
    out.open(desktop.NativePath(temporary), std::ios::binary | std::ios::out | std::ios::trunc);
    const bool opened = out.is_open();
    try {
      WriteScene(out, object, {settings.scaleX, settings.scaleY, settings.scaleZ}, desktop, collision);
    } catch (const std::exception&) {
      out.setstate(std::ios::badbit);  // out of memory while encoding: the file is incomplete
    }
    out.close();
    complete = opened && !out.fail();
  }
  if (complete && desktop.ReplaceFile(temporary, path)) return true;
  desktop.RemoveFile(temporary);
  return false;
}

// Puts the texture folder and a backslash in front of every texture name, keeping textureDataSize equal
// to the bytes of the texture entries.
void PrefixTextureNames(std::vector<SceneMaterial>& materials, const std::string& folder) {
  if (folder.empty()) return;
  for (SceneMaterial& material : materials) {
    for (std::string& name : material.textureNames)
      name = folder + "\\" + name;
    material.textureDataSize += static_cast<uint32_t>((folder.size() + 1) * material.textureNames.size());
  }
}

// Per object, the collision list has one record per polygon, but only records at a primitive id receive
// geometry and packing drops the others: making no more records than the highest primitive id needs gives
// the same files without a million empty records for a million polygons.
uint32_t CollisionRecordCount(uint32_t collisionMode, const Scene& model) {
  if (collisionMode != 2) return model.polygonCount;
  int64_t highest = -1;
  for (const ScenePolygon& polygon : model.polygons) {
    if (polygon.vertexCount >= 3) highest = std::max<int64_t>(highest, polygon.primitiveId);
  }
  return static_cast<uint32_t>(std::min<int64_t>(model.polygonCount, highest + 1));
}

// Why a scene that was read is not exported, or the empty text when it is.
std::string SceneFailure(Desktop& desktop, const SceneReading& reading) {
  switch (reading.status) {
    case ReadStatus::Unparsable:
      // An answer that cannot be parsed would read as an empty scene; exporting that as a success would
      // hide the failure.
      return "The scene from the editor could not be read: its XML text could not be parsed (it is "
             "malformed, or too large for the memory left). Nothing was exported.\n";
    case ReadStatus::MissingGeometry:
      return "The primitive with id " + std::to_string(reading.primitiveId) +
             " has no polygons or no vertices. Nothing was exported.\n";
    case ReadStatus::Read:
      break;
  }
  if (!desktop.AcceptScene(reading)) {
    return "The scene file holds no scene: it has no material, materials, primitive or primitives element. "
           "Nothing was exported.\n";
  }
  return {};
}

// Everything between the progress window's opening and closing. Returns the closing message (empty for
// none) and its icon.
std::pair<std::string, MessageIcon> RunStages(Desktop& desktop, HostCallback callback,
                                              const ExportSettings& settings) {
  // Install directory: a failure here is not fatal; texture files are then looked for in \Textures\.
  std::string installDirectory;
  {
    std::string answer;
    if (HostExchange(callback, desktop, kInstallDirectoryRequest).Fetch(answer)) {
      installDirectory = ReadInstallDirectory(answer);
    }
  }

  // Scene: fetched and read into the model, then built into the two mesh lists and packed.
  std::vector<SceneObject> objects;
  std::string failure;  // the closing message of a scene that is not exported
  {
    HostExchange scene(callback, desktop, settings.allObjects ? kSceneAllRequest : kSceneSelectionRequest);
    const bool sized = scene.RequestSize();
    desktop.SetBarRange(0, 100);
    desktop.SetBarStep(15);
    desktop.SetStageText("Please Wait....Getting Data from DeleD.");
    std::string text;
    bool fetched = false;
    if (sized) {
      fetched = scene.RequestData(text);
      desktop.StepBar();
    }
    SceneReading reading;
    if (fetched) {
      desktop.SetStageText("Please Wait....Parsing Data.");
      desktop.SetBarStep(5);
      // One reading of the answer, which releases the text as soon as it is parsed.
      reading = ReadScene(std::move(text), &desktop.AnswerCodePage());
      if (reading.status != ReadStatus::Unparsable) {
        // The bar steps once for the materials and once for the primitives, as when they were read apart.
        PrefixTextureNames(reading.scene.materials, settings.textureFolder);
        desktop.StepBar();
        desktop.SetBarStep(10);
        if (reading.status == ReadStatus::Read) desktop.StepBar();
      }
    }
    std::string().swap(text);
    if (fetched) failure = SceneFailure(desktop, reading);
    if (fetched && failure.empty()) {
      Scene& model = reading.scene;
      desktop.SetStageText("Please Wait....Creating Meshes.");
      std::vector<MeshRecord> mainMeshes = BuildMainMeshList(model.materials);
      std::vector<MeshRecord> collisionMeshes =
          BuildCollisionMeshList(settings.collisionMode, CollisionRecordCount(settings.collisionMode, model));
      Pacing pacing = Pacing::For(model.polygons.size(), 2.0 / 45.0);
      pacing.Begin(desktop);
      BuildGeometry(0, model.polygons, model.vertices, mainMeshes, desktop, pacing.threshold);
      if (settings.collisionMode != 0) {
        BuildGeometry(settings.collisionMode, model.polygons, model.vertices, collisionMeshes, desktop,
                      pacing.threshold);
      }
      desktop.StepBar();
      model = Scene{};
      objects.push_back(PackMeshes(std::move(mainMeshes), settings.sceneName));
      objects.push_back(PackMeshes(std::move(collisionMeshes), settings.sceneName));
    }
  }

  // Writing.
  desktop.SetBarPosition(0);
  desktop.SetStageText("Please Wait....Writing Data to file.");
  if (!failure.empty()) return {failure, MessageIcon::Error};
  if (objects.empty()) return {"", MessageIcon::Information};
  std::string path;
  if (!desktop.ShowSaveDialog(path)) return {"", MessageIcon::Information};

  std::vector<std::string> unwritten;
  if (!WriteDboFile(desktop, path, objects[0], settings, false)) unwritten.push_back(path);
  const std::string outputDirectory = OutputDirectoryOf(path);
  if (settings.collisionMode != 0) {
    const std::string collisionPath = CollisionPathOf(path, outputDirectory, settings.collisionFileName);
    if (!WriteDboFile(desktop, collisionPath, objects[1], settings, true)) unwritten.push_back(collisionPath);
  }
  objects[1] = SceneObject{};

  // Textures.
  const std::vector<std::string> unplaced =
      ExportTextures(settings.exportTextures, settings.textureFolder, outputDirectory, installDirectory,
                     objects[0].meshes, desktop, desktop);

  if (!unwritten.empty()) {
    std::string text = "The export did not finish: this file could not be written:\n";
    if (unwritten.size() > 1) text = "The export did not finish: these files could not be written:\n";
    for (const std::string& file : unwritten)
      text += file + "\n";
    return {text, MessageIcon::Error};
  }
  if (!unplaced.empty()) {
    std::string text = kSuccessText;
    text += unplaced.size() == 1 ? "This texture could not be placed beside it:\n"
                                 : "These textures could not be placed beside it:\n";
    for (const std::string& name : unplaced)
      text += name + "\n";
    return {text, MessageIcon::Warning};
  }
  return {kSuccessText, MessageIcon::Information};
}

}  // namespace

void RunExport(Desktop& desktop, HostCallback callback, ExportSettings& settings) {
  // Without a host there is nothing to export from.
  if (callback == nullptr) return;

  const bool loaded = desktop.LoadModule();
  settings.allObjects = false;
  settings.exportTextures = false;
  settings.sceneName.clear();
  if (!loaded) return;

  const int choice = desktop.ShowOptionsDialog(settings);
  desktop.OpenProgressWindow();
  std::pair<std::string, MessageIcon> message{"", MessageIcon::Information};
  if (choice == 1) {
    // Nothing may escape into the editor: running out of memory anywhere ends this export with a message.
    try {
      message = RunStages(desktop, callback, settings);
    } catch (const std::exception&) {
      message = {"The export ran out of memory and did not finish.\n", MessageIcon::Error};
    }
  }
  desktop.CloseProgressWindow();
  if (!message.first.empty()) desktop.ShowMessage(message.first, kCaption, message.second);
  desktop.ReleaseModule();
}

}  // namespace tessaline
