// textures: placing the textures a DBO file names beside it.
//
// This folder owns the texture stage (copying image files out of the editor's texture folder and
// generating solid-colour textures), the PNG encoder that writes those colour textures, and the deflate
// compressor inside it. File operations go through base/'s FileSystem, so that the stage runs the same
// against Windows calls and against the standard library.
//
// Typical use:
//   TexturePlacement placement = ExportTextures(true, "Media", "C:\\out\\", installDir, materials,
//                                               progress, files);
//   PngEncoder encoder; std::vector<uint8_t> png;
//   encoder.encode(png, rgba.data(), 8, 8);   // encoder.error == 0 on success
//
// Paths given to this folder use backslashes, as the editor does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/base.h"
#include "scene/scene.h"

namespace tessaline {

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

// The texture names that were placed, and those that could not be (missing source, failed copy or write,
// a name that would leave the output directory, a source that would leave the texture folder, a target
// that is one of the files kept or a texture placed before it), each in the order of the work list.
struct TexturePlacement {
  std::vector<std::string> placed;
  std::vector<std::string> notPlaced;
};

// Places the textures that the materials name (the materials of the meshes written, in their order):
// copies image files from installDirectory\Textures\ and writes colour textures, into outputDirectory
// (which ends in a backslash), creating outputDirectory + folder first when folder is not empty. No texture
// replaces a file in keep. When exportTextures is false it only advances the bar by 20.
TexturePlacement ExportTextures(bool exportTextures, const std::string& folder,
                                const std::string& outputDirectory, const std::string& installDirectory,
                                const std::vector<SceneMaterial>& materials, ProgressWindow& progress,
                                FileSystem& files, const std::vector<std::string>& keep = {});

// Writes the 8 x 8 PNG of a colour-texture name ("...\col_rgba_R_G_B_A_.png") to outputDirectory + name.
// False when the name is not of that form or the file could not be written.
bool WriteColourTexture(std::string outputDirectory, std::string name, FileSystem& files);

// True when a texture name may be placed under the output directory: not absolute, no "/" or ":", no
// ".." component between backslashes, and no component that Windows reserves (IsReservedName).
bool IsSafeTextureName(const std::string& name);

// True when an image source stays inside the editor's texture folder: not empty, no ".." component, not
// absolute, no drive letter or colon, and not beginning with a separator ("\" or "/").
bool IsSafeTextureSource(const std::string& source);

}  // namespace tessaline
