// A decoder driver module for the AVI reader's tests: it answers to the FOURCC "TEST",
// fills each picture with the first byte of its chunk and logs every message it receives
// (decompression messages followed by their flags word).
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/msvfw32/Vfw.h"

namespace {

constexpr DWORD kTest = DWORD('T') | DWORD('E') << 8 | DWORD('S') << 16 | DWORD('T') << 24;
std::vector<std::uint32_t> g_log;

}  // namespace

extern "C" __attribute__((visibility("default"))) LRESULT DriverProc(DWORD_PTR, HANDLE, UINT message, LPARAM p1,
                                                                     LPARAM p2) {
  g_log.push_back(message);
  switch (message) {
    case DRV_LOAD: return 1;
    case DRV_OPEN: {
      const ICOPEN* open = reinterpret_cast<const ICOPEN*>(p2);
      return open && open->dwSize == sizeof(ICOPEN) && open->fccHandler == kTest ? 0x51 : 0;
    }
    case ICM_DECOMPRESS_QUERY:
      return reinterpret_cast<const BITMAPINFOHEADER*>(p1)->biCompression == kTest ? ICERR_OK : ICERR_BADFORMAT;
    case ICM_DECOMPRESS: {
      if (p2 != sizeof(ICDECOMPRESS)) return ICERR_BADSIZE;
      const ICDECOMPRESS* block = reinterpret_cast<const ICDECOMPRESS*>(p1);
      g_log.push_back(block->dwFlags);
      std::memset(block->lpOutput, *static_cast<const std::uint8_t*>(block->lpInput), block->lpbiOutput->biSizeImage);
      return ICERR_OK;
    }
    default: return ICERR_OK;
  }
}

// The messages so far; the log starts again empty.
extern "C" __attribute__((visibility("default"))) std::size_t TestDriverTakeLog(std::uint32_t* out, std::size_t size) {
  const std::size_t count = g_log.size() < size ? g_log.size() : size;
  std::memcpy(out, g_log.data(), count * sizeof(std::uint32_t));
  g_log.clear();
  return count;
}
