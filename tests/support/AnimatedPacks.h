// Object and character item packs for the catalogue tests: frames drawn by ImageMagick
// and stored as MXIMG, sounds made by sox, "info.txt" written by python in the codec
// asked for, all packed by slpack. A description is kept as sections of keys so that a
// test can derive each malformed case as one edit of a valid text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "gamesystem/directx/SLSfxDirectX.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TestWindow.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tools/mximgwrite/MximgWriter.h"

struct PackDescription {
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
  };
  std::vector<Section> sections;

  // Sets (or, with a null value, removes) one key; a new section goes at the end.
  PackDescription With(const std::string& section, const std::string& key, const char* value) const {
    PackDescription out = *this;
    for (Section& s : out.sections) {
      if (s.name != section) continue;
      for (auto it = s.keys.begin(); it != s.keys.end(); ++it)
        if (it->first == key) {
          if (value) it->second = value; else s.keys.erase(it);
          return out;
        }
      if (value) s.keys.emplace_back(key, value);
      return out;
    }
    if (value) out.sections.push_back({section, {{key, value}}});
    return out;
  }
  std::string Text() const {
    std::string text = "; generated\r\n";
    for (const Section& s : sections) {
      text += "[" + s.name + "]\r\n";
      for (const auto& [key, value] : s.keys) text += key + "=" + value + "\r\n";
    }
    return text;
  }
};

// A pack folder under `dir`: files written into `dir/name/`, then packed as name.DAT.
class AnimatedPack {
 public:
  AnimatedPack(const TempDir& dir, const std::string& name) : m_dir(dir), m_name(name) {
    std::system(("mkdir -p '" + dir.Host(name) + "'").c_str());
  }
  std::string Host(const std::string& file) const { return m_dir.Host(m_name + "/" + file); }
  // A 32-bit MXIMG frame of a disc with soft edges; the PNG stays beside the pack.
  void Frame(const std::string& file, int w, int h, const std::string& colour, int radius) const {
    const std::string png = m_dir.Host(m_name + "_" + std::to_string(std::hash<std::string>()(file)) + ".png");
    std::system(("convert -size " + std::to_string(w) + "x" + std::to_string(h) + " xc:none -fill " + colour +
                 " -draw 'circle " + std::to_string(w / 2) + "," + std::to_string(h / 2) + " " + std::to_string(w / 2) +
                 "," + std::to_string(h / 2 - radius) + "' -blur 0x1 PNG32:'" + png + "'").c_str());
    CSLImage picture;
    std::string error, bytes;
    mximg::WriteOptions options;
    options.encoding = mximg::kZlib;
    std::system(("mkdir -p \"$(dirname '" + Host(file) + "')\"").c_str());
    if (mximg::ReadPicture(png, &picture, &error) && mximg::Write(picture, options, &bytes, &error))
      m_dir.Write(m_name + "/" + file, bytes);
    m_pngs.emplace_back(file, png);
  }
  // The PNG alpha of a frame, a byte per pixel, as ImageMagick reads it.
  std::string Alpha(const std::string& file) const {
    for (const auto& [name, png] : m_pngs)
      if (name == file) return SLTestCapture("convert '" + png + "' -alpha extract -depth 8 gray:-");
    return "";
  }
  void Sound(const std::string& file) const {
    std::system(("sox -n -r 22050 -b 16 -c 1 '" + Host(file) + "' synth 0.1 sine 440").c_str());
  }
  // Writes "info.txt" in the python codec and packs the folder; the pack's host path.
  std::string Pack(const PackDescription& info, const std::string& codec = "cp1252") const {
    m_dir.Write(m_name + ".utf8", info.Text());
    SLTestRunPython("open('" + Host("info.txt") + "','wb').write(open('" + m_dir.Host(m_name + ".utf8") +
                    "',encoding='utf-8').read().encode('" + codec + "'))");
    std::system(("'" SL_BINARY_DIR "/tools/slpack/slpack' -2 -k 0 '" + m_dir.Host(m_name) + "' '" +
                 m_dir.Host(m_name + ".DAT") + "' >/dev/null").c_str());
    return m_dir.Win(m_name + ".DAT");
  }

 private:
  const TempDir& m_dir;
  std::string m_name;
  mutable std::vector<std::pair<std::string, std::string>> m_pngs;
};

// The sound device on SDL's dummy driver, counting the sounds it holds.
struct CountingSfx : CSL_GS_Sfx_DirectX {
  bool CreateSoundObjects(SL_GS_SoundRecord* sound) override {
    const bool made = CSL_GS_Sfx_DirectX::CreateSoundObjects(sound);
    live += made;
    return made;
  }
  void FreeSoundObjects(SL_GS_SoundRecord* sound) override {
    --live;
    CSL_GS_Sfx_DirectX::FreeSoundObjects(sound);
  }
  int live = 0;
};

// A test with the memory graphics device, the counting sound device on a window, and one
// item pack named `name`; `freeList` empties the catalogue list the test loads into.
class AnimatedPackTest : public ::testing::Test {
 protected:
  AnimatedPackTest(const char* name, void (*freeList)()) : m_pack{m_dir, name}, m_freeList(freeList) {}
  void SetUp() override {
    SLTestRegisterClasses();
    m_window = SLTestMakeWindow("catalogo");
    ASSERT_TRUE(m_gfx.Init(nullptr, nullptr, nullptr));
    ASSERT_TRUE(m_sfx.Init(nullptr, m_window, nullptr));
    AdventureDevices_Set(&m_gfx, &m_sfx, nullptr);
  }
  void TearDown() override {
    m_freeList();
    AdventureDevices_Set(nullptr, nullptr, nullptr);
    m_sfx.Shutdown();
    DestroyWindow(m_window);
  }
  TempDir m_dir;
  AnimatedPack m_pack;
  CMemoryGfxDevice m_gfx;
  CountingSfx m_sfx;
  HWND m_window = nullptr;
  void (*m_freeList)();
};

// One edit of a valid description: refused with `code`, or (code 0) accepted with the
// line `changed` somewhere in the record's description.
struct OneKeyEdit {
  const char *section, *key, *value;
  u32 code;
  const char* changed;
};

// Loads every edit of `valid`; after each, the list is emptied and the devices must hold
// nothing, whatever the outcome.
template <class Record, size_t N, class Load, class Describe, class GetAt, class Free, class Held>
void RunOneKeyEdits(const PackDescription& valid, const OneKeyEdit (&rows)[N], Load load, Describe describe,
                    GetAt getAt, Free free, Held held) {
  for (const OneKeyEdit& row : rows) {
    SCOPED_TRACE(std::string(row.section) + "/" + row.key + "=" + (row.value ? row.value : "(none)"));
    Record* record = load(valid.With(row.section, row.key, row.value));
    if (row.code) {
      EXPECT_EQ(record, nullptr);
      EXPECT_EQ(SLGetLastError(), row.code) << std::hex << SLGetLastError();
    } else if (record) {
      EXPECT_NE(describe(record).find(row.changed), std::string::npos) << describe(record);
    } else {
      ADD_FAILURE() << std::hex << SLGetLastError();
    }
    EXPECT_EQ(getAt(record ? 1 : 0), nullptr);
    free();
    EXPECT_EQ(held(), 0u);
  }
}
