// The archive state of CSLZipFileStorage, shared by its directory and entry halves.
#pragma once

#include "foundation/SLDigest.h"
#include "foundation/SLString.h"
#include "storage/SLCompressBZIP2.h"
#include "storage/SLCompressZIP.h"
#include "storage/SLZipFileStorage.h"

enum : u16 {
  SL_ZIP_NODE_DIRECTORY = 1,
  SL_ZIP_NODE_HIDDEN = 2,
  SL_ZIP_NODE_READONLY = 4,
  SL_ZIP_NODE_ENCRYPTED = 8,
  SL_ZIP_NODE_STRONG_ENCRYPTION = 16,
};

struct SLZipNode {
  SLWChar* name;  // one component, no separators; owned
  u16 flags;
  SLZipNode* parent;
  SLZipNode* firstChild;  // directories: children in the order of creation
  SLZipNode* lastChild;
  SLZipNode* nextSibling;
  u16 method;
  u32 crc;
  u64 compressedSize;
  u64 uncompressedSize;
  u64 localHeaderOffset;
  u64 dataOffset;  // all ones until the entry is first opened
};

struct SLZipEntryInfo {
  u16 flags;
  u16 method;
  u32 crc;
  u64 compressedSize;
  u64 uncompressedSize;
  u64 localHeaderOffset;
  bool directory;
};

inline constexpr u32 kZipInputSize = 65536;

struct SLZipArchiveState {
  CSLBaseStorage* source = nullptr;
  u64 archiveSize = 0;
  SLZipNode root{};
  CSLStringAnsi comment;
  CSLStringAnsi password;
  SLWChar* findPattern = nullptr;
  u32 findDotDone = 0;
  SLZipNode* findDirectory = nullptr;
  SLZipNode* findCursor = nullptr;
  SLStorageFindRecord* findRecordA = nullptr;
  SLStorageFindRecord* findRecordW = nullptr;
  CSLCompressZIP deflate{0};
  CSLCompressBZIP2 bzip2;
  i32 compressionLevel = 6;
  CSLDigestAlgorithmCRC32 checksum;
  u32 open = 0;
  u32 atEnd = 0;
  u32 broken = 0;
  u32 inputEnded = 0;
  u64 position = 0;
  SLZipNode* openNode = nullptr;
  u32 keys[3] = {0, 0, 0};
  u8 input[kZipInputSize];
  u32 inputFill = 0;
  u32 progressSuppressed = 0;
};
