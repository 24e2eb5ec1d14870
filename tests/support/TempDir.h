// A fresh directory under /tmp for one test, removed with everything in it afterwards
// (write permission restored first, so read-only leftovers go too).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/sltestXXXXXX";
    if (mkdtemp(pattern)) m_path = pattern;
  }
  ~TempDir() {
    if (m_path.empty()) return;
    namespace fs = std::filesystem;
    std::error_code error, ignored;
    // A directory's entries go only when the owner may write (and enter) it; each
    // directory is opened up before the walk descends into it.
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (fs::recursive_directory_iterator entry(m_path, ignored), end; !ignored && entry != end; entry.increment(ignored)) {
      if (entry->is_symlink(error)) continue;
      const fs::perms wanted = entry->is_directory(error) ? fs::perms::owner_all : fs::perms::owner_write;
      fs::permissions(entry->path(), wanted, fs::perm_options::add, error);
    }
    fs::remove_all(m_path, error);
    if (error) ADD_FAILURE() << "could not remove " << m_path << ": " << error.message();
  }
  // Host path of a relative name.
  std::string Host(const std::string& relative = "") const {
    return relative.empty() ? m_path : m_path + "/" + relative;
  }
  // The same place written the Windows way, as the program builds its paths.
  std::string Win(const std::string& relative = "") const {
    std::string path = Host(relative);
    for (char& c : path)
      if (c == '/') c = '\\';
    return path;
  }
  void Write(const std::string& relative, const std::string& content) const {
    std::ofstream(Host(relative), std::ios::binary) << content;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(Host(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string m_path;
};
