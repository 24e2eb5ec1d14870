// What every command-line tool shares: one contract for its command line and its exit
// status, and output files that appear whole or not at all.
//
//   --help (or -h)    the usage on standard output, status 0
//   a usage error     what was wrong and the usage on standard error, status 2
//   a failure         what failed in words, the file, and the framework's error code
//                     when there is one, on standard error, status 1
//
// Outputs are written under a temporary name beside the target and renamed over it once
// complete, so a full disk or a failed step never leaves a partial file, nor destroys the
// file that was there before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sltool {

enum ExitStatus { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

class CommandLine {
 public:
  // `usage` is the full text, starting "usage: PROGRAM ...".
  CommandLine(const char* program, const char* usage) : m_program(program), m_usage(usage) {}
  // True when an argument asks for the usage, which is then printed on standard output.
  bool WantsHelp(int argc, char** argv) const;
  // Prints "PROGRAM: message" and the usage on standard error; returns kExitUsage.
  int UsageError(const std::string& message) const;
  // Prints "PROGRAM: what: file" (and " (code 0x...)" for a non-zero code) on standard
  // error; returns kExitFailure.
  int Failure(const std::string& what, const std::string& file = "", std::uint32_t code = 0) const;
  const char* Program() const { return m_program; }

 private:
  const char* m_program;
  const char* m_usage;
};

// The system's text for errno.
std::string SystemError();
std::string SystemError(int number);

// A name in the target's folder for writing it before it is complete.
std::string TemporaryNameBeside(const std::string& path);
// Renames a complete temporary file over `path`; on failure removes it and says why.
bool CommitTemporary(const std::string& temporary, const std::string& path, std::string* error);
// `size` bytes into `path`, through a temporary file beside it; on failure the target is
// as it was and `error` says why.
bool WriteWholeFile(const std::string& path, const void* data, std::size_t size, std::string* error);

// Whether `path` can take an output: its folder exists and it is not itself a folder.
bool CanWriteBeside(const std::string& path, std::string* error);

// Window demos: whether the environment names a display (X11, Wayland, or a driver chosen
// by SDL_VIDEODRIVER), and Ctrl-C and SIGTERM ending the program at once with status
// 128 + the signal. EndOnSignals goes before the display is opened, whose library keeps
// handlers that are already installed.
bool HasDisplay();
void EndOnSignals();

}  // namespace sltool
