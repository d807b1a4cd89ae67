// The index, built from the SAX parser's events, must give exactly mxmlFindElement's answers on the tree
// mxmlLoadString builds. Every search the reader makes is compared with the library's own, from every
// element of documents built so that a careless index would differ.
#include "scene/xml_index.h"

#include <gtest/gtest.h>
#include <mxml.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace tessaline {
namespace {

std::string Describe(mxml_node_t* node) {
  if (node == nullptr) return "none";
  const char* key = mxmlElementGetAttr(node, "k");
  return std::string(mxmlGetElement(node)) + (key == nullptr ? "" : std::string("#") + key);
}

// From every element, in document order and then backwards (the index starts each search near its previous
// answer; going backwards defeats that guess).
void ExpectSearchesLikeLibrary(const std::string& text) {
  SCOPED_TRACE(text);
  mxml_node_t* top = mxmlLoadString(nullptr, text.c_str(), MXML_OPAQUE_CALLBACK);
  ASSERT_NE(top, nullptr);
  std::vector<mxml_node_t*> elements;
  std::set<std::string> ids = {"", "absent"};
  for (mxml_node_t* node = top; node != nullptr; node = mxmlWalkNext(node, top, MXML_DESCEND)) {
    if (mxmlGetType(node) != MXML_ELEMENT) continue;
    elements.push_back(node);
    if (const char* id = mxmlElementGetAttr(node, "id")) ids.insert(id);
  }
  XmlIndex index;
  ASSERT_TRUE(index.Build(text.c_str()));
  ASSERT_EQ(index.Size(), elements.size());  // numbered as the tree's elements, in document order
  auto node = [&](uint32_t number) { return number == XmlIndex::kNone ? nullptr : elements.at(number); };
  for (int pass = 0; pass < 2 && !::testing::Test::HasFailure(); ++pass) {
    for (size_t i = 0; i < elements.size() && !::testing::Test::HasFailure(); ++i) {
      const uint32_t from = static_cast<uint32_t>(pass == 0 ? i : elements.size() - 1 - i);
      mxml_node_t* start = elements[from];
      for (const char* name :
           {"vertex", "poly", "polygons", "vertices", "primitive", "layer", "material", "x"}) {
        EXPECT_EQ(Describe(node(index.FindNoDescend(from, name))),
                  Describe(mxmlFindElement(start, top, name, nullptr, nullptr, MXML_NO_DESCEND)))
            << "sibling " << name << " after " << Describe(start);
        for (uint32_t limit = from; limit != XmlIndex::kNone;) {
          EXPECT_EQ(Describe(node(index.FindDescend(from, limit, name))),
                    Describe(mxmlFindElement(start, elements[limit], name, nullptr, nullptr, MXML_DESCEND)))
              << "descendant " << name << " after " << Describe(start) << " within "
              << Describe(elements[limit]);
          mxml_node_t* parent = mxmlGetParent(elements[limit]);
          limit = parent == nullptr
                      ? XmlIndex::kNone
                      : static_cast<uint32_t>(std::find(elements.begin(), elements.end(), parent) -
                                              elements.begin());
        }
      }
      for (const std::string& id : ids) {
        EXPECT_EQ(Describe(node(index.VertexAtSlot(index.FindVertexSlot(from, index.IdEntry(id))))),
                  Describe(mxmlFindElement(start, top, "vertex", "id", id.c_str(), MXML_DESCEND)))
            << "vertex id \"" << id << "\" after " << Describe(start);
      }
    }
  }
  mxmlDelete(top);
}

TEST(XmlIndex, SearchesMatchLibraryOnTrickyDocuments) {
  const char* const documents[] = {
      // Duplicate ids; an id only in a later primitive; a corner carrying an id; "7" vs "07"; an empty id;
      // a position without id.
      R"(<scene><primitives><primitive k="p1" id="1"><vertices k="vs1"><vertex k="a" id="7"/><vertex k="b" id="7"/><vertex k="c" id="07"/><vertex k="d"/></vertices>
<polygons><poly k="q1"><vertex k="c1" vid="7"/><vertex k="c2" vid="07"/><vertex k="c3" vid="9"/><vertex k="c4"/></poly></polygons></primitive>
<primitive k="p2" id="2"><polygons><poly k="q2"><vertex k="c5" vid="7" id="9"/></poly></polygons><vertices k="vs2"><vertex k="e" id="9"/><vertex k="f" id=""/></vertices></primitive></primitives></scene>)",
      // Ids looked up by value and by hash: small plain numbers, leading zeros, signs, large numbers.
      R"(<vertices k="vs"><vertex k="a" id="0"/><vertex k="b" id="00"/><vertex k="c" id="1048575"/><vertex k="d" id="1048576"/><vertex k="e" id="+1"/><vertex k="f" id="1"/><vertex k="g" id="99999999999"/><vertex k="h" id="1048575"/><vertex k="i" id="-0"/><vertex k="j" id="1 "/></vertices>)",
      // No whitespace: the last corner, poly and primitive have no next sibling, so the sibling searches
      // climb to the parent's next sibling and scan that list; strays there count.
      R"(<scene k="s"><primitive k="p1"><vertices k="vs"><vertex k="a" id="1"/></vertices><polygons k="ps"><poly k="q1"><vertex k="c1" vid="1"/><vertex k="c2" vid="1"/></poly><poly k="q2"><vertex k="c3"/></poly><vertex k="stray1" id="1"/><x k="x1"/><vertex k="stray2"/></polygons><poly k="q3"/></primitive><primitive k="p2"/><x k="x2"/><primitive k="p3"><x/></primitive></scene><vertex k="outside" id="1"/><primitive k="p4"/>)",
      // The climb goes to the nearest ancestor with a next sibling only, and never past the top's children.
      R"(<T k="T"><g k="g"><p k="p"><vertex k="n"/></p><q k="q"/></g><vertex k="v"/><layer k="l"/></T>)",
      R"(<T k="T"><g k="g"><p k="p"><vertex k="n"/></p></g></T><vertex k="v"/>)",
      // Whitespace text after the last child stops the climb: the sibling scan ends in the same list.
      "<scene k=\"s\">\n <poly k=\"q1\">\n  <vertex k=\"c1\"/>\n </poly>\n <vertex k=\"stray\"/>\n</scene>\n",
      // Nested elements of the searched names, comments and processing instructions between them.
      R"(<material k="m1" id="1"><layer k="l1"><color k="col"/><layer k="l2"/></layer><!-- note --><material k="m2"><layer k="l3"/></material><?pi x?><layer k="l4"/></material><material k="m3"/><layer k="l5"/>)",
      R"(<vertex k="v1" id="1"><vertex k="v2" id="1"><vertex k="v3" id="2"><vertex k="v4" id="1"/></vertex></vertex><vertex k="v5" id="1"/></vertex>)",
      // Entities in ids and elements inside character data.
      R"(<a k="a">text<vertex k="v1" id="&amp;"/>more<vertex k="v2" id="&#38;"/><![CDATA[<vertex id="x"/>]]><vertex k="v3" id=" &amp;"/></a>)",
  };
  for (const char* body : documents)
    ExpectSearchesLikeLibrary(std::string("<?xml version=\"1.0\"?>\n") + body);
  // Without a declaration the root element is the top, below which the climb stops.
  ExpectSearchesLikeLibrary(R"(<T k="T"><g k="g"><vertex k="n" id="1"/></g><vertex k="v" id="1"/></T>)");
}

}  // namespace
}  // namespace tessaline
