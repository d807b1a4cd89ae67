#include "cli/dbo_report.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <nlohmann/json.hpp>
#include <span>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "dbo/dbo.h"
#include "scene/scene.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tessaline {
namespace {

// Games that share vertex buffers between objects cap a buffer at this many vertices; a larger mesh (which
// 16-bit indices still address, and earlier versions wrote) is then not drawn.
constexpr uint32_t kSharedBufferVertices = 0xFFFF;

// The tree indents two spaces per level up to this depth; deeper items (a chain of thousands of frames)
// show their depth as a number instead, so that the output grows linearly with the file.
constexpr int kIndentLevels = 8;

// JSON objects keep their keys in insertion order; floats are 32-bit, so they print in the shortest form
// that reads back to the same float.
using Json =
    nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool, int64_t, uint64_t, float>;

// ---------------------------------------------------------------------------------------------------------
// Names

// A name as UTF-8: valid UTF-8 stays as it is; anything else is read as Windows-1252, the editor's usual
// code page, whose five undefined bytes become the control characters of the same value (as Windows does).
std::string AsUtf8(const std::string& raw) {
  return IsValidUtf8(raw) ? raw : Windows1252().ToUtf8(raw);
}

// A name for the terminal: AsUtf8, with control characters escaped (C0 and DEL as \xHH, C1 as \u00HH) so
// that a name cannot move the cursor, clear the screen or fake lines of its own.
std::string Printable(const std::string& raw) {
  const std::string text = AsUtf8(raw);
  std::string out;
  char escape[8];
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<uint8_t>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<uint8_t>(text[i + 1]) : 0;
    if (byte < 0x20 || byte == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      out += escape;
    } else if (byte == 0xC2 && next >= 0x80 && next < 0xA0) {
      std::snprintf(escape, sizeof escape, "\\u00%02X", next);
      out += escape;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The shortest text that reads back to the same float.
std::string Number(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string Triple(const std::array<float, 3>& values, const char* separator) {
  return Number(values[0]) + separator + Number(values[1]) + separator + Number(values[2]);
}

// ---------------------------------------------------------------------------------------------------------
// Reading the file

// The file's bytes: mapped where the system can, so that a file of any size is walked without a copy in
// memory; read into memory elsewhere.
class FileBytes {
 public:
  FileBytes() = default;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  ~FileBytes() {
#ifndef _WIN32
    if (mapped_ != nullptr) munmap(mapped_, size_);
#endif
  }

  // Opens the file; "" on success, otherwise why it cannot be read.
  std::string Load(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::directory) return "it is a directory, not a DBO file";
    if (status.type() != std::filesystem::file_type::not_found && !error &&
        status.type() != std::filesystem::file_type::regular) {
      return "it is not a regular file";
    }
#ifdef _WIN32
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::strerror(errno);
    const std::streamoff size = in.tellg();
    if (size < 0) return "the file cannot be read";
    if (static_cast<uint64_t>(size) > SIZE_MAX) throw std::bad_alloc();
    copy_.resize(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(copy_.data()), size)) return "the file cannot be read";
    size_ = copy_.size();
#else
    // Opened without blocking and checked again once open: the path may have changed since.
    const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      close(fd);
      return S_ISDIR(info.st_mode) ? "it is a directory, not a DBO file" : "it is not a regular file";
    }
    if (static_cast<uint64_t>(info.st_size) > SIZE_MAX) {
      close(fd);
      throw std::bad_alloc();
    }
    size_ = static_cast<size_t>(info.st_size);
    if (size_ > 0) {
      void* mapped = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
      const int mapError = errno;
      close(fd);
      if (mapped == MAP_FAILED) {
        size_ = 0;
        if (mapError == ENOMEM) throw std::bad_alloc();
        return std::strerror(mapError);
      }
      mapped_ = mapped;
    } else {
      close(fd);
    }
#endif
    return "";
  }

  std::span<const uint8_t> Bytes() const {
#ifdef _WIN32
    return copy_;
#else
    return {static_cast<const uint8_t*>(mapped_), size_};
#endif
  }

 private:
  size_t size_ = 0;
#ifdef _WIN32
  std::vector<uint8_t> copy_;
#else
  void* mapped_ = nullptr;
#endif
};

// ---------------------------------------------------------------------------------------------------------
// Facts shared by the views

// The folder that texture names are relative to: the DBO file's own.
std::string FolderOf(const std::string& path) {
#ifdef _WIN32
  const size_t cut = path.find_last_of("/\\");
#else
  const size_t cut = path.rfind('/');
#endif
  return cut == std::string::npos ? "." : path.substr(0, cut + 1);
}

// Whether a texture file named as stored (backslash-separated, relative to the DBO file's folder) exists.
bool TextureFound(const std::string& folder, std::string name) {
  if (name.empty() || name.find('\0') != std::string::npos) return false;
  std::replace(name.begin(), name.end(), '\\', '/');
  std::error_code error;
  try {
    return std::filesystem::is_regular_file(std::filesystem::path(folder + "/" + name), error);
  } catch (const std::system_error&) {
    return false;  // a name the system cannot convert to a path names no file it has
  }
}

struct Texture {
  std::string name;
  bool found = false;
};

// Every texture name once, in order of first use.
std::vector<Texture> DistinctTextures(const std::string& path, const DboReport& report) {
  const std::string folder = FolderOf(path);
  std::vector<Texture> textures;
  std::unordered_set<std::string> seen;
  for (const DboFrameInfo& frame : report.frames) {
    for (const std::string& name : frame.mesh.textureNames) {
      if (seen.insert(name).second) textures.push_back({name, TextureFound(folder, name)});
    }
  }
  return textures;
}

struct Bounds {
  bool any = false;
  std::array<float, 3> min{}, max{};
};

// The bounding box of every mesh with vertices.
Bounds ModelBounds(const DboReport& report) {
  Bounds bounds;
  for (const DboFrameInfo& frame : report.frames) {
    if (!frame.hasMesh || frame.mesh.vertexCount == 0) continue;
    if (!bounds.any) {
      bounds = {true, frame.mesh.boundsMin, frame.mesh.boundsMax};
      continue;
    }
    for (size_t axis = 0; axis < 3; ++axis) {
      bounds.min[axis] = std::min(bounds.min[axis], frame.mesh.boundsMin[axis]);
      bounds.max[axis] = std::max(bounds.max[axis], frame.mesh.boundsMax[axis]);
    }
  }
  return bounds;
}

std::string VertexFormatInWords(uint32_t format) {
  const uint32_t sets = format >> 8;
  return "position, normal, " + (sets == 0 ? std::string("no UV sets") : std::to_string(sets) + " UV set") +
         (sets > 1 ? "s" : "");
}

// ---------------------------------------------------------------------------------------------------------
// Views

void PrintSummary(const std::string& path, const DboReport& report, std::FILE* out) {
  const std::string name = Printable(path);
  for (size_t i = 0; i < report.frames.size(); ++i) {
    const DboFrameInfo& frame = report.frames[i];
    if (!frame.hasMesh) continue;
    const DboMeshInfo& mesh = frame.mesh;
    std::string textures;
    for (const std::string& texture : mesh.textureNames)
      textures += (textures.empty() ? "" : ", ") + Printable(texture);
    std::fprintf(out, "  frame %zu \"%s\": %s; %" PRIu32 " vertices, %" PRIu32 " triangles; %s\n", i,
                 Printable(frame.name).c_str(), VertexFormatInWords(mesh.vertexFormat).c_str(),
                 mesh.vertexCount, mesh.indexCount / 3, textures.empty() ? "no textures" : textures.c_str());
  }

  const Bounds bounds = ModelBounds(report);
  const std::array<float, 3>& rootScale = report.frames.at(0).scale;
  const bool oneScale = std::all_of(report.frames.begin(), report.frames.end(),
                                    [&](const DboFrameInfo& frame) { return frame.scale == rootScale; });
  const std::string scale =
      (oneScale ? "frame scale " : "frame scales differ, the root's ") + Triple(rootScale, " ");
  if (bounds.any) {
    const std::array<float, 3> size = {bounds.max[0] - bounds.min[0], bounds.max[1] - bounds.min[1],
                                       bounds.max[2] - bounds.min[2]};
    std::fprintf(out, "bounding box: min %s, max %s; size %s; %s\n", Triple(bounds.min, " ").c_str(),
                 Triple(bounds.max, " ").c_str(), Triple(size, " x ").c_str(), scale.c_str());
  } else {
    std::fprintf(out, "bounding box: none (no vertices); %s\n", scale.c_str());
  }

  const std::vector<Texture> textures = DistinctTextures(path, report);
  if (!textures.empty()) std::fprintf(out, "textures (relative to the file's folder):\n");
  for (const Texture& texture : textures)
    std::fprintf(out, "  %-10s %s\n", texture.found ? "found" : "not found", Printable(texture.name).c_str());
  std::fprintf(out, "%s: structure OK\n", name.c_str());
}

void PrintTree(const DboReport& report, std::FILE* out) {
  for (const DboItem& item : report.items) {
    const int indent = 2 * std::min(item.depth, kIndentLevels);
    const std::string depth = item.depth > kIndentLevels ? "(depth " + std::to_string(item.depth) + ") " : "";
    const char* name = DboItemName(item.code);
    std::fprintf(out, "%*s%s%" PRIu32 " %s size %" PRIu32 "\n", indent, "", depth.c_str(), item.code,
                 name[0] ? name : "?", item.size);
  }
  std::fprintf(out, "\n%zu frame(s)\n", report.frames.size());
  for (size_t i = 0; i < report.frames.size(); ++i) {
    const DboFrameInfo& frame = report.frames[i];
    std::fprintf(out, "frame %zu \"%s\" scale %s\n", i, Printable(frame.name).c_str(),
                 Triple(frame.scale, " ").c_str());
    if (!frame.hasMesh) continue;
    const DboMeshInfo& mesh = frame.mesh;
    std::fprintf(out,
                 "  mesh: vertex format 0x%" PRIx32 ", vertex size %" PRIu32 ", %" PRIu32
                 " vertices, %" PRIu32 " indices (%" PRIu32 " triangles), %" PRIu32 " texture(s)\n",
                 mesh.vertexFormat, mesh.vertexSize, mesh.vertexCount, mesh.indexCount, mesh.indexCount / 3,
                 mesh.textureCount);
    for (const std::string& texture : mesh.textureNames)
      std::fprintf(out, "    texture %s\n", Printable(texture).c_str());
  }
}

Json JsonFloats(const std::array<float, 3>& values) {
  Json array = Json::array();
  for (float value : values)
    array.push_back(std::isfinite(value) ? Json(value) : Json(nullptr));
  return array;
}

Json JsonBounds(bool any, const std::array<float, 3>& min, const std::array<float, 3>& max) {
  if (!any) return nullptr;
  Json bounds = Json::object();
  bounds["min"] = JsonFloats(min);
  bounds["max"] = JsonFloats(max);
  return bounds;
}

Json JsonFailure(const std::string& path, const std::string& error, const Json& offset) {
  Json json = Json::object();
  json["file"] = AsUtf8(path);
  json["ok"] = false;
  json["error"] = AsUtf8(error);
  json["offset"] = offset;
  return json;
}

Json JsonReport(const std::string& path, uint64_t size, const DboReport& report) {
  if (!report.ok) return JsonFailure(path, report.errorText, report.errorOffset);
  Json json = Json::object();
  json["file"] = AsUtf8(path);
  json["ok"] = true;
  json["size"] = size;
  Json& frames = json["frames"] = Json::array();
  for (const DboFrameInfo& frame : report.frames) {
    Json entry = Json::object();
    entry["name"] = AsUtf8(frame.name);
    entry["scale"] = JsonFloats(frame.scale);
    entry["mesh"] = nullptr;
    if (frame.hasMesh) {
      const DboMeshInfo& mesh = frame.mesh;
      Json& meshJson = entry["mesh"] = Json::object();
      meshJson["vertexFormat"] = mesh.vertexFormat;
      meshJson["vertexSize"] = mesh.vertexSize;
      meshJson["vertexCount"] = mesh.vertexCount;
      meshJson["indexCount"] = mesh.indexCount;
      meshJson["triangleCount"] = mesh.indexCount / 3;  // the walker holds the stored count to this
      Json& textures = meshJson["textures"] = Json::array();
      for (const std::string& texture : mesh.textureNames)
        textures.push_back(AsUtf8(texture));
      meshJson["bounds"] = JsonBounds(mesh.vertexCount > 0, mesh.boundsMin, mesh.boundsMax);
    }
    frames.push_back(std::move(entry));
  }
  const Bounds bounds = ModelBounds(report);
  json["bounds"] = JsonBounds(bounds.any, bounds.min, bounds.max);
  Json& textures = json["textures"] = Json::array();
  for (const Texture& texture : DistinctTextures(path, report)) {
    Json entry = Json::object();
    entry["name"] = AsUtf8(texture.name);
    entry["found"] = texture.found;
    textures.push_back(std::move(entry));
  }
  return json;
}

void PrintJson(const Json& json, std::FILE* out) {
  const std::string text = json.dump(2, ' ', false, Json::error_handler_t::replace);
  std::fprintf(out, "%s\n", text.c_str());
}

int Inspect(const std::string& path, InspectView view, std::FILE* out, std::FILE* err) {
  FileBytes file;
  const std::string unreadable = file.Load(path);
  if (!unreadable.empty()) {
    if (view == InspectView::Json) PrintJson(JsonFailure(path, unreadable, nullptr), out);
    std::fprintf(err, "tessaline: cannot inspect '%s': %s\n", Printable(path).c_str(), unreadable.c_str());
    return 1;
  }
  const std::span<const uint8_t> bytes = file.Bytes();
  const DboReport report = WalkDbo(bytes);

  if (view == InspectView::Json) {
    PrintJson(JsonReport(path, bytes.size(), report), out);
  } else if (view == InspectView::Tree) {
    PrintTree(report, out);
  } else {
    std::fprintf(out, "%s: %zu bytes\n", Printable(path).c_str(), bytes.size());
  }
  if (!report.ok) {
    std::fprintf(err, "tessaline: %s is not a sound DBO file: %s\n", Printable(path).c_str(),
                 Printable(report.error).c_str());
    return 1;
  }
  if (view == InspectView::Summary) PrintSummary(path, report, out);
  if (view == InspectView::Tree) std::fprintf(out, "%s: structure OK\n", Printable(path).c_str());
  for (size_t i = 0; i < report.frames.size(); ++i) {
    if (report.frames[i].mesh.vertexCount > kSharedBufferVertices) {
      std::fprintf(err,
                   "tessaline: warning: %s frame %zu has a mesh of %" PRIu32
                   " vertices: it draws only without shared vertex buffers\n",
                   Printable(path).c_str(), i, report.frames[i].mesh.vertexCount);
    }
  }
  return 0;
}

}  // namespace

int InspectFile(const std::string& path, InspectView view, std::FILE* out, std::FILE* err) {
  // Memory that runs out (a huge frame chain, or mapping a file larger than the address space) ends the
  // inspection with a message, never with an abort.
  try {
    return Inspect(path, view, out, err);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  } catch (const std::exception& error) {
    // A path the system cannot convert (Windows code pages) is the only other failure that throws.
    std::fprintf(err, "tessaline: cannot inspect '%s': %s\n", Printable(path).c_str(), error.what());
    return 1;
  }
  // What was held is released by now, so the message itself finds memory.
  try {
    if (view == InspectView::Json) PrintJson(JsonFailure(path, "out of memory", nullptr), out);
    std::fprintf(err, "tessaline: out of memory while inspecting '%s'\n", Printable(path).c_str());
  } catch (const std::exception&) {
    std::fputs("tessaline: out of memory\n", err);
  }
  return 1;
}

}  // namespace tessaline
