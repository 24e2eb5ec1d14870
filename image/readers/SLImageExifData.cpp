#include "image/readers/SLImageExifData.h"

#include <cmath>

#include "foundation/SLByteOrder.h"
#include "foundation/SLDateTime.h"
#include "foundation/SLError.h"
#include "foundation/SLFormula.h"
#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "image/readers/SLImageExifTags.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageExifData, CSLObject)

namespace {

using SLInternals::kSLExifTagRows;
using SLInternals::kSLExifTagTable;
using SLInternals::SLExifLevelOf;

u32 TypeSize(u32 type) {
  static constexpr u8 kSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type < 13 ? kSizes[type] : 0;
}

// Directories nest at most this deep; pointer loops between empty directories end here.
constexpr u32 kMaxDepth = 30;
// A block needs five directory reads; pointer trees between empty directories that stop
// short of the depth limit could ask for billions, so a load gives up after these.
constexpr u32 kMaxDirectoryReads = 256;

CSLImageExifData::Clock s_clock = nullptr;

// First row of a tag in the table, or kSLExifTagRows.
u32 FirstRow(u32 tag) {
  u32 low = 0, high = kSLExifTagRows;
  while (low < high) {
    const u32 middle = (low + high) / 2;
    if (kSLExifTagTable[middle].tag < tag) low = middle + 1;
    else high = middle;
  }
  return low < kSLExifTagRows && kSLExifTagTable[low].tag == tag ? low : kSLExifTagRows;
}

// The tags normalised to SHORT whatever integer type the camera chose.
bool IsShortTag(u32 tag) {
  switch (tag) {
    case 0x106: case 0x112: case 0x11C: case 0x212: case 0x213: case 0x8827: case 0x9214:
    case 0xA001: case 0xA217: case 0xA401: case 0xA402: case 0xA403: case 0xA406: case 0xA407:
    case 0xA408: case 0xA409: case 0xA40A:
      return true;
    default:
      return false;
  }
}

// A default entry's value: type, count and up to 48 bytes (rationals in the block's order
// are written by the caller from `words`).
struct DefaultValue {
  u32 type = SL_EXIF_UNDEFINED, count = 1;
  u8 bytes[48] = {};
  u32 size = 1;
};

}  // namespace

// The state of one Load: the TIFF structure and the budgets that bound crafted blocks.
struct CSLImageExifData::Parse {
  const u8* tiff;
  u32 size;
  u32 directoryReads = 0;
  u64 copiedBytes = 0;
  u64 copyBudget;  // value bytes copied at most: entries of a real block never overlap much
  u32 thumbnailOffset = 0, thumbnailLength = 0;
  bool haveOffset = false, haveLength = false;
};

CSLImageExifData::CSLImageExifData() = default;

CSLImageExifData::~CSLImageExifData() {
  SLErrorKeeper keep;
  Clear();
}

void CSLImageExifData::SetClock(Clock clock) { s_clock = clock; }

u16 CSLImageExifData::LoadU16(const u8* p) const { return m_byteOrder ? SLLoadBE16(p) : SLLoadLE16(p); }
u32 CSLImageExifData::LoadU32(const u8* p) const { return m_byteOrder ? SLLoadBE32(p) : SLLoadLE32(p); }
void CSLImageExifData::StoreU16(u8* p, u16 value) const {
  if (m_byteOrder) SLStoreBE16(p, value);
  else SLStoreLE16(p, value);
}
void CSLImageExifData::StoreU32(u8* p, u32 value) const {
  if (m_byteOrder) SLStoreBE32(p, value);
  else SLStoreLE32(p, value);
}

void CSLImageExifData::Clear(i32 byteOrder, u32 kind) {
  for (TSLArray<SLImageExifEntry>& entries : m_entries) {
    for (SLImageExifEntry& entry : entries) SLInternals::SLFreeKeepingError(entry.data);
    entries.Free();
  }
  for (u32& count : m_loadedCount) count = 0;
  SLInternals::SLFreeKeepingError(m_thumbnail);
  SLInternals::SLFreeKeepingError(m_ownedBuffer);
  m_thumbnail = m_ownedBuffer = nullptr;
  m_thumbnailSize = m_ownedSize = m_ownedCapacity = 0;
  m_makerNoteOffset = 0;
  m_kind = kind < 4 ? 4 : kind;
  m_byteOrder = byteOrder == 0 || byteOrder == -1 ? 0 : 1;
}

bool CSLImageExifData::Load(const u8* block, u32 size, u32 kind) {
  if (!block) return SLFail(SL_E_NULL_DATA, false);
  if (!size) return SLFail(SL_E_BAD_SIZE, false);
  Clear(0, kind);
  auto fail = [&] {
    SLErrorKeeper keep;
    Clear(0, kind);
    return false;
  };
  if (size < 6 + 8 || SLMemCompare(block, "Exif\0\0", 6) != 0) {
    SLSetLastError(SL_E_EXIF_MALFORMED);
    return fail();
  }
  Parse parse;
  parse.tiff = block + 6;
  parse.size = size - 6;
  parse.copyBudget = 2 * u64(parse.size) + 65536;
  if (parse.tiff[0] == 'M' && parse.tiff[1] == 'M') m_byteOrder = 1;
  else if (parse.tiff[0] != 'I' || parse.tiff[1] != 'I') return SLSetLastError(SL_E_EXIF_MALFORMED), fail();
  const u32 first = LoadU32(parse.tiff + 4);
  if (LoadU16(parse.tiff + 2) != 42 || first > parse.size) return SLSetLastError(SL_E_EXIF_MALFORMED), fail();
  u32 next = 0;
  if (!ReadDirectory(parse, SL_EXIF_IFD0, first, 0, &next)) return fail();
  if (next > parse.size) return SLSetLastError(SL_E_EXIF_MALFORMED), fail();
  if (next && !ReadDirectory(parse, SL_EXIF_IFD1, next, 0, nullptr)) return fail();
  for (u32 d = 0; d < SL_EXIF_IFD_COUNT; ++d) m_loadedCount[d] = m_entries[d].GetCount();
  if (!AddDefaultEntries()) return fail();
  return SLSucceed(true);
}

bool CSLImageExifData::ReadDirectory(Parse& parse, u32 directory, u64 offset, u32 depth, u32* nextOffset) {
  if (directory >= SL_EXIF_IFD_COUNT || depth > kMaxDepth || offset > parse.size ||
      ++parse.directoryReads > kMaxDirectoryReads || parse.size - offset < 2)
    return SLFail(SL_E_EXIF_MALFORMED, false);
  u32 count = LoadU16(parse.tiff + offset);
  const u64 start = offset + 2;
  // A count promising more than the block holds gives the entries that fit.
  if (count > (parse.size - start) / 12) count = u32((parse.size - start) / 12);
  for (u32 i = 0; i < count; ++i) {
    const u64 at = start + 12 * u64(i);
    const u8* field = parse.tiff + at;
    const u32 tag = LoadU16(field), type = LoadU16(field + 2), values = LoadU32(field + 4);
    const u32 word = type == SL_EXIF_SHORT ? LoadU16(field + 8) : LoadU32(field + 8);
    u32 target = SL_EXIF_IFD_COUNT;
    if (tag == 0x8769) target = SL_EXIF_IFD_EXIF;
    else if (tag == 0x8825) target = SL_EXIF_IFD_GPS;
    else if (tag == 0xA005) target = SL_EXIF_IFD_INTEROP;
    if (target != SL_EXIF_IFD_COUNT) {
      // Pointers are followed once: into a directory not yet filled, never into itself.
      if (directory != target && m_entries[target].GetCount() == 0 &&
          !ReadDirectory(parse, target, LoadU32(field + 8), depth + 1, nullptr))
        return false;
      continue;
    }
    if (tag == 0x201 || tag == 0x202) {
      if (tag == 0x201) parse.thumbnailOffset = word, parse.haveOffset = true;
      else parse.thumbnailLength = word, parse.haveLength = true;
      if (!parse.haveOffset || !parse.haveLength) continue;
      const u64 thumbnailEnd = u64(parse.thumbnailOffset) + parse.thumbnailLength;
      if (parse.thumbnailOffset >= parse.size || thumbnailEnd > parse.size) {
        parse.haveOffset = parse.haveLength = false;
        continue;
      }
      SLInternals::SLFreeKeepingError(m_thumbnail);
      m_thumbnail = nullptr;
      m_thumbnailSize = 0;
      if (!parse.thumbnailLength) continue;
      m_thumbnail = static_cast<u8*>(SLAlloc(parse.thumbnailLength));
      if (!m_thumbnail) return SLFail(SL_E_OUT_OF_MEMORY, false);
      SLMemCopy(m_thumbnail, parse.tiff + parse.thumbnailOffset, parse.thumbnailLength);
      m_thumbnailSize = parse.thumbnailLength;
      continue;
    }
    if (!SetEntry(parse, directory, tag, type, values, at + 8)) return false;
  }
  if (nextOffset) {
    const u64 end = start + 12 * u64(count);
    *nextOffset = parse.size - end >= 4 ? LoadU32(parse.tiff + end) : 0;
  }
  return true;
}

bool CSLImageExifData::SetEntry(Parse& parse, u32 directory, u32 tag, u32 type, u32 count, u64 fieldOffset) {
  const u64 size = u64(TypeSize(type)) * count;
  if (size == 0 || !SLFitsU32(size)) return true;
  // Values of up to four bytes sit in the field itself; longer ones where it points. An
  // entry whose values reach past the block is skipped.
  const u64 dataOffset = size <= 4 ? fieldOffset : LoadU32(parse.tiff + fieldOffset);
  u64 dataEnd;
  if (!SLCheckedAdd(dataOffset, size, &dataEnd) || dataEnd > parse.size) return true;
  if (parse.copiedBytes + size > parse.copyBudget) return true;
  parse.copiedBytes += size;
  if (tag == 37500) m_makerNoteOffset = u32(dataOffset);
  SLImageExifEntry entry{tag, type, count, static_cast<u8*>(SLAlloc(u32(size))), u32(size), 0};
  if (!entry.data) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLMemCopy(entry.data, parse.tiff + dataOffset, u32(size));
  if (!NormaliseEntry(&entry) || !m_entries[directory].Add(entry)) {
    SLInternals::SLFreeKeepingError(entry.data);
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  return true;
}

bool CSLImageExifData::NormaliseEntry(SLImageExifEntry* entry) {
  const u32 tag = entry->tag;
  if ((tag == 0x829A || tag == 0x829D || tag == 0x9202 || tag == 0x920A) && entry->type == SL_EXIF_SRATIONAL) {
    entry->type = SL_EXIF_RATIONAL;
  } else if ((tag == 0x9201 || tag == 0x9203 || tag == 0x9204) && entry->type == SL_EXIF_RATIONAL) {
    entry->type = SL_EXIF_SRATIONAL;
  } else if (IsShortTag(tag) && entry->type != SL_EXIF_SHORT && entry->type != SL_EXIF_ASCII &&
             entry->type != SL_EXIF_UNDEFINED && TypeSize(entry->type) <= 4 && entry->type != SL_EXIF_FLOAT) {
    u8* shorts = static_cast<u8*>(SLAlloc(u32(2 * u64(entry->count))));
    if (!shorts) return false;
    const u8* p = entry->data;
    for (u32 i = 0; i < entry->count; ++i) {
      u32 value = 0;
      switch (entry->type) {
        case SL_EXIF_BYTE: case SL_EXIF_SBYTE: value = p[i]; break;
        case SL_EXIF_SSHORT: value = LoadU16(p + 2 * i); break;
        default: value = LoadU32(p + 4 * i); break;  // LONG, SLONG
      }
      StoreU16(shorts + 2 * i, u16(value));
    }
    SLInternals::SLFreeKeepingError(entry->data);
    entry->data = shorts;
    entry->dataSize = 2 * entry->count;
    entry->type = SL_EXIF_SHORT;
  } else if (tag == 0x9286) {
    // UserComment: an 8-byte character code, then the text.
    static const u8 kAscii[8] = {'A', 'S', 'C', 'I', 'I', 0, 0, 0};
    static const u8 kUnicode[8] = {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0};
    static const u8 kJis[8] = {'J', 'I', 'S', 0, 0, 0, 0, 0};
    static const u8 kUndefined[8] = {};
    entry->type = SL_EXIF_UNDEFINED;
    entry->count = entry->dataSize;
    u8* d = entry->data;
    const u32 n = entry->dataSize;
    if (n >= 8 && SLMemCompare(d, kUndefined, 4) == 0) SLMemSet(d, 0, 8);
    if (n > 8) {
      bool zeros = true, spaces = true;
      for (u32 i = 0; i < 8; ++i) zeros &= d[i] == 0, spaces &= d[i] == ' ';
      if (zeros || spaces) SLMemCopy(d, kAscii, 8);
    }
    const bool known = n >= 8 && (SLMemCompare(d, kAscii, 8) == 0 || SLMemCompare(d, kUnicode, 8) == 0 ||
                                  SLMemCompare(d, kJis, 8) == 0 || SLMemCompare(d, kUndefined, 8) == 0);
    if (!known) {
      if (n > 0xFFFFFFFFu - 8) return false;
      u8* coded = static_cast<u8*>(SLAlloc(n + 8));
      if (!coded) return false;
      SLMemCopy(coded, kAscii, 8);
      SLMemCopy(coded + 8, d, n);
      SLInternals::SLFreeKeepingError(d);
      entry->data = coded;
      entry->dataSize = entry->count = n + 8;
    }
  }
  return true;
}

bool CSLImageExifData::AppendEntry(u32 directory, u32 tag, u32 type, u32 count, const void* bytes, u32 size) {
  SLImageExifEntry entry{tag, type, count, static_cast<u8*>(SLAlloc(size)), size, 0};
  if (!entry.data) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLMemCopy(entry.data, bytes, size);
  if (m_entries[directory].Add(entry)) return true;
  SLInternals::SLFreeKeepingError(entry.data);
  return SLFail(SL_E_OUT_OF_MEMORY, false);
}

bool CSLImageExifData::AddDefaultEntries() {
  // The date defaults: "YYYY:MM:DD HH:MM:SS" and its terminating zero, local time.
  char date[20] = {};
  {
    CSLDateTime now;
    const bool known = s_clock ? s_clock(&now) : now.SetToNow(true);
    u32 year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (known) now.GetDateTime(&year, &month, &day, &hour, &minute, &second);
    SLSnprintfA(date, sizeof date, "%04ld:%02ld:%02ld %02ld:%02ld:%02ld", long(year), long(month), long(day),
                long(hour), long(minute), long(second));
  }
  for (u32 row = 0; row < kSLExifTagRows; ++row) {
    const u32 tag = kSLExifTagTable[row].tag;
    DefaultValue v;
    auto shorts = [&](std::initializer_list<u16> values) {
      v.type = SL_EXIF_SHORT, v.count = u32(values.size()), v.size = 2 * v.count;
      u32 i = 0;
      for (u16 value : values) StoreU16(v.bytes + 2 * i++, value);
    };
    auto rationals = [&](u32 type, u32 count, u32 numerator) {
      v.type = type, v.count = count, v.size = 8 * count;
      for (u32 i = 0; i < count; ++i) StoreU32(v.bytes + 8 * i, numerator), StoreU32(v.bytes + 8 * i + 4, 1);
    };
    auto bytes = [&](u32 type, const void* data, u32 size) {
      v.type = type, v.count = size, v.size = size;
      SLMemCopy(v.bytes, data, size);
    };
    switch (tag) {
      case 0x102: shorts({8, 8, 8}); break;
      case 0x115: shorts({3}); break;
      case 0x128: case 0xA210: shorts({2}); break;
      case 0x112: case 0x11C: case 0x213: case 0xA001: shorts({1}); break;
      case 0x212: shorts({2, 1}); break;
      case 0x11A: case 0x11B: rationals(SL_EXIF_RATIONAL, 1, 72); break;
      case 0x13E: rationals(SL_EXIF_RATIONAL, 2, 0); break;
      case 0x214: rationals(SL_EXIF_RATIONAL, 6, 0); break;
      case 0x10E: case 0x10F: case 0x110: case 0x131: case 0x13B: bytes(SL_EXIF_ASCII, "[None]", 7); break;
      case 0x8298: bytes(SL_EXIF_ASCII, "[None]\0[None]", 14); break;
      case 0x132: case 0x9003: case 0x9004: bytes(SL_EXIF_ASCII, date, 20); break;
      case 0x9000: bytes(SL_EXIF_UNDEFINED, "0210", 4); break;
      case 0xA000: bytes(SL_EXIF_UNDEFINED, "0100", 4); break;
      case 0x9101: bytes(SL_EXIF_UNDEFINED, "\1\2\3", 4); break;
      case 0xA300: bytes(SL_EXIF_UNDEFINED, "\3", 1); break;
      case 0xA301: bytes(SL_EXIF_UNDEFINED, "\1", 1); break;
      case 0x9201: case 0x9203: case 0x9204: rationals(SL_EXIF_SRATIONAL, 1, 0); break;
      case 0x0006: case 0x000B: case 0x000D: case 0x000F: case 0x0011: case 0x0018: case 0x001A:
      case 0x829A: case 0x829D: case 0x9102: case 0x9202: case 0x9205: case 0x9206: case 0x920A:
      case 0xA20B: case 0xA20E: case 0xA20F: case 0xA215: case 0xA404: case 0xA500:
        rationals(SL_EXIF_RATIONAL, 1, 0);
        break;
      case 0xFE: case 0x100: case 0x101: case 0x111: case 0x116: case 0x117: case 0x201: case 0x202:
      case 0x1001: case 0x1002: case 0x8769: case 0x8825: case 0xA002: case 0xA003: case 0xA005:
        v.type = SL_EXIF_LONG, v.count = 1, v.size = 4;
        break;
      case 0x001E: case 0x103: case 0x106: case 0x10A: case 0x8822: case 0x8827: case 0x9207: case 0x9208:
      case 0x9209: case 0x9214: case 0xA214: case 0xA217: case 0xA401: case 0xA402: case 0xA403: case 0xA405:
      case 0xA406: case 0xA407: case 0xA408: case 0xA409: case 0xA40A: case 0xA40C:
        shorts({0});
        break;
      default: break;  // UNDEFINED, one zero byte
    }
    for (u32 directory = 0; directory < SL_EXIF_IFD_COUNT; ++directory) {
      // A mandatory tag the block holds keeps only its own entry.
      if (GetSupportLevel(tag, directory, m_kind) == SL_EXIF_LEVEL_MANDATORY && Find(i32(directory), tag, false))
        continue;
      if (!AppendEntry(directory, tag, v.type, v.count, v.bytes, v.size)) return false;
    }
  }
  return true;
}

u32 CSLImageExifData::GetSupportLevel(u32 tag, u32 directory, u32 kind) {
  if (directory >= SL_EXIF_IFD_COUNT) return 0;
  u32 row = FirstRow(tag);
  if (row == kSLExifTagRows) return SL_EXIF_LEVEL_NOT_RECORDED;
  for (; row < kSLExifTagRows && kSLExifTagTable[row].tag == tag; ++row) {
    const char* levels = kSLExifTagTable[row].levels[directory];
    if (kind < 4) {
      const u32 level = SLExifLevelOf(levels[kind]);
      if (level != SL_EXIF_LEVEL_NOT_RECORDED) return level;
      continue;
    }
    const u32 level = SLExifLevelOf(levels[0]);
    if (level != SL_EXIF_LEVEL_NOT_RECORDED && levels[1] == levels[0] && levels[2] == levels[0] &&
        levels[3] == levels[0])
      return level;
  }
  return 0;
}

const SLImageExifEntry* CSLImageExifData::Find(i32 directory, u32 tag, bool loadedOnly) const {
  if (directory != kAnyDirectory && (directory < 0 || directory >= i32(SL_EXIF_IFD_COUNT)))
    return SLFail(SL_E_INVALID_ARG, static_cast<const SLImageExifEntry*>(nullptr));
  const u32 first = directory == kAnyDirectory ? 0 : u32(directory);
  const u32 last = directory == kAnyDirectory ? SL_EXIF_IFD_COUNT - 1 : u32(directory);
  for (u32 d = first; d <= last; ++d) {
    const u32 count = loadedOnly ? m_loadedCount[d] : m_entries[d].GetCount();
    for (u32 i = 0; i < count; ++i)
      if (m_entries[d][i].tag == tag) return SLSucceed(&m_entries[d][i]);
  }
  return SLFail(SL_E_NOT_FOUND, static_cast<const SLImageExifEntry*>(nullptr));
}

const SLImageExifEntry* CSLImageExifData::FindEntry(i32 directory, u32 tag) const {
  return Find(directory, tag, false);
}

const SLImageExifEntry* CSLImageExifData::FindLoadedEntry(i32 directory, u32 tag) const {
  return Find(directory, tag, true);
}

// The index-th value of a numeric entry as a double; integers exactly, a rational with a
// zero denominator as 0. False (0x80110010) for text and opaque bytes.
bool CSLImageExifData::ValueAsDouble(const SLImageExifEntry* entry, u32 index, double* out) const {
  const u8* p = entry->data + u64(index) * TypeSize(entry->type);
  switch (entry->type) {
    case SL_EXIF_BYTE: *out = p[0]; break;
    case SL_EXIF_SBYTE: *out = i8(p[0]); break;
    case SL_EXIF_SHORT: *out = LoadU16(p); break;
    case SL_EXIF_SSHORT: *out = i16(LoadU16(p)); break;
    case SL_EXIF_LONG: *out = LoadU32(p); break;
    case SL_EXIF_SLONG: *out = i32(LoadU32(p)); break;
    case SL_EXIF_RATIONAL: {
      const u32 denominator = LoadU32(p + 4);
      *out = denominator ? double(LoadU32(p)) / denominator : 0.0;
      break;
    }
    case SL_EXIF_SRATIONAL: {
      const i32 denominator = i32(LoadU32(p + 4));
      *out = denominator ? double(i32(LoadU32(p))) / denominator : 0.0;
      break;
    }
    case SL_EXIF_FLOAT: {
      const u32 bits = LoadU32(p);
      float value;
      __builtin_memcpy(&value, &bits, 4);
      *out = value;
      break;
    }
    case SL_EXIF_DOUBLE: {
      const u64 bits = m_byteOrder ? SLLoadBE64(p) : SLLoadLE64(p);
      __builtin_memcpy(out, &bits, 8);
      break;
    }
    default:
      return SLFail(SL_E_EXIF_VALUE_TYPE, false);
  }
  return true;
}

u16 CSLImageExifData::EntryUInt16(const SLImageExifEntry* entry, u32 index) const {
  if (!entry) return SLFail(SL_E_NOT_FOUND, u16(0));
  if (index >= entry->count) return SLFail(SL_E_INDEX, u16(0));
  double value;
  if (!ValueAsDouble(entry, index, &value)) return 0;
  // NaN fails the range test too.
  if (!(value >= 0 && value < 65536)) return SLFail(SL_E_OVERFLOW, u16(0));
  const double rounded = std::nearbyint(value);
  if (rounded > 65535) return SLFail(SL_E_OVERFLOW, u16(0));
  return SLSucceed(u16(rounded));
}

bool CSLImageExifData::EntryRational(u32* numerator, u32* denominator, const SLImageExifEntry* entry,
                                     u32 index) const {
  if (numerator) *numerator = 0;
  if (denominator) *denominator = 0;
  if (!numerator || !denominator) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!entry) return SLFail(SL_E_NOT_FOUND, false);
  if (index >= entry->count) return SLFail(SL_E_INDEX, false);
  const u8* p = entry->data + u64(index) * TypeSize(entry->type);
  i64 top = 0, bottom = 1;
  switch (entry->type) {
    case SL_EXIF_RATIONAL: top = LoadU32(p), bottom = LoadU32(p + 4); break;
    case SL_EXIF_SRATIONAL: top = i32(LoadU32(p)), bottom = i32(LoadU32(p + 4)); break;
    case SL_EXIF_FLOAT: case SL_EXIF_DOUBLE: {
      double value;
      SLRational rational;
      ValueAsDouble(entry, index, &value);
      if (!SLDoubleToRational(&rational, value)) return SLFail(SL_E_EXIF_VALUE_TYPE, false);
      top = rational.numerator, bottom = rational.denominator;
      break;
    }
    default: {
      double value;
      if (!ValueAsDouble(entry, index, &value)) return false;
      top = i64(value);  // integer types convert exactly
      break;
    }
  }
  if (top < 0 || bottom < 0 || top > 0xFFFFFFFFll || bottom > 0xFFFFFFFFll)
    return SLFail(SL_E_OVERFLOW, false);
  *numerator = u32(top);
  *denominator = u32(bottom);
  return SLSucceed(true);
}

u16 CSLImageExifData::GetUInt16(u32 tag, i32 directory, u32 index) const {
  const SLImageExifEntry* entry = FindEntry(directory, tag);
  return entry ? EntryUInt16(entry, index) : u16(0);
}

bool CSLImageExifData::GetRational(u32* numerator, u32* denominator, u32 tag, i32 directory, u32 index) const {
  const SLImageExifEntry* entry = FindEntry(directory, tag);
  if (entry) return EntryRational(numerator, denominator, entry, index);
  const u32 code = SLGetLastError();
  if (numerator) *numerator = 0;
  if (denominator) *denominator = 0;
  return SLFail(code, false);
}
