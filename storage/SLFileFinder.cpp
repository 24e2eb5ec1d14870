#include "storage/SLFileFinder.h"

#include <atomic>

#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLWideText.h"
#include "foundation/SLWildcard.h"
#include "storage/SLFileStorage.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLFileFinder, CSLWorkerThread)

namespace {

// The search's arguments, on the starter's stack until the thread has copied them.
struct SLFileFinderStart {
  std::atomic<u32> started;
  SLFileFoundCallback callback;
  void* user;
  const char* directory;
  const char* pattern;
  bool recursive;
};

// A growable 8-bit path of the walk.
class PathBuffer {
 public:
  ~PathBuffer() { SLFree(m_text); }
  bool Assign(const char* text, u32 length) {
    m_length = 0;
    return Append(text, length);
  }
  bool Append(const char* text, u32 length) {
    u64 needed = u64(m_length) + length + 1;
    if (needed > m_capacity) {
      u64 capacity = needed < 256 ? 256 : needed * 2;
      if (!SLFitsU32(capacity)) return SLFail(SL_E_OUT_OF_MEMORY, false);
      auto* text2 = static_cast<char*>(SLRealloc(m_text, u32(capacity)));
      if (!text2) return false;
      m_text = text2;
      m_capacity = u32(capacity);
    }
    for (u32 i = 0; i < length; ++i) m_text[m_length + i] = text[i];
    m_length += length;
    m_text[m_length] = 0;
    return true;
  }
  void Truncate(u32 length) {
    m_length = length;
    if (m_text) m_text[length] = 0;
  }
  const char* Text() const { return m_text; }
  u32 Length() const { return m_length; }

 private:
  char* m_text = nullptr;
  u32 m_length = 0;
  u32 m_capacity = 0;
};

struct Walk {
  CSLWorkerThread* thread;
  SLFileFoundCallback callback;
  void* user;
  const char* pattern;
  bool recursive;

  bool StopRequested() const {
    HANDLE stop = thread->GetStopEvent();
    return stop && SLWaitForSingleObject(stop, 0) == WAIT_OBJECT_0;
  }
  bool Fail(u32 error) const {
    if (!StopRequested()) callback(nullptr, user, error);
    return false;
  }
  // A listing ends well with "no more entries" or no error at all.
  static bool EndedWell(u32 code) { return code == SL_OK || code == SL_E_NO_MORE; }

  // Walks the directory `path` (ending in "\\"): its files first, in the listing's order,
  // then its subdirectories in the same order. One listing of every entry serves both;
  // files are matched here as a storage search with the pattern matches them.
  bool Directory(PathBuffer& path) {
    if (StopRequested()) return false;
    const u32 base = path.Length();
    PathBuffer subdirectories;  // names one after another, each with its NUL
    {
      CSLFileStorage listing;
      if (!path.Append("*", 1)) return Fail(SLGetLastError(false));
      SLStorageFindRecord* record = listing.FindFirstA(path.Text());
      path.Truncate(base);
      for (; record; record = listing.FindNextA()) {
        const char* name = record->nameA;
        if (record->flags & SL_FIND_DIRECTORY) {
          // A link to a directory is never followed: it may lead back up the tree or out
          // of it into places without end.
          if (recursive && !SLIsDotName(name) && !(listing.GetFoundAttributes() & FILE_ATTRIBUTE_REPARSE_POINT) &&
              !subdirectories.Append(name, SLStrLenA(name) + 1))
            return Fail(SLGetLastError(false));
          continue;
        }
        if (!SLWildcardMatchA(pattern, name, true)) continue;
        if (StopRequested()) return false;
        if (!path.Append(name, SLStrLenA(name))) return Fail(SLGetLastError(false));
        callback(path.Text(), user, SL_OK);
        path.Truncate(base);
      }
      u32 end = SLGetLastError(false);
      if (!EndedWell(end)) return Fail(end);
    }
    if (StopRequested()) return false;
    for (u32 at = 0; at < subdirectories.Length();) {
      const char* name = subdirectories.Text() + at;
      const u32 length = SLStrLenA(name);
      at += length + 1;
      if (!path.Append(name, length) || !path.Append("\\", 1)) return Fail(SLGetLastError(false));
      if (!Directory(path)) return false;
      path.Truncate(base);
    }
    return true;
  }
};

u32 SLFileFinderThread(CSLWorkerThread* thread, std::uintptr_t parameter) {
  auto* start = reinterpret_cast<SLFileFinderStart*>(parameter);
  Walk walk{thread, start->callback, start->user, nullptr, start->recursive};
  PathBuffer directory;
  PathBuffer pattern;
  bool copied = directory.Assign(start->directory, SLStrLenA(start->directory));
  if (copied) {
    char* text = const_cast<char*>(directory.Text());
    for (u32 i = 0; i < directory.Length(); ++i)
      if (text[i] == '/') text[i] = '\\';
    if (directory.Text()[directory.Length() - 1] != '\\') copied = directory.Append("\\", 1);
  }
  const char* sourcePattern = start->pattern && *start->pattern ? start->pattern : "*";
  copied = copied && pattern.Assign(sourcePattern, SLStrLenA(sourcePattern));
  u32 error = copied ? SL_OK : SLGetLastError(false);
  // From here on the starter may return and its record is gone.
  start->started.fetch_add(1, std::memory_order_release);
  start = nullptr;
  if (!copied) {
    walk.callback(nullptr, walk.user, error ? error : SL_E_OUT_OF_MEMORY);
    return 1;
  }
  // Simplified once, as a storage search simplifies its pattern ("a**?" is "a*").
  walk.pattern = SLIsWildcardPatternA(const_cast<char*>(pattern.Text()));
  return walk.Directory(directory) ? 0 : 1;
}

bool HasSeparator(const char* text) {
  for (; *text; ++text)
    if (SLIsPathSeparator(*text)) return true;
  return false;
}

}  // namespace

bool SLFileExists(const char* path) {
  if (!path) return SLFail(SL_E_NULL_DATA, false);
  if (!*path) return SLFail(SL_E_BAD_SIZE, false);
  CSLFileStorage file;
  if (!file.OpenA(path, SL_STORAGE_READ | SL_STORAGE_SHARE_READWRITE)) return false;
  file.Close();
  SLSetLastError(SL_OK);
  return true;
}

CSLFileFinder::CSLFileFinder() : CSLWorkerThread(nullptr, 0) {}

CSLFileFinder::~CSLFileFinder() {
  SLErrorKeeper keep;
  Stop();
}

bool CSLFileFinder::Stop() { return CSLThread::Stop(INFINITE); }

bool CSLFileFinder::Start(SLFileFoundCallback callback, void* user, const char* directory, const char* pattern,
                          bool recursive) {
  if (!callback || !directory || !*directory) return SLFail(SL_E_INVALID_ARG, false);
  if (pattern && HasSeparator(pattern)) return SLFail(SL_E_INVALID_ARG, false);
  Stop();
  SLFileFinderStart start;
  start.started.store(0, std::memory_order_relaxed);
  start.callback = callback;
  start.user = user;
  start.directory = directory;
  start.pattern = pattern;
  start.recursive = recursive;
  SetCallback(&SLFileFinderThread, reinterpret_cast<std::uintptr_t>(&start));
  if (!CSLWorkerThread::Start(false)) return false;
  while (start.started.load(std::memory_order_acquire) == 0) SLSleep(1);
  SLSetLastError(SL_OK);
  return true;
}
