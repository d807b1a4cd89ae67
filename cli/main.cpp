// tessaline: exports an editor scene file to DBO through the plug-in's own export run, and inspects DBO
// files. For an export the command plays the editor's part: its host answers the export run's XML requests
// from the scene file, and its desktop answers the run's dialogs from its flags.
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
class SceneFileHost final : public Host {
 public:
  std::string scene;
  std::string installAnswer;

  uint32_t Answer(CallbackRecord& record) override {
    const char* request = record.request;
    std::string* answer = nullptr;
    if (std::strcmp(request, kInstallDirectoryRequest) == 0) {
      answer = &installAnswer;
    } else if (std::strcmp(request, kSceneAllRequest) == 0 ||
               std::strcmp(request, kSceneSelectionRequest) == 0) {
      answer = &scene;
    } else {
      return 7;  // Invalid Data String.
    }
    if (answer->size() >= UINT32_MAX) return 99;
    switch (record.reason) {
      case GetMem:
        record.size = static_cast<uint32_t>(answer->size() + 1);
        return 0;
      case GetData:
        if (record.buffer == nullptr || record.size != answer->size() + 1) return 4;
        std::memcpy(record.buffer, answer->c_str(), answer->size() + 1);
        // The scene is asked for once per export: once it is handed over, the host's copy of a large file
        // need not stay in memory beside the plug-in's.
        if (answer == &scene) std::string().swap(scene);
        return 0;
      default:
        return 98;
    }
  }
};

// What the export command takes from its arguments.
struct ExportArguments {
  std::string scenePath, outputPath, installDirectory, previewPath;
  bool collisionFileGiven = false, textureFolderGiven = false, noTextures = false;
  OptionsControls controls;
};

// An option of the export command: its name, the values it takes, the end of the usage error when they
// are missing ("<name> needs ..."), and what it sets (returning a usage error, or nothing).
struct ExportOption {
  const char* name;
  int values;
  const char* missing;
  std::string (*apply)(ExportArguments& arguments, char** values);
};

std::string SetOutput(ExportArguments& arguments, char** values) {
  arguments.outputPath = values[0];
  return {};
}

const ExportOption kExportOptions[] = {
    {"-o", 1, " needs a file name", SetOutput},
    {"--output", 1, " needs a file name", SetOutput},
    {"--selected", 0, "",
     [](ExportArguments& arguments, char**) {
       arguments.controls.allObjects = false;
       return std::string();
     }},
    {"--scene-name", 1, " needs a name",
     [](ExportArguments& arguments, char** values) {
       arguments.controls.sceneName = values[0];
       return std::string();
     }},
    {"--scale", 3, " needs three factors: X Y Z",
     [](ExportArguments& arguments, char** values) {
       arguments.controls.scaleX = values[0];
       arguments.controls.scaleY = values[1];
       arguments.controls.scaleZ = values[2];
       return std::string();
     }},
    {"--texture-folder", 1, " needs a folder name (\"\" for none)",
     [](ExportArguments& arguments, char** values) {
       arguments.controls.textureFolder = values[0];
       arguments.textureFolderGiven = true;
       return std::string();
     }},
    {"--no-textures", 0, "",
     [](ExportArguments& arguments, char**) {
       arguments.noTextures = true;
       return std::string();
     }},
    {"--collision", 1, " needs a mode: one or per-object",
     [](ExportArguments& arguments, char** values) {
       const std::string mode = values[0];
       if (mode != "one" && mode != "per-object")
         return "--collision takes one or per-object, not '" + mode + "'";
       arguments.controls.exportCollision = true;
       arguments.controls.oneBigObject = mode == "one";
       return std::string();
     }},
    {"--collision-file", 1, " needs a file name (\"\" to derive it)",
     [](ExportArguments& arguments, char** values) {
       arguments.controls.collisionFileName = values[0];
       arguments.collisionFileGiven = true;
       return std::string();
     }},
    {"--install-dir", 1, " needs a folder",
     [](ExportArguments& arguments, char** values) {
       arguments.installDirectory = values[0];
       return std::string();
     }},
    {"--preview", 1, " needs a file name",
     [](ExportArguments& arguments, char** values) {
       arguments.previewPath = values[0];
       return std::string();
     }},
};

// Reads the export command's arguments by the option table. A usage error, or empty when they are sound.
std::string ParseExportArguments(int argc, char** argv, ExportArguments& arguments) {
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const ExportOption* option = nullptr;
    for (const ExportOption& candidate : kExportOptions) {
      if (arg == candidate.name) option = &candidate;
    }
    if (option != nullptr) {
      if (i + option->values >= argc) return arg + option->missing;
      std::string error = option->apply(arguments, argv + i + 1);
      if (!error.empty()) return error;
      i += option->values;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return "unknown option '" + arg + "'";
    } else if (arguments.scenePath.empty()) {
      arguments.scenePath = arg;
    } else {
      return "more than one scene file given ('" + arguments.scenePath + "' and '" + arg + "')";
    }
  }
  const OptionsControls& controls = arguments.controls;
  if (arguments.scenePath.empty()) return "export needs a scene file";
  if (arguments.outputPath.empty()) return "export needs an output file: -o OUT.dbo";
  if (arguments.noTextures && arguments.textureFolderGiven)
    return "--no-textures and --texture-folder exclude each other";
  if (arguments.collisionFileGiven && !controls.exportCollision) return "--collision-file needs --collision";
  if (!controls.collisionFileName.empty() && !IsPlainFileName(controls.collisionFileName)) {
    return "--collision-file takes a file name inside the output folder, not '" + controls.collisionFileName +
           "'";
  }
  if (arguments.outputPath.size() > 511) return "the output path is longer than 511 characters";
  arguments.controls.exportTextures = !arguments.noTextures;
  return {};
}

// The exit status of an export, after the warnings that the closing message leaves out and the preview.
int ExportExitStatus(const ExportOutcome& outcome, const ExportArguments& arguments) {
  int status = 1;
  if (outcome.status == ExportStatus::Exported) status = 0;
  if (outcome.status == ExportStatus::Warning) status = 3;
  // An empty selection exports, as in the editor, but the file then holds no model.
  if (status == 0 && outcome.emptyModel)
    std::fprintf(stderr, "tessaline: warning: the model is empty: '%s' holds no polygons to export\n",
                 arguments.scenePath.c_str());
  // The preview never changes a successful export's status except when it cannot be written.
  if (status != 1 && !arguments.previewPath.empty() &&
      !WritePreview(arguments.outputPath, arguments.previewPath, outcome.written)) {
    return 1;
  }
  return status;
}

int Export(int argc, char** argv, bool drawProgress) {
  ExportArguments arguments;
  const std::string error = ParseExportArguments(argc, argv, arguments);
  if (!error.empty()) return UsageError(error);

  const std::string& scenePath = arguments.scenePath;
  SceneFileHost host;
  if (!ReadWholeFile(scenePath, host.scene)) {
    std::fprintf(stderr, "tessaline: cannot read the scene file '%s'\n", scenePath.c_str());
    return 1;
  }
  if (host.scene.find('\0') != std::string::npos) {
    std::fprintf(stderr, "tessaline: the scene file '%s' holds a NUL byte; it is not an XML text\n",
                 scenePath.c_str());
    return 1;
  }
  host.installAnswer =
      "<installdirectory>" + XmlEscaped(Backslashed(arguments.installDirectory)) + "</installdirectory>";

  HeadlessDesktop desktop;
  desktop.options = arguments.controls;
  desktop.savePath = Backslashed(arguments.outputPath);
  desktop.drawProgress = drawProgress;
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
  ExportSettings settings;
  return ExportExitStatus(RunExport(desktop, host, settings), arguments);
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

int Run(int argc, char** argv, bool drawProgress) {
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
  if (command == "export") return Export(argc, argv, drawProgress);
  if (command == "inspect") return Inspect(argc, argv);
  if (command == "render") return RenderCommand(argc, argv);
  return UsageError("unknown command '" + command + "'");
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  const bool drawProgress = PrepareConsole();
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
  return Run(argc, pointers.data(), drawProgress);
}
#else
int main(int argc, char** argv) {
  return Run(argc, argv, isatty(STDERR_FILENO) != 0);
}
#endif
