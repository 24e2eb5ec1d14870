// HtmlHelpA: the extraction cache, the viewers started and their help windows.
//
// One extraction per help file, keyed by its host path and reused while the file's
// modification time and size stay the same. Viewers are children of this process, and
// a viewer that ends with a failure status within two seconds of its start did not show
// the page (a launcher that finds no browser says so and exits 1): the next one is
// tried, and when none is left the control says so in its box. A viewer that hands the
// page on and exits 0 at once showed it. Each viewer is reaped with waitpid on its own
// pid (never any other child of the program): by its start-up watch, by a thread that
// waits for it to end, or when all help windows are closed. The thread only watches
// (WNOWAIT) and reaps under the state lock, so a close-all never signals a pid that was
// already reaped and may have been given to another process.
#include "platform/hhctrl/HtmlHelp.h"

#include <ftw.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/kernel32/FilePath.h"
#include "platform/kernel32/Handles.h"
#include "platform/modules.h"
#include "platform/user32/User32.h"

extern char** environ;

namespace {

struct Extraction {
  std::string hostPath;
  struct timespec modified;
  off_t size;
  std::string folder;
};

struct Viewer {
  pid_t pid;  // 0 once reaped
  HANDLE window;
  unsigned long id;  // how the viewer's watch finds it again
};

// What a help window handle names: nothing the caller can use beyond its being alive.
class HelpWindow : public SLKernelObject {
 public:
  HelpWindow() : SLKernelObject(Kind::Other) {}
};

struct HelpState {
  std::mutex lock;
  std::vector<Extraction> extractions;
  std::vector<Viewer> viewers;
  unsigned long nextId = 1;
};

HelpState& State() {
  static HelpState* state = new HelpState;  // never destroyed: the last close-all comes at exit
  return *state;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void RemoveFolder(const std::string& folder) {
  if (!folder.empty()) nftw(folder.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

// A private folder (0700) under the user's runtime folder, else the temporary folder.
std::string MakeFolder() {
  std::string base;
  for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(variable);
    struct stat info;
    if (value && *value && stat(value, &info) == 0 && S_ISDIR(info.st_mode) && access(value, W_OK | X_OK) == 0) {
      base = value;
      break;
    }
  }
  if (base.empty()) base = "/tmp";
  std::string pattern = base + "/sl-help-XXXXXX";
  return mkdtemp(pattern.data()) ? pattern : std::string();
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The folder holding the help file's objects, extracted now when the file is new or
// changed (`fresh` says which). Called under the state lock.
std::string ExtractedFolder(HelpState& state, const std::string& hostPath, const struct stat& info, bool* fresh) {
  *fresh = false;
  for (auto it = state.extractions.begin(); it != state.extractions.end(); ++it) {
    if (it->hostPath != hostPath) continue;
    if (SameTime(it->modified, info.st_mtim) && it->size == info.st_size) return it->folder;
    RemoveFolder(it->folder);
    state.extractions.erase(it);
    break;
  }
  std::string folder = MakeFolder();
  if (folder.empty()) return std::string();
  if (!SLPlatformHelp::ExtractHelpFile(hostPath, folder)) {
    RemoveFolder(folder);
    return std::string();
  }
  state.extractions.push_back(Extraction{hostPath, info.st_mtim, info.st_size, folder});
  *fresh = true;
  return folder;
}

// A program that can be run: a name with "/" as it stands, any other looked up in PATH.
// Empty when there is none.
std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  const std::string folders = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= folders.size();) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end > start ? folders.substr(start, end - start) : ".";
    const std::string candidate = folder + "/" + name;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return std::string();
}

// The viewers to try, in order: $SL_HELP_VIEWER, the desktop's opener, the usual browsers.
std::vector<std::string> ViewerNames() {
  std::vector<std::string> names;
  const char* chosen = std::getenv("SL_HELP_VIEWER");
  if (chosen && *chosen) names.emplace_back(chosen);
  for (const char* name : {"xdg-open", "x-www-browser", "sensible-browser", "firefox", "chromium"})
    names.emplace_back(name);
  return names;
}

// How long a viewer has to fail before it counts as showing the page.
constexpr auto kStartWatch = std::chrono::seconds(2);

enum class Start { kRunning, kShownAndEnded, kFailed };

// Watches a viewer just started until it ends or kStartWatch passes; an ended one is
// reaped here. A failure status or a signal means it did not show the page.
Start WatchStart(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + kStartWatch;
  for (auto pause = std::chrono::milliseconds(1);; pause = std::min(pause * 2, std::chrono::milliseconds(20))) {
    int status = 0;
    const pid_t reaped = waitpid(pid, &status, WNOHANG);
    if (reaped == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Start::kShownAndEnded : Start::kFailed;
    if (reaped < 0 && errno != EINTR) return Start::kFailed;
    if (std::chrono::steady_clock::now() >= deadline) return Start::kRunning;
    std::this_thread::sleep_for(pause);
  }
}

// Starts the viewers in turn until one shows the page. Its pid when it is still running,
// 0 when it handed the page on and ended, -1 when none showed it.
pid_t StartViewer(std::string page) {
  for (const std::string& name : ViewerNames()) {
    const std::string viewer = FindProgram(name);
    if (viewer.empty()) continue;
    char* arguments[] = {const_cast<char*>(viewer.c_str()), page.data(), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, viewer.c_str(), nullptr, nullptr, arguments, environ) != 0) continue;
    switch (WatchStart(pid)) {
      case Start::kRunning:
        return pid;
      case Start::kShownAndEnded:
        return 0;
      case Start::kFailed:
        break;
    }
  }
  return -1;
}

// What a help control with windows of its own would show when it cannot show the help:
// a box that belongs to the caller's window.
void SayNoViewer(HWND caller) {
  MessageBoxW(caller, u"No se encontr\u00f3 ning\u00fan programa para mostrar la ayuda.", u"Ayuda",
              MB_OK | MB_ICONINFORMATION);
}

// Reaps the viewers that ended by themselves and closes their windows. Under the lock.
void ReapEnded(HelpState& state) {
  for (auto it = state.viewers.begin(); it != state.viewers.end();) {
    int status;
    const pid_t reaped = it->pid ? waitpid(it->pid, &status, WNOHANG) : -1;
    if (!it->pid || reaped == it->pid || (reaped < 0 && errno == ECHILD)) {
      SLHandleClose(it->window);
      it = state.viewers.erase(it);
    } else {
      ++it;
    }
  }
}

// Waits, on a thread of its own, for a running viewer to end, and reaps it then: a viewer
// closed by the user leaves no defunct process behind, whether or not help is asked for
// again. The viewer is reaped under the state lock, only while it is still listed.
void WatchUntilEnd(pid_t pid, unsigned long id) {
  std::thread([pid, id] {
    siginfo_t info;
    while (waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    HelpState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    for (Viewer& viewer : state.viewers) {
      if (viewer.id != id || viewer.pid != pid) continue;
      int status;
      if (waitpid(pid, &status, WNOHANG) == pid) viewer.pid = 0;
    }
  }).detach();
}

// Ends a viewer: SIGTERM, a moment to go, then SIGKILL; reaped either way.
void EndViewer(pid_t pid) {
  int status;
  if (!pid || waitpid(pid, &status, WNOHANG) != 0) return;
  kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) != 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGKILL);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

HWND DisplayTopic(HWND caller, const char* text) {
  SLPlatformHelp::HelpTarget target;
  std::string hostPath;
  struct stat info;
  if (!SLPlatformHelp::ParseHelpTarget(text, &target) || !SLPlatformFile::ToHostPath(target.file, &hostPath) ||
      stat(hostPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    SLPlatformSetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const std::string object = SLPlatformHelp::ResolveHelpTopic(hostPath, target.topic);
  if (object.empty()) {
    SLPlatformSetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  HelpState& state = State();
  std::unique_lock<std::mutex> guard(state.lock);
  ReapEnded(state);
  bool fresh;
  const std::string folder = ExtractedFolder(state, hostPath, info, &fresh);
  if (folder.empty()) {
    SLPlatformSetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const pid_t pid = StartViewer(folder + object);
  if (pid < 0) {
    // Pages extracted for this request alone, which nothing shows, do not wait for the
    // end of the program, which may not come in order (a parent kills one that seems to
    // hang behind its box); those of an earlier request stay for the viewer showing them.
    if (fresh) {
      RemoveFolder(folder);
      state.extractions.pop_back();
    }
    guard.unlock();  // the box waits for its answer
    SayNoViewer(caller);
    SLPlatformSetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  HANDLE window = SLHandleCreate(std::make_shared<HelpWindow>());
  if (!window) {
    EndViewer(pid);
    SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const unsigned long id = state.nextId++;
  state.viewers.push_back(Viewer{pid, window, id});
  if (pid) WatchUntilEnd(pid, id);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return static_cast<HWND>(window);
}

void CloseAll() {
  HelpState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  for (const Viewer& viewer : state.viewers) {
    EndViewer(viewer.pid);
    SLHandleClose(viewer.window);
  }
  state.viewers.clear();
  for (const Extraction& extraction : state.extractions) RemoveFolder(extraction.folder);
  state.extractions.clear();
}

}  // namespace

HWND HtmlHelpA(HWND caller, LPCSTR file, UINT command, DWORD_PTR) {
  switch (command) {
    case HH_DISPLAY_TOPIC:
      return DisplayTopic(caller, file);
    case HH_CLOSE_ALL:
      CloseAll();
      SLPlatformSetLastError(ERROR_SUCCESS);
      return nullptr;
    default:
      SLPlatformSetLastError(ERROR_CALL_NOT_IMPLEMENTED);
      return nullptr;
  }
}

namespace {
const SLPlatformExport kHelpExports[] = {SL_EXPORT(HtmlHelpA)};
}  // namespace
const SLPlatformExportGroup g_hhctrlHelp = SLMakeExportGroup(kHelpExports);
