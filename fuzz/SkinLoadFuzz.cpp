// The whole skin loader over the default skin's own members with one of them replaced by
// the input (its "layout.inf", its picture or a font), packed as a ZIP archive or as a
// data pack, with or without a device attached. No crash; a load that fails adds no skin
// and leaves no handle on the device, and one that succeeds unloads cleanly.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzProgram.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiDefaultSkin.h"
#include "gui/SLGuiManager.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLZipFileStorage.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tools/slpack/PackWriter.h"

namespace {

struct Member {
  std::string name;
  std::string data;
};

std::vector<Member> DefaultMembers() {
  std::vector<Member> members;
  CSLMemoryStorage memory;
  memory.AttachBuffer(const_cast<u8*>(kSLGuiDefaultSkin), kSLGuiDefaultSkinSize, false);
  CSLZipFileStorage zip;
  zip.AttachContainer(&memory);
  for (const char* name : {"layout.inf", "defskin.gif", "Sans8.FNT", "Sans10B.FNT"}) {
    Member member{name, {}};
    if (zip.OpenA(name, SL_STORAGE_READ)) {
      char buffer[65536];
      for (u64 n; (n = zip.Read(buffer, sizeof buffer)) > 0;) member.data.append(buffer, size_t(n));
      zip.Close();
    }
    members.push_back(member);
  }
  zip.AttachContainer(nullptr);
  return members;
}

void Put16(std::string* out, u32 v) { out->push_back(char(v)), out->push_back(char(v >> 8)); }
void Put32(std::string* out, u32 v) { Put16(out, v), Put16(out, v >> 16); }

// A ZIP archive of stored members.
std::string Zip(const std::vector<Member>& members) {
  std::string out, central;
  for (const Member& m : members) {
    const u32 crc = u32(crc32(0, reinterpret_cast<const Bytef*>(m.data.data()), uInt(m.data.size())));
    const u32 offset = u32(out.size());
    for (std::string* header : {&out, &central}) {
      Put32(header, header == &out ? 0x04034b50 : 0x02014b50);
      if (header == &central) Put16(header, 20);
      Put16(header, 20), Put16(header, 0), Put16(header, 0), Put16(header, 0), Put16(header, 0x21);
      Put32(header, crc), Put32(header, u32(m.data.size())), Put32(header, u32(m.data.size()));
      Put16(header, u32(m.name.size())), Put16(header, 0);
      if (header == &central) {
        Put16(header, 0), Put16(header, 0), Put16(header, 0), Put32(header, 0), Put32(header, offset);
      }
      *header += m.name;
      if (header == &out) out += m.data;
    }
  }
  const u32 centralOffset = u32(out.size());
  out += central;
  Put32(&out, 0x06054b50), Put16(&out, 0), Put16(&out, 0), Put16(&out, u32(members.size())),
      Put16(&out, u32(members.size())), Put32(&out, u32(central.size())), Put32(&out, centralOffset), Put16(&out, 0);
  return out;
}

std::string Pack(const std::vector<Member>& members, uint16_t version) {
  slpack::PackWriter writer(version, 0x13572468);
  for (const Member& m : members) writer.AddFile(m.name, std::vector<uint8_t>(m.data.begin(), m.data.end()));
  std::vector<uint8_t> bytes;
  std::string error;
  writer.Build(&bytes, &error);
  return std::string(bytes.begin(), bytes.end());
}

// Counts the handles alive on it.
class CountingGfx : public CMemoryGfxDevice {
 public:
  bool CreateImageTextures(SL_GS_ImageRecord* image) override {
    const bool made = CMemoryGfxDevice::CreateImageTextures(image);
    m_live += made;
    return made;
  }
  void FreeImageTextures(SL_GS_ImageRecord* image) override {
    --m_live;
    CMemoryGfxDevice::FreeImageTextures(image);
  }
  bool CreateFontTextures(SL_GS_FontRecord* font) override {
    const bool made = CMemoryGfxDevice::CreateFontTextures(font);
    m_live += made;
    return made;
  }
  void FreeFontTextures(SL_GS_FontRecord* font) override {
    --m_live;
    CMemoryGfxDevice::FreeFontTextures(font);
  }
  i64 m_live = 0;
};

u32 SkinCount(CSL_GS_GuiManager* m) {
  u32 n = 0;
  for (SLGuiSkin* s = m->GetState()->skins; s; s = s->next) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 300000) return 0;
  static const std::vector<Member> defaults = (SLRegisterGuiClasses(), DefaultMembers());
  static CountingGfx* gfx = [] {
    auto* device = new CountingGfx();
    SL_GS_DisplayMode mode{1, 320, 240, 32, 1, 0, 0};
    device->Init(nullptr, nullptr, &mode);
    return device;
  }();
  static CSL_GS_GuiManager* manager = [] {
    auto* m = new CSL_GS_GuiManager();
    m->Init();
    return m;
  }();
  const unsigned mode = data[0];
  std::vector<Member> members = defaults;
  members[mode % 3].data.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  const bool withDevice = (mode & 8) != 0;
  manager->SetGfx(withDevice ? gfx : nullptr);

  const std::string archive = (mode & 4) ? Pack(members, (mode & 16) ? 3 : 2) : Zip(members);
  CSLMemoryStorage memory;
  memory.AttachBuffer(const_cast<char*>(archive.data()), u32(archive.size()), false);
  CSLZipFileStorage zip;
  CSLFastFileStorage pack;
  CSLBaseStorage* storage = (mode & 4) ? static_cast<CSLBaseStorage*>(&pack) : &zip;
  const u32 id = storage->AttachContainer(&memory) ? manager->LoadSkinFromStorage(storage) : 0;
  storage->AttachContainer(nullptr);
  if (id == 0) {
    SLFuzzCheck(SkinCount(manager) == 0 && gfx->m_live == 0);
  } else {
    SLFuzzCheck(SkinCount(manager) == 1);
    SLFuzzCheck(manager->UnloadSkin(id));
  }
  manager->SetGfx(nullptr);
  SLFuzzCheck(gfx->m_live == 0);
  return 0;
}
