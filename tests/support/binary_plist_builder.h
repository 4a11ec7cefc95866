#pragma once
// Writes binary property lists object by object, so that a test can lay out
// what no well-behaved writer would: strings with NUL characters, objects
// nested thousands deep, references and payloads shared to blow a small
// file up.
//
// Objects are numbered in the order they are added (a reference may name
// one added later); references are written with `refSize` bytes, offsets
// with 4.

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

class BinaryPlistBuilder {
 public:
  explicit BinaryPlistBuilder(int refSize = 4) : refSize_(refSize) {}

  // Each returns the new object's number.
  uint64_t ascii(const std::string& s) { return add(marker(0x50, s.size()) + s); }
  uint64_t utf16(const std::u16string& s) {
    std::string body = marker(0x60, s.size());
    for (char16_t c : s) body += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    return add(body);
  }
  uint64_t data(const std::string& bytes) { return add(marker(0x40, bytes.size()) + bytes); }
  uint64_t integer(uint64_t v) { return add(std::string(1, '\x13') + be(v, 8)); }
  uint64_t uid(uint64_t v) { return add(std::string(1, '\x83') + be(v, 4)); }
  uint64_t array(const std::vector<uint64_t>& refs) { return add(marker(0xA0, refs.size()) + refList(refs)); }
  uint64_t dict(const std::vector<uint64_t>& keys, const std::vector<uint64_t>& values) {
    return add(marker(0xD0, keys.size()) + refList(keys) + refList(values));
  }

  std::vector<uint8_t> bytes(uint64_t top) const {
    std::string out = "bplist00";
    std::vector<uint64_t> offsets;
    for (const std::string& o : objects_) {
      offsets.push_back(out.size());
      out += o;
    }
    const uint64_t table = out.size();
    for (uint64_t at : offsets) out += be(at, 4);
    out += std::string(6, '\0');
    out += static_cast<char>(4);
    out += static_cast<char>(refSize_);
    out += be(objects_.size(), 8) + be(top, 8) + be(table, 8);
    return std::vector<uint8_t>(out.begin(), out.end());
  }

 private:
  static std::string be(uint64_t v, int n) {
    std::string s(static_cast<size_t>(n), '\0');
    for (int i = n - 1; i >= 0; --i, v >>= 8) s[static_cast<size_t>(i)] = static_cast<char>(v & 0xFF);
    return s;
  }
  static std::string marker(int kind, size_t count) {
    if (count < 15) return std::string(1, static_cast<char>(kind | static_cast<int>(count)));
    return std::string(1, static_cast<char>(kind | 0x0F)) + '\x13' + be(count, 8);
  }
  std::string refList(const std::vector<uint64_t>& refs) const {
    std::string s;
    for (uint64_t r : refs) s += be(r, refSize_);
    return s;
  }
  uint64_t add(std::string body) {
    objects_.push_back(std::move(body));
    return objects_.size() - 1;
  }

  int refSize_;
  std::vector<std::string> objects_;
};

}  // namespace test_support
