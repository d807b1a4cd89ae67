// Document-order index over a Mini-XML tree; see xml_index.h for what each search reproduces.
#include "scene/xml_index.h"

#include <mxml.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <functional>

namespace tessaline {

namespace {

// Position of the first of numbers[0 .. size) that is greater than after (size when none), tried first at
// the previous answer and the one after it, which is where searches moving forward find it.
uint32_t SeekAfter(const uint32_t* numbers, uint32_t size, uint32_t& hint, uint32_t after) {
  auto fits = [&](uint32_t p) {
    return (p == size || numbers[p] > after) && (p == 0 || numbers[p - 1] <= after);
  };
  uint32_t position = hint;
  if (!fits(position)) {
    if (position < size && fits(position + 1)) {
      ++position;
    } else {
      position = static_cast<uint32_t>(std::upper_bound(numbers, numbers + size, after) - numbers);
    }
  }
  hint = position;
  return position;
}

}  // namespace

uint32_t XmlIndex::SortedNumbers::FirstAfter(uint32_t after, uint32_t end) {
  const uint32_t size = static_cast<uint32_t>(numbers.size());
  const uint32_t position = SeekAfter(numbers.data(), size, hint, after);
  if (position == size || numbers[position] >= end) return kNone;
  return numbers[position];
}

XmlIndex::XmlIndex(mxml_node_t* top) : top_(top) {
  if (top == nullptr) return;
  // Iterative walk in document order: deep documents must not exhaust the stack.
  AddElement(top, kNone);
  mxml_node_t* node = top;
  for (;;) {
    mxml_node_t* child = mxmlGetType(node) == MXML_ELEMENT ? mxmlGetFirstChild(node) : nullptr;
    if (child != nullptr) {
      node = child;
      if (mxmlGetType(node) == MXML_ELEMENT) AddElement(node, Number(mxmlGetParent(node)));
      continue;
    }
    // Close node and every ancestor that has no next sibling, then go on with the next sibling.
    for (;;) {
      if (mxmlGetType(node) == MXML_ELEMENT) ends_[Number(node)] = static_cast<uint32_t>(elements_.size());
      if (node == top) return;
      mxml_node_t* next = mxmlGetNextSibling(node);
      if (next != nullptr) {
        node = next;
        if (mxmlGetType(node) == MXML_ELEMENT) AddElement(node, Number(mxmlGetParent(node)));
        break;
      }
      node = mxmlGetParent(node);
    }
  }
}

uint32_t XmlIndex::Number(mxml_node_t* element) const {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(mxmlGetUserData(element)));
}

void XmlIndex::AddElement(mxml_node_t* element, uint32_t parentNumber) {
  const uint32_t number = static_cast<uint32_t>(elements_.size());
  mxmlSetUserData(element, reinterpret_cast<void*>(static_cast<uintptr_t>(number)));
  elements_.push_back(element);
  ends_.push_back(number + 1);
  const uint32_t depth = parentNumber == kNone ? 0 : depths_[parentNumber] + 1;
  depths_.push_back(depth);

  uint32_t climb = kNone;
  if (mxmlGetNextSibling(element) != nullptr) {
    climb = number;
  } else if (parentNumber != kNone && elements_[parentNumber] != top_) {
    climb = climbs_[parentNumber];
  }
  climbs_.push_back(climb);

  // An element without a name never matches a search.
  const char* name = mxmlGetElement(element);
  if (name == nullptr) return;
  const CacheEntry& lists = ListsFor(name, depth);
  byName_[lists.nameId].numbers.push_back(number);
  lists.list->numbers.push_back(number);
}

const XmlIndex::CacheEntry& XmlIndex::ListsFor(std::string_view name, uint32_t depth) {
  for (const CacheEntry& entry : cache_) {
    if (entry.list != nullptr && entry.depth == depth && entry.name == name) return entry;
  }
  auto [found, inserted] = nameIds_.try_emplace(name, static_cast<uint32_t>(byName_.size()));
  if (inserted) byName_.emplace_back();
  const uint32_t nameId = found->second;
  SortedNumbers* list = &byNameAndDepth_[static_cast<uint64_t>(nameId) << 32 | depth];
  CacheEntry& entry = cache_[cacheNext_];
  cacheNext_ = (cacheNext_ + 1) % 4;
  entry = CacheEntry{name, depth, nameId, list};
  return entry;
}

mxml_node_t* XmlIndex::FindDescend(mxml_node_t* node, mxml_node_t* limit, std::string_view name) {
  if (node == nullptr || limit == nullptr || top_ == nullptr) return nullptr;
  const uint32_t start = Number(node);
  const uint32_t bound = Number(limit);
  assert(bound <= start && start < ends_[bound]);
  auto found = nameIds_.find(name);
  if (found == nameIds_.end()) return nullptr;
  const uint32_t result = byName_[found->second].FirstAfter(start, ends_[bound]);
  return result == kNone ? nullptr : elements_[result];
}

mxml_node_t* XmlIndex::FindNoDescend(mxml_node_t* node, std::string_view name) {
  if (node == nullptr || node == top_ || top_ == nullptr) return nullptr;
  uint32_t after = Number(node);
  if (mxmlGetNextSibling(node) == nullptr) {
    // The library climbs to the next sibling of the nearest ancestor below the top that has one.
    mxml_node_t* parent = mxmlGetParent(node);
    if (parent == nullptr || parent == top_) return nullptr;
    after = climbs_[Number(parent)];
    if (after == kNone) return nullptr;
  }
  // Search the children of that node's parent that come after it: the elements of the parent's subtree
  // one level below the parent.
  const uint32_t parent = Number(mxmlGetParent(elements_[after]));
  auto found = nameIds_.find(name);
  if (found == nameIds_.end()) return nullptr;
  auto list = byNameAndDepth_.find(static_cast<uint64_t>(found->second) << 32 | (depths_[parent] + 1));
  if (list == byNameAndDepth_.end()) return nullptr;
  const uint32_t result = list->second.FirstAfter(after, ends_[parent]);
  return result == kNone ? nullptr : elements_[result];
}

size_t XmlIndex::CountElements(std::string_view name) const {
  auto found = nameIds_.find(name);
  return found == nameIds_.end() ? 0 : byName_[found->second].numbers.size();
}

size_t XmlIndex::CountVerticesWithId() {
  if (!idsBuilt_) BuildIdTable();
  return idNumbers_.size();
}

uint32_t XmlIndex::FindIdSlot(std::string_view id, size_t hash) const {
  const size_t mask = idSlots_.size() - 1;
  size_t slot = hash & mask;
  while (idSlots_[slot] != kNone && ids_[idSlots_[slot]].id != id)
    slot = (slot + 1) & mask;
  return static_cast<uint32_t>(slot);
}

void XmlIndex::BuildIdTable() {
  idsBuilt_ = true;
  auto vertexName = nameIds_.find("vertex");
  if (vertexName == nameIds_.end()) return;
  const std::vector<uint32_t>& vertices = byName_[vertexName->second].numbers;

  // First pass: give every distinct id an entry and remember each vertex element's entry.
  std::vector<uint32_t> entryOfVertex(vertices.size(), kNone);
  idSlots_.assign(64, kNone);
  for (size_t i = 0; i < vertices.size(); ++i) {
    const char* id = mxmlElementGetAttr(elements_[vertices[i]], "id");
    if (id == nullptr) continue;
    const std::string_view key(id);
    const size_t hash = std::hash<std::string_view>{}(key);
    uint32_t slot = FindIdSlot(key, hash);
    if (idSlots_[slot] == kNone) {
      if ((ids_.size() + 1) * 2 > idSlots_.size()) {
        std::vector<uint32_t> old(idSlots_.size() * 2, kNone);
        old.swap(idSlots_);
        for (uint32_t entry = 0; entry < ids_.size(); ++entry) {
          idSlots_[FindIdSlot(ids_[entry].id, std::hash<std::string_view>{}(ids_[entry].id))] = entry;
        }
        slot = FindIdSlot(key, hash);
      }
      idSlots_[slot] = static_cast<uint32_t>(ids_.size());
      ids_.push_back(IdEntry{key, 0, 0, 0});
    }
    entryOfVertex[i] = idSlots_[slot];
    ++ids_[idSlots_[slot]].count;
  }

  // Second pass: group the element numbers by id; within a group they stay in document order.
  uint32_t first = 0;
  for (IdEntry& entry : ids_) {
    entry.first = first;
    first += entry.count;
    entry.count = 0;
  }
  idNumbers_.resize(first);
  for (size_t i = 0; i < vertices.size(); ++i) {
    if (entryOfVertex[i] == kNone) continue;
    IdEntry& entry = ids_[entryOfVertex[i]];
    idNumbers_[entry.first + entry.count++] = vertices[i];
  }
}

mxml_node_t* XmlIndex::FindVertexById(mxml_node_t* node, std::string_view id) {
  if (node == nullptr || top_ == nullptr) return nullptr;
  if (!idsBuilt_) BuildIdTable();
  if (ids_.empty()) return nullptr;
  const uint32_t slot = FindIdSlot(id, std::hash<std::string_view>{}(id));
  if (idSlots_[slot] == kNone) return nullptr;
  IdEntry& entry = ids_[idSlots_[slot]];
  const uint32_t* numbers = idNumbers_.data() + entry.first;
  const uint32_t position = SeekAfter(numbers, entry.count, entry.hint, Number(node));
  return position == entry.count ? nullptr : elements_[numbers[position]];
}

}  // namespace tessaline
