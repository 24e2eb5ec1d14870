// The fixture folder the loading and building-box tests share: the content generator's
// fixtures (item packs, broken variants, the building-box pack with four boxes), written
// once per test program, and the boxes' videos made with ffmpeg: box 3 holds seven, one
// of them without sound and one without any frame.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/ContentFiles.h"
#include "tests/support/TempDir.h"

namespace LoadingFixtures {

inline bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

// A 15 frames-per-second MJPEG test picture of `seconds`, with a sine tone unless told.
inline bool MakeVideo(const std::string& path, int seconds, bool withSound) {
  std::string command = "ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=15:duration=" + std::to_string(seconds);
  if (withSound)
    command += " -f lavfi -i sine=frequency=440:sample_rate=22050:duration=" + std::to_string(seconds) +
               " -c:a pcm_s16le -shortest";
  return Run(command + " -c:v mjpeg '" + path + "' </dev/null");
}

// The folder (a program folder: Gfx, Sfx, Variantes), made on first use.
inline const std::string& Dir() {
  static TempDir* dir = nullptr;
  static std::string path;
  if (dir) return path;
  dir = new TempDir;  // left to the process end: every test of the program reads it
  path = dir->Host("f");
  if (!Run("'" + content_test::kGenerator + "' --fixtures '" + path + "' >/dev/null"))
    ADD_FAILURE() << "contentgen --fixtures failed";
  return path;
}

// The same folder with the boxes' videos in Videos/Cajas.
inline const std::string& BoxDir() {
  static bool made = false;
  const std::string& path = Dir();
  if (made) return path;
  made = true;
  namespace fs = std::filesystem;
  const std::string cajas = path + "/Videos/Cajas/";
  for (const char* box : {"00001", "00002", "00003", "00004"}) fs::create_directories(cajas + box);
  bool ok = MakeVideo(cajas + "00001/Uno.AVI", 2, true) && MakeVideo(cajas + "00002/Dos.AVI", 1, true);
  // Box 3: seven videos, "Paso 1".."Paso 5" with sound, "Paso 6 mudo" without, "Paso 7 vacio" with no frame.
  for (int i = 1; ok && i <= 5; ++i) ok = MakeVideo(cajas + "00003/Paso " + std::to_string(i) + ".AVI", 2, true);
  ok = ok && MakeVideo(cajas + "00003/Paso 6 mudo.AVI", 2, false) &&
       Run("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=15 -frames:v 0 -c:v mjpeg '" + cajas +
           "00003/Paso 7 vacio.AVI' </dev/null");
  if (!ok) ADD_FAILURE() << "ffmpeg could not make the box videos";
  return path;
}

// A program file name inside a folder, for SLPlatformSetProgramFileName.
inline std::string ProgramIn(const std::string& folder) { return folder + "/Zarandulvortequimbaplastelo"; }

}  // namespace LoadingFixtures
