// The reading steps done the plain way, one mxmlFindElement call per search, with the library's own walks.
// It is slow on big documents (quadratic), and it is what the indexed reader must reproduce exactly.
#pragma once

#include <gtest/gtest.h>
#include <mxml.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/scene.h"

namespace tessaline::testing {

inline std::string Document(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n" + body;
}

inline bool ReferenceReadPrimitives(const std::string& text, std::vector<ScenePolygon>& polygons,
                                    std::vector<SceneVertex>& vertices, uint32_t& polygonCount) {
  polygonCount = 0;
  mxml_node_t* top = mxmlLoadString(nullptr, text.c_str(), MXML_OPAQUE_CALLBACK);
  if (top == nullptr) return true;
  bool complete = true;
  for (mxml_node_t* primitive = mxmlFindElement(top, top, "primitive", nullptr, nullptr, MXML_DESCEND);
       primitive != nullptr;
       primitive = mxmlFindElement(primitive, top, "primitive", nullptr, nullptr, MXML_NO_DESCEND)) {
    mxml_node_t* list = mxmlFindElement(primitive, top, "polygons", nullptr, nullptr, MXML_DESCEND);
    mxml_node_t* positions = mxmlFindElement(primitive, top, "vertices", nullptr, nullptr, MXML_DESCEND);
    if (list == nullptr || positions == nullptr) {
      complete = false;
      break;
    }
    int32_t primitiveId = 0;
    GetIntAttribute(primitive, "id", primitiveId);
    for (mxml_node_t* poly = mxmlFindElement(list, list, "poly", nullptr, nullptr, MXML_DESCEND);
         poly != nullptr; poly = mxmlFindElement(poly, top, "poly", nullptr, nullptr, MXML_NO_DESCEND)) {
      ++polygonCount;
      ScenePolygon polygon;
      GetIntAttribute(poly, "mid", polygon.materialId);
      polygon.primitiveId = primitiveId;
      polygon.firstVertex = static_cast<uint32_t>(vertices.size());
      for (mxml_node_t* corner = mxmlFindElement(poly, poly, "vertex", nullptr, nullptr, MXML_DESCEND);
           corner != nullptr;
           corner = mxmlFindElement(corner, top, "vertex", nullptr, nullptr, MXML_NO_DESCEND)) {
        ++polygon.vertexCount;
        const char* vid = mxmlElementGetAttr(corner, "vid");
        mxml_node_t* position =
            mxmlFindElement(positions, top, "vertex", "id", vid == nullptr ? "" : vid, MXML_DESCEND);
        SceneVertex vertex;
        GetFloatAttribute(position, "x", vertex.x);
        GetFloatAttribute(position, "y", vertex.y);
        GetFloatAttribute(position, "z", vertex.z);
        vertex.z = -vertex.z;
        const char* u[4] = {"u0", "u1", "u2", "u3"};
        const char* v[4] = {"v0", "v1", "v2", "v3"};
        uint32_t present = 0;
        for (int slot = 0; slot < 4; ++slot) {
          if (slot > 0 && mxmlElementGetAttr(corner, u[slot]) == nullptr) continue;
          vertex.uvSets[slot].present = true;
          GetFloatAttribute(corner, u[slot], vertex.uvSets[slot].u);
          GetFloatAttribute(corner, v[slot], vertex.uvSets[slot].v);
          ++present;
        }
        vertex.vertexSize = 24 + 8 * present;
        vertices.push_back(vertex);
      }
      polygons.push_back(polygon);
    }
  }
  mxmlDelete(top);
  return complete;
}

inline void ExpectSameFloat(float expected, float actual, const char* what, size_t index) {
  EXPECT_EQ(std::bit_cast<uint32_t>(expected), std::bit_cast<uint32_t>(actual))
      << what << " of vertex " << index << ": " << expected << " vs " << actual;
}

// Field by field, floats by their bits (so that 0.0 and -0.0 differ).
inline void ExpectSameVertices(const std::vector<SceneVertex>& expected,
                               const std::vector<SceneVertex>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const SceneVertex& a = expected[i];
    const SceneVertex& b = actual[i];
    ExpectSameFloat(a.x, b.x, "x", i);
    ExpectSameFloat(a.y, b.y, "y", i);
    ExpectSameFloat(a.z, b.z, "z", i);
    for (int slot = 0; slot < 4; ++slot) {
      EXPECT_EQ(a.uvSets[slot].present, b.uvSets[slot].present) << "slot " << slot << " of vertex " << i;
      ExpectSameFloat(a.uvSets[slot].u, b.uvSets[slot].u, "u", i);
      ExpectSameFloat(a.uvSets[slot].v, b.uvSets[slot].v, "v", i);
    }
    EXPECT_EQ(a.vertexSize, b.vertexSize) << "vertex " << i;
    if (::testing::Test::HasFailure()) return;
  }
}

inline void ExpectSamePolygons(const std::vector<ScenePolygon>& expected,
                               const std::vector<ScenePolygon>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].firstVertex, actual[i].firstVertex) << "polygon " << i;
    EXPECT_EQ(expected[i].vertexCount, actual[i].vertexCount) << "polygon " << i;
    EXPECT_EQ(expected[i].materialId, actual[i].materialId) << "polygon " << i;
    EXPECT_EQ(expected[i].primitiveId, actual[i].primitiveId) << "polygon " << i;
  }
}

// Reads text with ReadPrimitives and with the plain searches and expects the same records and result.
inline void ExpectReadsLikeLibrary(const std::string& text) {
  std::vector<ScenePolygon> expectedPolygons, polygons;
  std::vector<SceneVertex> expectedVertices, vertices;
  uint32_t expectedCount = 7, count = 9;
  const bool expectedResult =
      ReferenceReadPrimitives(text, expectedPolygons, expectedVertices, expectedCount);
  EXPECT_EQ(ReadPrimitives(text, polygons, vertices, count), expectedResult);
  EXPECT_EQ(count, expectedCount);
  ExpectSamePolygons(expectedPolygons, polygons);
  ExpectSameVertices(expectedVertices, vertices);
}

}  // namespace tessaline::testing
