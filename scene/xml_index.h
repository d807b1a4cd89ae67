// Internal to scene/: a compact index of one document, built in a single pass of Mini-XML's SAX parser,
// that answers the reader's element searches with exactly the results of mxmlFindElement on the tree that
// mxmlLoadString would build from the same text, without building that tree.
//
// Elements are numbered in document order, as a walk of the tree visits them: the top first (the XML
// declaration in front of every answer, or the root element of a text without one), then every node of
// element type below it, comments, processing instructions and CDATA sections included (the library makes
// elements of them too). Per element the index keeps its name (interned), parent, depth, the end of its
// subtree, whether any node (a text node too) follows it among its siblings, and the attributes the reader
// uses, converted once as the reader converts them.
//
// mxmlFindElement walks node by node. With MXML_DESCEND it visits the nodes after the start in document
// order (children first) up to the end of the limit's subtree. With MXML_NO_DESCEND it steps to the next
// sibling of the start node or, when the start node is the last child, to the next sibling of its nearest
// ancestor below the top that has one; from there it scans only along that sibling list. The index keeps,
// per element name, the sorted numbers of its elements (all of them, and per depth, because the children of
// an element are the elements of its subtree one level deeper), so each search is a search in a sorted
// list, started near the previous answer in that list, which is where the reader's next answer almost
// always lies. The vertex search by "id" uses, per distinct id text, the sorted numbers of the vertex
// elements carrying it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "scene/scene.h"

namespace tessaline {

// The attributes the reader uses. Integers and floats are stored converted (ParseInt, ParseFloat of the
// library's value), texts as the library gives them; a vertex element's "id" goes to the id lists instead,
// and a "vid" is stored as the id entry it names.
enum class XmlAttribute : uint8_t {
  Id,
  Mid,
  R,
  G,
  B,
  A,  // integers
  X,
  Y,
  Z,
  U0,
  U1,
  U2,
  U3,
  V0,
  V1,
  V2,
  V3,   // floats
  Vid,  // id entry
  Type,
  Blend,
  File,  // texts
  Count
};

class XmlIndex {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  XmlIndex() = default;
  XmlIndex(const XmlIndex&) = delete;
  XmlIndex& operator=(const XmlIndex&) = delete;

  // Parses the NUL-terminated text in one pass and indexes it, once per index. False when Mini-XML rejects
  // the text (malformed, or its own memory ran out); the index must not be searched then. Throws
  // std::bad_alloc when the index's own memory runs out.
  bool Build(const char* text);

  // Number of elements; the top is element 0. An index built from no text has none.
  uint32_t Size() const { return static_cast<uint32_t>(elements_.size()); }

  // The result of mxmlFindElement(node, limit, name, NULL, NULL, MXML_DESCEND) as an element number, or
  // kNone. node is an element (or kNone: no result); limit is the top or an element whose subtree holds node.
  uint32_t FindDescend(uint32_t node, uint32_t limit, std::string_view name);

  // The result of mxmlFindElement(node, top, name, NULL, NULL, MXML_NO_DESCEND). node is an element or kNone.
  uint32_t FindNoDescend(uint32_t node, std::string_view name);

  // The search mxmlFindElement(node, top, "vertex", "id", id, MXML_DESCEND), answered with the found
  // element's slot: a number below CountVerticesWithId() that stays the same for the element (callers keep
  // per-element data by slot), or kNone. The id is given as its entry (IdEntry of the text, or the Vid
  // attribute of an element).
  uint32_t FindVertexSlot(uint32_t node, uint32_t idEntry);
  uint32_t VertexAtSlot(uint32_t slot) const { return slot == kNone ? kNone : idNumbers_[slot]; }
  // The entry of an id text, kNone when no element carries or names it.
  uint32_t IdEntry(std::string_view id) const;

  // Number of elements with the given name, and of vertex elements that have an "id" attribute.
  size_t CountElements(std::string_view name) const;
  size_t CountVerticesWithId() const { return idNumbers_.size(); }

  // The element's attribute, when it has it. Integer, float and entry values are 32-bit.
  bool Number(uint32_t element, XmlAttribute key, int32_t& value) const;
  bool Number(uint32_t element, XmlAttribute key, float& value) const;
  bool Number(uint32_t element, XmlAttribute key, uint32_t& value) const;
  // A text attribute; an absent attribute, or kNone as the element, reads as the empty text.
  std::string_view Text(uint32_t element, XmlAttribute key) const;

  // Calls visit(key, bytes) for each stored attribute of the element, in the library's order; bytes point
  // at the stored value (4 bytes for numbers and entries).
  template <typename Visit>
  void ForEachAttribute(uint32_t element, Visit&& visit) const {
    const char* at = attributes_.data() + attributeStart_[element];
    const char* end = attributes_.data() + AttributeEnd(element);
    while (at < end) {
      const auto key = static_cast<XmlAttribute>(*at++);
      visit(key, at);
      at += ValueLength(key, at);
    }
  }

 private:
  friend struct XmlIndexBuilder;

  // Element numbers in ascending order, with the position of the last answer as the starting guess.
  struct SortedNumbers {
    std::vector<uint32_t> numbers;
    uint32_t hint = 0;
    uint32_t pending = 0;  // while building: the number of elements the list will hold
    // The first number greater than after that is less than end, or kNone.
    uint32_t FirstAfter(uint32_t after, uint32_t end);
  };

  struct IdInfo {
    uint32_t textStart = 0;  // in idTexts_
    uint32_t textLength = 0;
    uint32_t first = 0;  // position in idNumbers_
    uint32_t count = 0;
    uint32_t hint = 0;
  };

  struct Element {
    uint32_t end = 0;     // one past the number of the last element in its subtree
    uint32_t parent = 0;  // the parent's number; kNone for the top
    // Itself when a node follows it among its siblings, otherwise the nearest ancestor below the top that
    // has one, or kNone: where a sibling search climbs to after the element's last sibling.
    uint32_t climb = kNone;
    uint32_t depth = 0;  // the top has depth 0
  };

  static size_t ValueLength(XmlAttribute key, const char* value);
  size_t AttributeEnd(uint32_t element) const {
    return element + 1 < attributeStart_.size() ? attributeStart_[element + 1] : attributes_.size();
  }
  const char* FindAttribute(uint32_t element, XmlAttribute key) const;

  uint32_t NameId(std::string_view name);  // kNone for a name no element has
  SortedNumbers* ChildList(uint32_t nameId, uint32_t depth);
  uint32_t InternName(std::string_view name);
  std::string_view IdText(const IdInfo& info) const;
  uint32_t AddIdEntry(std::string_view id);  // the entry of the text, made when new
  uint32_t FindHashSlot(std::string_view id, size_t hash) const;
  void Finish();

  std::vector<Element> elements_;         // in document order; an element's number is its position here
  std::vector<uint32_t> elementNames_;    // name id of each element
  std::vector<uint32_t> attributeStart_;  // per element, its first byte in attributes_
  std::string attributes_;                // per attribute: key byte, then the value

  std::deque<std::string> names_;  // by name id; a deque, so that the texts never move
  std::unordered_map<std::string_view, uint32_t> nameIds_;
  std::vector<SortedNumbers> byName_;                           // per name id
  std::unordered_map<uint64_t, SortedNumbers> byNameAndDepth_;  // key: name id << 32 | depth

  struct RecentName {
    std::string_view name;
    uint32_t id = kNone;
  };
  struct RecentList {
    uint64_t key = 0;
    SortedNumbers* list = nullptr;
  };
  RecentName internedNames_[4];
  uint32_t internedNext_ = 0;
  RecentName recentNames_[4];
  uint32_t recentNext_ = 0;
  RecentList recentLists_[4];
  uint32_t recentListNext_ = 0;

  uint32_t vertexNameId_ = kNone;
  std::vector<IdInfo> ids_;
  std::string idTexts_;
  std::vector<uint32_t> denseIds_;  // entry of each small decimal id by its value, kNone when absent
  std::vector<uint32_t> idSlots_;   // open addressing over the entries of the other ids, kNone when free
  size_t hashedIds_ = 0;
  std::vector<uint32_t> idNumbers_;  // the numbers of the vertex elements of each id, grouped by id
  std::vector<std::pair<uint32_t, uint32_t>> pendingIds_;  // (element number, id entry) while indexing
};

}  // namespace tessaline
