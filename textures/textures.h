// textures: placing the textures a DBO file names beside it.
//
// This folder owns the texture stage (copying image files out of the editor's texture folder and
// generating solid-colour textures), the PNG encoder that writes those colour textures, and the deflate
// compressor inside it. File operations go through the small FileSystem interface below, so that the
// stage runs the same against Windows calls and against the standard library.
//
// Typical use:
//   std::vector<std::string> missed = ExportTextures(true, "Media", "C:\\out\\", installDir,
//                                                   sceneObject.meshes, progress, files);
//   PngEncoder encoder; std::vector<uint8_t> png;
//   encoder.encode(png, rgba.data(), 8, 8);   // encoder.error == 0 on success
//
// Paths given to this folder use backslashes, as the editor does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbo/dbo.h"

namespace tessaline {

// ---------------------------------------------------------------------------------------------------------
// File operations (backslash paths)

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Makes one folder level. False when it could not be made (an existing folder also gives false).
  virtual bool CreateFolder(const std::string& path) = 0;
  // Copies a file, overwriting the destination. False on any failure.
  virtual bool CopyFile(const std::string& from, const std::string& to) = 0;
  // Writes bytes to a temporary file beside path and moves it over path only once it is complete; on
  // failure the temporary file is removed and an existing file at path is left as it was.
  virtual bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) = 0;
  // Moves a finished file over another one (replacing it). False on failure.
  virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;
  // Removes a file; missing files are no error.
  virtual void RemoveFile(const std::string& path) = 0;
  // The form of a path that the standard file streams accept on this system.
  virtual std::string NativePath(const std::string& path) = 0;
};

// FileSystem over std::filesystem and std::ofstream; backslashes become the system's separator.
class StdFileSystem : public FileSystem {
 public:
  bool CreateFolder(const std::string& path) override;
  bool CopyFile(const std::string& from, const std::string& to) override;
  bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) override;
  std::string NativePath(const std::string& path) override;
};

// The name of the temporary file that a write to path goes through before it replaces path.
std::string TemporaryPathFor(const std::string& path);

// ---------------------------------------------------------------------------------------------------------
// Deflate (zlib stream)

struct EncoderSettings {
  bool dropOpaqueAlpha = true;  // write fully opaque RGBA without the alpha channel
  uint32_t blockType = 2;       // 0 stored, 1 fixed codes, 2 dynamic codes
  bool useLZ77 = true;          // look for repeated strings
  uint32_t windowSize = 2048;   // how far back matches may reach (at most 32768)
};

// Appends a complete zlib stream (header 0x78 0x01, deflate data, Adler-32) of data to out.
void compress(std::vector<uint8_t>& out, const std::vector<uint8_t>& data, const EncoderSettings& settings);

uint32_t Adler32(const uint8_t* data, size_t size);
uint32_t Crc32(const uint8_t* data, size_t size);

// ---------------------------------------------------------------------------------------------------------
// PNG encoder

// Result codes of PngEncoder::encode (PngEncoder::error).
enum PngResult : uint32_t {
  PngOk = 0,
  PngNothingEncoded = 1,
  PngUnsupportedConversion = 59,  // channels is neither 3 nor 4
  PngWindowTooLarge = 60,
  PngBadBlockType = 61,
  PngBadImageSize = 90,  // width or height 0 or above 2^31 - 1, or an image too large to hold in memory
};

class PngEncoder {
 public:
  EncoderSettings settings;
  uint32_t channels = 4;  // of the image handed to encode: 3 for RGB, 4 for RGBA, 8 bits each
  uint32_t error = PngNothingEncoded;

  // Appends a PNG file of the width x height image (rows without padding) to out; sets error. An RGBA
  // image whose pixels are all opaque is written as RGB when settings.dropOpaqueAlpha is set.
  void encode(std::vector<uint8_t>& out, const uint8_t* image, uint32_t width, uint32_t height);
};

// ---------------------------------------------------------------------------------------------------------
// Texture stage

// The stage's work list: parallel sequences indexed alike.
struct TextureEntry {
  std::vector<std::string> names;
  std::vector<std::string> sources;
  std::vector<bool> isFile;
};

// Places the textures that meshes name: copies image files from installDirectory\Textures\ and writes
// colour textures, into outputDirectory (which ends in a backslash), creating outputDirectory + folder
// first when folder is not empty. When exportTextures is false it only advances the bar by 20. Returns the
// names that could not be placed (missing source, failed copy or write, a name that would leave the output
// directory); empty when everything was placed.
std::vector<std::string> ExportTextures(bool exportTextures, const std::string& folder,
                                        const std::string& outputDirectory,
                                        const std::string& installDirectory,
                                        const std::vector<MeshRecord>& meshes, ProgressWindow& progress,
                                        FileSystem& files);

// Writes the 8 x 8 PNG of a colour-texture name ("...\col_rgba_R_G_B_A_.png") to outputDirectory + name.
// False when the name is not of that form or the file could not be written.
bool WriteColourTexture(std::string outputDirectory, std::string name, FileSystem& files);

// True when a texture name may be placed under the output directory: not absolute, no "/" or ":", and
// no ".." component between backslashes.
bool IsSafeTextureName(const std::string& name);

}  // namespace tessaline
