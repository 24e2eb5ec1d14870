// A test whether a file exists, and a worker thread that walks a directory tree and
// reports every file whose name matches a pattern.
#pragma once

#include "foundation/SLThread.h"
#include "storage/SLBaseStorage.h"

// Called on the search thread: (full path, user value, 0) for every file found (the
// text lives only during the call), (null, user value, error) when the search fails.
using SLFileFoundCallback = void (*)(const char* path, void* user, u32 error);

// True when a file storage can open the path for reading (flags 33).
bool SLFileExists(const char* path);

class CSLFileFinder : public CSLWorkerThread {
  SL_DECLARE_CLASS(CSLFileFinder)
 public:
  CSLFileFinder();
  ~CSLFileFinder() override;
  // Starts a search of `directory` (and, with `recursive`, the directories below it,
  // never through a symbolic link) for names matching `pattern` ("*" when null or
  // empty; a pattern holding a separator is refused). A running search is stopped
  // first. Returns once the thread has taken its copies of the arguments.
  bool Start(SLFileFoundCallback callback, void* user, const char* directory, const char* pattern, bool recursive);
  using CSLWorkerThread::Start;
  // Stops the search and waits for its thread; no callback follows.
  bool Stop();
};
