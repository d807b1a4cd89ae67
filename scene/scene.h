// scene: what one export knows about the editor's scene, and how it gets there.
//
// This folder owns the flat scene model (materials with their texture layers, polygons, corner vertices),
// the reader that fills it from the host's XML answers (parsed with Mini-XML), the decimal conversions the
// whole program uses for attribute and edit texts, and the string splitting used on paths and names.
//
// Typical use, one export:
//   std::string text = declaration + answer;           // the reader always gets a complete document
//   SceneReading reading = ReadScene(std::move(text), &Windows1252());
//   if (reading.status != ReadStatus::Read) { /* unparsable, or a primitive lacks polygons/vertices */ }
//
// Nothing here shows messages, logs, or touches the platform. Readers report through their result.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

// ---------------------------------------------------------------------------------------------------------
// Scene model

// Blend codes of a texture layer, from its "blend" attribute (exact, case-sensitive match).
enum BlendMode : int32_t {
  BlendNone = 0,        // anything else, or no attribute
  BlendReplace = 1,     // "replace"
  BlendAdd = 2,         // "add"
  BlendModulate = 3,    // "modulate"
  BlendAlphaBlend = 4,  // "alphablend"
};

// One texture layer of a material.
struct TextureLayer {
  BlendMode blend = BlendNone;
  std::string name;    // the name the DBO file stores (possibly with folder prefix)
  std::string source;  // image path relative to the editor's texture folder; a colour texture's own name
  bool isFile = true;  // false for generated colour textures

  bool operator==(const TextureLayer&) const = default;
};

// One material and its texture layers, in the order the scene gives them.
struct SceneMaterial {
  int32_t id = 0;
  std::vector<TextureLayer> layers;
};

struct ScenePolygon {
  uint32_t firstVertex = 0;  // index of the first corner in the vertices sequence
  uint32_t vertexCount = 0;  // corners are vertices[firstVertex .. firstVertex + vertexCount)
  int32_t materialId = 0;    // the "mid" of the poly: a SceneMaterial id, not a position
  int32_t primitiveId = 0;   // the "id" of the enclosing primitive
};

// One texture-coordinate slot of a corner (u0/v0 .. u3/v3).
struct UvSet {
  bool present = false;
  float u = 0.0f;
  float v = 0.0f;
};

// The texture-coordinate slots of a corner. Almost every corner has slot 0 only, so the first present
// slot is held inline and the others, in slot order, apart: a corner with one slot carries one pair.
class UvSets {
 public:
  UvSets() = default;
  UvSets(const UvSets& other) { *this = other; }
  UvSets(UvSets&&) noexcept = default;
  UvSets& operator=(const UvSets& other);
  UvSets& operator=(UvSets&&) noexcept = default;
  ~UvSets() = default;

  // Slot 0 to 3; an absent slot reads as not present with (0, 0).
  UvSet Get(int slot) const;
  // Makes the slot present with the pair (u, v).
  void Set(int slot, float u, float v);
  void Clear();
  uint32_t Count() const;

 private:
  uint8_t mask_ = 0;  // bit k: slot k present
  float first_[2] = {0.0f, 0.0f};
  std::unique_ptr<float[]> more_;  // u, v of each further present slot
};

struct SceneVertex {
  float x = 0.0f, y = 0.0f, z = 0.0f;     // z is already negated by the reader
  float nx = 0.0f, ny = 0.0f, nz = 0.0f;  // set by mesh building (face normal)
  uint32_t vertexSize = 32;               // 24 + 8 x number of present slots
  UvSets uvSets;                          // slot 0 is always present after reading
};

// The whole model of one export.
struct Scene {
  std::vector<SceneMaterial> materials;
  std::vector<ScenePolygon> polygons;
  std::vector<SceneVertex> vertices;
  uint32_t polygonCount = 0;
};

// ---------------------------------------------------------------------------------------------------------
// Code pages. The editor writes its answers in UTF-8 or, with names in its ANSI code page, in that code
// page; the parser reads UTF-8 only.

class CodePage {
 public:
  virtual ~CodePage() = default;
  // Text in this code page, as UTF-8.
  virtual std::string ToUtf8(std::string_view text) const = 0;
  // UTF-8 text in this code page; a character the code page lacks becomes "?".
  virtual std::string FromUtf8(std::string_view text) const = 0;
};

// Windows-1252, with the five bytes it leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) read as the control
// characters of the same value, as Windows reads them.
const CodePage& Windows1252();

// True when text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// ---------------------------------------------------------------------------------------------------------
// XML reader. Every function takes a complete document (XML declaration included). An answer that is not
// valid UTF-8 is read in the given code page (when one is given): converted to UTF-8 for the parser, and
// every name read from it converted back, so that names keep their bytes.

// The text of the first installdirectory element, exactly as written; empty when there is none or when
// the text cannot be parsed.
std::string ReadInstallDirectory(const std::string& text, const CodePage* codePage = nullptr);

enum class ReadStatus {
  Read,             // the scene is complete
  Unparsable,       // the parser rejected the text (malformed, or too large for the memory left)
  MissingGeometry,  // a primitive has no polygons or no vertices element after it
};

struct SceneReading {
  ReadStatus status = ReadStatus::Unparsable;
  Scene scene;                    // Unparsable: empty; MissingGeometry: what was read before that primitive
  int32_t primitiveId = 0;        // MissingGeometry: the "id" of the primitive (absent: 0)
  bool hasSceneElements = false;  // any material, materials, primitive or primitives element at all
};

// Reads the materials with their texture layers and the polygons of every primitive with their corners
// from one parse of the scene answer. The text is released as soon as it is parsed. Throws std::bad_alloc
// when memory runs out outside the parser.
SceneReading ReadScene(std::string&& text, const CodePage* codePage = nullptr);

// ---------------------------------------------------------------------------------------------------------
// Decimal conversions, independent of the process locale.

// Leading white space (space, \t, \n, \v, \f, \r), an optional sign, decimal digits up to the first other
// character; no digits give 0; the value wraps modulo 2^32.
int32_t ParseInt(std::string_view text);

// Leading white space, then the longest prefix of the form [sign] digits [. digits] [(e|E) [sign] digits]
// (at least one mantissa digit) converted in double precision, correctly rounded; "." is always the
// decimal point. Text without a number gives 0; out-of-range values give +-infinity or +-0.
double ParseDouble(std::string_view text);

// ParseDouble rounded to a 32-bit float.
float ParseFloat(std::string_view text);

// ---------------------------------------------------------------------------------------------------------
// Strings

// Removes spaces, tabs and line feeds from both ends (the end first). Other characters are kept.
void TrimWhitespace(std::string& text);

// Cuts text at the first character of separator into trimmed pieces: one piece before each separator, and
// one more when at least one character follows the last separator. Empty text gives no pieces; an empty
// separator never matches.
std::deque<std::string> SplitString(std::string text, std::string separator);

}  // namespace tessaline
