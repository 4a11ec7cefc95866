#include "platform/foundation/property_list_input.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {
namespace {

bool refuse(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

std::string depthReason() {
  return "property list nests deeper than " + std::to_string(kPropertyListMaxDepth) + " levels";
}

// ---------------------------------------------------------------------------
// Binary form: a header, the objects, a table of their offsets and a
// 32-byte trailer. The walk reads only what libplist will read (the objects
// reachable from the top one), each once, and keeps what each costs
// expanded, so it takes time in proportion to the file however the
// references are shared.

class BinaryWalk {
 public:
  explicit BinaryWalk(std::span<const uint8_t> b) : b_(b) {}

  bool run(std::string* error) {
    error_ = error;
    if (b_.size() < 8 + 32 || std::memcmp(b_.data(), "bplist00", 8) != 0)
      return malformed("no binary property list header or trailer");
    const size_t trailer = b_.size() - 32;
    offsetSize_ = b_[trailer + 6];
    refSize_ = b_[trailer + 7];
    const uint64_t objects = be(trailer + 8, 8);
    const uint64_t top = be(trailer + 16, 8);
    const uint64_t table = be(trailer + 24, 8);
    if (offsetSize_ == 0 || offsetSize_ > 8 || refSize_ == 0 || refSize_ > 8)
      return malformed("bad integer sizes in the trailer");
    if (objects == 0 || top >= objects) return malformed("bad object count in the trailer");
    if (table < 8 || table >= trailer || objects > (trailer - table) / offsetSize_)
      return malformed("the offset table lies outside the file");
    table_ = static_cast<size_t>(table);
    objects_ = objects;
    maxCost_ = propertyListCostBound(b_.size());
    // objects <= file size (each has a table entry), so these stay small.
    state_.assign(static_cast<size_t>(objects), kUnseen);
    cost_.assign(static_cast<size_t>(objects), 0);
    return walk(top);
  }

 private:
  enum : uint8_t { kUnseen, kOpen, kDone };

  // An open container on the walk: its references and how far through them.
  struct Frame {
    uint64_t object;
    size_t refs;        // offset of its first reference
    uint64_t count;     // references (keys and values for a dictionary)
    uint64_t next = 0;  // the next reference to follow
    uint64_t cost = kPropertyListNodeCost;  // expanded cost so far, itself included
  };

  bool malformed(const char* why) { return refuse(error_, std::string("malformed binary property list: ") + why); }

  uint64_t be(size_t pos, size_t n) const {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v = (v << 8) | b_[pos + i];
    return v;
  }

  // Where the object's bytes start; 0 when its offset is not inside the
  // object area.
  size_t offsetOf(uint64_t object) const {
    const uint64_t at = be(table_ + static_cast<size_t>(object) * offsetSize_, offsetSize_);
    return at >= 8 && at < table_ ? static_cast<size_t>(at) : 0;
  }

  // The count of a marker: its low nibble, or an integer object after it.
  // Sets *pos to the first byte after the marker and count.
  bool countOf(size_t start, uint64_t* count, size_t* pos) {
    const uint8_t low = b_[start] & 0x0F;
    *pos = start + 1;
    if (low != 0x0F) {
      *count = low;
      return true;
    }
    if (*pos >= table_ || (b_[*pos] & 0xF0) != 0x10 || (b_[*pos] & 0x0F) > 3) return malformed("bad length");
    const size_t n = size_t{1} << (b_[*pos] & 0x0F);
    if (n > table_ - *pos - 1) return malformed("length past the objects");
    *count = be(*pos + 1, n);
    *pos += 1 + n;
    return true;
  }

  // Reads the object's marker. A container becomes a frame to walk; a
  // string is checked for NUL; a leaf's cost goes to *leafCost. What else
  // may be wrong with a leaf is left to libplist.
  bool open(uint64_t object, std::optional<Frame>* frame, uint64_t* leafCost) {
    const size_t start = offsetOf(object);
    if (start == 0) return malformed("object offset outside the objects");
    const uint8_t kind = b_[start] >> 4;
    *leafCost = kPropertyListNodeCost;
    if (kind != 0x4 && kind != 0x5 && kind != 0x6 && kind != 0xA && kind != 0xC && kind != 0xD) return true;
    uint64_t count = 0;
    size_t pos = 0;
    if (!countOf(start, &count, &pos)) return false;
    const size_t room = table_ - pos;
    if (kind == 0x4) {  // data
      if (count > room) return malformed("data past the objects");
      *leafCost += count;
      return true;
    }
    if (kind == 0x5) {  // ASCII
      if (count > room) return malformed("string past the objects");
      if (std::memchr(b_.data() + pos, 0, static_cast<size_t>(count)))
        return refuse(error_, "property list holds a string with a NUL character");
      *leafCost += count;
      return true;
    }
    if (kind == 0x6) {  // UTF-16, big-endian units
      if (count > room / 2) return malformed("string past the objects");
      for (size_t i = 0; i < count; ++i)
        if (b_[pos + 2 * i] == 0 && b_[pos + 2 * i + 1] == 0)
          return refuse(error_, "property list holds a string with a NUL character");
      *leafCost += 3 * count;
      return true;
    }
    const uint64_t perEntry = kind == 0xD ? 2 : 1;  // a dictionary lists its keys, then its values
    if (count > room / refSize_ / perEntry) return malformed("container past the objects");
    const uint64_t refs = count * perEntry;
    frame->emplace(Frame{object, pos, refs});
    return true;
  }

  bool walk(uint64_t top) {
    std::vector<Frame> stack;
    // A leaf is costed at once, to its container or, at the top, alone; a
    // container is pushed and costed once its children are.
    auto enter = [&](uint64_t object) -> bool {
      std::optional<Frame> frame;
      uint64_t leafCost = 0;
      if (!open(object, &frame, &leafCost)) return false;
      if (!frame) {
        state_[object] = kDone;
        cost_[object] = leafCost;
        return stack.empty() ? within(leafCost) : add(stack.back(), leafCost);
      }
      if (stack.size() >= static_cast<size_t>(kPropertyListMaxDepth)) return refuse(error_, depthReason());
      state_[object] = kOpen;
      stack.push_back(*frame);
      return true;
    };
    if (!enter(top)) return false;
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (f.next == f.count) {
        const Frame done = f;
        stack.pop_back();
        state_[done.object] = kDone;
        cost_[done.object] = done.cost;
        if (!stack.empty() && !add(stack.back(), done.cost)) return false;
        continue;
      }
      const uint64_t child = be(f.refs + static_cast<size_t>(f.next++) * refSize_, refSize_);
      if (child >= objects_) return malformed("reference past the object table");
      if (state_[child] == kOpen) return refuse(error_, "property list refers to itself");
      if (state_[child] == kDone) {
        if (!add(f, cost_[child])) return false;
        continue;
      }
      if (!enter(child)) return false;  // `f` may have moved
    }
    return true;
  }

  // A container's cost is at least its children's, so a frame past the
  // bound stops the walk before anything above it is summed.
  bool add(Frame& f, uint64_t cost) {
    f.cost = cost > maxCost_ - f.cost ? maxCost_ + 1 : f.cost + cost;
    return within(f.cost);
  }

  bool within(uint64_t cost) {
    if (cost <= maxCost_) return true;
    return refuse(error_, "property list would expand to more than " + std::to_string(maxCost_) +
                              " bytes in memory, too much for a file of " + std::to_string(b_.size()) + " bytes");
  }

  std::span<const uint8_t> b_;
  std::string* error_ = nullptr;
  size_t offsetSize_ = 0, refSize_ = 0, table_ = 0;
  uint64_t objects_ = 0, maxCost_ = 0;
  std::vector<uint8_t> state_;
  std::vector<uint64_t> cost_;
};

// ---------------------------------------------------------------------------
// XML form: the nesting of <array> and <dict> elements, skipping comments,
// CDATA sections, processing instructions and the DOCTYPE. Every element
// and every payload is written out where it stands, so the parsed tree
// costs in proportion to the text and needs no bound of its own.

bool xmlWithinBounds(std::string_view text, std::string* error) {
  if (text.find('\0') != std::string_view::npos)
    return refuse(error, "property list text holds a NUL byte");
  int depth = 0;
  size_t pos = 0;
  auto skipPast = [&](std::string_view end) {
    const size_t at = text.find(end, pos);
    pos = at == std::string_view::npos ? text.size() : at + end.size();
  };
  while ((pos = text.find('<', pos)) != std::string_view::npos) {
    const std::string_view rest = text.substr(pos);
    if (rest.starts_with("<!--")) {
      skipPast("-->");
    } else if (rest.starts_with("<![CDATA[")) {
      skipPast("]]>");
    } else if (rest.starts_with("<?")) {
      skipPast("?>");
    } else if (rest.starts_with("<!")) {
      skipPast(">");
    } else {
      const bool closing = rest.size() > 1 && rest[1] == '/';
      size_t nameStart = closing ? 2 : 1;
      size_t nameEnd = nameStart;
      while (nameEnd < rest.size() && rest[nameEnd] != '>' && rest[nameEnd] != '/' &&
             !std::isspace(static_cast<unsigned char>(rest[nameEnd])))
        ++nameEnd;
      const std::string_view name = rest.substr(nameStart, nameEnd - nameStart);
      const size_t close = rest.find('>', nameEnd);
      const bool selfClosing = close != std::string_view::npos && close > 0 && rest[close - 1] == '/';
      if (name == "array" || name == "dict") {
        if (closing) {
          if (depth > 0) --depth;
        } else if (!selfClosing && ++depth > kPropertyListMaxDepth) {
          return refuse(error, depthReason());
        }
      }
      pos += close == std::string_view::npos ? rest.size() : close + 1;
    }
  }
  return true;
}

}  // namespace

uint64_t propertyListCostBound(uint64_t fileSize) {
  const uint64_t scaled = fileSize > kPropertyListMaxCost / kPropertyListCostPerByte
                              ? kPropertyListMaxCost
                              : fileSize * kPropertyListCostPerByte;
  return std::clamp(scaled, kPropertyListMinCost, kPropertyListMaxCost);
}

bool propertyListWithinBounds(std::span<const uint8_t> bytes, std::string* error) {
  if (bytes.size() > std::numeric_limits<uint32_t>::max()) return refuse(error, "property list too large");
  const char* data = reinterpret_cast<const char*>(bytes.data());
  if (plist_is_binary(data, static_cast<uint32_t>(bytes.size()))) return BinaryWalk(bytes).run(error);
  return xmlWithinBounds(std::string_view(data, bytes.size()), error);
}

PlistTree parsePropertyListTree(std::span<const uint8_t> bytes, std::string* error) {
  if (bytes.empty()) {
    refuse(error, "empty property list");
    return nullptr;
  }
  if (!propertyListWithinBounds(bytes, error)) return nullptr;
  const char* data = reinterpret_cast<const char*>(bytes.data());
  const auto len = static_cast<uint32_t>(bytes.size());
  plist_t root = nullptr;
  if (plist_is_binary(data, len)) {
    plist_from_bin(data, len, &root);
  } else {
    // The XML parser wants to see a property list; anything else is refused
    // before it reaches the parser.
    if (std::string_view(data, len).find("<plist") == std::string_view::npos) {
      refuse(error, "not a property list");
      return nullptr;
    }
    plist_from_xml(data, len, &root);
  }
  if (!root) refuse(error, "malformed property list");
  return PlistTree(root);
}

std::optional<std::string> plistStringValue(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
  uint64_t length = 0;
  const char* s = plist_get_string_ptr(node, &length);
  if (!s) return std::string();
  if (std::memchr(s, 0, static_cast<size_t>(length))) return std::nullopt;
  return std::string(s, static_cast<size_t>(length));
}

}  // namespace platform
