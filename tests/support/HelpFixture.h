// A compiled help file for the help tests: a small project (Spanish pages in UTF-8 and
// Windows-1252, a page and a picture in a sub-folder, a page in a folder whose name the
// damaged copy turns into "..") compiled with chmcmd from Debian's fp-utils, and a stub
// viewer that logs the page it is given and then waits for SIGTERM.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

class HelpFixture {
 public:
  HelpFixture() {
    mkdir(dir.Host("src").c_str(), 0755);
    mkdir(dir.Host("src/sub").c_str(), 0755);
    mkdir(dir.Host("src/xx").c_str(), 0755);
    mkdir(dir.Host("runtime").c_str(), 0700);
    dir.Write("src/ayuda.hhp",
              "[OPTIONS]\nCompatibility=1.1 or later\nCompiled file=ayuda.chm\nDefault topic=contenido.htm\n"
              "Language=0xc0a Spanish\nTitle=Ayuda\n\n[FILES]\ncontenido.htm\nPaginas.htm\nsub/dibujo.htm\n"
              "sub/punto.png\nxx/a.htm\n");
    dir.Write("src/contenido.htm", kContents);
    dir.Write("src/Paginas.htm", "<html><meta charset=\"windows-1252\"><body>Ma\xf1" "ana, ni\xf1os</body></html>\n");
    dir.Write("src/sub/dibujo.htm", "<html><body><img src=\"punto.png\"></body></html>\n");
    dir.Write("src/sub/punto.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    dir.Write("src/xx/a.htm", "<p>fuera</p>\n");
    SLTestCapture("cd '" + dir.Host("src") + "' && chmcmd ayuda.hhp >/dev/null 2>&1");
    chm = dir.Read("src/ayuda.chm");
    // The program names its help file in Windows-1252: "Ayuda Niños.chm".
    dir.Write("Ayuda Ni\xc3\xb1os.chm", chm);
    dir.Write("corto.chm", chm.substr(0, chm.size() / 2));
    std::string hostile = chm;
    for (size_t at = hostile.find("/xx/"); at != std::string::npos; at = hostile.find("/xx/", at)) hostile.replace(at, 4, "/../");
    dir.Write("fuera.chm", hostile);
    dir.Write("viewer.sh",
              "#!/bin/sh\ntrap 'echo term >> \"" + dir.Host("viewer.log") + "\"; exit 0' TERM\necho \"$1\" >> \"" +
                  dir.Host("viewer.log") + "\"\nwhile :; do sleep 0.02; done\n");
    chmod(dir.Host("viewer.sh").c_str(), 0755);
    setenv("SL_HELP_VIEWER", dir.Host("viewer.sh").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir.Host("runtime").c_str(), 1);
  }

  // The Windows-1252 name of the good file, as the program passes it.
  std::string WinName() const { return dir.Win("Ayuda Ni\xf1os.chm"); }
  // The log's lines once it has at least `count` of them (or after a minute: the viewers
  // are processes of their own, slow to start on a loaded machine).
  std::string WaitForLog(int count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string log;
    while (std::chrono::steady_clock::now() < deadline) {
      log = dir.Read("viewer.log");
      int lines = 0;
      for (char c : log) lines += c == '\n';
      if (lines >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return log;
  }
  std::string Runtime() const { return dir.Host("runtime"); }
  bool RuntimeEmpty() const { return SLTestCapture("ls -A '" + Runtime() + "'").empty(); }

  static constexpr const char* kContents =
      "<html><body><h1>Contenido</h1><p>Canci\xc3\xb3n para ni\xc3\xb1os</p></body></html>\n";
  TempDir dir;
  std::string chm;
};
