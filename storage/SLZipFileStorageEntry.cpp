// The entry half of the ZIP storage: opening an entry, reading it through its codec and
// the traditional cipher, checking its CRC-32, and seeking by restart and skip.
#include <cstring>

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLSync.h"
#include "foundation/SLWideText.h"
#include "storage/SLArchivePath.h"
#include "storage/SLPath.h"
#include "storage/SLZipFileStorageInternal.h"

namespace {

constexpr u32 kLocalHeaderSize = 30;
constexpr u32 kSignatureLocal = 0x04034B50;
constexpr u32 kCipherHeaderSize = 12;
constexpr u32 kPieceSize = 65536;
// Input handed to a codec per call. Deflate expands at most about 1:1032, so a slice of
// 4 KB yields at most some 4 MB. bzip2 delivers a block at a time (up to about 46 MB from a
// few dozen bytes), so its slices are short enough to end at most two blocks. The reader
// stops handing slices once the ring holds what it wants.
constexpr u32 kDeflateSlice = 4096;
constexpr u32 kBzip2Slice = 32;

// The traditional PKWARE cipher: three keys driven by the plain bytes.
void UpdateKeys(u32* keys, u8 plain) {
  keys[0] = SLCrc32UpdateByte(keys[0], plain);
  keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
  keys[2] = SLCrc32UpdateByte(keys[2], u8(keys[1] >> 24));
}

void DecryptBytes(u32* keys, u8* data, u64 count) {
  for (u64 i = 0; i < count; ++i) {
    const u32 temp = (keys[2] | 2) & 0xFFFF;
    data[i] = u8(data[i] ^ u8((temp * (temp ^ 1)) >> 8));
    UpdateKeys(keys, data[i]);
  }
}

}  // namespace

bool CSLZipFileStorage::CheckAttached(u32 noEntryCode, bool needEntry) {
  if (m_state == nullptr || m_state->source == nullptr) return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  if (needEntry && !m_state->open) return SLFail(noEntryCode, false);
  return true;
}

void CSLZipFileStorage::EndEntryCodecs() {
  SLErrorKeeper keep;
  // IsStreamEnd leaves 0 only while a decompression stream runs.
  for (CSLBaseCompress* codec : {static_cast<CSLBaseCompress*>(&m_state->deflate),
                                 static_cast<CSLBaseCompress*>(&m_state->bzip2)}) {
    codec->IsStreamEnd();
    if (SLGetLastError() == SL_OK) codec->EndDecompress();
  }
}

// The source stands at the entry's data: starts the entry's codec, clears the counters and
// reads the cipher header of an encrypted entry. A wrong password is not seen here; it
// shows as a data error while reading.
bool CSLZipFileStorage::StartEntry() {
  SLZipNode* node = m_state->openNode;
  EndEntryCodecs();
  switch (node->method) {
    case 0:
      break;
    case 8:
    case 9:
      if (!m_state->deflate.SetDeflate64(node->method == 9 ? 1 : 0) || !m_state->deflate.BeginDecompress()) {
        return false;
      }
      break;
    case 12:
      if (!m_state->bzip2.BeginDecompress()) return false;
      break;
    default:
      return SLFail(SL_E_CODEC_UNSUPPORTED_METHOD, false);
  }
  m_state->checksum.Initialize();
  m_state->open = 1;
  m_state->position = 0;
  m_state->atEnd = m_state->broken = m_state->inputEnded = 0;
  m_state->inputFill = 0;
  if (node->flags & SL_ZIP_NODE_ENCRYPTED) {
    u8 header[kCipherHeaderSize];
    if (m_state->source->Read(header, kCipherHeaderSize) != kCipherHeaderSize) {
      return SLFail(SL_E_STORAGE_READ, false);
    }
    m_state->keys[0] = 0x12345678;
    m_state->keys[1] = 0x23456789;
    m_state->keys[2] = 0x34567890;
    const u32 length = m_state->password.GetLength();
    const char* password = m_state->password.CStr();
    for (u32 i = 0; password != nullptr && i < length && password[i] != 0; ++i) {
      UpdateKeys(m_state->keys, u8(password[i]));
    }
    DecryptBytes(m_state->keys, header, kCipherHeaderSize);
  }
  return SLSucceed(true);
}

bool CSLZipFileStorage::OpenA(const char* path, u32 flags) {
  u32 code;
  bool opened;
  {
    CSLStringWide wide;
    opened = (path == nullptr || *path == 0) ? OpenW(u"", flags) : (wide.AssignA(path) && OpenW(wide.CStr(), flags));
    code = SLGetLastError();
  }
  return SLFail(code, opened);
}

bool CSLZipFileStorage::OpenW(const SLWChar* path, u32 flags) {
  if (!CheckAttached(0, false)) return false;
  if (path == nullptr) path = u"";
  if ((flags & SL_STORAGE_ACCESS_MASK) > SL_STORAGE_READ) return SLFail(SL_E_STORAGE_FLAGS, false);
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_OPEN, 0, &timer)) return SLFail(SL_E_CANCELLED, false);
  Close();

  TSLAutoPtr<SLWChar> copy(SLDuplicateText(path, SLTextLength(path)));
  if (!copy) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLInternals::SLNormaliseEntryPath(copy.Get());
  const SLWChar* cleaned = copy.Get();
  SLZipNode* directory = nullptr;
  u32 lastOffset = 0;
  if (FindDirectory(cleaned, &directory, &lastOffset) != 0) return SLFail(SL_E_STORAGE_OPEN, false);
  const SLWChar* last = cleaned + lastOffset;
  SLZipNode* node = nullptr;
  if (*last != 0) {
    for (SLZipNode* child = directory->firstChild; child != nullptr; child = child->nextSibling) {
      if (!(child->flags & SL_ZIP_NODE_DIRECTORY) && SLStrICmpW(child->name, last) == 0) {
        node = child;
        break;
      }
    }
  }
  if (node == nullptr) return SLFail(SL_E_STORAGE_OPEN, false);

  CSLBaseStorage* source = m_state->source;
  if (node->dataOffset == ~u64(0)) {
    // The local header gives the lengths of its own name and extra field, which may differ
    // from the central directory's.
    u8 local[kLocalHeaderSize];
    if (!source->Seek(i64(node->localHeaderOffset), SL_SEEK_BEGIN)) return false;
    if (source->Read(local, kLocalHeaderSize) != kLocalHeaderSize) {
      if (SLGetLastError() == SL_OK) SLSetLastError(SL_E_STORAGE_EOF);
      return false;
    }
    if (SLLoadLE32(local) != kSignatureLocal) return SLFail(SL_E_STORAGE_OPEN, false);
    u64 dataOffset;
    if (!SLCheckedAdd(node->localHeaderOffset, u64(kLocalHeaderSize) + SLLoadLE16(local + 26) + SLLoadLE16(local + 28),
                      &dataOffset)) {
      return SLFail(SL_E_STORAGE_OPEN, false);
    }
    node->dataOffset = dataOffset;
  }
  if (!source->Seek(i64(node->dataOffset), SL_SEEK_BEGIN)) return false;
  if (node->flags & SL_ZIP_NODE_STRONG_ENCRYPTION) return SLFail(SL_E_ZIP_STRONG_ENCRYPTION, false);

  // The storage's name: the entry's path from the top directory down.
  CSLStringWide entryPath;
  for (SLZipNode* part = node; part != nullptr && part->parent != nullptr; part = part->parent) {
    if (!entryPath.IsEmpty() && !entryPath.Insert(u"/", 0)) return false;
    if (!entryPath.Insert(part->name, 0)) return false;
  }
  if (!SetNameW(entryPath.CStr())) return false;

  m_state->openNode = node;
  if (!StartEntry()) {
    const u32 code = SLGetLastError();
    FreeNames();
    EndEntryCodecs();
    m_state->open = 0;
    m_state->openNode = nullptr;
    return SLFail(code, false);
  }
  ReportProgress(SL_PROGRESS_OPEN, 100, &timer);
  return SLSucceed(true);
}

void CSLZipFileStorage::Close() {
  CSLTimer timer;
  ReportProgress(SL_PROGRESS_CLOSE, 0, &timer);
  if (m_state != nullptr && m_state->open) {
    FreeNames();
    EndEntryCodecs();
    m_state->open = m_state->atEnd = m_state->inputEnded = 0;
    m_state->openNode = nullptr;
  }
  ReportProgress(SL_PROGRESS_CLOSE, 100, &timer);
  SLSetLastError(SL_OK);
}

u64 CSLZipFileStorage::Read(void* buffer, u64 count) {
  if (!CheckAttached(SL_E_STORAGE_NOT_OPEN, true)) return 0;
  if (buffer == nullptr) return SLFail(SL_E_NULL_OUTPUT, u64(0));
  if (m_state->broken) return SLFail(SL_E_STORAGE_READ, u64(0));
  if (m_state->atEnd) return SLFail(SL_E_STORAGE_EOF, u64(0));
  const bool quiet = (m_state->progressSuppressed & 1) != 0;
  CSLTimer timer;
  if (!quiet && ReportProgress(SL_PROGRESS_READ, 0, &timer)) return SLFail(SL_E_CANCELLED, u64(0));
  if (count == 0) {
    if (!quiet) ReportProgress(SL_PROGRESS_READ, 100, &timer);
    return SLSucceed(u64(0));
  }
  u32 outcome = SL_OK;
  auto* bytes = static_cast<u8*>(buffer);
  const u64 done = m_state->openNode->method == 0 ? ReadStored(bytes, count, &timer, &outcome)
                                                  : ReadCompressed(bytes, count, &timer, &outcome);
  if (outcome == SL_OK && !quiet) ReportProgress(SL_PROGRESS_READ, 100, &timer);
  SLSetLastError(outcome);
  return done;
}

u64 CSLZipFileStorage::ReadStored(u8* bytes, u64 count, CSLTimer* timer, u32* outcome) {
  SLZipNode* node = m_state->openNode;
  const bool quiet = (m_state->progressSuppressed & 1) != 0;
  const bool encrypted = (node->flags & SL_ZIP_NODE_ENCRYPTED) != 0;
  bool sourceEnded = false;
  u64 done = 0;
  while (done < count) {
    const u64 left = node->uncompressedSize - m_state->position;
    if (left == 0) break;
    u64 piece = count - done < kPieceSize ? count - done : kPieceSize;
    if (piece > left) piece = left;
    const u64 got = m_state->source->Read(bytes + done, piece);
    const u32 sourceCode = SLGetLastError();
    if (got != 0) {
      if (encrypted) DecryptBytes(m_state->keys, bytes + done, got);
      m_state->checksum.Update(bytes + done, u32(got));
      m_state->position += got;
      done += got;
    }
    if (got < piece) {
      if (sourceCode != SL_OK && sourceCode != SL_E_STORAGE_EOF) {
        m_state->broken = 1;
        *outcome = SL_E_STORAGE_READ;
        return done;
      }
      sourceEnded = true;
      break;
    }
    if (!quiet && ReportProgress(SL_PROGRESS_READ, double(done) * 95.0 / double(count), timer)) {
      *outcome = SL_E_CANCELLED;
      return done;
    }
  }
  if (m_state->position == node->uncompressedSize || sourceEnded) {
    // The entry's end: the bytes delivered must be the whole entry with its CRC-32. The end
    // reached exactly by this call is a success; the next call reports the end.
    m_state->atEnd = 1;
    if (m_state->checksum.GetValue() != node->crc || m_state->position != node->uncompressedSize) {
      *outcome = SL_E_STORAGE_READ;
    } else if (done < count) {
      *outcome = SL_E_STORAGE_EOF;
    }
  }
  return done;
}

u64 CSLZipFileStorage::ReadCompressed(u8* bytes, u64 count, CSLTimer* timer, u32* outcome) {
  SLZipNode* node = m_state->openNode;
  const bool quiet = (m_state->progressSuppressed & 1) != 0;
  const bool encrypted = (node->flags & SL_ZIP_NODE_ENCRYPTED) != 0;
  CSLBaseCompress* codec = node->method == 12 ? static_cast<CSLBaseCompress*>(&m_state->bzip2)
                                              : static_cast<CSLBaseCompress*>(&m_state->deflate);
  const u32 slice = node->method == 12 ? kBzip2Slice : kDeflateSlice;
  auto broken = [&](u64 done) {
    m_state->broken = 1;
    *outcome = SL_E_STORAGE_READ;
    return done;
  };
  u64 done = 0;
  for (;;) {
    // Decoded bytes first, never more than the entry holds.
    for (;;) {
      u64 wanted = count - done;
      if (wanted > node->uncompressedSize - m_state->position) wanted = node->uncompressedSize - m_state->position;
      if (wanted == 0) break;
      const u32 waiting = codec->GetDecompressedSize();
      if (waiting == 0) break;
      u32 take = waiting < kPieceSize ? waiting : kPieceSize;
      if (take > wanted) take = u32(wanted);
      if (!codec->ReadDecompressed(bytes + done, take)) return broken(done);
      m_state->checksum.Update(bytes + done, take);
      m_state->position += take;
      done += take;
      if (!quiet && ReportProgress(SL_PROGRESS_READ, double(done) * 95.0 / double(count), timer)) {
        *outcome = SL_E_CANCELLED;
        return done;
      }
    }
    if (m_state->position == node->uncompressedSize) {
      // Checked on every call that stands at the end, so a bad entry keeps failing.
      if (m_state->checksum.GetValue() != node->crc) {
        *outcome = SL_E_STORAGE_READ;
      } else if (done < count) {
        *outcome = SL_E_STORAGE_EOF;
      }
      return done;
    }
    if (done == count) return done;
    if (m_state->inputEnded) {
      // The codec's stream ended short of the size the directory gives: the entry's data is
      // damaged (a wrong password often decodes to such a short stream), not merely at its end.
      *outcome = SL_E_STORAGE_READ;
      return done;
    }

    // More input; the read may run past the entry's compressed bytes, the codec stops at
    // the end of its stream.
    if (m_state->inputFill < kZipInputSize) {
      const u64 asked = kZipInputSize - m_state->inputFill;
      const u64 got = m_state->source->Read(m_state->input + m_state->inputFill, asked);
      if (got < asked) {
        const u32 sourceCode = SLGetLastError();
        if (sourceCode != SL_OK && sourceCode != SL_E_STORAGE_EOF) return broken(done);
      }
      if (encrypted) DecryptBytes(m_state->keys, m_state->input + m_state->inputFill, got);
      m_state->inputFill += u32(got);
    }
    if (m_state->inputFill == 0) {
      // The source has nothing more: what the codec still holds comes out at its end.
      if (!codec->EndDecompress()) return broken(done);
      m_state->inputEnded = 1;
      continue;
    }

    u64 wanted = count - done;
    if (wanted > node->uncompressedSize - m_state->position) wanted = node->uncompressedSize - m_state->position;
    const u32 waitingBefore = codec->GetDecompressedSize();
    u32 consumed = 0;
    while (consumed < m_state->inputFill && codec->GetDecompressedSize() < wanted) {
      const u32 piece = m_state->inputFill - consumed < slice ? m_state->inputFill - consumed : slice;
      u32 remaining = 0;
      if (!codec->Decompress(m_state->input + consumed, piece, &remaining)) return broken(done);
      consumed += piece - remaining;
      if (remaining != 0) break;  // the end of the codec's stream
    }
    std::memmove(m_state->input, m_state->input + consumed, m_state->inputFill - consumed);
    m_state->inputFill -= consumed;
    if (codec->IsStreamEnd()) {
      if (!codec->EndDecompress()) return broken(done);
      m_state->inputEnded = 1;
    } else if (consumed == 0 && codec->GetDecompressedSize() == waitingBefore) {
      *outcome = SL_E_STORAGE_EOF;  // nothing more can be decoded
      return done;
    }
  }
}

bool CSLZipFileStorage::Seek(i64 offset, u32 origin) {
  if (!CheckAttached(SL_E_STORAGE_NOT_OPEN, true)) return false;
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_SEEK, 0, &timer)) return SLFail(SL_E_CANCELLED, false);
  const u64 size = m_state->openNode->uncompressedSize;
  const u64 position = m_state->position;
  const u64 magnitude = offset < 0 ? u64(0) - u64(offset) : u64(offset);
  auto relative = [&](u64 base) {
    if (offset < 0) return magnitude > base ? u64(0) : base - magnitude;
    u64 sum;
    return SLCheckedAdd(base, magnitude, &sum) ? sum : ~u64(0);
  };
  u64 target;
  switch (origin) {
    case SL_SEEK_BEGIN:
      target = u64(offset) < size ? u64(offset) : size;
      break;
    case SL_SEEK_CURRENT:
      target = relative(position);
      break;
    case SL_SEEK_END:
      target = relative(size);
      break;
    default:
      return SLFail(SL_E_INVALID_ARG, false);
  }
  if (target == position) {
    ReportProgress(SL_PROGRESS_SEEK, 100, &timer);
    return SLSucceed(true);
  }
  if (target < position) {
    // Backwards: start the entry again from its first byte.
    if (!m_state->source->Seek(i64(m_state->openNode->dataOffset), SL_SEEK_BEGIN)) {
      return SLFail(SL_E_STORAGE_SEEK, false);
    }
    if (!StartEntry()) {
      const u32 code = SLGetLastError();
      Close();
      return SLFail(code, false);
    }
  }
  u8* scratch = static_cast<u8*>(SLAlloc(kPieceSize));
  if (scratch == nullptr) return false;
  TSLAutoPtr<u8> scratchOwner(scratch);
  m_state->progressSuppressed |= 1;
  const u64 distance = target - m_state->position;
  u32 outcome = SL_OK;
  while (m_state->position < target) {
    const u64 left = target - m_state->position;
    const u64 piece = left < kPieceSize ? left : kPieceSize;
    if (Read(scratch, piece) != piece) {
      outcome = SL_E_STORAGE_SEEK;
      break;
    }
    const u64 after = target - m_state->position;
    if (ReportProgress(SL_PROGRESS_SEEK, 100.0 - double(after) * 100.0 / double(distance), &timer)) {
      outcome = SL_E_CANCELLED;
      break;
    }
  }
  m_state->progressSuppressed &= ~1u;
  return SLFail(outcome, outcome == SL_OK);
}

bool CSLZipFileStorage::CanRead() {
  if (!CheckAttached(SL_E_STORAGE_NOT_OPEN, true)) return false;
  return SLSucceed(true);
}

bool CSLZipFileStorage::CanSeek() { return CanRead(); }

bool CSLZipFileStorage::CanWrite() {
  return SLFail(m_state != nullptr && m_state->source != nullptr ? u32(SL_E_STORAGE_NOT_OPEN)
                                                                 : u32(SL_E_STORAGE_NO_CONTAINER),
                false);
}

u64 CSLZipFileStorage::Write(const void* buffer, u64) {
  if (m_state == nullptr || m_state->source == nullptr) return SLFail(SL_E_STORAGE_NO_CONTAINER, u64(0));
  return SLFail(buffer != nullptr ? u32(SL_E_STORAGE_NOT_OPEN) : u32(SL_E_NULL_DATA), u64(0));
}

bool CSLZipFileStorage::GetPosition(u64* out) {
  if (out != nullptr) *out = 0;
  if (!CheckAttached(0, false)) return false;
  if (out == nullptr) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!m_state->open) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  *out = m_state->position;
  return SLSucceed(true);
}

bool CSLZipFileStorage::IsEOF() {
  if (!CheckAttached(SL_E_STORAGE_NOT_OPEN, true)) return true;
  SLSetLastError(SL_OK);
  return m_state->position >= m_state->openNode->uncompressedSize;
}

bool CSLZipFileStorage::Flush() {
  if (!CheckAttached(SL_E_STORAGE_NOT_OPEN, true)) return false;
  return m_state->source->Flush();
}

bool CSLZipFileStorage::Lock(u64, u64) {
  if (!CheckAttached(SL_E_STORAGE_NOT_OPEN, true)) return false;
  return SLSucceed(true);
}

bool CSLZipFileStorage::Unlock(u64, u64) { return Lock(0, 0); }

bool CSLZipFileStorage::SetSize(u64) {
  if (!CheckAttached(SL_E_STORAGE_NOT_OPEN, true)) return false;
  return SLFail(SL_E_STORAGE_SET_SIZE, false);
}

bool CSLZipFileStorage::GetSize(u64* out) {
  if (out != nullptr) *out = 0;
  if (!CheckAttached(0, false)) return false;
  if (out == nullptr) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!m_state->open) return SLFail(SL_E_STORAGE_GET_SIZE, false);
  *out = m_state->openNode->uncompressedSize;
  return SLSucceed(true);
}
