// Internal to scene/: an index over one parsed Mini-XML tree that answers the reader's element searches
// with exactly the results of mxmlFindElement, without its linear walks.
//
// mxmlFindElement walks node by node. With MXML_DESCEND it visits the nodes after the start in document
// order (children first) up to the end of the limit's subtree. With MXML_NO_DESCEND it steps to the next
// sibling of the start node or, when the start node is the last child, to the next sibling of its nearest
// ancestor below the top that has one; from there it scans only along that sibling list. Repeating such a
// search per corner or per polygon would make reading quadratic; this index numbers the elements in
// document order and keeps, per element name, the sorted numbers of its elements (all of them, and per
// depth, because the children of an element are the elements of its subtree one level deeper). Each search
// is then a search in a sorted list, started near the previous answer in that list, which is where the
// reader's next answer almost always lies. The vertex search by "id" uses, per distinct id text, the sorted
// numbers of the vertex elements carrying it.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "scene/scene.h"

namespace tessaline {

class XmlIndex {
 public:
  // Indexes the element top and every element below it, and with withVertexIds also the "id" attributes
  // of all vertex elements (needed by the vertex searches). The tree must stay unchanged while the index is
  // used; the index stores each element's number in the node's user data.
  explicit XmlIndex(mxml_node_t* top, bool withVertexIds = false);

  XmlIndex(const XmlIndex&) = delete;
  XmlIndex& operator=(const XmlIndex&) = delete;

  // The result of mxmlFindElement(node, limit, name, NULL, NULL, MXML_DESCEND). node is an element of the
  // tree (or null: no result); limit is the top or an element whose subtree holds node.
  mxml_node_t* FindDescend(mxml_node_t* node, mxml_node_t* limit, std::string_view name);

  // The result of mxmlFindElement(node, top, name, NULL, NULL, MXML_NO_DESCEND) with the indexed top as the
  // limit. node is an element of the tree or null.
  mxml_node_t* FindNoDescend(mxml_node_t* node, std::string_view name);

  // The result of mxmlFindElement(node, top, "vertex", "id", id, MXML_DESCEND) with the indexed top as the
  // limit: the first vertex element after node in document order whose "id" attribute exists and equals id
  // as text. Only on an index made withVertexIds.
  mxml_node_t* FindVertexById(mxml_node_t* node, std::string_view id);

  // The same search, answered with the found element's slot: a number below CountVerticesWithId() that
  // stays the same for the element (callers keep per-element data by slot), or kNoSlot when none is found.
  static constexpr uint32_t kNoSlot = UINT32_MAX;
  uint32_t FindVertexSlot(mxml_node_t* node, std::string_view id);
  mxml_node_t* VertexAtSlot(uint32_t slot) const;

  // Number of elements with the given name, and of vertex elements that have an "id" attribute.
  size_t CountElements(std::string_view name) const;
  size_t CountVerticesWithId() const;

 private:
  static constexpr uint32_t kNone = UINT32_MAX;

  // Element numbers in ascending order, with the position of the last answer as the starting guess.
  struct SortedNumbers {
    std::vector<uint32_t> numbers;
    uint32_t hint = 0;
    uint32_t pending = 0;  // while building: the number of elements the list will hold
    // The first number greater than after that is less than end, or kNone.
    uint32_t FirstAfter(uint32_t after, uint32_t end);
  };

  struct IdEntry {
    std::string_view id;
    uint32_t first = 0;  // position in idNumbers_
    uint32_t count = 0;
    uint32_t hint = 0;
  };

  // The last few names and child lists used: the reader asks for the same few again and again.
  struct RecentName {
    std::string_view name;
    uint32_t id = kNone;
  };
  struct RecentList {
    uint64_t key = 0;
    SortedNumbers* list = nullptr;
  };

  uint32_t Number(mxml_node_t* element) const;
  uint32_t NameId(std::string_view name);  // kNone for a name no element has
  SortedNumbers* ChildList(uint32_t nameId, uint32_t depth);
  uint32_t InternName(std::string_view name);
  void BuildLists();
  uint32_t AddElement(mxml_node_t* element, uint32_t parent, bool hasNextSibling);
  void AddId(uint32_t number, std::string_view id);
  uint32_t FindEntry(std::string_view id) const;  // position in ids_, or kNone
  void GroupIds();
  uint32_t FindHashSlot(std::string_view id, size_t hash) const;

  struct Element {
    mxml_node_t* node = nullptr;
    uint32_t end = 0;     // one past the number of the last element in its subtree
    uint32_t parent = 0;  // the parent's number; kNone for the top, which is number 0
    uint32_t depth = 0;   // the top has depth 0
    // Itself when it has a next sibling node, otherwise the nearest ancestor below the top that has one,
    // or kNone: where a sibling search climbs to after the element's last sibling.
    uint32_t climb = kNone;
  };

  mxml_node_t* top_ = nullptr;
  std::vector<Element> elements_;  // in document order; an element's number is its position here

  std::unordered_map<std::string_view, uint32_t> nameIds_;
  std::vector<SortedNumbers> byName_;                           // per name id
  std::unordered_map<uint64_t, SortedNumbers> byNameAndDepth_;  // key: name id << 32 | depth

  std::vector<uint32_t> elementNames_;  // name id of each element while indexing; kNone without a name
  RecentName internedNames_[4];
  uint32_t internedNext_ = 0;
  RecentName recentNames_[4];
  uint32_t recentNext_ = 0;
  RecentList recentLists_[4];
  uint32_t recentListNext_ = 0;

  bool withVertexIds_ = false;
  uint32_t vertexNameId_ = kNone;
  std::vector<IdEntry> ids_;
  std::vector<uint32_t> denseIds_;  // entry of each small decimal id by its value, kNone when absent
  std::vector<uint32_t> idSlots_;   // open addressing over the entries of the other ids, kNone when free
  size_t hashedIds_ = 0;
  std::vector<uint32_t> idNumbers_;  // the numbers of the vertex elements of each id, grouped by id
  std::vector<std::pair<uint32_t, uint32_t>> pendingIds_;  // (element number, id entry) while indexing
};

}  // namespace tessaline
