// A fresh directory under /tmp for one test, removed with everything in it afterwards
// (write permission restored first, so read-only leftovers go too).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

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
    std::string command = "chmod -R u+w '" + m_path + "' 2>/dev/null; rm -rf '" + m_path + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << m_path;
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
