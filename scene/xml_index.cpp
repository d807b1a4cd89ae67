// Document-order index over a Mini-XML tree; see xml_index.h for what each search reproduces.
#include "scene/xml_index.h"

#include <mxml.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <iterator>
#include <utility>

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

// FNV-1a: ids are short decimal texts, for which this is quicker than the library's general hash.
size_t HashId(std::string_view id) {
  uint64_t hash = 14695981039346656037ull;
  for (char c : id)
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return static_cast<size_t>(hash ^ (hash >> 32));
}

// Ids written as plain decimal numbers below 2^20 ("0", "17"; not "017" or "+1", which are different
// texts) are looked up in a table indexed by their value instead of by hash.
bool DenseNumber(std::string_view id, uint32_t& number) {
  if (id.empty() || id.size() > 7 || (id[0] == '0' && id.size() > 1)) return false;
  uint32_t value = 0;
  for (char c : id) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value >= (1u << 20)) return false;
  number = value;
  return true;
}

}  // namespace

uint32_t XmlIndex::SortedNumbers::FirstAfter(uint32_t after, uint32_t end) {
  const uint32_t size = static_cast<uint32_t>(numbers.size());
  const uint32_t position = SeekAfter(numbers.data(), size, hint, after);
  if (position == size || numbers[position] >= end) return kNone;
  return numbers[position];
}

XmlIndex::XmlIndex(mxml_node_t* top, bool withVertexIds) : top_(top), withVertexIds_(withVertexIds) {
  if (top == nullptr) return;
  // Iterative walk in document order (deep documents must not exhaust the stack), keeping the numbers of
  // the elements whose children are being walked.
  std::vector<uint32_t> open;
  open.push_back(AddElement(top, kNone, false));
  mxml_node_t* node = mxmlGetFirstChild(top);
  for (;;) {
    if (node != nullptr) {
      mxml_node_t* next = mxmlGetNextSibling(node);
      if (mxmlGetType(node) == MXML_ELEMENT) {
        const uint32_t number = AddElement(node, open.back(), next != nullptr);
        if (mxml_node_t* child = mxmlGetFirstChild(node)) {
          open.push_back(number);
          node = child;
          continue;
        }
      }
      node = next;
      continue;
    }
    // The children of the innermost open element are done: close it and go on after it.
    const uint32_t closed = open.back();
    open.pop_back();
    elements_[closed].end = static_cast<uint32_t>(elements_.size());
    if (open.empty()) break;
    node = mxmlGetNextSibling(elements_[closed].node);
  }
  BuildLists();
  if (withVertexIds) GroupIds();
}

uint32_t XmlIndex::Number(mxml_node_t* element) const {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(mxmlGetUserData(element)));
}

uint32_t XmlIndex::AddElement(mxml_node_t* element, uint32_t parent, bool hasNextSibling) {
  const uint32_t number = static_cast<uint32_t>(elements_.size());
  // The element's number travels in the node's user-data pointer, the one field Mini-XML leaves to us.
  mxmlSetUserData(
      element, reinterpret_cast<void*>(static_cast<uintptr_t>(number)));  // NOLINT(performance-no-int-to-ptr)
  Element info;
  info.node = element;
  info.end = number + 1;
  info.parent = parent;
  info.depth = parent == kNone ? 0 : elements_[parent].depth + 1;
  info.climb = kNone;
  if (hasNextSibling) {
    info.climb = number;
  } else if (parent != kNone && parent != 0) {  // the top is number 0; the climb stops below it
    info.climb = elements_[parent].climb;
  }
  elements_.push_back(info);

  // An element without a name never matches a search.
  const char* name = mxmlGetElement(element);
  const uint32_t nameId = name == nullptr ? kNone : InternName(name);
  elementNames_.push_back(nameId);
  if (withVertexIds_ && nameId != kNone && nameId == vertexNameId_) {
    // mxmlElementGetAttr(element, "id"), without a string comparison call per attribute.
    const int attributes = mxmlElementGetAttrCount(element);
    for (int i = 0; i < attributes; ++i) {
      const char* attribute = nullptr;
      const char* value = mxmlElementGetAttrByIndex(element, i, &attribute);
      if (attribute != nullptr && attribute[0] == 'i' && attribute[1] == 'd' && attribute[2] == '\0') {
        if (value != nullptr) AddId(number, value);
        break;
      }
    }
  }
  return number;
}

uint32_t XmlIndex::InternName(std::string_view name) {
  for (const RecentName& recent : internedNames_) {
    if (recent.id != kNone && recent.name == name) return recent.id;
  }
  auto [found, inserted] = nameIds_.try_emplace(name, static_cast<uint32_t>(byName_.size()));
  if (inserted) {
    byName_.emplace_back();
    if (name == "vertex") vertexNameId_ = found->second;
  }
  internedNames_[internedNext_] = RecentName{found->first, found->second};
  internedNext_ = (internedNext_ + 1) % std::size(internedNames_);
  return found->second;
}

void XmlIndex::BuildLists() {
  // Counted first, so that every list is allocated once at its final size.
  std::vector<uint32_t> counts(byName_.size(), 0);
  for (uint32_t nameId : elementNames_) {
    if (nameId != kNone) ++counts[nameId];
  }
  for (size_t nameId = 0; nameId < byName_.size(); ++nameId)
    byName_[nameId].numbers.reserve(counts[nameId]);
  for (int pass = 0; pass < 2; ++pass) {
    // A few recent (name, depth) lists: documents repeat the same few names at the same depths.
    RecentList recent[4];
    uint32_t next = 0;
    for (uint32_t number = 0; number < elementNames_.size(); ++number) {
      const uint32_t nameId = elementNames_[number];
      if (nameId == kNone) continue;
      const uint64_t key = static_cast<uint64_t>(nameId) << 32 | elements_[number].depth;
      SortedNumbers* list = nullptr;
      for (const RecentList& entry : recent) {
        if (entry.list != nullptr && entry.key == key) list = entry.list;
      }
      if (list == nullptr) {
        list = &byNameAndDepth_[key];
        recent[next] = RecentList{key, list};
        next = (next + 1) % std::size(recent);
      }
      if (pass == 0) {
        ++list->pending;
      } else {
        if (list->numbers.empty()) list->numbers.reserve(list->pending);
        list->numbers.push_back(number);
        byName_[nameId].numbers.push_back(number);
      }
    }
  }
  std::vector<uint32_t>().swap(elementNames_);
}

uint32_t XmlIndex::NameId(std::string_view name) {
  for (const RecentName& recent : recentNames_) {
    if (recent.id != kNone && recent.name == name) return recent.id;
  }
  auto found = nameIds_.find(name);
  if (found == nameIds_.end()) return kNone;
  recentNames_[recentNext_] = RecentName{found->first, found->second};
  recentNext_ = (recentNext_ + 1) % std::size(recentNames_);
  return found->second;
}

XmlIndex::SortedNumbers* XmlIndex::ChildList(uint32_t nameId, uint32_t depth) {
  const uint64_t key = static_cast<uint64_t>(nameId) << 32 | depth;
  for (const RecentList& recent : recentLists_) {
    if (recent.list != nullptr && recent.key == key) return recent.list;
  }
  auto found = byNameAndDepth_.find(key);
  if (found == byNameAndDepth_.end()) return nullptr;
  recentLists_[recentListNext_] = RecentList{key, &found->second};
  recentListNext_ = (recentListNext_ + 1) % std::size(recentLists_);
  return &found->second;
}

mxml_node_t* XmlIndex::FindDescend(mxml_node_t* node, mxml_node_t* limit, std::string_view name) {
  if (node == nullptr || limit == nullptr || top_ == nullptr) return nullptr;
  const uint32_t start = Number(node);
  const uint32_t bound = Number(limit);
  assert(bound <= start && start < elements_[bound].end);
  const uint32_t nameId = NameId(name);
  if (nameId == kNone) return nullptr;
  const uint32_t result = byName_[nameId].FirstAfter(start, elements_[bound].end);
  return result == kNone ? nullptr : elements_[result].node;
}

mxml_node_t* XmlIndex::FindNoDescend(mxml_node_t* node, std::string_view name) {
  if (node == nullptr || node == top_ || top_ == nullptr) return nullptr;
  uint32_t after = Number(node);
  if (mxmlGetNextSibling(node) == nullptr) {
    // The library climbs to the next sibling of the nearest ancestor below the top that has one.
    const uint32_t parent = elements_[after].parent;
    if (parent == 0) return nullptr;
    after = elements_[parent].climb;
    if (after == kNone) return nullptr;
  }
  // Search the children of that node's parent that come after it: the elements of the parent's subtree
  // one level below the parent.
  const Element& parent = elements_[elements_[after].parent];
  const uint32_t nameId = NameId(name);
  if (nameId == kNone) return nullptr;
  SortedNumbers* list = ChildList(nameId, parent.depth + 1);
  if (list == nullptr) return nullptr;
  const uint32_t result = list->FirstAfter(after, parent.end);
  return result == kNone ? nullptr : elements_[result].node;
}

size_t XmlIndex::CountElements(std::string_view name) const {
  auto found = nameIds_.find(name);
  return found == nameIds_.end() ? 0 : byName_[found->second].numbers.size();
}

size_t XmlIndex::CountVerticesWithId() const {
  return idNumbers_.size();
}

uint32_t XmlIndex::FindHashSlot(std::string_view id, size_t hash) const {
  const size_t mask = idSlots_.size() - 1;
  size_t slot = hash & mask;
  while (idSlots_[slot] != kNone && ids_[idSlots_[slot]].id != id)
    slot = (slot + 1) & mask;
  return static_cast<uint32_t>(slot);
}

uint32_t XmlIndex::FindEntry(std::string_view id) const {
  uint32_t number = 0;
  if (DenseNumber(id, number)) return number < denseIds_.size() ? denseIds_[number] : kNone;
  if (idSlots_.empty()) return kNone;
  return idSlots_[FindHashSlot(id, HashId(id))];
}

void XmlIndex::AddId(uint32_t number, std::string_view id) {
  uint32_t* entry = nullptr;
  uint32_t dense = 0;
  if (DenseNumber(id, dense)) {
    if (dense >= denseIds_.size()) denseIds_.resize(std::max<size_t>(dense + 1, denseIds_.size() * 2), kNone);
    entry = &denseIds_[dense];
  } else {
    if (idSlots_.empty()) idSlots_.assign(64, kNone);
    const size_t hash = HashId(id);
    uint32_t slot = FindHashSlot(id, hash);
    if (idSlots_[slot] == kNone && (hashedIds_ + 1) * 2 > idSlots_.size()) {
      std::vector<uint32_t> old(idSlots_.size() * 2, kNone);
      old.swap(idSlots_);
      for (uint32_t index : old) {
        if (index != kNone) idSlots_[FindHashSlot(ids_[index].id, HashId(ids_[index].id))] = index;
      }
      slot = FindHashSlot(id, hash);
    }
    if (idSlots_[slot] == kNone) ++hashedIds_;
    entry = &idSlots_[slot];
  }
  if (*entry == kNone) {
    *entry = static_cast<uint32_t>(ids_.size());
    ids_.push_back(IdEntry{id, 0, 0, 0});
  }
  ++ids_[*entry].count;
  pendingIds_.push_back({number, *entry});
}

void XmlIndex::GroupIds() {
  // Group the element numbers by id; within a group they stay in document order.
  uint32_t first = 0;
  for (IdEntry& entry : ids_) {
    entry.first = first;
    first += entry.count;
    entry.count = 0;
  }
  idNumbers_.resize(first);
  for (const auto& [number, entryIndex] : pendingIds_) {
    IdEntry& entry = ids_[entryIndex];
    idNumbers_[entry.first + entry.count++] = number;
  }
  std::vector<std::pair<uint32_t, uint32_t>>().swap(pendingIds_);
}

uint32_t XmlIndex::FindVertexSlot(mxml_node_t* node, std::string_view id) {
  assert(withVertexIds_ || top_ == nullptr);
  if (node == nullptr || ids_.empty()) return kNoSlot;
  const uint32_t entryIndex = FindEntry(id);
  if (entryIndex == kNone) return kNoSlot;
  IdEntry& entry = ids_[entryIndex];
  const uint32_t* numbers = idNumbers_.data() + entry.first;
  const uint32_t position = SeekAfter(numbers, entry.count, entry.hint, Number(node));
  return position == entry.count ? kNoSlot : entry.first + position;
}

mxml_node_t* XmlIndex::VertexAtSlot(uint32_t slot) const {
  return slot == kNoSlot ? nullptr : elements_[idNumbers_[slot]].node;
}

mxml_node_t* XmlIndex::FindVertexById(mxml_node_t* node, std::string_view id) {
  return VertexAtSlot(FindVertexSlot(node, id));
}

}  // namespace tessaline
