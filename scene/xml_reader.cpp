// Reading the host's XML answers into the scene model.
//
// The element searches give the results of Mini-XML's mxmlFindElement as the reading steps call it (the
// tree's top as the limit unless a search is confined to an element's subtree), but they are answered by
// an XmlIndex, so that reading stays linear in the size of the document.
#include <mxml.h>

#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "scene/scene.h"
#include "scene/xml_index.h"

namespace tessaline {
namespace {

// Owns a parsed tree; the tree is released whatever way the reading ends.
class Tree {
 public:
  // No parent node: the declaration in front of every answer becomes the top. Character data becomes one
  // opaque text node per run, whitespace kept.
  explicit Tree(const std::string& text)
      : top_(mxmlLoadString(nullptr, text.c_str(), MXML_OPAQUE_CALLBACK)) {}
  ~Tree() {
    if (top_ != nullptr) mxmlDelete(top_);
  }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  mxml_node_t* top() const { return top_; }

 private:
  mxml_node_t* top_;
};

// A text attribute; absent attributes and missing elements read as the empty text.
std::string_view TextAttribute(mxml_node_t* element, const char* name) {
  if (element == nullptr) return {};
  const char* value = mxmlElementGetAttr(element, name);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

int32_t BlendCode(std::string_view blend) {
  if (blend == "replace") return BlendReplace;
  if (blend == "add") return BlendAdd;
  if (blend == "modulate") return BlendModulate;
  if (blend == "alphablend") return BlendAlphaBlend;
  return BlendNone;
}

void ReadLayer(XmlIndex& index, mxml_node_t* layer, SceneMaterial& material) {
  std::string_view type = TextAttribute(layer, "type");
  if (type == "lightmap") type = "texture";
  mxml_node_t* content = index.FindDescend(layer, layer, type);

  std::string name;
  if (type == "color") {
    // Absent colour components read as 0.
    int32_t r = 0, g = 0, b = 0, a = 0;
    GetIntAttribute(content, "r", r);
    GetIntAttribute(content, "g", g);
    GetIntAttribute(content, "b", b);
    GetIntAttribute(content, "a", a);
    name = "col_rgba_" + std::to_string(r) + "_" + std::to_string(g) + "_" + std::to_string(b) + "_" +
           std::to_string(a) + "_.png";
    material.textureSources.push_back(name);
    material.textureIsFile.push_back(false);
  } else {
    std::string source(TextAttribute(content, "file"));
    std::deque<std::string> pieces = SplitString(source, "\\");
    if (!pieces.empty()) name = std::move(pieces.back());
    material.textureSources.push_back(std::move(source));
    material.textureIsFile.push_back(true);
  }
  material.blendModes.push_back(BlendCode(TextAttribute(layer, "blend")));
  material.textureDataSize += 164u + static_cast<uint32_t>(name.size());
  material.textureNames.push_back(std::move(name));
  ++material.layerCount;
}

// A position element's coordinates, converted once however many corners refer to it.
struct Position {
  float x = 0.0f, y = 0.0f, z = 0.0f;  // absent attributes read as 0
  bool read = false;
};

// Corner and position elements are read in one pass over their attributes rather than one lookup per
// attribute: the same values as GetFloatAttribute gives (attribute names are unique within an element),
// without scanning the list again for every name.
const Position& ReadPosition(XmlIndex& index, uint32_t slot, std::vector<Position>& positions) {
  Position& position = positions[slot];
  if (position.read) return position;
  position.read = true;
  mxml_node_t* element = index.VertexAtSlot(slot);
  const int attributes = mxmlElementGetAttrCount(element);
  for (int i = 0; i < attributes; ++i) {
    const char* name = nullptr;
    const char* value = mxmlElementGetAttrByIndex(element, i, &name);
    if (name == nullptr || value == nullptr || name[0] == '\0' || name[1] != '\0') continue;
    if (name[0] == 'x') position.x = ParseFloat(value);
    if (name[0] == 'y') position.y = ParseFloat(value);
    if (name[0] == 'z') position.z = ParseFloat(value);
  }
  return position;
}

SceneVertex ReadCorner(XmlIndex& index, mxml_node_t* corner, mxml_node_t* positionList,
                       std::vector<Position>& positions) {
  const char* vid = "";  // a corner without "vid" refers to the empty id
  const char* u[4] = {};
  const char* v[4] = {};
  const int attributes = mxmlElementGetAttrCount(corner);
  for (int i = 0; i < attributes; ++i) {
    const char* name = nullptr;
    const char* value = mxmlElementGetAttrByIndex(corner, i, &name);
    if (name == nullptr || value == nullptr) continue;
    if ((name[0] == 'u' || name[0] == 'v') && name[1] >= '0' && name[1] <= '3' && name[2] == '\0') {
      (name[0] == 'u' ? u : v)[name[1] - '0'] = value;
    } else if (std::strcmp(name, "vid") == 0) {
      vid = value;
    }
  }

  SceneVertex vertex;
  // A corner whose position is not found gets 0, 0, -0.0.
  const uint32_t slot = index.FindVertexSlot(positionList, vid);
  if (slot != XmlIndex::kNoSlot) {
    const Position& position = ReadPosition(index, slot, positions);
    vertex.x = position.x;
    vertex.y = position.y;
    vertex.z = position.z;
  }
  vertex.z = -vertex.z;

  // Slot 0 is always present; slots 1 to 3 when their u attribute exists. Absent values read as 0.
  uint32_t present = 0;
  for (int slot = 0; slot < 4; ++slot) {
    UvSet& set = vertex.uvSets[slot];
    set.present = slot == 0 || u[slot] != nullptr;
    if (!set.present) continue;
    if (u[slot] != nullptr) set.u = ParseFloat(u[slot]);
    if (v[slot] != nullptr) set.v = ParseFloat(v[slot]);
    ++present;
  }
  vertex.vertexSize = 24 + 8 * present;
  return vertex;
}

}  // namespace

bool GetIntAttribute(mxml_node_t* element, const char* name, int32_t& value) {
  if (element == nullptr) return false;
  const char* text = mxmlElementGetAttr(element, name);
  if (text == nullptr) return false;
  value = ParseInt(text);
  return true;
}

bool GetFloatAttribute(mxml_node_t* element, const char* name, float& value) {
  if (element == nullptr) return false;
  const char* text = mxmlElementGetAttr(element, name);
  if (text == nullptr) return false;
  value = ParseFloat(text);
  return true;
}

std::string ReadInstallDirectory(const std::string& text) {
  Tree tree(text);
  if (tree.top() == nullptr) return {};
  // A single search: the library's own walk is linear already.
  mxml_node_t* directory =
      mxmlFindElement(tree.top(), tree.top(), "installdirectory", nullptr, nullptr, MXML_DESCEND);
  mxml_node_t* content = directory == nullptr ? nullptr : mxmlGetFirstChild(directory);
  if (content == nullptr || mxmlGetType(content) != MXML_OPAQUE) return {};
  const char* value = mxmlGetOpaque(content);
  return value == nullptr ? std::string() : std::string(value);
}

bool ReadMaterials(const std::string& text, std::vector<SceneMaterial>& materials, bool* parsed) {
  Tree tree(text);
  mxml_node_t* top = tree.top();
  if (parsed != nullptr) *parsed = top != nullptr;
  if (top == nullptr) return true;
  XmlIndex index(top);
  materials.reserve(materials.size() + index.CountElements("material"));

  for (mxml_node_t* element = index.FindDescend(top, top, "material"); element != nullptr;) {
    SceneMaterial material;
    GetIntAttribute(element, "id", material.id);
    for (mxml_node_t* layer = index.FindDescend(element, element, "layer"); layer != nullptr;
         layer = index.FindNoDescend(layer, "layer")) {
      ReadLayer(index, layer, material);
    }
    element = index.FindDescend(element, top, "material");
    materials.push_back(std::move(material));
  }
  return true;
}

bool ReadPrimitives(std::string&& text, std::vector<ScenePolygon>& polygons,
                    std::vector<SceneVertex>& vertices, uint32_t& polygonCount, bool* parsed) {
  polygonCount = 0;
  Tree tree(text);
  // The tree holds everything from here on; the text (as large as the answer) goes before the model grows.
  text.clear();
  text.shrink_to_fit();
  mxml_node_t* top = tree.top();
  if (parsed != nullptr) *parsed = top != nullptr;
  if (top == nullptr) return true;
  XmlIndex index(top, true);
  std::vector<Position> positions(index.CountVerticesWithId());
  // Room for one record per poly element and per vertex element without an id (the corners, in the
  // host's answers); documents whose searches reuse elements grow the vectors as usual.
  polygons.reserve(polygons.size() + index.CountElements("poly"));
  vertices.reserve(vertices.size() + (index.CountElements("vertex") - index.CountVerticesWithId()));

  for (mxml_node_t* primitive = index.FindDescend(top, top, "primitive"); primitive != nullptr;
       primitive = index.FindNoDescend(primitive, "primitive")) {
    mxml_node_t* polygonList = index.FindDescend(primitive, top, "polygons");
    mxml_node_t* positionList = index.FindDescend(primitive, top, "vertices");
    if (polygonList == nullptr || positionList == nullptr) return false;
    int32_t primitiveId = 0;  // absent: 0
    GetIntAttribute(primitive, "id", primitiveId);

    for (mxml_node_t* poly = index.FindDescend(polygonList, polygonList, "poly"); poly != nullptr;
         poly = index.FindNoDescend(poly, "poly")) {
      ++polygonCount;
      ScenePolygon polygon;
      GetIntAttribute(poly, "mid", polygon.materialId);  // absent: 0
      polygon.primitiveId = primitiveId;
      polygon.firstVertex = static_cast<uint32_t>(vertices.size());
      uint32_t corners = 0;
      for (mxml_node_t* corner = index.FindDescend(poly, poly, "vertex"); corner != nullptr;
           corner = index.FindNoDescend(corner, "vertex")) {
        vertices.push_back(ReadCorner(index, corner, positionList, positions));
        ++corners;
      }
      polygon.vertexCount = corners;
      polygons.push_back(polygon);
    }
  }
  return true;
}

bool ReadPrimitives(const std::string& text, std::vector<ScenePolygon>& polygons,
                    std::vector<SceneVertex>& vertices, uint32_t& polygonCount, bool* parsed) {
  return ReadPrimitives(std::string(text), polygons, vertices, polygonCount, parsed);
}

}  // namespace tessaline
