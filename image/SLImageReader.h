// The image reader and writer interfaces. Readers and writers are small stateless
// classes in the class registry; callers never name one: they choose a reader by the
// first bytes of a storage or by a file name's extension, create it from its record and
// call Read.
#pragma once

#include "image/SLImageArray.h"
#include "storage/SLBaseStorage.h"

// Codes of the readers and writers.
enum : u32 {
  SL_E_IMAGE_MISSING = 0x800d0001,        // a null element to write; an embedded picture
                                          // missing, empty or of another size
  SL_E_IMAGE_ARRAY_EMPTY = 0x800d000a,    // nothing to write
};

// Read flags.
enum : u32 {
  SL_IMAGE_READ_HEADER_ONLY = 1,  // images carry description, palette and key, no pixels
  SL_IMAGE_READ_FIRST_ONLY = 4,   // the first image of an animation only
  // Set by the graphics device on the pictures it loads to draw; readers pass it on to the
  // readers they delegate to, and none reads differently for it.
  SL_IMAGE_READ_FOR_DEVICE = 8,
};

class CSLBaseImageReader : public CSLObject {
  SL_DECLARE_CLASS(CSLBaseImageReader)
 public:
  // Empties `images` first; on success the appended images are the result, on failure
  // the array is left empty. Base: SL_E_NOT_SUPPORTED.
  virtual bool Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags);
  // How many leading bytes IsFormat needs (base 0).
  virtual u32 GetHeaderSize();
  // Whether the first `count` bytes are this reader's format (base: false, code 0).
  virtual bool IsFormat(const u8* data, u32 count);
  // The index-th extension without the dot; null (SL_E_INDEX) after the last.
  virtual const char* GetExtensionA(u32 index);
  virtual const SLWChar* GetExtensionW(u32 index);

  // The registered reader whose IsFormat accepts the storage's first bytes (the newest
  // registered class first). The storage goes back to where it was when it can seek.
  // Null storage: SL_E_NULL_DATA; no match: SL_E_NOT_FOUND.
  static const SLClassRecord* FindReaderClassByContent(CSLBaseStorage* storage);
  // The registered reader listing the file name's extension (case-insensitive).
  static const SLClassRecord* FindReaderClassByExtension(const char* fileName);
};

class CSLBaseImageWriter : public CSLObject {
  SL_DECLARE_CLASS(CSLBaseImageWriter)
 public:
  // Writes element m_index (clamped to the last) of `images`. Base: SL_E_NOT_SUPPORTED.
  virtual bool Write(CSLImageArray* images, CSLBaseStorage* storage);
  virtual const char* GetExtensionA(u32 index);
  virtual const SLWChar* GetExtensionW(u32 index);

  u32 m_index = 0;
};

// The frame of a reader's Read: null checks (array 0x80001005, storage 0x80001002), the
// array emptied first and again when `decode` fails, error 0 on success.
bool SLRunImageRead(CSLImageArray* images, CSLBaseStorage* storage, u32 flags,
                    bool (*decode)(CSLImageArray* images, CSLBaseStorage* storage, u32 flags));
// A new empty image appended to the array (the array holds the only reference).
CSLImage* SLAppendNewImage(CSLImageArray* images);

// The check every writer makes first: a non-empty array of valid, non-empty images with
// pixels or block data.
bool SLValidateImageArrayForWrite(const CSLImageArray* images);
