// Entry points of "kernel32.dll" in this group.
#include "platform/kernel32/File.h"
#include "platform/modules.h"

namespace {
const SLPlatformExport kFileExports[] = {
    SL_EXPORT(CreateFileA),          SL_EXPORT(CreateFileW),           SL_EXPORT(DeleteFileA),
    SL_EXPORT(DeleteFileW),          SL_EXPORT(ReadFile),              SL_EXPORT(WriteFile),
    SL_EXPORT(FlushFileBuffers),     SL_EXPORT(LockFile),              SL_EXPORT(LockFileEx),
    SL_EXPORT(UnlockFile),           SL_EXPORT(SetFilePointer),        SL_EXPORT(SetFilePointerEx),
    SL_EXPORT(GetFileSize),          SL_EXPORT(GetFileSizeEx),         SL_EXPORT(SetEndOfFile),
    SL_EXPORT(GetCompressedFileSizeA), SL_EXPORT(GetCompressedFileSizeW), SL_EXPORT(FindFirstFileA),
    SL_EXPORT(FindFirstFileW),       SL_EXPORT(FindNextFileA),         SL_EXPORT(FindNextFileW),
    SL_EXPORT(FindClose),            SL_EXPORT(CreateDirectoryA),      SL_EXPORT(CreateDirectoryW),
    SL_EXPORT(RemoveDirectoryA),     SL_EXPORT(RemoveDirectoryW),      SL_EXPORT(SetCurrentDirectoryA),
    SL_EXPORT(SetCurrentDirectoryW), SL_EXPORT(GetCurrentDirectoryA),  SL_EXPORT(GetCurrentDirectoryW),
    SL_EXPORT(CreateFileMappingA),   SL_EXPORT(CreateFileMappingW),    SL_EXPORT(MapViewOfFile),
    SL_EXPORT(FlushViewOfFile),      SL_EXPORT(UnmapViewOfFile),       SL_EXPORT(GetFileAttributesA),
    SL_EXPORT(GetFileAttributesW),   SL_EXPORT(SetFileAttributesA),    SL_EXPORT(SetFileAttributesW),
    SL_EXPORT(GetFileTime),          SL_EXPORT(GetFileInformationByHandle), SL_EXPORT(MoveFileA),
    SL_EXPORT(MoveFileW),            SL_EXPORT(GetDriveTypeA),         SL_EXPORT(GetDriveTypeW),
    SL_EXPORT(SLPlatformClaimFileW),
};
}  // namespace

// CloseHandle, shared by every kind of handle, is in the core group.
const SLPlatformExportGroup g_kernel32File = SLMakeExportGroup(kFileExports);
