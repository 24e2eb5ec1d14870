// The EXIF block a JPEG file carries in its APP1 segment: a TIFF structure of image file
// directories, parsed into typed entries grouped by directory. After Load every tag of
// the EXIF tables can be queried: entries the block does not hold answer with default
// values appended behind the loaded ones (lookups take the first match, so loaded values
// win).
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLObject.h"

class CSLDateTime;

// Codes of the EXIF data besides the common ones.
enum : u32 {
  SL_E_EXIF_MALFORMED = 0x80001009,      // bad signature, byte order, offsets, nesting
  SL_E_EXIF_VALUE_TYPE = 0x80110010,     // text or opaque bytes asked for as a number
};

// The directories, in the order of the entry arrays.
enum : u32 {
  SL_EXIF_IFD0 = 0,              // primary image
  SL_EXIF_IFD1 = 1,              // thumbnail
  SL_EXIF_IFD_EXIF = 2,
  SL_EXIF_IFD_GPS = 3,
  SL_EXIF_IFD_INTEROP = 4,
  SL_EXIF_IFD_COUNT = 5,
};

// TIFF value types.
enum : u32 {
  SL_EXIF_BYTE = 1, SL_EXIF_ASCII = 2, SL_EXIF_SHORT = 3, SL_EXIF_LONG = 4, SL_EXIF_RATIONAL = 5,
  SL_EXIF_SBYTE = 6, SL_EXIF_UNDEFINED = 7, SL_EXIF_SSHORT = 8, SL_EXIF_SLONG = 9, SL_EXIF_SRATIONAL = 10,
  SL_EXIF_FLOAT = 11, SL_EXIF_DOUBLE = 12,
};

// Support levels of the EXIF tables.
enum : u32 {
  SL_EXIF_LEVEL_NONE = 0,          // the tables give no level
  SL_EXIF_LEVEL_NOT_RECORDED = 1,
  SL_EXIF_LEVEL_MANDATORY = 2,
  SL_EXIF_LEVEL_OPTIONAL = 3,      // optional or recommended
};

struct SLImageExifEntry {
  u32 tag;
  u32 type;      // TIFF type 1-12
  u32 count;     // values
  u8* data;      // owned copy of the values, in the block's byte order
  u32 dataSize;  // bytes
  u32 reserved;  // 0
};

class CSLImageExifData : public CSLObject {
  SL_DECLARE_CLASS(CSLImageExifData)
 public:
  // Directory argument of the queries: every directory, 0 to 4 in turn.
  static constexpr i32 kAnyDirectory = -1;

  CSLImageExifData();
  ~CSLImageExifData() override;  // Clear, keeping the caller's error code

  // Parses an APP1 payload starting "Exif", 0, 0. Null block 0x80001002, size 0
  // 0x80001003, malformed 0x80001009, no memory 0x80000001; on failure the object is
  // left cleared. `kind` selects the column of the support tables (stored as at least 4).
  bool Load(const u8* block, u32 size, u32 kind);
  // Frees every entry and the thumbnail. Byte order: 0 or -1 little-endian, anything
  // else big-endian; the kind is stored as at least 4.
  void Clear(i32 byteOrder = 0, u32 kind = 4);

  // The first entry with `tag` in `directory` (kAnyDirectory: 0 to 4 in turn). No entry:
  // null with 0x80010001; a directory of 5 or more: 0x80001001.
  const SLImageExifEntry* FindEntry(i32 directory, u32 tag) const;
  // As FindEntry, among the entries read from the block only (never the defaults).
  const SLImageExifEntry* FindLoadedEntry(i32 directory, u32 tag) const;

  // The index-th value as an unsigned 16-bit number (fractions rounded to the nearest,
  // ties to even). Out of range 0x80002004; text or opaque bytes 0x80110010; index past
  // the count 0x80001008; no entry: 0 with the lookup's code.
  u16 GetUInt16(u32 tag, i32 directory, u32 index) const;
  // The index-th value as numerator / denominator (both 0 on failure). Integers give
  // value / 1; floating-point values their continued-fraction approximation; negative
  // parts or parts past 32 bits fail with 0x80002004.
  bool GetRational(u32* numerator, u32* denominator, u32 tag, i32 directory, u32 index) const;
  // The same conversions for an entry already found (null gives 0x80010001).
  u16 EntryUInt16(const SLImageExifEntry* entry, u32 index) const;
  bool EntryRational(u32* numerator, u32* denominator, const SLImageExifEntry* entry, u32 index) const;

  // The support level of a tag in a directory for a data kind (0-3 the uncompressed chunky,
  // planar and YCbCr and the compressed columns; 4 or more: a level all four share).
  static u32 GetSupportLevel(u32 tag, u32 directory, u32 kind);

  u32 GetKind() const { return m_kind; }
  u32 GetByteOrder() const { return m_byteOrder; }  // 0 "II", 1 "MM"
  u32 GetEntryCount(u32 directory) const {
    return directory < SL_EXIF_IFD_COUNT ? m_entries[directory].GetCount() : 0;
  }
  const SLImageExifEntry* GetEntry(u32 directory, u32 index) const {
    return directory < SL_EXIF_IFD_COUNT && index < m_entries[directory].GetCount() ? &m_entries[directory][index]
                                                                                    : nullptr;
  }
  // The thumbnail JPEG that IFD1 points to (null when there is none).
  const u8* GetThumbnail(u32* size) const {
    if (size) *size = m_thumbnailSize;
    return m_thumbnail;
  }
  // Offset of the MakerNote data from the start of the TIFF header, 0 without one.
  u32 GetMakerNoteOffset() const { return m_makerNoteOffset; }

  // Where the date defaults take the local time from (null: the system clock). For tests.
  using Clock = bool (*)(CSLDateTime* now);
  static void SetClock(Clock clock);

  // Byte-order access to values of this block.
  u16 LoadU16(const u8* p) const;
  u32 LoadU32(const u8* p) const;
  void StoreU16(u8* p, u16 value) const;
  void StoreU32(u8* p, u32 value) const;

 private:
  struct Parse;
  bool ReadDirectory(Parse& parse, u32 directory, u64 offset, u32 depth, u32* nextOffset);
  bool SetEntry(Parse& parse, u32 directory, u32 tag, u32 type, u32 count, u64 fieldOffset);
  bool NormaliseEntry(SLImageExifEntry* entry);
  bool AddDefaultEntries();
  bool AppendEntry(u32 directory, u32 tag, u32 type, u32 count, const void* bytes, u32 size);
  const SLImageExifEntry* Find(i32 directory, u32 tag, bool loadedOnly) const;
  bool ValueAsDouble(const SLImageExifEntry* entry, u32 index, double* out) const;

  u32 m_kind = 4;
  u32 m_byteOrder = 0;
  TSLArray<SLImageExifEntry> m_entries[SL_EXIF_IFD_COUNT];
  u32 m_loadedCount[SL_EXIF_IFD_COUNT] = {};  // entries read from the block lead each array
  u8* m_thumbnail = nullptr;
  u32 m_thumbnailSize = 0;
  u32 m_makerNoteOffset = 0;
  // A buffer owned for callers that keep a block beside the entries (freed with them).
  u8* m_ownedBuffer = nullptr;
  u32 m_ownedSize = 0, m_ownedCapacity = 0;
};
