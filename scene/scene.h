// scene: what one export knows about the editor's scene, and how it gets there.
//
// This folder owns the flat scene model (materials with their texture layers, polygons, corner vertices),
// the reader that fills it from the host's XML answers (parsed with Mini-XML), the decimal conversions the
// whole program uses for attribute and edit texts, and the string splitting used on paths and names.
//
// Typical use, one export:
//   std::string text = declaration + answer;           // the reader always gets a complete document
//   std::vector<SceneMaterial> materials;
//   ReadMaterials(text, materials);
//   std::vector<ScenePolygon> polygons; std::vector<SceneVertex> vertices; uint32_t count = 0;
//   if (!ReadPrimitives(text, polygons, vertices, count)) { /* a primitive lacks its polygons/vertices */ }
//
// Nothing here shows messages, logs, or touches the platform. Readers report through their bool result.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// Mini-XML's node type, declared here so that callers of the attribute helpers need not include mxml.h.
typedef struct _mxml_node_s mxml_node_t;

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

// One material and its texture layers; the per-layer sequences have layerCount entries each.
struct SceneMaterial {
  int32_t id = 0;
  uint32_t layerCount = 0;
  std::vector<int32_t> blendModes;
  std::vector<std::string> textureNames;    // the name the DBO file stores (possibly with folder prefix)
  std::vector<std::string> textureSources;  // image path relative to the editor's texture folder
  std::vector<bool> textureIsFile;          // false for generated colour textures
  // Sum over layers of 164 + length of the textureNames entry: the bytes of the material's texture
  // entries in a DBO file. Whoever renames a texture adjusts it by the change in length.
  uint32_t textureDataSize = 0;
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

struct SceneVertex {
  float x = 0.0f, y = 0.0f, z = 0.0f;     // z is already negated by the reader
  float nx = 0.0f, ny = 0.0f, nz = 0.0f;  // set by mesh building (face normal)
  std::array<UvSet, 4> uvSets{};          // slot 0 is always present after reading
  uint32_t vertexSize = 32;               // 24 + 8 x number of present slots
};

// The whole model of one export.
struct Scene {
  std::vector<SceneMaterial> materials;
  std::vector<ScenePolygon> polygons;
  std::vector<SceneVertex> vertices;
  uint32_t polygonCount = 0;
};

// ---------------------------------------------------------------------------------------------------------
// XML reader. Every function takes a complete document (XML declaration included) and parses it afresh.

// The text of the first installdirectory element, exactly as written; empty when there is none or when
// the text cannot be parsed.
std::string ReadInstallDirectory(const std::string& text);

// Appends one SceneMaterial per material element, in document order. Always returns true (unparsable
// text appends nothing). When parsed is given, it tells whether Mini-XML could parse the text at all (it
// cannot when the text is malformed or memory runs out), so that a caller can tell an empty scene from
// an unreadable one.
bool ReadMaterials(const std::string& text, std::vector<SceneMaterial>& materials, bool* parsed = nullptr);

// Appends the polygons and corner vertices of every primitive and sets polygonCount to the number of
// polygons read. Returns false when a primitive has no polygons or no vertices element after it; what was
// read before that primitive stays appended and counted.
// parsed: as for ReadMaterials.
bool ReadPrimitives(const std::string& text, std::vector<ScenePolygon>& polygons,
                    std::vector<SceneVertex>& vertices, uint32_t& polygonCount, bool* parsed = nullptr);
// The same, releasing the text as soon as it is parsed (for the last reading of a large answer).
bool ReadPrimitives(std::string&& text, std::vector<ScenePolygon>& polygons,
                    std::vector<SceneVertex>& vertices, uint32_t& polygonCount, bool* parsed = nullptr);

// Attribute conversions. Both return true and set the destination when the element exists and has the
// attribute; otherwise they return false and leave the destination untouched.
bool GetIntAttribute(mxml_node_t* element, const char* name, int32_t& value);
bool GetFloatAttribute(mxml_node_t* element, const char* name, float& value);

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
