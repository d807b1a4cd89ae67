// One export from the options dialog to the closing message.
#include <algorithm>
#include <exception>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "plugin/plugin.h"

namespace tessaline {

namespace {

constexpr const char* kCaption = "Tessaline";
constexpr const char* kSuccessText = "Scene correctly exported.\n";

// Writes one scene object to path through a temporary file beside it, which replaces path only when
// everything was written; a failed write leaves an existing file untouched.
bool WriteDboFile(Desktop& desktop, const std::string& path, const SceneObject& object,
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

// A file an export is about to write that is another file of the same export, or the scene file: the
// closing message that refuses the export; empty when the files are apart.
std::string OverlapText(Desktop& desktop, const std::string& path, const std::string& collisionPath) {
  const std::string scene = desktop.SceneFile();
  const std::string sceneIdentity = scene.empty() ? std::string() : desktop.FileIdentity(scene);
  const std::string mainIdentity = desktop.FileIdentity(path);
  std::string text;
  if (!scene.empty() && mainIdentity == sceneIdentity) {
    text = "The DBO file would replace the scene file it is exported from:\n" + path + "\n";
  } else if (!collisionPath.empty()) {
    const std::string collisionIdentity = desktop.FileIdentity(collisionPath);
    if (collisionIdentity == mainIdentity) {
      text = "The collision file would replace the DBO file:\n" + collisionPath + "\n";
    } else if (!scene.empty() && collisionIdentity == sceneIdentity) {
      text = "The collision file would replace the scene file it is exported from:\n" + collisionPath + "\n";
    }
  }
  return text.empty() ? text : text + "Nothing was exported.\n";
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
      installDirectory = ReadInstallDirectory(answer, &desktop.AnswerCodePage());
    }
  }

  // Scene: fetched and read into the model, then built into the two mesh lists and packed.
  std::vector<SceneObject> objects;
  std::string failure;  // the closing message of a scene that is not exported
  std::vector<int32_t> cutLayers;
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
        cutLayers = LimitTextureLayers(reading.scene.materials);
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
      objects.push_back(PackMeshes(std::move(mainMeshes), settings.sceneName));
      objects.push_back(PackMeshes(std::move(collisionMeshes), settings.sceneName));
    }
  }

  // Writing.
  desktop.SetBarPosition(0);
  desktop.SetStageText("Please Wait....Writing Data to file.");
  if (!failure.empty()) return {failure, MessageIcon::Error};
  if (objects.empty()) return {"", MessageIcon::Information};
  // Every size the file stores in a dword must fit, or the file would be read wrongly: nothing is written.
  if (!FitsDboSizes(objects[0], false) ||
      (settings.collisionMode != CollisionMode::None && !FitsDboSizes(objects[1], true))) {
    return {
        "The model is too large for a DBO file: its sizes do not fit in the file's 32-bit fields. Nothing "
        "was exported.\n",
        MessageIcon::Error};
  }
  std::string path;
  if (!desktop.ShowSaveDialog(path)) return {"", MessageIcon::Information};

  // The collision file's name is a file name inside the output folder; any other is not written.
  const std::string outputDirectory = FolderOf(path);
  std::vector<std::string> unwritten;
  std::string collisionPath;
  if (settings.collisionMode != CollisionMode::None) {
    const std::string& name = settings.collisionFileName;
    if (name.empty() || IsPlainFileName(name)) {
      collisionPath = CollisionPathFor(path, name);
    } else {
      unwritten.push_back(outputDirectory + name);
    }
  }
  const std::string overlap = OverlapText(desktop, path, collisionPath);
  if (!overlap.empty()) return {overlap, MessageIcon::Error};

  if (!WriteDboFile(desktop, path, objects[0], settings, false)) unwritten.insert(unwritten.begin(), path);
  if (!collisionPath.empty() && !WriteDboFile(desktop, collisionPath, objects[1], settings, true)) {
    unwritten.push_back(collisionPath);
  }
  objects[1] = SceneObject{};
  // The texture stage needs the materials only: the geometry goes before it.
  for (MeshRecord& mesh : objects[0].meshes) {
    std::vector<SceneVertex>().swap(mesh.vertices);
    std::vector<uint16_t>().swap(mesh.indices);
  }

  // Textures: none may replace a file this export writes, nor the scene.
  std::vector<std::string> keep = {path};
  if (!collisionPath.empty()) keep.push_back(collisionPath);
  if (!desktop.SceneFile().empty()) keep.push_back(desktop.SceneFile());
  const std::vector<std::string> unplaced =
      ExportTextures(settings.exportTextures, settings.textureFolder, outputDirectory, installDirectory,
                     objects[0].meshes, desktop, desktop, keep);

  if (!unwritten.empty()) {
    std::string text = "The export did not finish: this file could not be written:\n";
    if (unwritten.size() > 1) text = "The export did not finish: these files could not be written:\n";
    for (const std::string& file : unwritten)
      text += file + "\n";
    return {text, MessageIcon::Error};
  }
  std::string text = kSuccessText;
  MessageIcon icon = MessageIcon::Information;
  if (!unplaced.empty()) {
    text += unplaced.size() == 1 ? "This texture could not be placed beside it:\n"
                                 : "These textures could not be placed beside it:\n";
    for (const std::string& name : unplaced)
      text += name + "\n";
    icon = MessageIcon::Warning;
  }
  if (!cutLayers.empty() && desktop.WarningsInClosingMessage()) {
    text += CutLayersText(cutLayers) + "\n";
    icon = MessageIcon::Warning;
  }
  return {text, icon};
}

}  // namespace

std::string CollisionPathFor(const std::string& path, const std::string& collisionFileName) {
  const std::string outputDirectory = FolderOf(path);
  if (!collisionFileName.empty()) return outputDirectory + collisionFileName;
  std::deque<std::string> pieces = SplitString(path.substr(outputDirectory.size()), ".");
  return outputDirectory + (pieces.empty() ? std::string() : pieces.front()) + "_col.dbo";
}

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
