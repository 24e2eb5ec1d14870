// The content generator's shared parts: where it writes, how it starts the external
// encoders, and one entry point per kind of content.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/contentgen/Refresh.h"

namespace contentgen {

struct Context {
  std::filesystem::path out;      // the folder being filled (DIR.tmp)
  std::filesystem::path scratch;  // intermediate files, removed before the folder is renamed
  std::string driver;             // the encoder driver script
  std::string fntwrite;           // the bitmap font writer
  std::string projectWriter;      // the sample project's writer (python)
  std::atomic<double> childSeconds = 0;  // wall time spent waiting for child processes
};

// A child process with standard input on a pipe and its output in a log file under scratch.
class Child {
 public:
  Child(Context& context, std::vector<std::string> argv);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  bool Start(std::string* error);
  bool Write(const void* data, size_t size);
  // Closes the input and waits; false with the command's last output lines when it failed.
  bool Finish(std::string* error);

 private:
  Context& m_context;
  std::vector<std::string> m_argv;
  std::string m_log;
  int m_input = -1;
  int m_pid = -1;
  double m_started = 0;
};

// Runs the encoder driver with a command and its arguments, feeding `input` when given.
bool RunDriver(Context& context, const std::vector<std::string>& args, std::string* error,
               const std::string* input = nullptr);
double Now();

// A scratch file of its own for every call, named after `name`.
std::filesystem::path Scratch(Context& context, const std::string& name);

// Little-endian PCM: a WAVE file of 16-bit samples.
std::string WaveFile(const std::vector<int16_t>& samples, uint32_t rate, uint32_t channels);

bool WriteInterface(Context& context, std::string* error);  // Gfx/Gfx.DAT
bool WriteFonts(Context& context, std::string* error);      // Gfx/*.FNT
bool WriteSkin(Context& context, std::string* error);       // Gfx/Skin.DAT (after the fonts)
bool WriteSounds(Context& context, std::string* error);     // Sfx/
bool WriteVideos(Context& context, std::string* error);     // Videos/
// The slowest video (Cinepak) encodes on a thread of its own beside everything else.
void StartSlowVideos(Context& context);
bool FinishSlowVideos(Context& context, std::string* error);
bool WriteHelp(Context& context, std::string* error);       // the help file
bool WriteItems(Context& context, std::string* error);      // Gfx/Fondos, Gfx/Personajes, Gfx/Objetos
bool WriteFixtures(Context& context, std::string* error);   // the test fixtures, never shipped

// The font files the fonts and the skin are made from.
std::vector<std::string> RequiredFonts();

// The help file's name beside the program.
inline constexpr const char* kHelpFile = "Zarandulvortequimbaplastelo.CHM";

}  // namespace contentgen
