// The application's AVI reader: the framework's AVI reader, except that the Indeo 5
// decompressor ("IV50") is the codec library "IR50_32.DLL" from the program's own folder.
#pragma once

#include "media/avi/SLVideoAudioReaderAVI.h"

class CMyVIS_arVI : public CSLVideoAudioReaderAVI {
  SL_DECLARE_CLASS(CMyVIS_arVI)
 public:
  CMyVIS_arVI() = default;
  ~CMyVIS_arVI() override = default;

  // "IV50" in any case: the module loaded from "<program directory>IR50_32.DLL", or 0
  // when it cannot be loaded; any other FourCC: 0 (the system's decompressors decode).
  HMODULE LoadCodecModule(const char* fourcc) override;
};

// The drive and directory of the program's executable, ending with its separator.
const char* App_ProgramDirectory();
// "%s%s<rest>" with the program directory and the empty path prefix, in `buffer`.
bool App_DataPath(char* buffer, u32 size, const char* rest);
