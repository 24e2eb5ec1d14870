#include "app/dialogs/FileErrorText.h"

#include <cstring>

#include "foundation/SLPrintf.h"
#include "platform/winfile.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The folder of a file (everything before its name), "/" between its parts, the root as "/".
void FolderOfFile(const char* path, char* out, u32 size) {
  const char* end = nullptr;  // the separator before the file's name
  for (const char* p = path; *p; ++p)
    if (IsSeparator(*p)) end = p;
  u32 n = 0;
  for (const char* p = path; end && p < end && n + 1 < size; ++p) out[n++] = IsSeparator(*p) ? '/' : *p;
  if (n == 0 && end && size > 1) out[n++] = '/';  // the root itself
  if (size > 0) out[n] = 0;
}

}  // namespace

void App_AppendFileErrorCause(char* text, u32 size, u32 systemError, const char* kind, const char* path) {
  const u32 used = u32(strnlen(text, size));
  if (used + 1 >= size) return;
  const char* folderLine = nullptr;
  if (systemError == ERROR_DISK_FULL) {
    SLSnprintfA(text + used, size - used, "\n\n%s", "No hay espacio suficiente en el disco.");
    return;
  }
  if (systemError == ERROR_ACCESS_DENIED)
    folderLine = "No puedo escribir en la carpeta de %s:";
  else if (systemError == ERROR_PATH_NOT_FOUND || systemError == ERROR_FILE_NOT_FOUND)
    folderLine = "No encuentro la carpeta de %s:";
  if (!folderLine) return;
  char cause[64], folder[4100];
  SLSnprintfA(cause, sizeof cause, folderLine, kind);
  FolderOfFile(path, folder, sizeof folder);
  SLSnprintfA(text + used, size - used, "\n\n%s\n%s", cause, folder);
}
