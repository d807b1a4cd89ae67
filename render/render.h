// render: draws a DBO file as the engine would, into a PNG, without a GPU or a window.
//
// This folder owns the reading of a DBO file's meshes (on top of the walker's structure check), the
// loading of the textures a file names (from its folder, decoded with stb_image), a software rasteriser
// (left-handed views with y up, Direct3D 9's default culling, perspective-correct bilinear texturing,
// fixed-function stage blending, a z-buffer, 2 x 2 supersampling, translucent layers after the opaque
// ones) and the caption with the model's size, drawn with a small built-in font.
//
// Typical use:
//   RenderOptions options;  options.view = View::Front;
//   StdFileSystem files;
//   RenderResult result = RenderDboFile("level.dbo", "level.png", options, files);
//   // result.status: RenderOk, RenderUnreadable, RenderUnwritable or RenderMissingTextures;
//   // result.error and result.missing say what went wrong.
//
// Nothing here prints; every failure is a value.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dbo/dbo.h"
#include "textures/textures.h"

namespace tessaline {

// ---------------------------------------------------------------------------------------------------------
// The model as the renderer sees it

struct RenderMesh {
  uint32_t stageCount = 0;  // texture stages, and coordinate pairs per vertex
  // Per vertex: position (3 floats), normal (3), then stageCount (u, v) pairs; the frame's scale applied
  // to positions, normals already turned to match.
  std::vector<float> vertices;
  std::vector<uint32_t> indices;  // triangle list, every index below the vertex count
  std::vector<std::string> textureNames;
  std::vector<uint32_t> stageOps;  // one Direct3D 9 texture operation (D3DTOP_...) per stage
  uint32_t VertexFloats() const { return 6 + 2 * stageCount; }
  uint32_t VertexCount() const { return static_cast<uint32_t>(vertices.size() / VertexFloats()); }
};

struct RenderModel {
  std::vector<RenderMesh> meshes;  // one per mesh frame, in file order
};

// The box around every finite vertex position of the model; all zeros when there is none.
void ModelBounds(const RenderModel& model, std::array<double, 3>& low, std::array<double, 3>& high);

// Reads the meshes of a DBO file that the walker accepts. False with a message (the walker's, with its
// byte offset) for anything else; any input is safe.
bool ReadRenderModel(const std::vector<uint8_t>& bytes, RenderModel& model, std::string& error);

// ---------------------------------------------------------------------------------------------------------
// Textures

struct RgbaImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // rows top to bottom, 4 bytes per pixel
};

// Where the renderer gets the images that meshes name.
class TextureSource {
 public:
  virtual ~TextureSource() = default;
  // Fills image and returns "" on success; otherwise the reason the texture is missing.
  virtual std::string Load(const std::string& name, RgbaImage& image) = 0;
};

// Images from files: a name is a backslash path relative to folder. Names that leave the folder ("..",
// absolute, a drive letter) are refused without touching the disk. BMP, PNG, JPEG and TGA are decoded;
// images over kMaxTextureSide on a side are refused.
class FolderTextures final : public TextureSource {
 public:
  explicit FolderTextures(std::string folder) : folder_(std::move(folder)) {}
  std::string Load(const std::string& name, RgbaImage& image) override;

 private:
  std::string folder_;  // native form, ending in a separator or empty
};

constexpr uint32_t kMaxTextureSide = 8192;

// Decodes an image file held in memory (BMP, PNG, JPEG, TGA) to RGBA. Returns "" or the reason.
std::string DecodeImage(const std::vector<uint8_t>& bytes, RgbaImage& image);

// ---------------------------------------------------------------------------------------------------------
// Drawing

enum class View { Iso, Front, Back, Left, Right, Top, Bottom };

// "iso", "front", ... to a View; false for any other text.
bool ParseView(const std::string& text, View& view);

constexpr uint32_t kMaxImageSide = 16384;

struct RenderOptions {
  uint32_t width = 800;  // 1 .. kMaxImageSide
  uint32_t height = 600;
  View view = View::Iso;
  bool twoSided = false;   // also draw faces whose corners run counter-clockwise on screen
  bool wireframe = false;  // triangle edges over the shaded model
  uint32_t threads = 0;    // 0: as many as the machine has
};

struct MissingTexture {
  std::string name;
  std::string reason;
};

// Draws the model into an image of the options' size: background, shaded meshes, caption with the model's
// size. Textures that cannot be loaded are drawn as a magenta and black checker and listed in missing,
// once per name, in the order first met.
RgbaImage RenderModelImage(const RenderModel& model, const RenderOptions& options, TextureSource& textures,
                           std::vector<MissingTexture>& missing);

// Writes text in the image's lower left corner with the built-in font (digits, "+-.", and the letters of
// "x e units nan inf"; other characters leave a space), letters scaled up with the image's height.
void DrawCaption(RgbaImage& image, const std::string& text);

// The caption text for a model: its size along x, y and z in units, e.g. "4 x 2.5 x 3 units".
std::string SizeCaption(const RenderModel& model);

// ---------------------------------------------------------------------------------------------------------
// Files

enum RenderStatus {
  RenderOk = 0,
  RenderUnreadable = 1,  // the DBO file could not be read or is not sound
  RenderUnwritable = 2,  // the PNG could not be written
  RenderMissingTextures = 3,
};

struct RenderResult {
  RenderStatus status = RenderOk;
  std::string error;  // for RenderUnreadable and RenderUnwritable
  std::vector<MissingTexture> missing;
};

// Reads dboPath, draws it with the textures beside it, and writes pngPath through files with WriteFileSafely
// (a temporary file that replaces it only once complete). Paths are in the system's own form.
RenderResult RenderDboFile(const std::string& dboPath, const std::string& pngPath,
                           const RenderOptions& options, FileSystem& files);

}  // namespace tessaline
