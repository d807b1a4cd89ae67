// Reading the host's XML answers into the scene model.
//
// The scene answer is parsed once, by Mini-XML's SAX parser, into an XmlIndex; the element searches give
// the results of mxmlFindElement as the reading steps call it on the tree mxmlLoadString would build (the
// top as the limit unless a search is confined to an element's subtree), and reading stays linear in the
// size of the document. The install-directory answer is small and keeps a tree of its own.
#include <mxml.h>

#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scene/scene.h"
#include "scene/xml_index.h"

namespace tessaline {
namespace {

constexpr uint32_t kNone = XmlIndex::kNone;
constexpr uint32_t kTop = 0;

BlendMode BlendCode(std::string_view blend) {
  if (blend == "replace") return BlendReplace;
  if (blend == "add") return BlendAdd;
  if (blend == "modulate") return BlendModulate;
  if (blend == "alphablend") return BlendAlphaBlend;
  return BlendNone;
}

TextureLayer ReadLayer(XmlIndex& index, uint32_t element) {
  TextureLayer layer;
  std::string_view type = index.Text(element, XmlAttribute::Type);
  if (type == "lightmap") type = "texture";
  const uint32_t content = index.FindDescend(element, element, type);

  if (type == "color") {
    // Absent colour components read as 0.
    int32_t r = 0, g = 0, b = 0, a = 0;
    index.Number(content, XmlAttribute::R, r);
    index.Number(content, XmlAttribute::G, g);
    index.Number(content, XmlAttribute::B, b);
    index.Number(content, XmlAttribute::A, a);
    layer.name = "col_rgba_" + std::to_string(r) + "_" + std::to_string(g) + "_" + std::to_string(b) + "_" +
                 std::to_string(a) + "_.png";
    layer.source = layer.name;
    layer.isFile = false;
  } else {
    layer.source = index.Text(content, XmlAttribute::File);
    std::deque<std::string> pieces = SplitString(layer.source, "\\");
    if (!pieces.empty()) layer.name = std::move(pieces.back());
  }
  layer.blend = BlendCode(index.Text(element, XmlAttribute::Blend));
  return layer;
}

void ReadMaterials(XmlIndex& index, std::vector<SceneMaterial>& materials) {
  materials.reserve(index.CountElements("material"));
  for (uint32_t element = index.FindDescend(kTop, kTop, "material"); element != kNone;) {
    SceneMaterial material;
    index.Number(element, XmlAttribute::Id, material.id);
    for (uint32_t layer = index.FindDescend(element, element, "layer"); layer != kNone;
         layer = index.FindNoDescend(layer, "layer")) {
      material.layers.push_back(ReadLayer(index, layer));
    }
    element = index.FindDescend(element, kTop, "material");
    materials.push_back(std::move(material));
  }
}

float LoadFloat(const char* value) {
  float f = 0.0f;
  std::memcpy(&f, value, 4);
  return f;
}

SceneVertex ReadCorner(XmlIndex& index, uint32_t corner, uint32_t positionList, uint32_t emptyId) {
  uint32_t vid = emptyId;  // a corner without "vid" refers to the empty id
  bool hasU[4] = {}, hasV[4] = {};
  float u[4] = {}, v[4] = {};
  index.ForEachAttribute(corner, [&](XmlAttribute key, const char* value) {
    if (key >= XmlAttribute::U0 && key <= XmlAttribute::U3) {
      const int slot = static_cast<int>(key) - static_cast<int>(XmlAttribute::U0);
      if (!hasU[slot]) u[slot] = LoadFloat(value);
      hasU[slot] = true;
    } else if (key >= XmlAttribute::V0 && key <= XmlAttribute::V3) {
      const int slot = static_cast<int>(key) - static_cast<int>(XmlAttribute::V0);
      if (!hasV[slot]) v[slot] = LoadFloat(value);
      hasV[slot] = true;
    } else if (key == XmlAttribute::Vid && vid == emptyId) {
      std::memcpy(&vid, value, 4);
    }
  });

  SceneVertex vertex;
  // A corner whose position is not found gets 0, 0, -0.0; absent coordinates read as 0.
  const uint32_t position = index.VertexAtSlot(index.FindVertexSlot(positionList, vid));
  if (position != kNone) {
    index.Number(position, XmlAttribute::X, vertex.x);
    index.Number(position, XmlAttribute::Y, vertex.y);
    index.Number(position, XmlAttribute::Z, vertex.z);
  }
  vertex.z = -vertex.z;

  // Slot 0 is always present; slots 1 to 3 when their u attribute exists. Absent values read as 0.
  vertex.uvSets.Set(0, u[0], v[0]);
  for (int slot = 1; slot < 4; ++slot) {
    if (hasU[slot]) vertex.uvSets.Set(slot, u[slot], v[slot]);
  }
  vertex.vertexSize = 24 + 8 * vertex.uvSets.Count();
  return vertex;
}

// Appends the polygons and corners of every primitive and counts the polygons. Stops at a primitive
// without polygons or vertices after it, whose id it returns in missingId.
bool ReadPrimitives(XmlIndex& index, Scene& scene, int32_t& missingId) {
  // Room for one record per poly element and per vertex element without an id (the corners, in the
  // host's answers); documents whose searches reuse elements grow the vectors as usual.
  scene.polygons.reserve(index.CountElements("poly"));
  scene.vertices.reserve(index.CountElements("vertex") - index.CountVerticesWithId());
  const uint32_t emptyId = index.IdEntry("");

  for (uint32_t primitive = index.FindDescend(kTop, kTop, "primitive"); primitive != kNone;
       primitive = index.FindNoDescend(primitive, "primitive")) {
    const uint32_t polygonList = index.FindDescend(primitive, kTop, "polygons");
    const uint32_t positionList = index.FindDescend(primitive, kTop, "vertices");
    int32_t primitiveId = 0;  // absent: 0
    index.Number(primitive, XmlAttribute::Id, primitiveId);
    if (polygonList == kNone || positionList == kNone) {
      missingId = primitiveId;
      return false;
    }

    for (uint32_t poly = index.FindDescend(polygonList, polygonList, "poly"); poly != kNone;
         poly = index.FindNoDescend(poly, "poly")) {
      ++scene.polygonCount;
      ScenePolygon polygon;
      index.Number(poly, XmlAttribute::Mid, polygon.materialId);  // absent: 0
      polygon.primitiveId = primitiveId;
      polygon.firstVertex = static_cast<uint32_t>(scene.vertices.size());
      uint32_t corners = 0;
      for (uint32_t corner = index.FindDescend(poly, poly, "vertex"); corner != kNone;
           corner = index.FindNoDescend(corner, "vertex")) {
        scene.vertices.push_back(ReadCorner(index, corner, positionList, emptyId));
        ++corners;
      }
      polygon.vertexCount = corners;
      scene.polygons.push_back(polygon);
    }
  }
  return true;
}

// Texture names and sources back in the answer's code page.
void NamesToCodePage(std::vector<SceneMaterial>& materials, const CodePage& codePage) {
  for (SceneMaterial& material : materials) {
    for (TextureLayer& layer : material.layers) {
      layer.name = codePage.FromUtf8(layer.name);
      layer.source = codePage.FromUtf8(layer.source);
    }
  }
}

}  // namespace

std::string ReadInstallDirectory(const std::string& text, const CodePage* codePage) {
  const bool converted = codePage != nullptr && !IsValidUtf8(text);
  mxml_node_t* top = mxmlLoadString(nullptr, converted ? codePage->ToUtf8(text).c_str() : text.c_str(),
                                    MXML_OPAQUE_CALLBACK);
  if (top == nullptr) return {};
  // A single search: the library's own walk is linear already.
  mxml_node_t* directory = mxmlFindElement(top, top, "installdirectory", nullptr, nullptr, MXML_DESCEND);
  mxml_node_t* content = directory == nullptr ? nullptr : mxmlGetFirstChild(directory);
  std::string result;
  if (content != nullptr && mxmlGetType(content) == MXML_OPAQUE) {
    const char* value = mxmlGetOpaque(content);
    if (value != nullptr) result = converted ? codePage->FromUtf8(value) : std::string(value);
  }
  mxmlDelete(top);
  return result;
}

SceneReading ReadScene(std::string&& text, const CodePage* codePage) {
  SceneReading reading;
  const bool converted = codePage != nullptr && !IsValidUtf8(text);
  if (converted) {
    std::string utf8 = codePage->ToUtf8(text);
    text = std::move(utf8);
  }
  XmlIndex index;
  const bool parsed = index.Build(text.c_str());
  // The index holds everything from here on; the text (as large as the answer) goes before the model grows.
  std::string().swap(text);
  if (!parsed) return reading;

  reading.hasSceneElements = index.CountElements("material") + index.CountElements("materials") +
                                 index.CountElements("primitive") + index.CountElements("primitives") >
                             0;
  Scene& scene = reading.scene;
  ReadMaterials(index, scene.materials);
  reading.status =
      ReadPrimitives(index, scene, reading.primitiveId) ? ReadStatus::Read : ReadStatus::MissingGeometry;
  if (converted) NamesToCodePage(scene.materials, *codePage);
  return reading;
}

}  // namespace tessaline
