// The user's special folders: XDG user directories, their fall-backs and creation.
#include "platform/shell32/Shell32.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <cstdint>
#include <string>

#include "platform/kernel32/Modules.h"
#include "tests/support/TempDir.h"

namespace {

// HOME and XDG_CONFIG_HOME pointed into a temporary folder for one test.
class TestHome {
 public:
  TestHome() {
    Save("HOME", &home_);
    Save("XDG_CONFIG_HOME", &config_);
    setenv("HOME", dir_.Host().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
  }
  ~TestHome() {
    Restore("HOME", home_);
    Restore("XDG_CONFIG_HOME", config_);
  }
  void WriteUserDirs(const std::string& text) {
    std::filesystem::create_directories(dir_.Host(".config"));
    std::ofstream(dir_.Host(".config/user-dirs.dirs")) << text;
  }
  std::string Path(const std::string& relative) const { return dir_.Host(relative); }

 private:
  struct Saved {
    bool set = false;
    std::string value;
  };
  static void Save(const char* name, Saved* saved) {
    if (const char* value = getenv(name)) saved->set = true, saved->value = value;
  }
  static void Restore(const char* name, const Saved& saved) {
    if (saved.set)
      setenv(name, saved.value.c_str(), 1);
    else
      unsetenv(name);
  }
  TempDir dir_;
  Saved home_, config_;
};

bool IsDir(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

TEST(Shell32, FoldersComeFromUserDirsOrTheHomeFallBacks) {
  TestHome home;
  char path[260];
  // No user-dirs.dirs: the usual names under HOME, created on request only.
  EXPECT_EQ(std::uint32_t(SHGetFolderPathA(nullptr, CSIDL_MYVIDEO, nullptr, 0, path)), 0x80070003u);
  EXPECT_FALSE(IsDir(home.Path("Videos")));
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_MYVIDEO | CSIDL_FLAG_CREATE, nullptr, 0, path), 0);
  EXPECT_EQ(std::string(path), home.Path("Videos"));
  EXPECT_TRUE(IsDir(home.Path("Videos")));
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, 0, path), 0);
  EXPECT_EQ(std::string(path), home.Path("Documents"));

  // The desktop's own names, in UTF-8 on disk and Windows-1252 for the program.
  home.WriteUserDirs("# written by xdg-user-dirs-update\n"
                     "XDG_VIDEOS_DIR=\"$HOME/V\xC3\xAD" "deos\"\n"
                     "XDG_DOCUMENTS_DIR=\"" + home.Path("Docs/Mios") + "\"\n");
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_MYVIDEO | CSIDL_FLAG_CREATE, nullptr, 0, path), 0);
  EXPECT_EQ(std::string(path), home.Path("V\xED" "deos"));
  EXPECT_TRUE(IsDir(home.Path("V\xC3\xAD" "deos")));
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, CSIDL_FLAG_CREATE, path), 0);
  EXPECT_EQ(std::string(path), home.Path("Docs/Mios"));
}

TEST(Shell32, FoldersThisSystemCannotGiveFail) {
  TestHome home;
  char path[260] = "x";
  // Folders shared by every user do not exist here.
  for (int folder : {CSIDL_COMMON_VIDEO, CSIDL_COMMON_DOCUMENTS}) {
    EXPECT_LT(SHGetFolderPathA(nullptr, folder | CSIDL_FLAG_CREATE, nullptr, 0, path), 0) << folder;
    EXPECT_EQ(path[0], 0);
  }
  // A name the 8-bit code page cannot write fails, so the caller tries the next folder.
  home.WriteUserDirs("XDG_VIDEOS_DIR=\"$HOME/\xE8\xA7\x86\xE9\xA2\x91\"\n");
  EXPECT_EQ(std::uint32_t(SHGetFolderPathA(nullptr, CSIDL_MYVIDEO | CSIDL_FLAG_CREATE, nullptr, 0, path)), 0x80004005u);
  EXPECT_LT(SHGetFolderPathA(nullptr, CSIDL_MYVIDEO, nullptr, 0, nullptr), 0);
}

TEST(Shell32, AValueWithANulByteIsPassedOverNotCutShort) {
  TestHome home;
  char path[260];
  // Cut at the NUL it would name "$HOME/a/", a folder other than the one written.
  home.WriteUserDirs("XDG_VIDEOS_DIR=\"$HOME/Peliculas\"\n" + std::string("XDG_VIDEOS_DIR=\"$HOME/a/\0b\"\n", 28));
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_MYVIDEO | CSIDL_FLAG_CREATE, nullptr, 0, path), 0);
  EXPECT_EQ(std::string(path), home.Path("Peliculas"));
  EXPECT_FALSE(IsDir(home.Path("a")));
}

TEST(Shell32, TheModuleIsBuiltIn) {
  HMODULE module = GetModuleHandleA("SHELL32.DLL");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(SLPlatformFindExport(module, "SHGetFolderPathA"), reinterpret_cast<void*>(&SHGetFolderPathA));
  HMODULE wmv = GetModuleHandleA("wmvcore.dll");
  ASSERT_NE(wmv, nullptr);
  EXPECT_NE(SLPlatformFindExport(wmv, "WMCreateWriter"), nullptr);
  EXPECT_NE(SLPlatformFindExport(wmv, "WMCreateProfileManager"), nullptr);
}
