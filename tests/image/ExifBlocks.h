// EXIF blocks built in the tests: "Exif", two zero bytes and a TIFF structure in either
// byte order, with directories of typed entries whose values go inline or after the
// directory, as cameras write them.
#pragma once

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "foundation/SLTypes.h"

namespace exif_test {

struct Entry {
  u16 tag = 0, type = 0;
  u32 count = 0;
  std::vector<u64> numbers;  // SHORT, LONG, RATIONAL pairs, DOUBLE bits ...
  std::string bytes;         // BYTE, ASCII, UNDEFINED
  bool rawWord = false;      // the value field is `word` as it stands (offsets, pointers)
  u32 word = 0;

  static Entry Of(u16 tag, u16 type, u32 count, std::vector<u64> numbers, std::string bytes = {}) {
    Entry e;
    e.tag = tag, e.type = type, e.count = count, e.numbers = std::move(numbers), e.bytes = std::move(bytes);
    return e;
  }
  static Entry Short(u16 tag, u32 value) { return Of(tag, 3, 1, {value}); }
  static Entry Long(u16 tag, u32 value) { return Of(tag, 4, 1, {value}); }
  static Entry Rational(u16 tag, u32 top, u32 bottom) { return Of(tag, 5, 1, {top, bottom}); }
  static Entry SRational(u16 tag, i32 top, i32 bottom) { return Of(tag, 10, 1, {u32(top), u32(bottom)}); }
  static Entry Double(u16 tag, double value) {
    u64 bits;
    memcpy(&bits, &value, 8);
    return Of(tag, 12, 1, {bits});
  }
  static Entry Ascii(u16 tag, const std::string& text) {
    return Of(tag, 2, u32(text.size() + 1), {}, text + std::string(1, '\0'));
  }
  static Entry Bytes(u16 tag, u16 type, const std::string& bytes) {
    return Of(tag, type, u32(bytes.size()), {}, bytes);
  }
  static Entry Raw(u16 tag, u16 type, u32 count, u32 word) {
    Entry e = Of(tag, type, count, {});
    e.rawWord = true, e.word = word;
    return e;
  }
  static Entry Pointer(u16 tag, u32 offset) { return Raw(tag, 4, 1, offset); }
};

// A TIFF structure grown directory by directory; offsets count from its "II" or "MM".
class Tiff {
 public:
  explicit Tiff(bool bigEndian) : m_big(bigEndian) {
    m_tiff = bigEndian ? "MM" : "II";
    Put(2, 42);
    Put(4, 8);
  }
  // Appends a directory, then the values that do not fit in their fields; its offset.
  u32 Directory(const std::vector<Entry>& entries, u32 next = 0) {
    const u32 at = u32(m_tiff.size());
    u32 data = at + 2 + 12 * u32(entries.size()) + 4;
    std::string values;
    Put(2, entries.size());
    for (const Entry& e : entries) {
      Put(2, e.tag), Put(2, e.type), Put(4, e.count);
      if (e.rawWord) {
        Put(4, e.word);
        continue;
      }
      const std::string value = Serialise(e);
      if (value.size() <= 4) {
        m_tiff += value + std::string(4 - value.size(), '\0');
      } else {
        Put(4, data + values.size());
        values += value;
        if (values.size() & 1) values += '\0';
      }
    }
    Put(4, next);
    m_tiff += values;
    return at;
  }
  void SetFirst(u32 offset) { Patch(4, offset); }
  // The next-directory field of the directory at `at`.
  void SetNext(u32 at, u32 next) { Patch(at + 2 + 12 * Count(at), next); }
  void PadTo(size_t size) {
    if (m_tiff.size() < size) m_tiff.resize(size, '\0');
  }
  size_t Size() const { return m_tiff.size(); }
  std::string Block() const { return std::string("Exif\0\0", 6) + m_tiff; }
  std::string& Bytes() { return m_tiff; }

 private:
  std::string Serialise(const Entry& e) const {
    if (!e.bytes.empty()) return e.bytes;
    const u32 width = e.type == 3 || e.type == 8 ? 2 : e.type == 12 ? 8 : 4;
    std::string out;
    for (u64 n : e.numbers) out += Encode(width, n);
    return out;
  }
  std::string Encode(u32 width, u64 value) const {
    std::string out;
    for (u32 i = 0; i < width; ++i) {
      const u32 shift = 8 * (m_big ? width - 1 - i : i);
      out += char((value >> shift) & 255);
    }
    return out;
  }
  void Put(u32 width, u64 value) { m_tiff += Encode(width, value); }
  void Patch(u32 at, u32 value) { m_tiff.replace(at, 4, Encode(4, value)); }
  u32 Count(u32 at) const {
    const u8 a = u8(m_tiff[at]), b = u8(m_tiff[at + 1]);
    return m_big ? (a << 8 | b) : (b << 8 | a);
  }
  bool m_big;
  std::string m_tiff;
};

// A block with IFD0 and, when given, IFD1, the latter placed at `ifd1At` or later.
inline std::string Block(bool bigEndian, const std::vector<std::vector<Entry>>& directories, size_t ifd1At = 0) {
  Tiff tiff(bigEndian);
  const u32 first = tiff.Directory(directories.empty() ? std::vector<Entry>() : directories[0]);
  if (directories.size() > 1) {
    tiff.PadTo(ifd1At);
    tiff.SetNext(first, tiff.Directory(directories[1]));
  }
  return tiff.Block();
}

}  // namespace exif_test
