#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

#include "tools/contentgen/Content.h"

extern char** environ;

namespace contentgen {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::filesystem::path Scratch(Context& context, const std::string& name) {
  static std::atomic<int> counter = 0;
  return context.scratch / (std::to_string(++counter) + "-" + name);
}

std::string WaveFile(const std::vector<int16_t>& samples, uint32_t rate, uint32_t channels) {
  std::string out;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char(v >> (8 * i)));
  };
  auto put16 = [&](uint32_t v) {
    out.push_back(char(v));
    out.push_back(char(v >> 8));
  };
  const uint32_t bytes = uint32_t(samples.size() * 2);
  out += "RIFF";
  put32(36 + bytes);
  out += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(channels);
  put32(rate);
  put32(rate * channels * 2);
  put16(channels * 2);
  put16(16);
  out += "data";
  put32(bytes);
  for (int16_t s : samples) put16(uint16_t(s));
  return out;
}

Child::Child(Context& context, std::vector<std::string> argv) : m_context(context), m_argv(std::move(argv)) {
  m_log = Scratch(context, "salida.log").string();
}

Child::~Child() {
  if (m_input >= 0) close(m_input);
  if (m_pid > 0) {
    int status;
    waitpid(m_pid, &status, 0);
  }
}

bool Child::Start(std::string* error) {
  signal(SIGPIPE, SIG_IGN);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *error = "cannot create a pipe";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  for (std::string& a : m_argv) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  m_started = Now();
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[0]);
  if (rc != 0) {
    close(fds[1]);
    *error = "cannot run " + m_argv[0] + ": " + std::strerror(rc);
    return false;
  }
  m_pid = pid;
  m_input = fds[1];
  return true;
}

bool Child::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(m_input, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
  }
  return true;
}

bool Child::Finish(std::string* error) {
  if (m_input >= 0) close(m_input);
  m_input = -1;
  if (m_pid <= 0) {
    *error = m_argv[0] + " was not started";
    return false;
  }
  int status = 0;
  while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
  }
  m_pid = -1;
  m_context.childSeconds += Now() - m_started;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  std::string log;
  ReadBytes(m_log, &log);
  if (log.size() > 1500) log = "..." + log.substr(log.size() - 1500);
  // The driver's own command names what failed.
  const bool driver = m_argv.size() > 2 && m_argv[1] == m_context.driver;
  const std::string how = WIFSIGNALED(status) ? " (killed by signal " + std::to_string(WTERMSIG(status)) + ")"
                          : " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
  *error = (driver ? "encode.sh " + m_argv[2] : m_argv[0]) + " failed" + how + ":\n" + log;
  return false;
}

bool RunDriver(Context& context, const std::vector<std::string>& args, std::string* error, const std::string* input) {
  std::vector<std::string> argv{"sh", context.driver};
  argv.insert(argv.end(), args.begin(), args.end());
  Child child(context, argv);
  if (!child.Start(error)) return false;
  if (input && !child.Write(input->data(), input->size())) {
    child.Finish(error);
    if (error->empty()) *error = "encode.sh " + args[0] + " failed";
    return false;
  }
  return child.Finish(error);
}

}  // namespace contentgen
