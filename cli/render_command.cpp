// tessaline render, and the preview that tessaline export --preview draws.
#include "cli/render_command.h"

#include <cstdio>
#include <string>
#include <vector>

#include "render/render.h"

#ifdef _WIN32
#include "plugin/win32/win32_desktop.h"
#endif

namespace tessaline {

namespace {

// Images are written through the same file calls as the export's.
#ifdef _WIN32
using PlatformFiles = Win32FileSystem;
#else
using PlatformFiles = StdFileSystem;
#endif

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tessaline: %s\nTry 'tessaline --help'.\n", message.c_str());
  return 2;
}

// "WxH", each side 1 .. kMaxImageSide.
bool ParseSize(const std::string& text, uint32_t& width, uint32_t& height) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  auto side = [](const std::string& digits, uint32_t& value) {
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
      return false;
    value = static_cast<uint32_t>(std::stoul(digits));
    return value >= 1 && value <= kMaxImageSide;
  };
  return side(text.substr(0, x), width) && side(text.substr(x + 1), height);
}

void ReportMissing(const std::vector<MissingTexture>& missing) {
  for (const MissingTexture& texture : missing) {
    std::fprintf(stderr, "tessaline: texture '%s' is missing (%s); drawn as a magenta and black checker\n",
                 texture.name.c_str(), texture.reason.c_str());
  }
}

}  // namespace

int RenderCommand(int argc, char** argv) {
  std::string input, output;
  RenderOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "-o" || arg == "--output") {
      if (value == nullptr) return UsageError(arg + " needs a file name");
      output = argv[++i];
    } else if (arg == "--size") {
      if (value == nullptr || !ParseSize(value, options.width, options.height)) {
        return UsageError("--size takes WIDTHxHEIGHT, each 1 to " + std::to_string(kMaxImageSide));
      }
      ++i;
    } else if (arg == "--view") {
      if (value == nullptr || !ParseView(value, options.view))
        return UsageError("--view takes iso, front, back, left, right, top or bottom");
      ++i;
    } else if (arg == "--two-sided") {
      options.twoSided = true;
    } else if (arg == "--wireframe") {
      options.wireframe = true;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return UsageError("unknown option '" + arg + "'");
    } else if (input.empty()) {
      input = arg;
    } else {
      return UsageError("more than one DBO file given ('" + input + "' and '" + arg + "')");
    }
  }
  if (input.empty()) return UsageError("render needs a DBO file");
  if (output.empty()) return UsageError("render needs an output file: -o OUT.png");

  PlatformFiles files;
  const RenderResult result = RenderDboFile(input, output, options, files);
  ReportMissing(result.missing);
  if (!result.error.empty()) std::fprintf(stderr, "tessaline: %s\n", result.error.c_str());
  switch (result.status) {
    case RenderOk:
      return 0;
    case RenderMissingTextures:
      return 3;
    default:
      return 1;
  }
}

bool WritePreview(const std::string& dboPath, const std::string& previewPath,
                  const std::vector<std::string>& written) {
  PlatformFiles files;
  std::string preview = previewPath;
  for (char& c : preview) {
    if (c == '/') c = '\\';
  }
  const std::string identity = files.FileIdentity(preview);
  for (const std::string& file : written) {
    if (files.FileIdentity(file) == identity) {
      std::fprintf(stderr, "tessaline: the preview '%s' would replace '%s', which the export wrote\n",
                   previewPath.c_str(), files.NativePath(file).c_str());
      return false;
    }
  }
  const RenderResult result = RenderDboFile(dboPath, previewPath, RenderOptions{}, files);
  ReportMissing(result.missing);
  if (result.status == RenderUnreadable || result.status == RenderUnwritable) {
    std::fprintf(stderr, "tessaline: the preview was not written: %s\n", result.error.c_str());
    return false;
  }
  return true;
}

}  // namespace tessaline
