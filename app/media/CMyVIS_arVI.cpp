#include "app/media/CMyVIS_arVI.h"

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLStr.h"
#include "foundation/SLTextConvert.h"
#include "storage/SLPath.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyVIS_arVI, CSLVideoAudioReaderAVI)

const char* App_ProgramDirectory() {
  // Read each time: tests move the program's file name between cases.
  static char directory[2048];
  char file[2048];
  file[0] = 0;
  SLGetModuleFileNameA(nullptr, file, sizeof file);
  file[sizeof file - 1] = 0;
  directory[0] = 0;
  SLGetPathPartsA(directory, file, SL_PATH_ROOT | SL_PATH_DIRECTORY);
  return directory;
}

bool App_DataPath(char* buffer, u32 size, const char* rest) {
  const u32 written = SLSnprintfA(buffer, size, "%s%s%s", App_ProgramDirectory(), "", rest ? rest : "");
  if (written >= size) return SLFail(SL_E_INVALID_ARG, false);
  return SLSucceed(true);
}

HMODULE CMyVIS_arVI::LoadCodecModule(const char* fourcc) {
  if (!fourcc || SLStrICmpA(fourcc, "IV50") != 0) return SLSucceed(HMODULE(nullptr));
  char path[4096];
  if (!App_DataPath(path, sizeof path, "IR50_32.DLL")) return nullptr;
  SLWChar wide[4096];
  u32 units = 4096;
  if (!SLAnsiToWide(wide, &units, path, SL_TEXT_TO_END, 0)) return nullptr;
  return SLLoadLibrary(wide);
}
