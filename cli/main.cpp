// tessaline: exports an editor scene file to DBO through the plug-in's own export run, and inspects DBO
// files. For an export the command plays the editor's part: it registers a host callback that answers the
// plug-in's XML requests from the scene file, and answers the plug-in's dialogs from its flags.
//
// On Windows (tessaline.exe) the arguments arrive as UTF-16 and are converted to the ANSI code page, and
// files are made through the same kernel32 calls as the plug-in's, so that the command and the plug-in
// write the same files for the same names.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/dbo_report.h"
#include "cli/render_command.h"
#include "plugin/plugin.h"
#include "version.h"

#ifdef _WIN32
#include "plugin/win32/win32_command.h"
#include "plugin/win32/win32_desktop.h"
#else
#include <unistd.h>
#endif

namespace {

using namespace tessaline;

constexpr const char* kUsage =
    "Usage:\n"
    "  tessaline export SCENE.xml -o OUT.dbo [options]\n"
    "  tessaline inspect [--tree | --json] FILE.dbo\n"
    "  tessaline render FILE.dbo -o OUT.png [--size WxH] [--view VIEW] [--two-sided] [--wireframe]\n"
    "  tessaline --help | --version\n"
    "\n"
    "export: converts an editor scene file (a .dxs file, or any XML answer holding materials and\n"
    "primitives) to a DBO model, with the collision file and textures the options ask for.\n"
    "  -o, --output OUT.dbo         the DBO file to write (required)\n"
    "  --selected                   ask for the selected objects instead of all objects\n"
    "  --scene-name NAME            the frames' name (default DeleDExported)\n"
    "  --scale X Y Z                scaling factors (default 1.0 1.0 1.0; 0, negative or\n"
    "                               unreadable values give 1.0)\n"
    "  --texture-folder NAME        folder beside the DBO file for the textures (default Media;\n"
    "                               \"\" puts them beside the DBO file)\n"
    "  --no-textures                do not place textures\n"
    "  --collision one|per-object   also write a collision file: one big object, or one object\n"
    "                               per primitive\n"
    "  --collision-file NAME        the collision file's name, inside the output folder (default\n"
    "                               collision.dbo; \"\" derives it from the output: OUT_col.dbo)\n"
    "  --install-dir DIR            the editor's install directory; images are copied from\n"
    "                               DIR/Textures/\n"
    "  --preview OUT.png            also draw the exported model into OUT.png (as render does)\n"
    "\n"
    "inspect: checks a DBO file's structure and prints a summary: per mesh frame the vertex format,\n"
    "vertex and triangle counts and textures; the bounding box and scale; whether each texture file is\n"
    "found beside the DBO file.\n"
    "  --tree                       print every item with its code, name and size instead\n"
    "  --json                       print the facts as JSON instead (a broken file too)\n"
    "\n"
    "render: draws a DBO file's meshes with their textures (found beside it) into a PNG image.\n"
    "  -o, --output OUT.png         the image to write (required)\n"
    "  --size WxH                   image size in pixels, at most 16384 a side (default 800x600)\n"
    "  --view VIEW                  iso (default), front, back, left, right, top or bottom\n"
    "  --two-sided                  also draw faces seen from behind\n"
    "  --wireframe                  draw the triangles' edges over the shaded model\n"
    "  Missing textures are drawn as a magenta and black checker and named on stderr.\n"
    "\n"
    "Exit status: 0 success; 1 the export, inspection or rendering failed; 2 usage error; 3 the DBO\n"
    "file was written (or drawn) but some textures could not be placed (or found).\n";

constexpr const char* kHint = "Try 'tessaline --help'.";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tessaline: %s\n%s\n", message.c_str(), kHint);
  return 2;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
  // A directory opens as a stream on Linux, and reads as nothing.
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return false;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  // A file that tells its size is read straight into a string of that size, so that a large scene is held
  // once rather than in a stream's doubling buffer; anything else (a pipe, a device) is read as a stream.
  const std::streamoff size = in.tellg();
  if (size > 0) {
    content.assign(static_cast<size_t>(size), '\0');
    in.seekg(0);
    return static_cast<bool>(in.read(content.data(), static_cast<std::streamsize>(size)));
  }
  in.close();
  in.open(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (!in.is_open() || in.bad()) return false;
  content = std::move(buffer).str();
  return true;
}

// Paths go to the export run in the editor's backslash form.
std::string Backslashed(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string XmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// The host's side of the protocol: answers from the scene file and the install directory.
struct Host {
  std::string scene;
  std::string installAnswer;
};
Host g_host;

// Whether the progress line can be drawn on stderr (a terminal or console).
bool g_drawProgress = false;

uint32_t TESSALINE_STDCALL AnswerRequest(CallbackRecord* record) {
  const char* request = record->request;
  const std::string* answer = nullptr;
  if (std::strcmp(request, kInstallDirectoryRequest) == 0) {
    answer = &g_host.installAnswer;
  } else if (std::strcmp(request, kSceneAllRequest) == 0 ||
             std::strcmp(request, kSceneSelectionRequest) == 0) {
    answer = &g_host.scene;
  } else {
    return 7;  // Invalid Data String.
  }
  if (answer->size() >= UINT32_MAX) return 99;
  switch (record->reason) {
    case GetMem:
      record->size = static_cast<uint32_t>(answer->size() + 1);
      return 0;
    case GetData:
      if (record->buffer == nullptr || record->size != answer->size() + 1) return 4;
      std::memcpy(record->buffer, answer->c_str(), answer->size() + 1);
      // The scene is asked for once per export: once it is handed over, the host's copy of a large file
      // need not stay in memory beside the plug-in's.
      if (answer == &g_host.scene) {
        g_host.scene.clear();
        g_host.scene.shrink_to_fit();
      }
      return 0;
    default:
      return 98;
  }
}

int Export(int argc, char** argv) {
  std::string scenePath, outputPath, installDirectory, previewPath;
  bool collisionFileGiven = false;
  bool textureFolderGiven = false, noTextures = false;
  OptionsControls controls;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "-o" || arg == "--output") {
      const char* v = value();
      if (v == nullptr) return UsageError(arg + " needs a file name");
      outputPath = v;
    } else if (arg == "--selected") {
      controls.allObjects = false;
    } else if (arg == "--scene-name") {
      const char* v = value();
      if (v == nullptr) return UsageError("--scene-name needs a name");
      controls.sceneName = v;
    } else if (arg == "--scale") {
      if (i + 3 >= argc) return UsageError("--scale needs three factors: X Y Z");
      controls.scaleX = argv[++i];
      controls.scaleY = argv[++i];
      controls.scaleZ = argv[++i];
    } else if (arg == "--texture-folder") {
      const char* v = value();
      if (v == nullptr) return UsageError("--texture-folder needs a folder name (\"\" for none)");
      controls.textureFolder = v;
      textureFolderGiven = true;
    } else if (arg == "--no-textures") {
      noTextures = true;
    } else if (arg == "--collision") {
      const char* v = value();
      if (v == nullptr) return UsageError("--collision needs a mode: one or per-object");
      const std::string mode = v;
      if (mode != "one" && mode != "per-object") {
        return UsageError("--collision takes one or per-object, not '" + mode + "'");
      }
      controls.exportCollision = true;
      controls.oneBigObject = mode == "one";
    } else if (arg == "--collision-file") {
      const char* v = value();
      if (v == nullptr) return UsageError("--collision-file needs a file name (\"\" to derive it)");
      controls.collisionFileName = v;
      collisionFileGiven = true;
    } else if (arg == "--install-dir") {
      const char* v = value();
      if (v == nullptr) return UsageError("--install-dir needs a folder");
      installDirectory = v;
    } else if (arg == "--preview") {
      const char* v = value();
      if (v == nullptr) return UsageError("--preview needs a file name");
      previewPath = v;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return UsageError("unknown option '" + arg + "'");
    } else if (scenePath.empty()) {
      scenePath = arg;
    } else {
      return UsageError("more than one scene file given ('" + scenePath + "' and '" + arg + "')");
    }
  }
  if (scenePath.empty()) return UsageError("export needs a scene file");
  if (outputPath.empty()) return UsageError("export needs an output file: -o OUT.dbo");
  if (noTextures && textureFolderGiven)
    return UsageError("--no-textures and --texture-folder exclude each other");
  if (collisionFileGiven && !controls.exportCollision)
    return UsageError("--collision-file needs --collision");
  if (!controls.collisionFileName.empty() && !IsPlainFileName(controls.collisionFileName)) {
    return UsageError("--collision-file takes a file name inside the output folder, not '" +
                      controls.collisionFileName + "'");
  }
  if (outputPath.size() > 511) return UsageError("the output path is longer than 511 characters");
  controls.exportTextures = !noTextures;

  if (!ReadWholeFile(scenePath, g_host.scene)) {
    std::fprintf(stderr, "tessaline: cannot read the scene file '%s'\n", scenePath.c_str());
    return 1;
  }
  if (g_host.scene.find('\0') != std::string::npos) {
    std::fprintf(stderr, "tessaline: the scene file '%s' holds a NUL byte; it is not an XML text\n",
                 scenePath.c_str());
    return 1;
  }
  g_host.installAnswer =
      "<installdirectory>" + XmlEscaped(Backslashed(installDirectory)) + "</installdirectory>";

  HeadlessDesktop desktop;
  desktop.options = controls;
  desktop.savePath = Backslashed(outputPath);
  desktop.drawProgress = g_drawProgress;
  desktop.printMessages = true;
  desktop.refuseNonScenes = true;
#ifdef _WIN32
  Win32FileSystem files;
  desktop.files = &files;
  desktop.codePage = &ProcessCodePage();
#endif
  desktop.sceneFile = Backslashed(scenePath);
  desktop.warningsAsRemarks = true;
  RemoveTemporaryFilesOnInterrupt();
  SetDesktop(&desktop);
  PluginSetCallback(&AnswerRequest);
  PluginExecute();
  SetDesktop(nullptr);

  int status = -1;
  std::vector<std::string> written;  // every file the export placed, for the preview
  for (const std::string& call : desktop.calls) {
    if (call.rfind("replace ", 0) == 0 && call.find(" -> ") != std::string::npos)
      written.push_back(call.substr(call.find(" -> ") + 4));
    if (status < 0 && call.rfind("message Tessaline|", 0) == 0) {
      status = 1;
      if (call.size() >= 12 && call.compare(call.size() - 12, 12, "|information") == 0) status = 0;
      if (call.size() >= 8 && call.compare(call.size() - 8, 8, "|warning") == 0) status = 3;
    }
  }
  // An empty selection exports, as in the editor, but the file then holds no model.
  if (status == 0 && desktop.emptyModel)
    std::fprintf(stderr, "tessaline: warning: the model is empty: '%s' holds no polygons to export\n",
                 scenePath.c_str());
  if (status >= 0) {
    // The preview never changes a successful export's status except when it cannot be written.
    if (status != 1 && !previewPath.empty() && !WritePreview(outputPath, previewPath, written)) return 1;
    return status;
  }
  return 1;
}

int Inspect(int argc, char** argv) {
  InspectView view = InspectView::Summary;
  bool viewGiven = false;
  const char* path = nullptr;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--tree" || arg == "--json") {
      if (viewGiven) return UsageError("inspect takes one of --tree and --json");
      view = arg == "--tree" ? InspectView::Tree : InspectView::Json;
      viewGiven = true;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return UsageError("unknown option '" + arg + "'");
    } else if (path != nullptr) {
      return UsageError("inspect needs exactly one DBO file");
    } else {
      path = argv[i];
    }
  }
  if (path == nullptr) return UsageError("inspect needs exactly one DBO file");
  return InspectFile(path, view, stdout, stderr);
}

int Run(int argc, char** argv) {
  if (argc < 2) return UsageError("no command given");
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("tessaline %s\n", TESSALINE_VERSION);
    return 0;
  }
  if (command == "export") return Export(argc, argv);
  if (command == "inspect") return Inspect(argc, argv);
  if (command == "render") return RenderCommand(argc, argv);
  return UsageError("unknown command '" + command + "'");
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  g_drawProgress = PrepareConsole();
  std::vector<std::string> arguments;
  size_t bad = 0;
  if (!AnsiArguments(argc, argv, arguments, bad)) {
    return UsageError("'" + arguments[bad] + "' holds characters that the system's code page (" +
                      std::to_string(AnsiCodePage()) + ") cannot represent");
  }
  std::vector<char*> pointers;
  for (std::string& argument : arguments)
    pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return Run(argc, pointers.data());
}
#else
int main(int argc, char** argv) {
  g_drawProgress = isatty(STDERR_FILENO) != 0;
  return Run(argc, argv);
}
#endif
