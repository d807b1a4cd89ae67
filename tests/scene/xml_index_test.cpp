// The index must give exactly mxmlFindElement's answers. Every search is compared with the library's own,
// from every element of documents built so that a careless index would differ.
#include "scene/xml_index.h"

#include <gtest/gtest.h>
#include <mxml.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "reference_reader.h"

namespace tessaline {
namespace {

using testing::Document;
using testing::ExpectReadsLikeLibrary;

const char* const kNames[] = {"vertex", "poly",     "polygons", "vertices", "primitive",
                              "layer",  "material", "texture",  "x"};

std::vector<mxml_node_t*> Elements(mxml_node_t* top) {
  std::vector<mxml_node_t*> elements;
  for (mxml_node_t* node = top; node != nullptr; node = mxmlWalkNext(node, top, MXML_DESCEND)) {
    if (mxmlGetType(node) == MXML_ELEMENT) elements.push_back(node);
  }
  return elements;
}

std::string Describe(mxml_node_t* node) {
  if (node == nullptr) return "none";
  const char* key = mxmlElementGetAttr(node, "k");
  return std::string(mxmlGetElement(node)) + (key == nullptr ? "" : std::string("#") + key);
}

// Compares every search the reader makes, from every element, in document order and then backwards (the
// index starts each search near the previous answer; going backwards defeats that guess).
void ExpectSearchesLikeLibrary(const std::string& text) {
  mxml_node_t* top = mxmlLoadString(nullptr, text.c_str(), MXML_OPAQUE_CALLBACK);
  ASSERT_NE(top, nullptr) << text;
  std::vector<mxml_node_t*> elements = Elements(top);
  std::set<std::string> ids = {"", "absent"};
  for (mxml_node_t* element : elements) {
    if (const char* id = mxmlElementGetAttr(element, "id")) ids.insert(id);
  }
  XmlIndex index(top, true);
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < elements.size(); ++i) {
      mxml_node_t* node = elements[pass == 0 ? i : elements.size() - 1 - i];
      for (const char* name : kNames) {
        EXPECT_EQ(Describe(index.FindNoDescend(node, name)),
                  Describe(mxmlFindElement(node, top, name, nullptr, nullptr, MXML_NO_DESCEND)))
            << "no-descend " << name << " from " << Describe(node) << " in " << text;
        for (mxml_node_t* limit = node; limit != nullptr; limit = mxmlGetParent(limit)) {
          EXPECT_EQ(Describe(index.FindDescend(node, limit, name)),
                    Describe(mxmlFindElement(node, limit, name, nullptr, nullptr, MXML_DESCEND)))
              << "descend " << name << " from " << Describe(node) << " within " << Describe(limit) << " in "
              << text;
        }
      }
      for (const std::string& id : ids) {
        EXPECT_EQ(Describe(index.FindVertexById(node, id)),
                  Describe(mxmlFindElement(node, top, "vertex", "id", id.c_str(), MXML_DESCEND)))
            << "vertex id \"" << id << "\" from " << Describe(node) << " in " << text;
      }
      if (::testing::Test::HasFailure()) break;
    }
  }
  mxmlDelete(top);
}

// Documents where an index keyed carelessly (per primitive, by number, ignoring corners, stopping at the
// last child, or climbing too far) answers differently from the library.
const char* const kTrickyDocuments[] = {
    // Duplicate ids; an id only in a later primitive; a corner carrying an id; "7" vs "07"; an empty id; a
    // position without id.
    R"(<scene><primitives><primitive k="p1" id="1"><vertices k="vs1"><vertex k="a" id="7" x="1"/><vertex k="b" id="7" x="2"/><vertex k="c" id="07" x="3"/><vertex k="d" x="4"/></vertices>
<polygons><poly k="q1" mid="0"><vertex k="c1" vid="7"/><vertex k="c2" vid="07"/><vertex k="c3" vid="9"/><vertex k="c4"/></poly></polygons></primitive>
<primitive k="p2" id="2"><polygons><poly k="q2"><vertex k="c5" vid="7" id="9" x="5"/></poly></polygons><vertices k="vs2"><vertex k="e" id="9" x="6"/><vertex k="f" id="" x="7"/></vertices></primitive></primitives></scene>)",
    // Ids looked up by value and by hash: small plain numbers, leading zeros, signs, large numbers.
    R"(<vertices k="vs"><vertex k="a" id="0"/><vertex k="b" id="00"/><vertex k="c" id="1048575"/><vertex k="d" id="1048576"/><vertex k="e" id="+1"/><vertex k="f" id="1"/><vertex k="g" id="99999999999"/><vertex k="h" id="1048575"/><vertex k="i" id="-0"/><vertex k="j" id="1 "/></vertices>)",
    // No whitespace: the last corner, poly and primitive have no next sibling, so the sibling searches climb
    // to the parent's next sibling and scan that list; strays there count.
    R"(<scene k="s"><primitive k="p1"><vertices k="vs"><vertex k="a" id="1"/></vertices><polygons k="ps"><poly k="q1"><vertex k="c1" vid="1"/><vertex k="c2" vid="1"/></poly><poly k="q2"><vertex k="c3"/></poly><vertex k="stray1" id="1"/><x k="x1"/><vertex k="stray2"/></polygons><poly k="q3"/></primitive><primitive k="p2"/><x k="x2"/><primitive k="p3"><x/></primitive></scene><vertex k="outside" id="1"/><primitive k="p4"/>)",
    // The climb goes to the nearest ancestor with a next sibling only, and never past the top's children.
    R"(<T k="T"><g k="g"><p k="p"><vertex k="n"/></p><q k="q"/></g><vertex k="v"/><layer k="l"/></T>)",
    R"(<T k="T"><g k="g"><p k="p"><vertex k="n"/></p></g></T><vertex k="v"/>)",
    // Whitespace text after the last child stops the climb: the sibling scan ends in the same list.
    "<scene k=\"s\">\n <poly k=\"q1\">\n  <vertex k=\"c1\"/>\n </poly>\n <vertex k=\"stray\"/>\n</scene>\n",
    // Nested elements of the searched names, comments and processing instructions between them.
    R"(<material k="m1" id="1"><layer k="l1" type="color"><color k="col"/><layer k="l2"><texture k="t"/></layer></layer><!-- note --><material k="m2"><layer k="l3"/></material><?pi x?><layer k="l4"/></material><material k="m3"/><layer k="l5"/>)",
    // Deep nesting of one name.
    R"(<vertex k="v1" id="1"><vertex k="v2" id="1"><vertex k="v3" id="2"><vertex k="v4" id="1"/></vertex></vertex><vertex k="v5" id="1"/></vertex>)",
    // Character data and entities around elements.
    R"(<a k="a">text<vertex k="v1" id="&amp;"/>more<vertex k="v2" id="&#38;"/><![CDATA[<vertex id="x"/>]]><vertex k="v3" id=" &amp;"/></a>)",
};

TEST(XmlIndex, SearchesMatchLibraryOnTrickyDocuments) {
  for (const char* body : kTrickyDocuments)
    ExpectSearchesLikeLibrary(Document(body));
}

TEST(XmlIndex, SearchesMatchLibraryWithoutDeclaration) {
  // Without a declaration the root element is the top.
  ExpectSearchesLikeLibrary(R"(<T k="T"><g k="g"><vertex k="n" id="1"/></g><vertex k="v" id="1"/></T>)");
}

// Random trees over the searched names, with and without whitespace between elements.
std::string RandomElement(std::mt19937& random, int depth, int& budget) {
  static const char* const ids[] = {"1", "01", "7", "07", ""};
  const char* name = kNames[random() % std::size(kNames)];
  std::string text = "<" + std::string(name) + " k=\"" + std::to_string(budget) + "\"";
  --budget;
  switch (random() % 4) {
    case 0:
      break;  // no id
    default:
      text += " id=\"" + std::string(ids[random() % std::size(ids)]) + "\"";
  }
  const int children = depth >= 5 ? 0 : static_cast<int>(random() % 4);
  if (children == 0 && random() % 2 == 0) return text + "/>";
  text += ">";
  for (int i = 0; i < children && budget > 0; ++i) {
    if (random() % 3 == 0) text += "\n ";
    text += RandomElement(random, depth + 1, budget);
  }
  if (random() % 3 == 0) text += "\n";
  return text + "</" + name + ">";
}

TEST(XmlIndex, SearchesMatchLibraryOnRandomDocuments) {
  std::mt19937 random(20240611);
  for (int document = 0; document < 300; ++document) {
    int budget = 40;
    std::string body = "<root k=\"root\">";
    while (budget > 0)
      body += RandomElement(random, 1, budget);
    body += "</root>";
    if (random() % 2 == 0) body += "<vertex k=\"after\" id=\"1\"/><primitive k=\"after2\"/>";
    ExpectSearchesLikeLibrary(Document(body));
    if (::testing::Test::HasFailure()) break;
  }
}

TEST(XmlIndex, EmptyTreeAnswersNothing) {
  XmlIndex index(nullptr);
  EXPECT_EQ(index.FindDescend(nullptr, nullptr, "vertex"), nullptr);
  EXPECT_EQ(index.FindNoDescend(nullptr, "vertex"), nullptr);
  EXPECT_EQ(index.FindVertexById(nullptr, "1"), nullptr);
  EXPECT_EQ(index.CountElements("vertex"), 0u);
}

// Whole readings compared with the plain searches.
TEST(ReadPrimitivesIndexed, ReadsTrickyDocumentsLikeLibrary) {
  for (const char* body : kTrickyDocuments)
    ExpectReadsLikeLibrary(Document(body));
}

// Scene-shaped random documents: primitives with positions and polygons in either order, corners whose
// vid may be missing, absent, duplicated or only found later, stray elements, missing lists.
std::string RandomScene(std::mt19937& random) {
  static const char* const vids[] = {"0", "1", "2", "3", "01", "7", ""};
  auto space = [&] { return random() % 2 == 0 ? std::string("\n  ") : std::string(); };
  auto stray = [&]() -> std::string {
    switch (random() % 8) {
      case 0:
        return "<vertex vid=\"1\" id=\"2\" x=\"9\" u0=\"5\"/>";
      case 1:
        return "<poly mid=\"4\"><vertex vid=\"0\"/></poly>";
      case 2:
        return "<primitive id=\"77\"/>";
      case 3:
        return "<x/>";
      default:
        return "";
    }
  };
  std::string text = "<scene><primitives>";
  const int primitives = 1 + static_cast<int>(random() % 4);
  for (int p = 0; p < primitives; ++p) {
    std::string positions = "<vertices>" + space();
    const int count = static_cast<int>(random() % 4);
    for (int v = 0; v < count; ++v) {
      positions += "<vertex id=\"" + std::string(vids[random() % std::size(vids)]) + "\" x=\"" +
                   std::to_string(p * 10 + v) + "\" y=\"" + std::to_string(v) + ".5\"" +
                   (random() % 4 == 0 ? "" : " z=\"" + std::to_string(p) + "e1\"") + "/>" + space();
    }
    positions += stray() + "</vertices>";
    std::string polys = "<polygons>" + space();
    const int polyCount = static_cast<int>(random() % 4);
    for (int q = 0; q < polyCount; ++q) {
      polys += "<poly mid=\"" + std::to_string(q) + "\">" + space();
      const int corners = static_cast<int>(random() % 4);
      for (int c = 0; c < corners; ++c) {
        polys += "<vertex";
        if (random() % 5 != 0) polys += " vid=\"" + std::string(vids[random() % std::size(vids)]) + "\"";
        polys += " u0=\"0.25\" v0=\"" + std::to_string(c) + "\"";
        if (random() % 2 == 0) polys += " u1=\"1\" v1=\"2\"";
        if (random() % 3 == 0) polys += " u3=\"3\"";
        polys += "/>" + space();
      }
      polys += stray() + "</poly>" + stray();
    }
    polys += "</polygons>";
    std::string primitive = "<primitive id=\"" + std::to_string(p) + "\">" + space();
    const unsigned order = random() % 8;
    if (order == 0) {
      primitive += polys;  // positions missing here: a later primitive's are found, or none
    } else if (order == 1) {
      primitive += positions;
    } else if (order < 5) {
      primitive += positions + space() + polys;
    } else {
      primitive += polys + space() + positions;
    }
    text += primitive + space() + "</primitive>" + stray() + space();
  }
  return text + "</primitives></scene>";
}

TEST(ReadPrimitivesIndexed, ReadsRandomScenesLikeLibrary) {
  std::mt19937 random(77);
  for (int document = 0; document < 500; ++document) {
    const std::string text = Document(RandomScene(random));
    SCOPED_TRACE(text);
    ExpectReadsLikeLibrary(text);
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace tessaline
