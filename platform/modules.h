// The registry of built-in system modules. A module is a name ("kernel32.dll") and
// its entry points, gathered from export groups so that each area of the stand-in
// (threads, text, files, time, ...) lists its own entries in its own file.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

struct SLPlatformExport {
  const char* name;
  void* address;
};

struct SLPlatformExportGroup {
  const SLPlatformExport* exports;
  std::size_t count;
};

template <std::size_t N>
constexpr SLPlatformExportGroup SLMakeExportGroup(const SLPlatformExport (&exports)[N]) {
  return {exports, N};
}

#define SL_EXPORT(fn) \
  SLPlatformExport { #fn, reinterpret_cast<void*>(&fn) }

// The export groups of each built-in module (defined one per file of the module).
extern const SLPlatformExportGroup g_kernel32Core;      // modules, TLS, errors, heap, process
extern const SLPlatformExportGroup g_kernel32Sync;      // threads, events, waits, critical sections
extern const SLPlatformExportGroup g_kernel32Text;      // code pages, locale, case mapping
extern const SLPlatformExportGroup g_kernel32File;      // files, mapping, find, attributes
extern const SLPlatformExportGroup g_kernel32FileMove;  // renaming files
extern const SLPlatformExportGroup g_kernel32Time;      // system time, file time
extern const SLPlatformExportGroup g_kernel32Resource;  // module resources
extern const SLPlatformExportGroup g_kernel32Memory;    // virtual memory
extern const SLPlatformExportGroup g_user32Window;      // windows, messages, hooks
extern const SLPlatformExportGroup g_user32Text;        // LoadStringA/W and friends
extern const SLPlatformExportGroup g_user32Icons;       // icons from the program's resources
extern const SLPlatformExportGroup g_oleaut32Strings;   // OLE Automation strings
extern const SLPlatformExportGroup g_gdi32Objects;      // GDI object table (DeleteObject)
extern const SLPlatformExportGroup g_gdi32Palette;      // palettes
extern const SLPlatformExportGroup g_winmmTime;         // the multimedia timer
extern const SLPlatformExportGroup g_dinput8Input;      // keyboard, mouse and controllers
extern const SLPlatformExportGroup g_dsoundPlayback;    // sound output objects
extern const SLPlatformExportGroup g_dsoundCapture;     // sound capture objects
extern const SLPlatformExportGroup g_gdi32Bitmaps;      // device-independent bitmaps
extern const SLPlatformExportGroup g_msvfw32Decompress;  // video decompressors
extern const SLPlatformExportGroup g_msacm32Streams;     // audio conversion streams
extern const SLPlatformExportGroup g_user32Desktop;      // desktop, foreground, cursor, repaint
extern const SLPlatformExportGroup g_gdi32DeviceContext; // PatBlt, GetDeviceCaps
extern const SLPlatformExportGroup g_d3d9Device;         // the software 3-D device
extern const SLPlatformExportGroup g_hhctrlHelp;         // compiled HTML help
extern const SLPlatformExportGroup g_wmvcoreWriter;      // the media file writer
extern const SLPlatformExportGroup g_shell32Folders;     // the user's special folders
