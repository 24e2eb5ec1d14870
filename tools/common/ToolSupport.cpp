#include "tools/common/ToolSupport.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace sltool {

bool CommandLine::WantsHelp(int argc, char** argv) const {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(m_usage, stdout);
      std::fputc('\n', stdout);
      return true;
    }
  }
  return false;
}

int CommandLine::UsageError(const std::string& message) const {
  std::fprintf(stderr, "%s: %s\n%s\n", m_program, message.c_str(), m_usage);
  return kExitUsage;
}

int CommandLine::Failure(const std::string& what, const std::string& file, std::uint32_t code) const {
  std::string line = std::string(m_program) + ": " + what;
  if (!file.empty()) line += ": " + file;
  if (code) {
    char text[32];
    std::snprintf(text, sizeof text, " (code 0x%08X)", unsigned(code));
    line += text;
  }
  std::fprintf(stderr, "%s\n", line.c_str());
  return kExitFailure;
}

std::string SystemError() { return SystemError(errno); }
std::string SystemError(int number) { return std::strerror(number); }

std::string TemporaryNameBeside(const std::string& path) {
  const std::filesystem::path target(path);
  std::random_device random;
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".%08x.part", unsigned(random()));
  return (target.parent_path() / ("." + target.filename().string() + suffix)).string();
}

bool CommitTemporary(const std::string& temporary, const std::string& path, std::string* error) {
  std::error_code code;
  std::filesystem::rename(temporary, path, code);
  if (!code) return true;
  std::filesystem::remove(temporary, code);
  *error = "cannot write " + path + ": " + SystemError();
  return false;
}

bool WriteWholeFile(const std::string& path, const void* data, std::size_t size, std::string* error) {
  if (!CanWriteBeside(path, error)) return false;
  const std::string temporary = TemporaryNameBeside(path);
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    *error = "cannot create " + path + ": " + SystemError();
    return false;
  }
  bool written = std::fwrite(data, 1, size, file) == size && std::fflush(file) == 0;
  const int writeError = errno;
  written = std::fclose(file) == 0 && written;
  if (!written) {
    *error = "cannot write " + path + ": " + SystemError(writeError ? writeError : errno);
    std::remove(temporary.c_str());
    return false;
  }
  return CommitTemporary(temporary, path, error);
}

bool CanWriteBeside(const std::string& path, std::string* error) {
  std::error_code code;
  const std::filesystem::path target(path);
  if (path.empty() || std::filesystem::is_directory(target, code)) {
    *error = path + " is a folder";
    return false;
  }
  const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
  if (!std::filesystem::is_directory(folder, code)) {
    *error = "no folder for " + path;
    return false;
  }
  return true;
}

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

namespace {

extern "C" void EndNow(int number) { std::_Exit(128 + number); }

}  // namespace

void EndOnSignals() {
  std::signal(SIGINT, EndNow);
  std::signal(SIGTERM, EndNow);
}

}  // namespace sltool
