// The built program in a folder of its own, for runs on a virtual display: the large
// content of build/content linked, the family's own files (saved movies, recordings,
// settings) copied so that what a run writes stays there, and the program copied beside
// them, since it takes every path from its own directory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

// `copied`: further folders one level down ("Gfx/Fondos") that are copied rather than
// linked, so that the test may damage their files.
inline void SLPlaceProgram(const TempDir& dir, const std::vector<std::string>& copied = {}) {
  namespace fs = std::filesystem;
  const fs::path content = SL_BINARY_DIR "/content";
  for (const fs::directory_entry& top : fs::directory_iterator(content)) {
    const fs::path name = top.path().filename();
    if (!top.is_directory()) {
      fs::copy_file(top.path(), dir.Host(name));
      continue;
    }
    const bool own = name == "Aventuras Guardadas";
    fs::create_directory(dir.Host(name));
    for (const fs::directory_entry& entry : fs::directory_iterator(top.path())) {
      const fs::path relative = name / entry.path().filename();
      bool copy = own || entry.path().filename() == "Grabadas";
      for (const std::string& folder : copied) copy = copy || relative == fs::path(folder);
      if (copy)
        fs::copy(entry.path(), dir.Host(relative), fs::copy_options::recursive);
      else
        fs::create_symlink(entry.path(), dir.Host(relative));
    }
  }
  fs::remove(dir.Host("Zarandulvortequimbaplastelo"));
  fs::copy_file(SL_BINARY_DIR "/Zarandulvortequimbaplastelo", dir.Host("Zarandulvortequimbaplastelo"));
}
