// Loading and unloading skins, the device handles of their images and fonts, the lookups
// by (skin id, section, key) and the evaluation of layout expressions.
//
// A load either adds a complete skin or nothing: every value is parsed before the skin
// joins the manager's list, and any failure frees all that was made for it, device
// handles included.
#include <cmath>

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLFormula.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLString.h"
#include "gamesystem/SLBaseGfx.h"
#include "gui/SLGuiDefaultSkin.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiWindowSnapshot.h"
#include "image/SLImageArray.h"
#include "image/SLImageReader.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFileStorage.h"
#include "storage/SLIniFile.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLZipFileStorage.h"

namespace {

constexpr u32 kMaxListKeys = 1000;
constexpr u32 kMaxKeyName = 255;
// A font is read whole before the device sees it; a real bitmap font is far smaller.
constexpr u64 kMaxFontBytes = 16u << 20;
constexpr u32 kDefaultAlreadyLoaded = 1000;

// Skin ids of loaded skins come from one counter for the process; 0 is the default skin's.
u32 g_lastSkinId = 0;

// One key of [Images] or [Fonts] while the skin is read.
struct ListItem {
  char* name;
  char* file;
  i32 colorKey;  // -1: none
  u32 width, height;
};

class CItemList {
 public:
  ~CItemList() {
    SLErrorKeeper keep;
    for (ListItem& item : m_items) SLFree(item.name), SLFree(item.file);
  }
  TSLArray<ListItem> m_items;
};

struct SkinHolder {
  SLGuiSkin* skin = nullptr;
  ~SkinHolder();
};

void FreeEntries(SLGuiSkin* skin) {
  for (u32 i = 0; i < skin->entryCount; ++i) SLFree(skin->entries[i].value);
  SLFree(skin->entries);
  skin->entries = nullptr;
  skin->entryCount = 0;
}

// Frees a skin record and all it owns except device handles (which need the device).
void FreeSkinRecord(SLGuiSkin* skin) {
  if (!skin) return;
  SLErrorKeeper keep;
  FreeEntries(skin);
  for (u32 i = 0; i < skin->fontCount; ++i) SLFree(skin->fonts[i].bytes), SLFree(skin->fonts[i].name);
  SLFree(skin->fonts);
  SLFree(skin->fontHandles);
  SLFree(skin->imageHandles);
  if (skin->images) skin->images->Release();
  SLFree(skin);
}

SkinHolder::~SkinHolder() { FreeSkinRecord(skin); }

bool Format() { return SLFail(SL_E_MALFORMED, false); }

// The value of a key; an absent section or key reads as empty. A value longer than a
// value buffer is malformed, never cut.
bool ReadValue(CSLIniFile* ini, const char* section, const char* key, CSLStringAnsi* value) {
  if (!ini->GetStringStrA(section, key, *value, nullptr)) {
    const u32 code = SLGetLastError();
    if (code != SL_E_INI_SECTION_NOT_FOUND && code != SL_E_INI_KEY_NOT_FOUND) return false;
    value->Empty();
  }
  if (value->GetLength() >= kSLGuiSkinValueMax) return Format();
  return SLSucceed(true);
}

// [Images] or [Fonts]: keys in file order up to the first empty value, at most 1000.
bool ReadList(CSLIniFile* ini, const char* section, bool images, CItemList* list) {
  char token[kSLGuiSkinValueMax];
  for (u32 index = 0; index < kMaxListKeys; ++index) {
    CSLStringAnsi name, value;
    if (!ini->GetKeyNameA(section, index, name)) {
      const u32 code = SLGetLastError();
      if (code == SL_E_OUT_OF_MEMORY || code == SL_E_INI_BAD_TEXT) return false;
      break;  // no such section, or past the last key
    }
    if (name.GetLength() > kMaxKeyName) return Format();
    if (!ReadValue(ini, section, name.CStr(), &value)) return false;
    if (value.IsEmpty()) break;
    ListItem item{};
    item.colorKey = -1;
    SLGuiSkinGetToken(value.CStr(), 1, token);
    if (!token[0]) return Format();
    if (images) {
      char key[kSLGuiSkinValueMax];
      SLGuiSkinGetToken(value.CStr(), 2, key);
      if (key[0]) {
        i32 rgb[3];
        if (!SLGuiSkinParseTuple(key, rgb, 3)) return false;
        for (i32 c : rgb)
          if (c < 0 || c > 255) return Format();
        item.colorKey = rgb[0] + rgb[1] * 256 + rgb[2] * 65536;
      }
    }
    item.name = SLStrDupA(name.CStr(), true);
    item.file = SLStrDupA(token, true);
    if (!item.name || !item.file || !list->m_items.Add(item)) {
      SLFree(item.name), SLFree(item.file);
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
  }
  return SLSucceed(true);
}

// Reads one image file of the skin with the reader its extension names.
bool ReadImage(CSLBaseStorage* storage, ListItem* item, CSLImageArray* into) {
  const SLClassRecord* readerClass = CSLBaseImageReader::FindReaderClassByExtension(item->file);
  if (!readerClass) return Format();
  TSLObjPtr<CSLImageArray> images;
  images.Attach(new CSLImageArray());
  if (!images) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!storage->OpenA(item->file, SL_STORAGE_READ)) return false;
  bool read;
  {
    auto close = SLMakeScopeGuard([&] {
      SLErrorKeeper keep;
      storage->Close();
    });
    CSLObject* created = SLCallGuarded(readerClass);
    if (!created) return SLFail(SL_E_OUT_OF_MEMORY, false);
    auto* reader = static_cast<CSLBaseImageReader*>(created);
    read = reader->Read(images.Get(), storage, 0);
    SLErrorKeeper keep;
    reader->Release();
  }
  if (!read) return false;
  if (images->GetCount() == 0) return Format();
  CSLImage* first = (*images.Get())[0];
  if (!first->GetPixels() || first->GetWidth() == 0 || first->GetHeight() == 0) return Format();
  if (item->colorKey >= 0 && !first->SetTransparentColor(u32(item->colorKey))) return false;
  item->width = first->GetWidth(), item->height = first->GetHeight();
  return into->Add(first) ? SLSucceed(true) : SLFail(SL_E_OUT_OF_MEMORY, false);
}

// Reads a font file whole, refusing sizes no font has before allocating for them.
bool ReadFont(CSLBaseStorage* storage, const ListItem& item, SLGuiSkinFontFile* out) {
  if (!storage->OpenA(item.file, SL_STORAGE_READ)) return false;
  auto close = SLMakeScopeGuard([&] {
    SLErrorKeeper keep;
    storage->Close();
  });
  u64 size = 0;
  if (!storage->GetSize(&size)) return false;
  if (size == 0 || size > kMaxFontBytes) return Format();
  TSLAutoPtr<u8> bytes(static_cast<u8*>(SLAlloc(u32(size))));
  TSLAutoPtr<char> name(SLStrDupA(item.name, true));
  if (!bytes || !name) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (storage->Read(bytes.Get(), size) != size) return Format();
  out->bytes = bytes.Detach();
  out->size = u32(size);
  out->name = name.Detach();
  return SLSucceed(true);
}

int CompareEntries(const void* a, const void* b, void*) {
  auto* x = static_cast<const SLGuiSkinEntry*>(a);
  auto* y = static_cast<const SLGuiSkinEntry*>(b);
  const int bySection = SLStrCmpA(x->section->name, y->section->name);
  return bySection ? bySection : SLStrCmpA(x->key->name, y->key->name);
}

// Parses one present value into a new record of its kind.
void* ParseValue(const char* value, const SLGuiSkinKey& key, SLGuiSkin* skin, const CItemList& images,
                 const CItemList& fonts) {
  const u32 imageCount = images.m_items.GetCount();
  TSLArray<const char*> names;
  TSLArray<u32> sizes;
  for (const ListItem& item : images.m_items)
    if (!names.Add(item.name) || !sizes.Add(item.width) || !sizes.Add(item.height))
      return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
  auto make = [](u32 size) { return SLAllocZero(size); };
  switch (key.kind) {
    case SL_GUI_SKIN_ELEMENT: {
      SLGuiSkinElement element;
      if (!SLGuiSkinParseElement(value, names.GetData(), sizes.GetData(), imageCount, &element)) return nullptr;
      auto* record = static_cast<SLGuiSkinElement*>(make(sizeof(SLGuiSkinElement)));
      if (!record) return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
      *record = element;
      record->skin = skin;
      return record;
    }
    case SL_GUI_SKIN_GLYPH: {
      SLGuiSkinGlyph glyph;
      if (!SLGuiSkinParseGlyph(value, names.GetData(), sizes.GetData(), imageCount, &glyph)) return nullptr;
      auto* record = static_cast<SLGuiSkinGlyph*>(make(sizeof(SLGuiSkinGlyph)));
      if (!record) return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
      *record = glyph;
      record->skin = skin;
      return record;
    }
    case SL_GUI_SKIN_COLOR: {
      SLGuiSkinColor color;
      if (!SLGuiSkinParseColor(value, &color)) return nullptr;
      auto* record = static_cast<SLGuiSkinColor*>(make(sizeof(SLGuiSkinColor)));
      if (!record) return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
      *record = color;
      record->skin = skin;
      return record;
    }
    case SL_GUI_SKIN_FONT: {
      char token[kSLGuiSkinValueMax];
      SLGuiSkinGetToken(value, 1, token);
      for (u32 i = 0; i < fonts.m_items.GetCount(); ++i) {
        if (SLStrICmpA(token, fonts.m_items[i].name) != 0) continue;
        auto* record = static_cast<SLGuiSkinFont*>(make(sizeof(SLGuiSkinFont)));
        if (!record) return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
        record->font = i;
        record->name = skin->fonts[i].name;
        record->skin = skin;
        return record;
      }
      return SLFail(SL_E_MALFORMED, nullptr);
    }
    default: {
      const u32 count = key.kind == SL_GUI_SKIN_INFO4 ? 4 : 2;
      char texts[kSLGuiSkinValueMax];
      u32 offsets[4];
      if (!SLGuiSkinParseInfo(value, count, texts, offsets)) return nullptr;
      const u32 lastLength = SLStrLenA(texts + offsets[count - 1]);
      const u32 textBytes = offsets[count - 1] + lastLength + 1;
      auto* record = static_cast<SLGuiSkinInfo*>(make(u32(sizeof(SLGuiSkinInfo)) + textBytes));
      if (!record) return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
      char* stored = reinterpret_cast<char*>(record + 1);
      SLMemCopy(stored, texts, textBytes);
      record->count = count;
      record->skin = skin;
      for (u32 i = 0; i < count; ++i) record->expressions[i] = stored + offsets[i];
      return record;
    }
  }
}

bool ReadEntries(CSLIniFile* ini, SLGuiSkin* skin, const CItemList& images, const CItemList& fonts) {
  u32 sectionCount;
  const SLGuiSkinSection* sections = SLGuiSkinVocabulary(&sectionCount);
  TSLArray<SLGuiSkinEntry> entries;
  auto freeEntries = SLMakeScopeGuard([&] {
    SLErrorKeeper keep;
    for (SLGuiSkinEntry& entry : entries) SLFree(entry.value);
    entries.Free();
  });
  for (u32 s = 0; s < sectionCount; ++s) {
    for (u32 k = 0; k < sections[s].keyCount; ++k) {
      CSLStringAnsi value;
      if (!ReadValue(ini, sections[s].name, sections[s].keys[k].name, &value)) return false;
      if (value.IsEmpty()) continue;
      void* record = ParseValue(value.CStr(), sections[s].keys[k], skin, images, fonts);
      if (!record) return false;
      if (!entries.Add(SLGuiSkinEntry{&sections[s], &sections[s].keys[k], record})) {
        SLFree(record);
        return SLFail(SL_E_OUT_OF_MEMORY, false);
      }
    }
  }
  const u32 count = entries.GetCount();
  if (count) {
    skin->entries = static_cast<SLGuiSkinEntry*>(SLAlloc(count * u32(sizeof(SLGuiSkinEntry))));
    if (!skin->entries) return SLFail(SL_E_OUT_OF_MEMORY, false);
    SLMemCopy(skin->entries, entries.GetData(), count * u32(sizeof(SLGuiSkinEntry)));
    SLQSort(skin->entries, count, sizeof(SLGuiSkinEntry), CompareEntries, nullptr);
    skin->entryCount = count;
  }
  entries.Free();
  freeEntries.Dismiss();
  return SLSucceed(true);
}

void DestroyHandlesOf(SLGuiSkin* skin, CSL_GS_BaseGfx* gfx) {
  SLErrorKeeper keep;
  for (u32 i = 0; i < skin->imageCount; ++i)
    if (skin->imageHandles[i]) {
      if (gfx) gfx->DestroyImage(skin->imageHandles[i]);
      skin->imageHandles[i] = nullptr;
    }
  for (u32 i = 0; i < skin->fontCount; ++i)
    if (skin->fontHandles[i]) {
      if (gfx) gfx->DestroyFont(skin->fontHandles[i]);
      skin->fontHandles[i] = nullptr;
    }
}

// Makes an image handle per image and a font per font file; all or nothing.
bool CreateHandlesOf(SLGuiSkin* skin, CSL_GS_BaseGfx* gfx) {
  for (u32 i = 0; i < skin->imageCount; ++i) {
    skin->imageHandles[i] = gfx->CreateImage((*skin->images)[i], false);
    if (!skin->imageHandles[i]) {
      const u32 code = SLGetLastError();
      DestroyHandlesOf(skin, gfx);
      return SLFail(code, false);
    }
  }
  for (u32 i = 0; i < skin->fontCount; ++i) {
    CSLMemoryStorage memory;
    memory.AttachBuffer(skin->fonts[i].bytes, skin->fonts[i].size, false);
    skin->fontHandles[i] = gfx->LoadFontFromStorage(&memory);
    if (!skin->fontHandles[i]) {
      const u32 code = SLGetLastError();
      DestroyHandlesOf(skin, gfx);
      return SLFail(code, false);
    }
  }
  return SLSucceed(true);
}

u32 NextSkinId() {
  u32 id = __atomic_add_fetch(&g_lastSkinId, 1, __ATOMIC_RELAXED);
  while (id == 0) id = __atomic_add_fetch(&g_lastSkinId, 1, __ATOMIC_RELAXED);
  return id;
}

}  // namespace

namespace {

// Reads a whole skin from a storage into a new record without device handles; null with
// the error code on any failure, having freed whatever it made.
SLGuiSkin* ReadSkin(CSLBaseStorage* storage) {
  CSLIniFile ini;
  if (!storage->OpenA("layout.inf", SL_STORAGE_READ)) return nullptr;
  {
    const bool loaded = ini.Load(storage);
    SLErrorKeeper keep;
    storage->Close();
    if (!loaded) return nullptr;
  }
  CItemList images, fonts;
  if (!ReadList(&ini, "Images", true, &images) || !ReadList(&ini, "Fonts", false, &fonts)) return nullptr;
  if (images.m_items.GetCount() == 0) return SLFail(SL_E_MALFORMED, static_cast<SLGuiSkin*>(nullptr));

  SkinHolder holder;
  holder.skin = static_cast<SLGuiSkin*>(SLAllocZero(u32(sizeof(SLGuiSkin))));
  if (!holder.skin) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<SLGuiSkin*>(nullptr));
  SLGuiSkin* skin = holder.skin;
  const u32 imageCount = images.m_items.GetCount(), fontCount = fonts.m_items.GetCount();
  skin->images = new CSLImageArray();
  skin->imageHandles = static_cast<SL_GS_Image**>(SLAllocZero(imageCount * u32(sizeof(void*))));
  skin->fonts = static_cast<SLGuiSkinFontFile*>(SLAllocZero((fontCount + 1) * u32(sizeof(SLGuiSkinFontFile))));
  skin->fontHandles = static_cast<SL_GS_Font**>(SLAllocZero((fontCount + 1) * u32(sizeof(void*))));
  if (!skin->images || !skin->imageHandles || !skin->fonts || !skin->fontHandles)
    return SLFail(SL_E_OUT_OF_MEMORY, static_cast<SLGuiSkin*>(nullptr));
  for (ListItem& item : images.m_items) {
    if (!ReadImage(storage, &item, skin->images)) return nullptr;
    ++skin->imageCount;
  }
  for (const ListItem& item : fonts.m_items) {
    if (!ReadFont(storage, item, &skin->fonts[skin->fontCount])) return nullptr;
    ++skin->fontCount;
  }
  if (!ReadEntries(&ini, skin, images, fonts)) return nullptr;
  holder.skin = nullptr;
  return SLSucceed(skin);
}

// The bytes of a value record, the expression texts of an info record included.
u32 ValueSize(const SLGuiSkinEntry& entry) {
  switch (entry.key->kind) {
    case SL_GUI_SKIN_ELEMENT: return sizeof(SLGuiSkinElement);
    case SL_GUI_SKIN_GLYPH: return sizeof(SLGuiSkinGlyph);
    case SL_GUI_SKIN_COLOR: return sizeof(SLGuiSkinColor);
    case SL_GUI_SKIN_FONT: return sizeof(SLGuiSkinFont);
    default: {
      auto* info = static_cast<const SLGuiSkinInfo*>(entry.value);
      const char* last = info->expressions[info->count - 1];
      return u32(last - reinterpret_cast<const char*>(info)) + SLStrLenA(last) + 1;
    }
  }
}

// A copy of a skin record (images shared by reference, everything else copied) whose
// value records point to the copy.
SLGuiSkin* CopySkin(const SLGuiSkin* from) {
  using Result = SLGuiSkin*;
  SkinHolder holder;
  holder.skin = static_cast<SLGuiSkin*>(SLAllocZero(u32(sizeof(SLGuiSkin))));
  if (!holder.skin) return SLFail(SL_E_OUT_OF_MEMORY, Result(nullptr));
  SLGuiSkin* skin = holder.skin;
  skin->images = new CSLImageArray();
  skin->imageHandles = static_cast<SL_GS_Image**>(SLAllocZero(from->imageCount * u32(sizeof(void*))));
  skin->fonts = static_cast<SLGuiSkinFontFile*>(SLAllocZero((from->fontCount + 1) * u32(sizeof(SLGuiSkinFontFile))));
  skin->fontHandles = static_cast<SL_GS_Font**>(SLAllocZero((from->fontCount + 1) * u32(sizeof(void*))));
  skin->entries = static_cast<SLGuiSkinEntry*>(SLAllocZero((from->entryCount + 1) * u32(sizeof(SLGuiSkinEntry))));
  if (!skin->images || !skin->imageHandles || !skin->fonts || !skin->fontHandles || !skin->entries)
    return SLFail(SL_E_OUT_OF_MEMORY, Result(nullptr));
  for (; skin->imageCount < from->imageCount; ++skin->imageCount)
    if (!skin->images->Add((*from->images)[skin->imageCount])) return SLFail(SL_E_OUT_OF_MEMORY, Result(nullptr));
  for (; skin->fontCount < from->fontCount; ++skin->fontCount) {
    const SLGuiSkinFontFile& font = from->fonts[skin->fontCount];
    SLGuiSkinFontFile& copy = skin->fonts[skin->fontCount];
    copy.bytes = static_cast<u8*>(SLAlloc(font.size));
    copy.name = SLStrDupA(font.name, true);
    if (!copy.bytes || !copy.name) return SLFail(SL_E_OUT_OF_MEMORY, Result(nullptr));
    SLMemCopy(copy.bytes, font.bytes, font.size);
    copy.size = font.size;
  }
  for (; skin->entryCount < from->entryCount; ++skin->entryCount) {
    const SLGuiSkinEntry& entry = from->entries[skin->entryCount];
    const u32 size = ValueSize(entry);
    void* value = SLAlloc(size);
    if (!value) return SLFail(SL_E_OUT_OF_MEMORY, Result(nullptr));
    SLMemCopy(value, entry.value, size);
    skin->entries[skin->entryCount] = SLGuiSkinEntry{entry.section, entry.key, value};
    switch (entry.key->kind) {
      case SL_GUI_SKIN_ELEMENT: static_cast<SLGuiSkinElement*>(value)->skin = skin; break;
      case SL_GUI_SKIN_GLYPH: static_cast<SLGuiSkinGlyph*>(value)->skin = skin; break;
      case SL_GUI_SKIN_COLOR: static_cast<SLGuiSkinColor*>(value)->skin = skin; break;
      case SL_GUI_SKIN_FONT: {
        auto* font = static_cast<SLGuiSkinFont*>(value);
        font->skin = skin;
        font->name = skin->fonts[font->font].name;
        break;
      }
      default: {
        auto* info = static_cast<SLGuiSkinInfo*>(value);
        auto* original = static_cast<const SLGuiSkinInfo*>(entry.value);
        info->skin = skin;
        for (u32 i = 0; i < info->count; ++i)
          info->expressions[i] = reinterpret_cast<const char*>(info) +
                                 (original->expressions[i] - reinterpret_cast<const char*>(original));
        break;
      }
    }
  }
  holder.skin = nullptr;
  return SLSucceed(skin);
}

// The built-in skin is read from its archive once per process and copied for every
// manager after that: inflating, decoding and parsing it again would give the same
// records. The first reading stays for the life of the process.
SLGuiSkin* CopyOfDefaultSkin() {
  static CSLCriticalSection lock;
  static SLGuiSkin* original = nullptr;
  SLCriticalSectionLock hold(&lock);
  if (!original) {
    CSLMemoryStorage memory;
    CSLZipFileStorage zip;
    // The archive is the program's own data: the storage reads it in place.
    if (!memory.AttachBuffer(const_cast<u8*>(kSLGuiDefaultSkin), kSLGuiDefaultSkinSize, false) ||
        !zip.AttachContainer(&memory))
      return nullptr;
    original = ReadSkin(&zip);
    SLErrorKeeper keep;
    zip.AttachContainer(nullptr);
    if (!original) return nullptr;
  }
  return CopySkin(original);
}

}  // namespace

u32 CSL_GS_GuiManager::LoadSkinLayout(CSLBaseStorage* storage, bool isDefault) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0u);
  SLCriticalSectionLock lock(&m_lock);
  SkinHolder holder;
  if (isDefault) {
    for (SLGuiSkin* skin = m_state->skins; skin; skin = skin->next)
      if (skin->id == 0) return SLSucceed(kDefaultAlreadyLoaded);
    holder.skin = CopyOfDefaultSkin();
  } else {
    if (!storage) return SLFail(SL_E_NULL_DATA, 0u);
    holder.skin = ReadSkin(storage);
  }
  SLGuiSkin* skin = holder.skin;
  if (!skin) return 0;
  if (CSL_GS_BaseGfx* gfx = m_state->gfx)
    if (!CreateHandlesOf(skin, gfx)) return 0;
  skin->id = isDefault ? 0 : NextSkinId();
  SLGuiSkin** tail = &m_state->skins;
  while (*tail) tail = &(*tail)->next;
  *tail = holder.skin;
  holder.skin = nullptr;
  return SLSucceed(isDefault ? 1u : skin->id);
}

u32 CSL_GS_GuiManager::LoadSkinFromStorage(CSLBaseStorage* storage) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0u);
  SLCriticalSectionLock lock(&m_lock);
  const u32 id = LoadSkinLayout(storage, false);
  if (!id) return 0;
  LoadDesktopSettings();
  return SLSucceed(id);
}

u32 CSL_GS_GuiManager::LoadSkin(const char* path) {
  if (!path) return SLFail(SL_E_NULL_DATA, 0u);
  CSLFileStorage file;
  if (!file.OpenA(path, SL_STORAGE_READ)) return 0;
  CSLFastFileStorage pack;
  if (!pack.AttachContainer(&file)) {
    SLErrorKeeper keep;
    file.Close();
    return 0;
  }
  const u32 id = LoadSkinFromStorage(&pack);
  SLErrorKeeper keep;
  pack.AttachContainer(nullptr);
  file.Close();
  return id;
}

bool CSL_GS_GuiManager::UnloadSkin(u32 id) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!FindSkin(id)) return SLFail(SL_E_INDEX, false);
  // Widgets keep pointers into their skin: its windows go first. A window whose
  // destruction is already running is left to finish it.
  // Repeats until none is left, since a handler may create more; a pass that destroys
  // nothing ends the search, so a window that refuses cannot make it spin.
  for (bool progress = true; progress && m_state;) {
    progress = false;
    SLInternals::CSLGuiWindowSnapshot windows;
    for (const SLGuiRegistryEntry& entry : *m_state->registry)
      if (!(entry.flags & SL_GUI_REG_DESTROYING) && entry.window->GetSkin() == id && !windows.Add(entry.window))
        return SLFail(SL_E_OUT_OF_MEMORY, false);
    for (CSL_GS_GuiWindow* window : windows)
      if (m_state && IsLive(window) && DestroyWindow(window)) progress = true;
  }
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_lock);
  SLGuiSkin** link = &m_state->skins;
  while (*link && (*link)->id != id) link = &(*link)->next;
  SLGuiSkin* skin = *link;
  if (!skin) return SLFail(SL_E_INDEX, false);
  *link = skin->next;
  DestroyHandlesOf(skin, m_state->gfx);
  FreeSkinRecord(skin);
  LoadDesktopSettings();
  return SLSucceed(true);
}

void CSL_GS_GuiManager::FreeSkins() {
  SLCriticalSectionLock lock(&m_lock);
  while (SLGuiSkin* skin = m_state->skins) {
    m_state->skins = skin->next;
    DestroyHandlesOf(skin, m_state->gfx);
    FreeSkinRecord(skin);
  }
}

bool CSL_GS_GuiManager::CreateSkinHandles(CSL_GS_BaseGfx* gfx) {
  if (!m_state || !gfx) return SLSucceed(true);
  SLCriticalSectionLock lock(&m_lock);
  for (SLGuiSkin* skin = m_state->skins; skin; skin = skin->next)
    if (!CreateHandlesOf(skin, gfx)) return false;
  return SLSucceed(true);
}

void CSL_GS_GuiManager::DestroySkinHandles(CSL_GS_BaseGfx* gfx) {
  if (!m_state) return;
  SLCriticalSectionLock lock(&m_lock);
  for (SLGuiSkin* skin = m_state->skins; skin; skin = skin->next) DestroyHandlesOf(skin, gfx);
}

bool CSL_GS_GuiManager::LoadDesktopSettings() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_lock);
  m_state->iconFont = nullptr;
  m_state->normalCaptionColor = {};
  m_state->disabledCaptionColor = {};
  // The desktop settings always come from the first skin of the list.
  if (SLGuiSkin* first = m_state->skins) {
    m_state->iconFont = GetSkinFont(first->id, "Desktop", "IconFont");
    if (SLGuiSkinColor* color = GetSkinColor(first->id, "Desktop", "NormalCaptionColor"))
      m_state->normalCaptionColor = *color;
    if (SLGuiSkinColor* color = GetSkinColor(first->id, "Desktop", "DisabledCaptionColor"))
      m_state->disabledCaptionColor = *color;
  }
  return SLSucceed(true);
}

SLGuiSkin* CSL_GS_GuiManager::FindSkin(u32 id) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, nullptr);
  SLCriticalSectionLock lock(&m_lock);
  for (SLGuiSkin* skin = m_state->skins; skin; skin = skin->next)
    if (skin->id == id) return SLSucceed(skin);
  return SLFail(SL_E_INVALID_ARG, nullptr);
}

bool CSL_GS_GuiManager::LoadDefaultSkin() {
  const u32 result = LoadSkinLayout(nullptr, true);
  if (result == 1) LoadDesktopSettings();
  return result ? SLSucceed(true) : false;
}

void* CSL_GS_GuiManager::FindSkinEntry(u32 id, const char* section, const char* key, u32 kind) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, nullptr);
  if (!section || !*section || !key || !*key) return SLFail(SL_E_INVALID_ARG, nullptr);
  SLCriticalSectionLock lock(&m_lock);
  SLGuiSkin* skin = m_state->skins;
  while (skin && skin->id != id) skin = skin->next;
  if (!skin) return SLFail(SL_E_INVALID_ARG, nullptr);
  u32 low = 0, high = skin->entryCount;
  while (low < high) {
    const u32 middle = low + (high - low) / 2;
    const SLGuiSkinEntry& entry = skin->entries[middle];
    int order = SLStrCmpA(entry.section->name, section);
    if (!order) order = SLStrCmpA(entry.key->name, key);
    if (order == 0) {
      const bool matches = entry.key->kind == kind ||
                           (kind == SL_GUI_SKIN_INFO4 && entry.key->kind == SL_GUI_SKIN_INFO2);
      return matches ? SLSucceed(entry.value) : SLFail(SL_E_NOT_FOUND, nullptr);
    }
    if (order < 0) low = middle + 1;
    else high = middle;
  }
  return SLFail(SL_E_NOT_FOUND, nullptr);
}

SLGuiSkinElement* CSL_GS_GuiManager::GetSkinImageElement(u32 skin, const char* section, const char* key) {
  return static_cast<SLGuiSkinElement*>(FindSkinEntry(skin, section, key, SL_GUI_SKIN_ELEMENT));
}
SLGuiSkinGlyph* CSL_GS_GuiManager::GetSkinGlyph(u32 skin, const char* section, const char* key) {
  return static_cast<SLGuiSkinGlyph*>(FindSkinEntry(skin, section, key, SL_GUI_SKIN_GLYPH));
}
SLGuiSkinColor* CSL_GS_GuiManager::GetSkinColor(u32 skin, const char* section, const char* key) {
  return static_cast<SLGuiSkinColor*>(FindSkinEntry(skin, section, key, SL_GUI_SKIN_COLOR));
}
SLGuiSkinInfo* CSL_GS_GuiManager::GetSkinInfo(u32 skin, const char* section, const char* key) {
  return static_cast<SLGuiSkinInfo*>(FindSkinEntry(skin, section, key, SL_GUI_SKIN_INFO4));
}
SL_GS_Font* CSL_GS_GuiManager::GetSkinFont(u32 skin, const char* section, const char* key) {
  auto* font = static_cast<SLGuiSkinFont*>(FindSkinEntry(skin, section, key, SL_GUI_SKIN_FONT));
  if (!font) return nullptr;
  return SLSucceed(font->skin->fontHandles[font->font]);
}

i32 CSL_GS_GuiManager::GetVScrollButtonElement(u32 skin) {
  const SLGuiSkinElement* element = GetSkinImageElement(skin, "Scrollbar_Vertical", "NormalButton");
  return element ? SLSucceed(element->width) : 0;
}
i32 CSL_GS_GuiManager::GetHScrollButtonElement(u32 skin) {
  const SLGuiSkinElement* element = GetSkinImageElement(skin, "Scrollbar_Horizontal", "NormalButton");
  return element ? SLSucceed(element->height) : 0;
}

SL_GS_Image* CSL_GS_GuiManager::GetSkinImageHandle(const SLGuiSkin* skin, u32 image) {
  if (!skin || image >= skin->imageCount) return SLFail(SL_E_INVALID_ARG, static_cast<SL_GS_Image*>(nullptr));
  return SLSucceed(skin->imageHandles[image]);
}

bool CSL_GS_GuiManager::EvaluateSkinInfo(const SLGuiSkinInfo* info, i32 width, i32 height, i32* values) {
  if (!info || !values || (info->count != 2 && info->count != 4)) return SLFail(SL_E_INVALID_ARG, false);
  CSLFormulaSolver solver;
  if (!solver.SetVariable("WIDTH", width, true) || !solver.SetVariable("HEIGHT", height, true) ||
      !solver.SetVariable("CENTERX", width / 2, true) || !solver.SetVariable("CENTERY", height / 2, true))
    return false;
  for (u32 i = 0; i < info->count; ++i) {
    double value = 0;
    i32 errorPosition = -1;
    // A result that is not a number, or infinite, fails as a bad expression would.
    if (!solver.Evaluate(info->expressions[i], &value, &errorPosition) || !std::isfinite(value)) {
      const u32 code = SLGetLastError();
      for (u32 k = 0; k < info->count; ++k) values[k] = 0;
      return SLFail(code != SL_OK ? code : SL_E_INVALID_ARG, false);
    }
    value = std::trunc(value);
    values[i] = value >= 2147483647.0 ? 2147483647 : value <= -2147483648.0 ? i32(-2147483647 - 1) : i32(value);
  }
  return SLSucceed(true);
}
