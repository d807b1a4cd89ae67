// textures: placing the textures a DBO file names beside it.
//
// This folder owns the texture stage (copying image files out of the editor's texture folder and
// generating solid-colour textures), the PNG encoder that writes those colour textures, and the deflate
// compressor inside it. File operations go through base/'s FileSystem, so that the stage runs the same
// against Windows calls and against the standard library.
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

#include "base/base.h"
#include "dbo/dbo.h"

namespace tessaline {

// ---------------------------------------------------------------------------------------------------------
// Deflate (zlib stream)

struct EncoderSettings {
  bool dropOpaqueAlpha = true;  // write fully opaque RGBA / grey+alpha without the alpha channel
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

struct PngInfo {
  uint32_t colorType = 6;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
  uint32_t bitDepth = 8;
  std::vector<uint8_t> palette;  // RGBA quadruples
  bool keyDefined = false;
  uint32_t keyR = 0, keyG = 0, keyB = 0;
  bool backgroundDefined = false;
  uint32_t backgroundR = 0, backgroundG = 0, backgroundB = 0;
  std::vector<std::string> textKeys;
  std::vector<std::string> textStrings;
};

struct RawColorMode {
  uint32_t colorType = 6;
  uint32_t bitDepth = 8;
  std::vector<uint8_t> palette;
  bool keyDefined = false;
  uint32_t keyR = 0, keyG = 0, keyB = 0;
};

// Result codes of PngEncoder::encode (PngEncoder::error).
enum PngResult : uint32_t {
  PngOk = 0,
  PngNothingEncoded = 1,
  PngPaletteIndexOutOfRange8 = 46,
  PngPaletteIndexOutOfRangeSmall = 47,
  PngUnsupportedConversion =
      59,  // the file's colour mode cannot be made from the raw one (or is no PNG mode)
  PngWindowTooLarge = 60,
  PngBadBlockType = 61,
  PngTextCountMismatch = 65,
  PngTextKeyTooLong = 66,
  PngTextKeyEmpty = 67,
  PngBadPaletteSize = 68,
  PngBadImageSize = 90,  // width or height 0 or above 2^31 - 1, or an image too large to hold in memory
};

class PngEncoder {
 public:
  PngInfo infoPng;      // requested; left untouched by encode
  PngInfo workingInfo;  // the copy encode works with
  EncoderSettings settings;
  RawColorMode infoRaw;  // describes the image handed to encode
  uint32_t error = PngNothingEncoded;

  // Appends a PNG file of the width x height image (pixels as infoRaw describes, rows without padding) to
  // out; sets error. A raw mode equal to the file's passes through unchanged (any valid PNG colour type
  // and bit depth); otherwise the file must be 8-bit RGB or RGBA, made from any valid raw mode (16-bit
  // samples keep their high byte, a raw colour key becomes alpha 0), and anything else gives
  // PngUnsupportedConversion.
  void encode(std::vector<uint8_t>& out, const uint8_t* image, uint32_t width, uint32_t height);
};

// Writes buffer to the file (created or truncated). Reports nothing.
void saveFile(const std::vector<uint8_t>& buffer, const std::string& filename);

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
// directory, a source that would leave the texture folder, a target that is one of the files in keep or a
// texture placed before it); empty when everything was placed.
std::vector<std::string> ExportTextures(bool exportTextures, const std::string& folder,
                                        const std::string& outputDirectory,
                                        const std::string& installDirectory,
                                        const std::vector<MeshRecord>& meshes, ProgressWindow& progress,
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
