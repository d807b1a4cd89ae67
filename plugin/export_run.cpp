// One export from the options dialog to the closing message.
#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "plugin/plugin.h"

namespace tessaline {

namespace {

constexpr const char* kCaption = "Tessaline";
constexpr const char* kSuccessText = "Scene correctly exported.\n";

// Writes one packed model to path through a temporary file beside it, which replaces path only when
// everything was written; a failed write leaves an existing file untouched.
bool WriteDboFile(Desktop& desktop, const std::string& path, const PackedModel& object,
                  const ExportSettings& settings, bool collision) {
  return WriteThroughTemporary(desktop, path, [&](OutputFile& file) {
    OutputFileBuffer buffer(file);
    dbofstream out(&buffer);
    WriteScene(out, object, {settings.scaleX, settings.scaleY, settings.scaleZ}, desktop, collision);
    out.flush();
    return !out.fail();
  });
}

// "1 polygon" or "N polygons".
std::string Polygons(uint64_t count) {
  return std::to_string(count) + (count == 1 ? " polygon" : " polygons");
}

// Remarks how many polygons the model and the collision file leave out, and why (the rules of
// BuildGeometry).
void RemarkLeftOutPolygons(Desktop& desktop, const Scene& model, CollisionMode collisionMode,
                           uint32_t collisionRecords) {
  std::unordered_set<int32_t> materialIds;
  for (const SceneMaterial& material : model.materials)
    materialIds.insert(material.id);
  uint64_t fewCorners = 0, tooLarge = 0, noMaterial = 0, noPrimitive = 0;
  for (const ScenePolygon& polygon : model.polygons) {
    if (polygon.vertexCount < 3) {
      ++fewCorners;
    } else if (polygon.vertexCount > kMaxFrameVertices) {
      ++tooLarge;
    } else {
      if (materialIds.count(polygon.materialId) == 0) ++noMaterial;
      if (collisionMode == CollisionMode::PerObject &&
          (polygon.primitiveId < 0 || static_cast<uint32_t>(polygon.primitiveId) >= collisionRecords)) {
        ++noPrimitive;
      }
    }
  }
  if (fewCorners > 0) desktop.Remark(Polygons(fewCorners) + " left out: fewer than 3 corners");
  if (tooLarge > 0) {
    desktop.Remark(Polygons(tooLarge) + " left out: too large for one mesh frame (more than " +
                   std::to_string(kMaxFrameVertices) + " corners)");
  }
  if (noMaterial > 0) desktop.Remark(Polygons(noMaterial) + " left out of the model: no material of that id");
  if (noPrimitive > 0) {
    desktop.Remark(Polygons(noPrimitive) + " left out of the collision file: no primitive record of that id");
  }
}

// The line that names the materials cut to their first texture layers.
std::string CutLayersText(const std::vector<int32_t>& ids) {
  static_assert(kMaxTextureLayers == 8, "the text names the limit");
  std::string text = ids.size() == 1 ? "This material has" : "These materials have";
  text.append(" more than 8 texture layers; only the first 8 were exported:");
  for (int32_t id : ids) {
    text.push_back(' ');
    text.append(std::to_string(id));
  }
  return text;
}

// Refuses an export whose DBO file would replace the scene file, or whose collision file would replace
// either of them. True when the files are apart.
bool FilesApart(Desktop& desktop, const std::string& path, const std::string& collisionPath,
                ExportOutcome& outcome) {
  const std::string scene = desktop.SceneFile();
  const std::string sceneIdentity = scene.empty() ? std::string() : desktop.FileIdentity(scene);
  const std::string mainIdentity = desktop.FileIdentity(path);
  if (!scene.empty() && mainIdentity == sceneIdentity) {
    outcome.failure = ExportFailure::DboReplacesScene;
    outcome.refusedPath = path;
  } else if (!collisionPath.empty()) {
    const std::string collisionIdentity = desktop.FileIdentity(collisionPath);
    if (collisionIdentity == mainIdentity) {
      outcome.failure = ExportFailure::CollisionReplacesDbo;
    } else if (!scene.empty() && collisionIdentity == sceneIdentity) {
      outcome.failure = ExportFailure::CollisionReplacesScene;
    }
    if (outcome.failure != ExportFailure::None) outcome.refusedPath = collisionPath;
  }
  return outcome.failure == ExportFailure::None;
}

// Puts the texture folder and a backslash in front of every texture name.
void PrefixTextureNames(std::vector<SceneMaterial>& materials, const std::string& folder) {
  if (folder.empty()) return;
  for (SceneMaterial& material : materials) {
    for (TextureLayer& layer : material.layers)
      layer.name = folder + "\\" + layer.name;
  }
}

// Per object, the collision list has one record per polygon, but only records at a primitive id receive
// geometry and packing drops the others: making no more records than the highest primitive id needs gives
// the same files without a million empty records for a million polygons.
uint32_t CollisionRecordCount(CollisionMode collisionMode, const Scene& model) {
  if (collisionMode != CollisionMode::PerObject) return model.polygonCount;
  int64_t highest = -1;
  for (const ScenePolygon& polygon : model.polygons) {
    if (polygon.vertexCount >= 3) highest = std::max<int64_t>(highest, polygon.primitiveId);
  }
  return static_cast<uint32_t>(std::min<int64_t>(model.polygonCount, highest + 1));
}

// Why a scene that was read is not exported, or None when it is.
ExportFailure SceneFailure(Desktop& desktop, const SceneReading& reading) {
  switch (reading.status) {
    case ReadStatus::Unparsable:
      // An answer that cannot be parsed would read as an empty scene; exporting that as a success would
      // hide the failure.
      return ExportFailure::UnparsableScene;
    case ReadStatus::MissingGeometry:
      return ExportFailure::MissingGeometry;
    case ReadStatus::Read:
      break;
  }
  return desktop.AcceptScene(reading) ? ExportFailure::None : ExportFailure::NoScene;
}

// Shows the message of a failed exchange at once, as the editor's own errors are shown.
ExchangeResult Shown(Desktop& desktop, const ExchangeResult& result) {
  if (const std::optional<DesktopMessage> message = ExchangeMessage(result))
    desktop.ShowMessage(message->text, message->caption, message->icon);
  return result;
}

// The editor's install directory. A failure here is not fatal; texture files are then looked for in
// \Textures\.
std::string FetchInstallDirectory(Desktop& desktop, Host& host) {
  std::string answer;
  if (!Shown(desktop, HostExchange(host, kInstallDirectoryRequest).Fetch(answer))) return {};
  return ReadInstallDirectory(answer, &desktop.AnswerCodePage());
}

// Fetches the scene and reads it, with its texture layers limited and their names in the texture folder.
// Nothing when the host gave no scene.
std::optional<SceneReading> FetchScene(Desktop& desktop, Host& host, const ExportSettings& settings,
                                       std::vector<int32_t>& cutLayers) {
  HostExchange exchange(host, settings.allObjects ? kSceneAllRequest : kSceneSelectionRequest);
  const bool sized = static_cast<bool>(Shown(desktop, exchange.RequestSize()));
  desktop.SetBarRange(0, 100);
  desktop.SetBarStep(15);
  desktop.SetStageText("Please Wait....Getting Data from DeleD.");
  if (!sized) return std::nullopt;
  std::string text;
  const bool fetched = static_cast<bool>(Shown(desktop, exchange.RequestData(text)));
  desktop.StepBar();
  if (!fetched) return std::nullopt;
  desktop.SetStageText("Please Wait....Parsing Data.");
  desktop.SetBarStep(5);
  // One reading of the answer, which releases the text as soon as it is parsed.
  SceneReading reading = ReadScene(std::move(text), &desktop.AnswerCodePage());
  std::string().swap(text);
  if (reading.status != ReadStatus::Unparsable) {
    // The bar steps once for the materials and once for the primitives, as when they were read apart.
    cutLayers = LimitTextureLayers(reading.scene.materials);
    PrefixTextureNames(reading.scene.materials, settings.textureFolder);
    desktop.StepBar();
    desktop.SetBarStep(10);
    if (reading.status == ReadStatus::Read) desktop.StepBar();
  }
  return reading;
}

// The two models an export writes: the main one and the collision one (empty without collision).
struct Models {
  PackedModel main;
  PackedModel collision;
};

// Builds the meshes of both models from the scene, which it empties, and packs them.
Models BuildModels(Desktop& desktop, Scene& model, const ExportSettings& settings,
                   const std::vector<int32_t>& cutLayers) {
  desktop.SetStageText("Please Wait....Creating Meshes.");
  const uint32_t collisionRecords = CollisionRecordCount(settings.collisionMode, model);
  RemarkLeftOutPolygons(desktop, model, settings.collisionMode, collisionRecords);
  if (!cutLayers.empty()) desktop.Remark(CutLayersText(cutLayers));
  std::vector<MeshRecord> mainMeshes = BuildMainMeshList(model.materials);
  const MeshRouting collisionRouting = settings.collisionMode == CollisionMode::OneBigObject
                                           ? MeshRouting::OneRecord
                                           : MeshRouting::ByPrimitive;
  std::vector<MeshRecord> collisionMeshes;
  if (settings.collisionMode != CollisionMode::None)
    collisionMeshes = BuildCollisionMeshList(collisionRouting, collisionRecords);
  Pacing pacing = Pacing::For(model.polygons.size(), 2.0 / 45.0);
  pacing.Begin(desktop);
  BuildGeometry(MeshRouting::ByMaterial, model.polygons, model.vertices, mainMeshes, desktop,
                pacing.threshold);
  if (settings.collisionMode != CollisionMode::None) {
    BuildGeometry(collisionRouting, model.polygons, model.vertices, collisionMeshes, desktop,
                  pacing.threshold);
  }
  desktop.StepBar();
  model = Scene{};
  return {PackMeshes(std::move(mainMeshes), settings.sceneName),
          PackMeshes(std::move(collisionMeshes), settings.sceneName)};
}

// Where an export writes: the DBO file, the collision file (empty for none) and their folder.
struct OutputPaths {
  std::string main;
  std::string collision;
  std::string folder;
};

// Asks where to write and writes the DBO file and the collision file. Nothing when the save dialog was
// cancelled or the outcome's failure refuses the export; files that could not be written are listed in
// the outcome.
std::optional<OutputPaths> WriteModelFiles(Desktop& desktop, Models& models, const ExportSettings& settings,
                                           ExportOutcome& outcome) {
  const bool collision = settings.collisionMode != CollisionMode::None;
  // Every size the file stores in a dword must fit, or the file would be read wrongly: nothing is written.
  if (!FitsDboSizes(models.main, false) || (collision && !FitsDboSizes(models.collision, true))) {
    outcome.failure = ExportFailure::TooLarge;
    return std::nullopt;
  }
  OutputPaths paths;
  if (!desktop.ShowSaveDialog(paths.main)) return std::nullopt;
  paths.folder = FolderOf(paths.main);
  // The collision file's name is a file name inside the output folder; any other is not written.
  if (collision) {
    const std::string& name = settings.collisionFileName;
    if (name.empty() || IsPlainFileName(name)) {
      paths.collision = CollisionPathFor(paths.main, name);
    } else {
      outcome.notWritten.push_back(paths.folder + name);
    }
  }
  if (!FilesApart(desktop, paths.main, paths.collision, outcome)) return std::nullopt;
  const auto write = [&](const std::string& path, const PackedModel& object, bool isCollision) {
    if (WriteDboFile(desktop, path, object, settings, isCollision)) {
      outcome.written.push_back(path);
    } else {
      outcome.notWritten.insert(isCollision ? outcome.notWritten.end() : outcome.notWritten.begin(), path);
    }
  };
  write(paths.main, models.main, false);
  if (!paths.collision.empty()) write(paths.collision, models.collision, true);
  return paths;
}

// Places the textures that the written meshes' materials name; none may replace a file this export
// writes, nor the scene.
void PlaceTextures(Desktop& desktop, std::vector<SceneMaterial> materials, const ExportSettings& settings,
                   const OutputPaths& paths, const std::string& installDirectory, ExportOutcome& outcome) {
  std::vector<std::string> keep = {paths.main};
  if (!paths.collision.empty()) keep.push_back(paths.collision);
  if (!desktop.SceneFile().empty()) keep.push_back(desktop.SceneFile());
  TexturePlacement placement = ExportTextures(settings.exportTextures, settings.textureFolder, paths.folder,
                                              installDirectory, materials, desktop, desktop, keep);
  for (const std::string& name : placement.placed)
    outcome.written.push_back(paths.folder + name);
  outcome.notPlaced = std::move(placement.notPlaced);
}

// Everything between the progress window's opening and closing.
ExportOutcome RunStages(Desktop& desktop, Host& host, const ExportSettings& settings) {
  ExportOutcome outcome;
  const std::string installDirectory = FetchInstallDirectory(desktop, host);
  std::vector<int32_t> cutLayers;
  std::optional<Models> models;
  if (std::optional<SceneReading> reading = FetchScene(desktop, host, settings, cutLayers)) {
    outcome.failure = SceneFailure(desktop, *reading);
    outcome.primitiveId = reading->primitiveId;
    outcome.emptyModel = reading->scene.polygonCount == 0;
    if (outcome.failure == ExportFailure::None)
      models = BuildModels(desktop, reading->scene, settings, cutLayers);
  }

  desktop.SetBarPosition(0);
  desktop.SetStageText("Please Wait....Writing Data to file.");
  std::optional<OutputPaths> paths;
  if (models) paths = WriteModelFiles(desktop, *models, settings, outcome);
  if (outcome.failure != ExportFailure::None) {
    outcome.status = ExportStatus::Failed;
    return outcome;
  }
  if (!paths) return outcome;
  // The texture stage needs the materials of the written meshes only: the models go before it.
  std::vector<SceneMaterial> materials;
  for (MeshRecord& mesh : models->main.meshes)
    materials.push_back(std::move(mesh.material));
  models.reset();
  PlaceTextures(desktop, std::move(materials), settings, *paths, installDirectory, outcome);

  if (!outcome.notWritten.empty()) {
    outcome.failure = ExportFailure::NotWritten;
    outcome.status = ExportStatus::Failed;
    return outcome;
  }
  if (desktop.WarningsInClosingMessage()) outcome.cutLayers = cutLayers;
  const bool warned = !outcome.notPlaced.empty() || !outcome.cutLayers.empty();
  outcome.status = warned ? ExportStatus::Warning : ExportStatus::Exported;
  return outcome;
}

// The closing text of a failed export.
std::string FailureText(const ExportOutcome& outcome) {
  const std::string nothing = "Nothing was exported.\n";
  switch (outcome.failure) {
    case ExportFailure::UnparsableScene:
      return "The scene from the editor could not be read: its XML text could not be parsed (it is "
             "malformed, or too large for the memory left). " +
             nothing;
    case ExportFailure::MissingGeometry:
      return "The primitive with id " + std::to_string(outcome.primitiveId) +
             " has no polygons or no vertices. " + nothing;
    case ExportFailure::NoScene:
      return "The scene file holds no scene: it has no material, materials, primitive or primitives "
             "element. " +
             nothing;
    case ExportFailure::TooLarge:
      return "The model is too large for a DBO file: its sizes do not fit in the file's 32-bit fields. " +
             nothing;
    case ExportFailure::DboReplacesScene:
      return "The DBO file would replace the scene file it is exported from:\n" + outcome.refusedPath + "\n" +
             nothing;
    case ExportFailure::CollisionReplacesDbo:
      return "The collision file would replace the DBO file:\n" + outcome.refusedPath + "\n" + nothing;
    case ExportFailure::CollisionReplacesScene:
      return "The collision file would replace the scene file it is exported from:\n" + outcome.refusedPath +
             "\n" + nothing;
    case ExportFailure::OutOfMemory:
      return "The export ran out of memory and did not finish.\n";
    case ExportFailure::NotWritten:
    case ExportFailure::None:
      break;
  }
  std::string text = outcome.notWritten.size() == 1
                         ? "The export did not finish: this file could not be written:\n"
                         : "The export did not finish: these files could not be written:\n";
  for (const std::string& file : outcome.notWritten)
    text += file + "\n";
  return text;
}

}  // namespace

std::string CollisionPathFor(const std::string& path, const std::string& collisionFileName) {
  const std::string outputDirectory = FolderOf(path);
  if (!collisionFileName.empty()) return outputDirectory + collisionFileName;
  std::deque<std::string> pieces = SplitString(path.substr(outputDirectory.size()), ".");
  return outputDirectory + (pieces.empty() ? std::string() : pieces.front()) + "_col.dbo";
}

std::optional<DesktopMessage> ClosingMessage(const ExportOutcome& outcome) {
  switch (outcome.status) {
    case ExportStatus::Stopped:
      return std::nullopt;
    case ExportStatus::Failed:
      return DesktopMessage{kCaption, FailureText(outcome), MessageIcon::Error};
    case ExportStatus::Exported:
    case ExportStatus::Warning:
      break;
  }
  DesktopMessage message{kCaption, kSuccessText, MessageIcon::Information};
  if (!outcome.notPlaced.empty()) {
    message.text += outcome.notPlaced.size() == 1 ? "This texture could not be placed beside it:\n"
                                                  : "These textures could not be placed beside it:\n";
    for (const std::string& name : outcome.notPlaced)
      message.text += name + "\n";
  }
  if (!outcome.cutLayers.empty()) message.text += CutLayersText(outcome.cutLayers) + "\n";
  if (outcome.status == ExportStatus::Warning) message.icon = MessageIcon::Warning;
  return message;
}

ExportOutcome RunExport(Desktop& desktop, Host& host, ExportSettings& settings) {
  const bool loaded = desktop.LoadModule();
  settings.allObjects = false;
  settings.exportTextures = false;
  settings.sceneName.clear();
  if (!loaded) return {};

  const int choice = desktop.ShowOptionsDialog(settings);
  desktop.OpenProgressWindow();
  ExportOutcome outcome;
  if (choice == 1) {
    // Nothing may escape into the editor: running out of memory anywhere ends this export with a message.
    try {
      outcome = RunStages(desktop, host, settings);
    } catch (const std::exception&) {
      outcome = ExportOutcome{};
      outcome.status = ExportStatus::Failed;
      outcome.failure = ExportFailure::OutOfMemory;
    }
  }
  desktop.CloseProgressWindow();
  if (const std::optional<DesktopMessage> message = ClosingMessage(outcome))
    desktop.ShowMessage(message->text, message->caption, message->icon);
  desktop.ReleaseModule();
  return outcome;
}

}  // namespace tessaline
