// The project file: one saved movie in "Aventuras Guardadas" beside the program, named
// after the movie with the extension ".ZQTR". The whole movie document goes into it:
// scenes with their backgrounds, placed characters with their actions, placed objects
// with their state changes, texts and sounds. Catalogue items are stored by their 20-byte
// identity and found again by it on load.
//
// Layout (every integer a little-endian u32; strings UTF-16LE with a 0 unit):
//   magic "Película de Zarandulvortequimbaplastelo" + 0x1A (40 bytes, Windows-1252),
//   version 1, scene count S, current scene;
//   per scene: background identity, current frame, length, then four counted lists:
//     characters {identity, first frame, x, y, end frame, actions {start, end, K,
//       K x {x, y, lengthToNext}, path length, path frames, direction, keep direction,
//       action index}},
//     objects {identity, x, y, carrier (0 or 1 + index), support point (only with a
//       carrier), state changes {start, end, K, K key points, path length, path frames,
//       state index}},
//     texts {width, style, text, variant, start, end, x, y, attach kind, index (kinds 1
//       and 2)},
//     sounds {start, end, speed (IEEE double), file name, kind, index (kinds 1 and 2)};
//   the CRC-32 (zlib's) of every byte before it.
#pragma once

#include <cstddef>

#include "foundation/SLDigest.h"
#include "foundation/SLString.h"
#include "foundation/SLTypes.h"

class CSLBaseStorage;
struct Movie;

// The magic's length and the largest file the loader reads (far beyond any movie a child
// makes: a file past it is not ours).
inline constexpr u32 kProjectMagicSize = 40;
inline constexpr u64 kProjectMaxFileSize = u64(64) << 20;
extern const u8 kProjectMagic[kProjectMagicSize];

// Saves the process's movie as `name` (8-bit, no folder, no extension) and tells the user
// how it went in a message box. The movie's name becomes `name` first; `modified` is
// cleared on success. The file is written beside its final place and renamed over it only
// once every byte is down, so a failed save leaves the previous file as it was.
void ProjectFile_Save(const char* name);
// True when saving as `name` would write over another movie: a file of that name is in
// "Aventuras Guardadas" and it is not the movie's own, the one it was opened from or last
// saved as (its name, with letter case aside as the file system finds names). The caller
// asks before replacing it.
bool ProjectFile_WouldReplaceAnother(const char* name);
// Loads the project of that name into the process's movie: 1, or 0 with the movie empty
// (untouched when the file does not open or is not a project file). Shows nothing.
u32 ProjectFile_Load(const char* name);
// True when the project file of that name opens and starts with the magic.
bool ProjectFile_IsValid(const char* name);

// "<program folder>Aventuras Guardadas\<name>.ZQTR" (false when it does not fit).
bool ProjectFile_PathOf(const char* name, char* buffer, u32 size);

// The parts under the two procedures, for the tests, the benchmark and the fuzz target.
// Writes the movie into `path` through a sibling temporary file of this save's own
// (CSLFileReplacement: another copy of the program saving the same movie at once keeps
// to its own, and the last to finish stays under the name): SL_OK, or the code of
// the step that failed (SL_E_STORAGE_CREATE when the temporary cannot be made) with
// nothing left behind and the old file untouched. On failure the system's error number of
// that step stays readable (SLGetSystemLastError: ERROR_DISK_FULL for want of space).
u32 ProjectFile_WriteMovie(const Movie* movie, const char* path);
// The bytes of a whole file in memory into `movie`, with the result and movie states of
// ProjectFile_Load. `name` (may be null) becomes the movie's name on success.
u32 ProjectFile_LoadFromMemory(Movie* movie, const u8* data, u64 size, const char* name);

// The writer: the bytes go into a buffer that runs through the CRC and goes to the storage
// whenever it fills. Every operation is false once a storage write came up short.
struct ProjectWriter {
  CSLBaseStorage* storage;
  CSLDigestAlgorithmCRC32 digest;
  CSLStringWide scratch;
  u8* buffer;
  u32 used, capacity;
  bool failed;
};
bool ProjectWriter_Begin(ProjectWriter* writer, CSLBaseStorage* storage);
void ProjectWriter_End(ProjectWriter* writer);
bool ProjectWriter_WriteByte(ProjectWriter* writer, const void* bytes, u32 count);
bool ProjectWriter_WriteU32(ProjectWriter* writer, u32 value);
bool ProjectWriter_WriteU64(ProjectWriter* writer, u64 value);
bool ProjectWriter_WriteWideString(ProjectWriter* writer, const char* text);
// The CRC of everything written so far (not itself fed to the CRC), then the buffer's rest.
bool ProjectWriter_WriteCrc(ProjectWriter* writer);

// The reader over the bytes of a whole file; each read fails, consuming nothing, when
// fewer bytes are left than it needs.
struct ProjectReader {
  const u8* data;
  u64 size;
  u64 position;
  CSLStringWide scratch;
};
bool ProjectReader_ReadBytes(ProjectReader* reader, void* out, u32 count);
bool ProjectReader_ReadU32(ProjectReader* reader, u32* out);
bool ProjectReader_ReadU64(ProjectReader* reader, u64* out);
// Units up to the first 0 unit (which is consumed), converted into the 8-bit target.
bool ProjectReader_ReadWideString(ProjectReader* reader, CSLStringAnsi* target);
// A stored index; 0xFFFFFFFF is -1.
i32 ProjectReader_NormaliseIndex(u32 value);
// The CRC of every byte read so far against the four bytes that follow.
bool ProjectReader_CheckCrc(ProjectReader* reader);
