// Reading compiled help files with chmlib: the names this layer accepts, extracting a
// file's pages into a folder, and finding a topic in it.
//
// chmlib believes the file's headers: a damaged help file can make it divide by zero,
// read wild or loop for good. So every use of it runs in a child process of its own, and
// what the child answers (a topic found, an extraction done) comes back through a pipe; a
// child that crashes, or is still running at the time limit and is killed, fails just
// that request instead of taking the program with it.
#include <chm_lib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/hhctrl/HtmlHelp.h"
#include "platform/kernel32/FilePath.h"

namespace SLPlatformHelp {
namespace {

struct ChmCloser {
  void operator()(chmFile* file) const { chm_close(file); }
};
using ChmHandle = std::unique_ptr<chmFile, ChmCloser>;

// The pages, pictures and folders of the help: no "::" storage internals, no "/#" and
// "/$" system objects.
constexpr int kContentObjects = CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES | CHM_ENUMERATE_DIRS;

// The root folder "/" is the extraction folder itself.
bool IsSystemObject(const char* path) {
  return path[0] != '/' || path[1] == '#' || path[1] == '$' || path[1] == 0;
}

struct Listing {
  std::vector<chmUnitInfo> objects;
  unsigned long long bytes = 0;
  bool refused = false;
};

// Every name and length is checked before anything is written.
int CollectObject(chmFile*, chmUnitInfo* unit, void* context) {
  auto* listing = static_cast<Listing*>(context);
  unit->path[CHM_MAX_PATHLEN] = 0;
  if (IsSystemObject(unit->path)) return CHM_ENUMERATOR_CONTINUE;
  if (!IsSafeObjectName(unit->path) || listing->objects.size() >= kMaxHelpObjects ||
      unit->length > kMaxHelpBytes - listing->bytes) {
    listing->refused = true;
    return CHM_ENUMERATOR_FAILURE;
  }
  listing->bytes += unit->length;
  listing->objects.push_back(*unit);
  return CHM_ENUMERATOR_CONTINUE;
}

// The folders of `name` below `folder`, made as needed (the folder is private, so nothing
// else can have put a link there).
bool MakeParents(const std::string& folder, const std::string& name) {
  for (size_t slash = name.find('/', 1); slash != std::string::npos; slash = name.find('/', slash + 1)) {
    const std::string path = folder + name.substr(0, slash);
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool WriteObject(chmFile* file, chmUnitInfo* unit, const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::vector<unsigned char> buffer(64 * 1024);
  bool ok = true;
  for (LONGUINT64 at = 0; ok && at < unit->length;) {
    const LONGUINT64 left = unit->length - at;
    const LONGINT64 want = LONGINT64(left < buffer.size() ? left : buffer.size());
    // A short read is a damaged file: the object claims more than its sections hold.
    ok = chm_retrieve_object(file, unit, buffer.data(), at, want) == want;
    for (LONGINT64 done = 0; ok && done < want;) {
      const ssize_t written = write(fd, buffer.data() + done, size_t(want - done));
      if (written < 0 && errno == EINTR) continue;
      ok = written > 0;
      done += written;
    }
    at += LONGUINT64(want);
  }
  return close(fd) == 0 && ok;
}

std::atomic<unsigned> g_timeLimit{kHelpTimeLimitMs};

bool WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t written = write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += size_t(written);
  }
  return true;
}

// Runs `work` in a child process; true with the text it answered when it said yes. The
// child leaves with _exit: the parent's exit handlers and buffers are not its own.
bool RunIsolated(const std::function<bool(std::string*)>& work, std::string* answer) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return false;
  }
  if (pid == 0) {
    close(pipeEnds[0]);
    // A fault in chmlib ends the child quietly, whatever handlers the program set up; and
    // the child ends by itself past the time limit, or with the program, should the
    // program not be there to kill it.
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGALRM}) std::signal(signal, SIG_DFL);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    alarm(g_timeLimit.load() / 1000 + 2);
    std::string text;
    const bool yes = work(&text);
    _exit(WriteAll(pipeEnds[1], (yes ? "1" : "0") + text) ? 0 : 1);
  }
  close(pipeEnds[1]);
  std::string received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_timeLimit.load());
  bool ended = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd ready{pipeEnds[0], POLLIN, 0};
    const int events = poll(&ready, 1, int(left.count()));
    if (events < 0 && errno == EINTR) continue;
    if (events <= 0) break;
    char buffer[4096];
    const ssize_t count = read(pipeEnds[0], buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      ended = count == 0;
      break;
    }
    received.append(buffer, size_t(count));
  }
  close(pipeEnds[0]);
  if (!ended) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || received.empty() || received[0] != '1')
    return false;
  *answer = received.substr(1);
  return true;
}

bool ExtractInChild(const std::string& hostPath, const std::string& folder) {
  ChmHandle file(chm_open(hostPath.c_str()));
  if (!file) return false;
  Listing listing;
  if (!chm_enumerate(file.get(), kContentObjects, CollectObject, &listing) || listing.refused) return false;
  for (chmUnitInfo& unit : listing.objects) {
    const std::string name = unit.path;
    if (!MakeParents(folder, name)) return false;
    if (name.back() == '/') {
      if (mkdir((folder + name).c_str(), 0700) != 0 && errno != EEXIST) return false;
    } else if (!WriteObject(file.get(), &unit, folder + name)) {
      return false;
    }
  }
  return true;
}

std::string ResolveInChild(const std::string& hostPath, const std::string& topic) {
  ChmHandle file(chm_open(hostPath.c_str()));
  if (!file) return std::string();
  chmUnitInfo unit{};
  if (chm_resolve_object(file.get(), topic.c_str(), &unit) == CHM_RESOLVE_SUCCESS) {
    unit.path[CHM_MAX_PATHLEN] = 0;
    if (!IsSystemObject(unit.path) && IsSafeObjectName(unit.path) && unit.path[std::strlen(unit.path) - 1] != '/')
      return unit.path;
  }
  struct Search {
    const std::string* topic;
    std::string found;
  } search{&topic, std::string()};
  auto compare = [](chmFile*, chmUnitInfo* candidate, void* context) -> int {
    auto* s = static_cast<Search*>(context);
    candidate->path[CHM_MAX_PATHLEN] = 0;
    if (IsSystemObject(candidate->path) || !SLPlatformFile::EqualNoCase(candidate->path, *s->topic))
      return CHM_ENUMERATOR_CONTINUE;
    s->found = candidate->path;
    return CHM_ENUMERATOR_SUCCESS;
  };
  chm_enumerate(file.get(), CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, compare, &search);
  return IsSafeObjectName(search.found) ? search.found : std::string();
}

}  // namespace

void SetHelpTimeLimit(unsigned milliseconds) { g_timeLimit.store(milliseconds ? milliseconds : kHelpTimeLimitMs); }

bool IsSafeObjectName(const std::string& name) {
  if (name.size() < 2 || name[0] != '/') return false;
  size_t start = 1;
  while (start < name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    for (unsigned char c : part)
      if (c < 0x20 || c == 0x7F || c == '\\') return false;
    start = end + 1;
  }
  return true;
}

bool ParseHelpTarget(const char* text, HelpTarget* out) {
  if (!text) return false;
  const std::string whole = SLPlatformFile::Cp1252ToUtf8(text);
  const size_t separator = whole.find("::");
  if (separator == std::string::npos || separator == 0) return false;
  out->file = whole.substr(0, separator);
  std::string topic = whole.substr(separator + 2);
  out->window.clear();
  if (const size_t window = topic.find('>'); window != std::string::npos) {
    out->window = topic.substr(window + 1);
    topic.resize(window);
  }
  if (const size_t fragment = topic.find('#'); fragment != std::string::npos) topic.resize(fragment);
  for (char& c : topic)
    if (c == '\\') c = '/';
  if (topic.empty() || topic[0] != '/') topic.insert(0, 1, '/');
  out->topic = topic;
  return topic.back() != '/' && IsSafeObjectName(topic);
}

bool ExtractHelpFile(const std::string& hostPath, const std::string& folder) {
  std::string ignored;
  return RunIsolated([&](std::string*) { return ExtractInChild(hostPath, folder); }, &ignored);
}

std::string ResolveHelpTopic(const std::string& hostPath, const std::string& topic) {
  std::string found;
  if (!RunIsolated([&](std::string* answer) { return !(*answer = ResolveInChild(hostPath, topic)).empty(); }, &found))
    return std::string();
  // The child's answer is held to the same rule as its own: a safe name, never a folder.
  return IsSafeObjectName(found) && found.back() != '/' ? found : std::string();
}

}  // namespace SLPlatformHelp
