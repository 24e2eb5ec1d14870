// What an error box says under its own line when a file could not be made or written
// for a cause a family can mend: the save, the recorder and the export name a full disk
// and a folder they cannot use in the same words.
#pragma once

#include "foundation/SLTypes.h"

// Appends to `text` (a string within `size` bytes, cut to fit) an empty line and the
// cause that the system's error `systemError` names, if it is one a family can mend:
// - ERROR_DISK_FULL: "No hay espacio suficiente en el disco.";
// - ERROR_ACCESS_DENIED: "No puedo escribir en la carpeta de <kind>:" and, on the next
//   line, the folder of the file `path` as the system names it ("/" between its parts);
// - ERROR_PATH_NOT_FOUND or ERROR_FILE_NOT_FOUND: "No encuentro la carpeta de <kind>:"
//   and the folder.
// Any other error appends nothing.
void App_AppendFileErrorCause(char* text, u32 size, u32 systemError, const char* kind, const char* path);
