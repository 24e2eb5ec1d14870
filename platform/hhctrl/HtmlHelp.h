// The "hhctrl.ocx" stand-in: shows a topic of a compiled HTML help file (".CHM") in the
// desktop's viewer. The file's objects are extracted once into a private folder (again
// when the file changes) and the first viewer that starts ($SL_HELP_VIEWER, xdg-open,
// x-www-browser, sensible-browser, firefox, chromium) is given the topic's page; when
// none starts, a message box that belongs to the caller's window says so (and the pages
// extracted for that request alone are removed first). Closing all help windows ends the
// viewers started and removes the folders.
#pragma once

#include <string>

#include "platform/wintypes.h"

inline constexpr UINT HH_DISPLAY_TOPIC = 0;
inline constexpr UINT HH_CLOSE_ALL = 18;

// HH_DISPLAY_TOPIC: `file` is "file::topic[>window]" (Windows-1252, the layer's path
// rules); answers a help window (a live handle of no further use), or null when the file
// cannot be read, the topic is not in it, or no viewer can be started (after the box
// that says so has been answered). HH_CLOSE_ALL ends
// every viewer started and answers null. Other commands answer null.
HWND HtmlHelpA(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

namespace SLPlatformHelp {

// The parts of a display-topic text. `topic` is the object path in the help file: UTF-8,
// "/"-separated, starting with "/", without a "#fragment".
struct HelpTarget {
  std::string file;
  std::string topic;
  std::string window;
};

// Splits "file::topic[>window]"; false when there is no "::", the file or topic is
// empty, or the topic is no safe object name.
bool ParseHelpTarget(const char* text, HelpTarget* out);

// True for an object name that may become a file below the extraction folder: it starts
// with "/", and no component is empty, "." or "..", or holds "\" or a control character.
// A trailing "/" (a directory object) is allowed.
bool IsSafeObjectName(const std::string& name);

// Limits of one extraction: a help file beyond them is refused as a whole.
inline constexpr unsigned kMaxHelpObjects = 4096;
inline constexpr unsigned long long kMaxHelpBytes = 64ull << 20;

// Writes every object of the opened help file below `folder` (which must exist),
// skipping the internal "/#" and "/$" objects; false (nothing more written) for a
// damaged file, a refused name, or a file beyond the limits. Like the topic lookup it
// reads the file in a child process: false too when that child crashes or outlasts the
// time limit.
bool ExtractHelpFile(const std::string& hostPath, const std::string& folder);

// The object path of `topic` in the help file: exact, else the first that differs only
// in ASCII letter case; empty when there is none (or the file does not open, or its
// reading crashes or outlasts the time limit).
std::string ResolveHelpTopic(const std::string& hostPath, const std::string& topic);

// How long the child reading a help file may run before it is killed.
inline constexpr unsigned kHelpTimeLimitMs = 30000;
// Test tooling: another time limit (0 gives the default back).
void SetHelpTimeLimit(unsigned milliseconds);

}  // namespace SLPlatformHelp
