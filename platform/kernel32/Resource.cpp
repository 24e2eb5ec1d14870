#include "platform/kernel32/Resource.h"

#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Modules.h"

// Defined by the object that sl_embed_resources generates; absent in programs without
// resources (weak references are null then).
extern "C" {
extern const unsigned char sl_module_resources_begin[] __attribute__((weak));
extern const unsigned char sl_module_resources_end[] __attribute__((weak));
}

namespace {
constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

// Bounded little-endian reads of the image: every offset comes from the image itself.
struct ImageView {
  const unsigned char* bytes;
  std::uint64_t size;
  bool Fits(std::uint64_t offset, std::uint64_t length) const { return offset <= size && length <= size - offset; }
  std::uint32_t U16(std::uint64_t offset) const {
    return Fits(offset, 2) ? bytes[offset] | (bytes[offset + 1] << 8) : 0;
  }
  std::uint32_t U32(std::uint64_t offset) const {
    return Fits(offset, 4) ? U16(offset) | (std::uint32_t(U16(offset + 2)) << 16) : 0;
  }
};

// The file offset of `length` bytes at a relative virtual address, through the section
// that holds them; false when no section holds them whole.
bool RvaToOffset(const ImageView& image, std::uint64_t sections, std::uint32_t sectionCount, std::uint32_t rva,
                 std::uint32_t length, std::uint64_t* offset) {
  for (std::uint32_t i = 0; i < sectionCount; ++i) {
    std::uint64_t header = sections + 40ull * i;
    if (!image.Fits(header, 40)) return false;
    std::uint32_t address = image.U32(header + 12), rawSize = image.U32(header + 16), raw = image.U32(header + 20);
    if (rva < address || std::uint64_t(rva) - address + length > rawSize) continue;
    *offset = std::uint64_t(raw) + (rva - address);
    return image.Fits(*offset, length);
  }
  return false;
}

bool IsNumber(LPCWSTR key) { return reinterpret_cast<std::uintptr_t>(key) <= 0xFFFF; }

// Does the directory entry's name (high bit: offset of a counted UTF-16 name from the
// resource root; else a number) match the key?
bool EntryMatches(const ImageView& image, std::uint64_t root, std::uint32_t entryName, LPCWSTR key) {
  if (IsNumber(key)) return !(entryName & 0x80000000u) && entryName == reinterpret_cast<std::uintptr_t>(key);
  if (!(entryName & 0x80000000u)) return false;
  std::uint64_t at = root + (entryName & 0x7FFFFFFFu);
  std::uint32_t length = image.U16(at);
  if (!image.Fits(at + 2, 2ull * length)) return false;
  auto fold = [](std::uint32_t c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
  for (std::uint32_t i = 0; i < length; ++i, ++key)
    if (!*key || fold(image.U16(at + 2 + 2ull * i)) != fold(*key)) return false;
  return *key == 0;
}

// The offset-to-data word of the first entry of the directory at `directory` that
// matches `key` (any entry when key is null), or 0 when there is none.
std::uint32_t FindEntry(const ImageView& image, std::uint64_t root, std::uint64_t directory, LPCWSTR key, bool any) {
  if (!image.Fits(directory, 16)) return 0;
  std::uint32_t entries = image.U16(directory + 12) + image.U16(directory + 14);
  for (std::uint32_t i = 0; i < entries; ++i) {
    std::uint64_t entry = directory + 16 + 8ull * i;
    if (!image.Fits(entry, 8)) return 0;
    if (any || EntryMatches(image, root, image.U32(entry), key)) return image.U32(entry + 4);
  }
  return 0;
}

}  // namespace

BOOL SLGetModuleImage(HMODULE module, const void** data, std::uint64_t* size) {
  if (!data || !size) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *data = nullptr;
  *size = 0;
  if (module && module != GetModuleHandleA(nullptr)) {
    SLPlatformSetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);  // other modules carry no image here
    return FALSE;
  }
  if (!sl_module_resources_begin || !sl_module_resources_end) {
    SLPlatformSetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  *data = sl_module_resources_begin;
  *size = std::uint64_t(sl_module_resources_end - sl_module_resources_begin);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL SLFindModuleResource(HMODULE module, LPCWSTR type, LPCWSTR name, const void** data, DWORD* size) {
  if (data) *data = nullptr;
  if (size) *size = 0;
  const void* start = nullptr;
  std::uint64_t length = 0;
  if (data && size && !SLGetModuleImage(module, &start, &length)) return FALSE;
  return SLFindImageResource(start, length, type, name, data, size);
}

BOOL SLFindImageResource(const void* imageData, std::uint64_t imageSize, LPCWSTR type, LPCWSTR name,
                         const void** data, DWORD* size) {
  if (!data || !size || !type || !name || !imageData) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *data = nullptr;
  *size = 0;
  const ImageView image{static_cast<const unsigned char*>(imageData), imageSize};
  auto damaged = [] {
    SLPlatformSetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return FALSE;
  };
  // DOS stub -> "PE\0\0" -> file header -> optional header with the resource directory.
  std::uint64_t pe = image.U32(0x3C);
  if (image.U16(0) != 0x5A4D || image.U32(pe) != 0x4550) return damaged();
  std::uint32_t sectionCount = image.U16(pe + 6), optionalSize = image.U16(pe + 20);
  std::uint64_t optional = pe + 24;
  std::uint32_t magic = image.U16(optional);
  std::uint64_t directories = optional + (magic == 0x20B ? 112 : 96);
  if ((magic != 0x10B && magic != 0x20B) || image.U32(directories - 4) < 3) return damaged();
  std::uint32_t resourceRva = image.U32(directories + 16);
  std::uint64_t root = 0;
  if (!resourceRva || !RvaToOffset(image, optional + optionalSize, sectionCount, resourceRva, 16, &root))
    return damaged();
  // Three levels: type, name, language; the high bit of an entry marks a subdirectory.
  std::uint32_t typeEntry = FindEntry(image, root, root, type, false);
  if (!(typeEntry & 0x80000000u)) {
    SLPlatformSetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  std::uint32_t nameEntry = FindEntry(image, root, root + (typeEntry & 0x7FFFFFFFu), name, false);
  if (!(nameEntry & 0x80000000u)) {
    SLPlatformSetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return FALSE;
  }
  std::uint32_t languageEntry = FindEntry(image, root, root + (nameEntry & 0x7FFFFFFFu), nullptr, true);
  std::uint64_t dataEntry = root + languageEntry;
  if (!languageEntry || (languageEntry & 0x80000000u) || !image.Fits(dataEntry, 16)) return damaged();
  std::uint32_t dataRva = image.U32(dataEntry), dataSize = image.U32(dataEntry + 4);
  std::uint64_t offset = 0;
  if (!RvaToOffset(image, optional + optionalSize, sectionCount, dataRva, dataSize, &offset)) return damaged();
  *data = image.bytes + offset;
  *size = dataSize;
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}
