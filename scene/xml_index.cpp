// Document-order index built from Mini-XML's SAX events; see xml_index.h for what each search reproduces.
#include "scene/xml_index.h"

#include <mxml.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <iterator>
#include <new>
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

enum class ValueKind { Integer, Float, Entry, Text };

ValueKind KindOf(XmlAttribute key) {
  if (key <= XmlAttribute::A) return ValueKind::Integer;
  if (key <= XmlAttribute::V3) return ValueKind::Float;
  if (key == XmlAttribute::Vid) return ValueKind::Entry;
  return ValueKind::Text;
}

// The attribute key of a name the reader uses, or Count for any other name.
XmlAttribute KeyOf(const char* name) {
  switch (name[0]) {
    case 'i':
      return std::strcmp(name, "id") == 0 ? XmlAttribute::Id : XmlAttribute::Count;
    case 'm':
      return std::strcmp(name, "mid") == 0 ? XmlAttribute::Mid : XmlAttribute::Count;
    case 'r':
      return name[1] == '\0' ? XmlAttribute::R : XmlAttribute::Count;
    case 'g':
      return name[1] == '\0' ? XmlAttribute::G : XmlAttribute::Count;
    case 'a':
      return name[1] == '\0' ? XmlAttribute::A : XmlAttribute::Count;
    case 'x':
      return name[1] == '\0' ? XmlAttribute::X : XmlAttribute::Count;
    case 'y':
      return name[1] == '\0' ? XmlAttribute::Y : XmlAttribute::Count;
    case 'z':
      return name[1] == '\0' ? XmlAttribute::Z : XmlAttribute::Count;
    case 'u':
      if (name[1] >= '0' && name[1] <= '3' && name[2] == '\0')
        return static_cast<XmlAttribute>(static_cast<int>(XmlAttribute::U0) + (name[1] - '0'));
      return XmlAttribute::Count;
    case 'v':
      if (name[1] >= '0' && name[1] <= '3' && name[2] == '\0')
        return static_cast<XmlAttribute>(static_cast<int>(XmlAttribute::V0) + (name[1] - '0'));
      return std::strcmp(name, "vid") == 0 ? XmlAttribute::Vid : XmlAttribute::Count;
    case 't':
      return std::strcmp(name, "type") == 0 ? XmlAttribute::Type : XmlAttribute::Count;
    case 'b':
      if (name[1] == '\0') return XmlAttribute::B;
      return std::strcmp(name, "blend") == 0 ? XmlAttribute::Blend : XmlAttribute::Count;
    case 'f':
      return std::strcmp(name, "file") == 0 ? XmlAttribute::File : XmlAttribute::Count;
    default:
      return XmlAttribute::Count;
  }
}

void AppendWord(std::string& out, uint32_t word) {
  char bytes[4];
  std::memcpy(bytes, &word, 4);
  out.append(bytes, 4);
}

uint32_t LoadWord(const char* at) {
  uint32_t word = 0;
  std::memcpy(&word, at, 4);
  return word;
}

}  // namespace

// Receives the parser's events. Nothing may propagate through the library's C frames, so running out of
// memory here stops the indexing and is reported once the parser has returned.
struct XmlIndexBuilder {
  struct Open {
    uint32_t number = 0;
    uint32_t lastChild = XmlIndex::kNone;  // the newest child element, while no other node followed it
  };

  XmlIndex& index;
  std::vector<Open> open;
  bool haveTop = false;
  bool outOfMemory = false;

  static void Event(mxml_node_t* node, mxml_sax_event_t event, void* data) {
    auto* builder = static_cast<XmlIndexBuilder*>(data);
    if (builder->outOfMemory) return;
    try {
      builder->Handle(node, event);
    } catch (const std::bad_alloc&) {
      builder->outOfMemory = true;
    }
  }

  void Handle(mxml_node_t* node, mxml_sax_event_t event) {
    if (!haveTop) {
      // The first node without a parent is the top the tree would have: the declaration, which the library
      // keeps by itself, or whatever else comes first, kept here so that the parser's checks of the top
      // (one root element only) see the same as when it builds the whole tree.
      if (event == MXML_SAX_DATA || event == MXML_SAX_ELEMENT_CLOSE || mxmlGetParent(node) != nullptr) return;
      haveTop = true;
      const char* name = mxmlGetElement(node);
      if (event != MXML_SAX_DIRECTIVE || std::strncmp(name, "?xml ", 5) != 0) mxmlRetain(node);
      const uint32_t top = AddElement(node, XmlIndex::kNone, event == MXML_SAX_ELEMENT_OPEN);
      // Only an open element or a directive becomes the parent of what follows.
      if (event == MXML_SAX_ELEMENT_OPEN || event == MXML_SAX_DIRECTIVE) open.push_back(Open{top});
      return;
    }
    if (open.empty()) return;  // after the top element: nodes outside the tree
    if (event == MXML_SAX_ELEMENT_CLOSE) {
      const uint32_t closed = open.back().number;
      open.pop_back();
      index.elements_[closed].end = static_cast<uint32_t>(index.elements_.size());
      return;
    }
    // Any node after an element child means that child has a next sibling.
    Open& parent = open.back();
    if (parent.lastChild != XmlIndex::kNone) index.elements_[parent.lastChild].climb = parent.lastChild;
    parent.lastChild = XmlIndex::kNone;
    if (event == MXML_SAX_DATA) return;
    const uint32_t number = AddElement(node, parent.number, event == MXML_SAX_ELEMENT_OPEN);
    open.back().lastChild = number;
    if (event == MXML_SAX_ELEMENT_OPEN) open.push_back(Open{number});
  }

  uint32_t AddElement(mxml_node_t* node, uint32_t parent, bool withAttributes) {
    const uint32_t number = static_cast<uint32_t>(index.elements_.size());
    XmlIndex::Element info;
    info.end = number + 1;
    info.parent = parent;
    info.depth = parent == XmlIndex::kNone ? 0 : index.elements_[parent].depth + 1;
    index.elements_.push_back(info);

    // An element without a name never matches a search.
    const char* name = mxmlGetElement(node);
    const uint32_t nameId = name == nullptr ? XmlIndex::kNone : index.InternName(name);
    index.elementNames_.push_back(nameId);
    index.attributeStart_.push_back(static_cast<uint32_t>(index.attributes_.size()));
    if (!withAttributes) return number;

    const bool vertex = nameId != XmlIndex::kNone && nameId == index.vertexNameId_;
    bool idSeen = false;
    const int attributes = mxmlElementGetAttrCount(node);
    for (int i = 0; i < attributes; ++i) {
      const char* attribute = nullptr;
      const char* value = mxmlElementGetAttrByIndex(node, i, &attribute);
      if (attribute == nullptr || value == nullptr) continue;
      const XmlAttribute key = KeyOf(attribute);
      if (key == XmlAttribute::Count) continue;
      if (vertex && key == XmlAttribute::Id) {
        // The library's attribute search takes the first of equal names.
        if (!idSeen) {
          const uint32_t entry = index.AddIdEntry(value);
          ++index.ids_[entry].count;
          index.pendingIds_.push_back({number, entry});
        }
        idSeen = true;
        continue;
      }
      std::string& out = index.attributes_;
      out.push_back(static_cast<char>(key));
      switch (KindOf(key)) {
        case ValueKind::Integer:
          AppendWord(out, static_cast<uint32_t>(ParseInt(value)));
          break;
        case ValueKind::Float: {
          const float f = ParseFloat(value);
          uint32_t word = 0;
          std::memcpy(&word, &f, 4);
          AppendWord(out, word);
          break;
        }
        case ValueKind::Entry:
          AppendWord(out, index.AddIdEntry(value));
          break;
        case ValueKind::Text: {
          const size_t length = std::strlen(value);
          AppendWord(out, static_cast<uint32_t>(length));
          out.append(value, length);
          break;
        }
      }
    }
    return number;
  }
};

uint32_t XmlIndex::SortedNumbers::FirstAfter(uint32_t after, uint32_t end) {
  const uint32_t size = static_cast<uint32_t>(numbers.size());
  const uint32_t position = SeekAfter(numbers.data(), size, hint, after);
  if (position == size || numbers[position] >= end) return kNone;
  return numbers[position];
}

bool XmlIndex::Build(const char* text) {
  XmlIndexBuilder builder{*this, {}, false, false};
  mxml_node_t* top =
      mxmlSAXLoadString(nullptr, text, MXML_OPAQUE_CALLBACK, &XmlIndexBuilder::Event, &builder);
  if (top != nullptr) mxmlDelete(top);
  if (builder.outOfMemory) throw std::bad_alloc();
  if (top == nullptr || elements_.empty()) return false;
  Finish();
  return true;
}

void XmlIndex::Finish() {
  // The top's subtree ends with the document. Where a sibling search climbs to is known only now that
  // every element's next sibling is: parents come before their children.
  elements_[0].end = static_cast<uint32_t>(elements_.size());
  for (uint32_t number = 1; number < elements_.size(); ++number) {
    Element& element = elements_[number];
    if (element.climb == number) continue;
    element.climb = element.parent != 0 ? elements_[element.parent].climb : kNone;
  }

  // The lists, counted first so that every list is allocated once at its final size.
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

  // Group the vertex numbers by id; within a group they stay in document order.
  uint32_t first = 0;
  for (IdInfo& entry : ids_) {
    entry.first = first;
    first += entry.count;
    entry.count = 0;
  }
  idNumbers_.resize(first);
  for (const auto& [number, entryIndex] : pendingIds_) {
    IdInfo& entry = ids_[entryIndex];
    idNumbers_[entry.first + entry.count++] = number;
  }
  std::vector<std::pair<uint32_t, uint32_t>>().swap(pendingIds_);
}

uint32_t XmlIndex::InternName(std::string_view name) {
  for (const RecentName& recent : internedNames_) {
    if (recent.id != kNone && recent.name == name) return recent.id;
  }
  auto found = nameIds_.find(name);
  if (found == nameIds_.end()) {
    // The node's text goes with the node: the index keeps its own copy, which stays where it is.
    const uint32_t id = static_cast<uint32_t>(names_.size());
    names_.emplace_back(name);
    byName_.emplace_back();
    found = nameIds_.emplace(std::string_view(names_.back()), id).first;
    if (name == "vertex") vertexNameId_ = id;
  }
  internedNames_[internedNext_] = RecentName{found->first, found->second};
  internedNext_ = (internedNext_ + 1) % std::size(internedNames_);
  return found->second;
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

uint32_t XmlIndex::FindDescend(uint32_t node, uint32_t limit, std::string_view name) {
  if (node == kNone || limit == kNone || elements_.empty()) return kNone;
  assert(limit <= node && node < elements_[limit].end);
  const uint32_t nameId = NameId(name);
  if (nameId == kNone) return kNone;
  return byName_[nameId].FirstAfter(node, elements_[limit].end);
}

uint32_t XmlIndex::FindNoDescend(uint32_t node, std::string_view name) {
  if (node == kNone || node == 0 || elements_.empty()) return kNone;
  uint32_t after = node;
  if (elements_[node].climb != node) {
    // The library climbs to the next sibling of the nearest ancestor below the top that has one.
    after = elements_[node].climb;
    if (after == kNone) return kNone;
  }
  // Search the children of that node's parent that come after it: the elements of the parent's subtree
  // one level below the parent.
  const Element& parent = elements_[elements_[after].parent];
  const uint32_t nameId = NameId(name);
  if (nameId == kNone) return kNone;
  SortedNumbers* list = ChildList(nameId, parent.depth + 1);
  if (list == nullptr) return kNone;
  return list->FirstAfter(after, parent.end);
}

size_t XmlIndex::CountElements(std::string_view name) const {
  auto found = nameIds_.find(name);
  return found == nameIds_.end() ? 0 : byName_[found->second].numbers.size();
}

std::string_view XmlIndex::IdText(const IdInfo& info) const {
  return std::string_view(idTexts_).substr(info.textStart, info.textLength);
}

uint32_t XmlIndex::FindHashSlot(std::string_view id, size_t hash) const {
  const size_t mask = idSlots_.size() - 1;
  size_t slot = hash & mask;
  while (idSlots_[slot] != kNone && IdText(ids_[idSlots_[slot]]) != id)
    slot = (slot + 1) & mask;
  return static_cast<uint32_t>(slot);
}

uint32_t XmlIndex::IdEntry(std::string_view id) const {
  uint32_t number = 0;
  if (DenseNumber(id, number)) return number < denseIds_.size() ? denseIds_[number] : kNone;
  if (idSlots_.empty()) return kNone;
  return idSlots_[FindHashSlot(id, HashId(id))];
}

uint32_t XmlIndex::AddIdEntry(std::string_view id) {
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
        if (index != kNone) idSlots_[FindHashSlot(IdText(ids_[index]), HashId(IdText(ids_[index])))] = index;
      }
      slot = FindHashSlot(id, hash);
    }
    if (idSlots_[slot] == kNone) ++hashedIds_;
    entry = &idSlots_[slot];
  }
  if (*entry == kNone) {
    // Dense ids need no text: their value is their text.
    IdInfo info;
    if (!DenseNumber(id, dense)) {
      info.textStart = static_cast<uint32_t>(idTexts_.size());
      info.textLength = static_cast<uint32_t>(id.size());
      idTexts_.append(id);
    }
    *entry = static_cast<uint32_t>(ids_.size());
    ids_.push_back(info);
  }
  return *entry;
}

uint32_t XmlIndex::FindVertexSlot(uint32_t node, uint32_t idEntry) {
  if (node == kNone || idEntry == kNone || idEntry >= ids_.size()) return kNone;
  IdInfo& entry = ids_[idEntry];
  const uint32_t* numbers = idNumbers_.data() + entry.first;
  const uint32_t position = SeekAfter(numbers, entry.count, entry.hint, node);
  return position == entry.count ? kNone : entry.first + position;
}

size_t XmlIndex::ValueLength(XmlAttribute key, const char* value) {
  return KindOf(key) == ValueKind::Text ? 4 + LoadWord(value) : 4;
}

const char* XmlIndex::FindAttribute(uint32_t element, XmlAttribute key) const {
  if (element == kNone || element >= attributeStart_.size()) return nullptr;
  const char* found = nullptr;
  ForEachAttribute(element, [&](XmlAttribute k, const char* value) {
    if (k == key && found == nullptr) found = value;
  });
  return found;
}

bool XmlIndex::Number(uint32_t element, XmlAttribute key, int32_t& value) const {
  const char* at = FindAttribute(element, key);
  if (at == nullptr) return false;
  value = static_cast<int32_t>(LoadWord(at));
  return true;
}

bool XmlIndex::Number(uint32_t element, XmlAttribute key, float& value) const {
  const char* at = FindAttribute(element, key);
  if (at == nullptr) return false;
  std::memcpy(&value, at, 4);
  return true;
}

bool XmlIndex::Number(uint32_t element, XmlAttribute key, uint32_t& value) const {
  const char* at = FindAttribute(element, key);
  if (at == nullptr) return false;
  value = LoadWord(at);
  return true;
}

std::string_view XmlIndex::Text(uint32_t element, XmlAttribute key) const {
  const char* at = FindAttribute(element, key);
  if (at == nullptr) return {};
  return std::string_view(at + 4, LoadWord(at));
}

}  // namespace tessaline
