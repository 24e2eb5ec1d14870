// A content refresh keeps what the family put in the program's folder: movies, recordings,
// the settings file and anything else the generator did not write, byte for byte, also
// under a sample's name; a refresh that fails or stops half way leaves the old folder whole.
// The refresh is driven with small writers of the test's own, and the generator itself
// with its fixtures (under a second).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/ContentFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tools/contentgen/Refresh.h"

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// Every file under `folder` (links by their target's name) with its bytes.
Files Snapshot(const fs::path& folder) {
  Files files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string key = entry.path().lexically_relative(folder).generic_string();
    if (entry.is_symlink()) files[key] = "-> " + fs::read_symlink(entry.path()).string();
    else if (entry.is_regular_file()) contentgen::ReadBytes(entry.path(), &files[key]);
  }
  return files;
}

void Put(const fs::path& folder, const Files& files) {
  std::string error;
  for (const auto& [name, bytes] : files) ASSERT_TRUE(contentgen::WriteBytes(folder / name, bytes, &error)) << error;
}

// A writer of the given files; with `failAfter`, it stops with an error after that many.
contentgen::ContentWriter Writer(const Files& files, int failAfter = -1) {
  return [files, failAfter](const fs::path& out, std::string* error) {
    int written = 0;
    for (const auto& [name, bytes] : files) {
      if (written++ == failAfter) {
        *error = "the writer stopped";
        return false;
      }
      if (!contentgen::WriteBytes(out / name, bytes, error)) return false;
    }
    return true;
  };
}

const Files kFirst = {{"Gfx/Gfx.DAT", "interfaz 1"},
                      {"Aventuras Guardadas/Paseo en el parque.ZQTR", "pelicula de muestra 1"},
                      {"Sfx/Grabadas/Hola.WAV", "grabacion de muestra 1"},
                      {"Videos/Retirado.AVI", "un video que la version 2 ya no escribe"}};
const Files kSecond = {{"Gfx/Gfx.DAT", "interfaz 2"},
                       {"Aventuras Guardadas/Paseo en el parque.ZQTR", "pelicula de muestra 2"},
                       {"Sfx/Grabadas/Hola.WAV", "grabacion de muestra 2"},
                       {"Videos/Nuevo.AVI", "video 2"}};
// What a family leaves in the program's folder; "Hola.WAV" is recorded over a sample.
const Files kFamily = {{"Aventuras Guardadas/Mi perro.ZQTR", std::string("ZQTR\0\x01pelicula", 14)},
                       {"Sfx/Grabadas/Mi voz.WAV", "RIFF mi voz"},
                       {"Sfx/Grabadas/Hola.WAV", "RIFF hola grabado por la nena"},
                       {"Zarandulvortequimbaplastelo.ini", "[MP3]\nCarpeta=/home/familia/Musica\n"},
                       {"Videos Exportados/Mi perro.AVI", "RIFF exportado"},
                       {"notas de mama.txt", "no borrar"}};

TEST(ContentRefresh, KeepsEveryFileTheGeneratorDidNotWriteByteForByte) {
  TempDir temp;
  const fs::path dir = temp.Host("content");
  std::string error;
  ASSERT_TRUE(contentgen::Refresh(dir, "sello 1\n", Writer(kFirst), &error)) << error;
  Put(dir, kFamily);
  Put(dir, {{"Zarandulvortequimbaplastelo", "programa viejo"}});
  fs::create_directories(dir / "Aventuras Guardadas" / "Carpeta vacia");
  fs::create_symlink("/home/familia/Musica", dir / "Musica");
  const auto saved = fs::file_time_type::clock::now() - std::chrono::hours(24 * 40);
  fs::last_write_time(dir / "Aventuras Guardadas/Mi perro.ZQTR", saved);

  ASSERT_TRUE(contentgen::Refresh(dir, "sello 2\n", Writer(kSecond), &error)) << error;
  Files expected = kSecond;
  for (const auto& [name, bytes] : kFamily) expected[name] = bytes;
  expected["Musica"] = "-> /home/familia/Musica";
  // The program's copy too: a program started from the folder meanwhile finds it.
  expected["Zarandulvortequimbaplastelo"] = "programa viejo";
  Files found = Snapshot(dir);
  EXPECT_EQ(found.erase(contentgen::kManifestName), 1u);
  EXPECT_EQ(found.erase(contentgen::kStampName), 1u);
  EXPECT_EQ(found, expected);
  EXPECT_TRUE(fs::is_directory(dir / "Aventuras Guardadas" / "Carpeta vacia"));
  EXPECT_EQ(fs::last_write_time(dir / "Aventuras Guardadas/Mi perro.ZQTR"), saved);
  EXPECT_EQ(temp.Read("content/contentgen.stamp"), "sello 2\n");
  EXPECT_FALSE(fs::exists(temp.Host("content.tmp")));
  EXPECT_FALSE(fs::exists(temp.Host("content.old")));

  // The recording made over the sample stays the family's in every later refresh, and a
  // sample the family saved over again is the family's from then on.
  Put(dir, {{"Aventuras Guardadas/Paseo en el parque.ZQTR", "el paseo, cambiado por la nena"}});
  ASSERT_TRUE(contentgen::Refresh(dir, "sello 3\n", Writer(kFirst), &error)) << error;
  EXPECT_EQ(temp.Read("content/Sfx/Grabadas/Hola.WAV"), "RIFF hola grabado por la nena");
  EXPECT_EQ(temp.Read("content/Aventuras Guardadas/Paseo en el parque.ZQTR"), "el paseo, cambiado por la nena");
  EXPECT_EQ(temp.Read("content/Gfx/Gfx.DAT"), "interfaz 1");
  EXPECT_FALSE(fs::exists(dir / "Videos/Nuevo.AVI"));
  EXPECT_EQ(temp.Read("content/Aventuras Guardadas/Mi perro.ZQTR"), kFamily.at("Aventuras Guardadas/Mi perro.ZQTR"));
}

// A folder written before the generator kept its list: the new content decides. Its own
// folders (pictures, videos) are the generator's; in the family's folders only a file
// with the new sample's exact bytes is.
TEST(ContentRefresh, AFolderWithoutAListLosesNothingOfTheFamilys) {
  TempDir temp;
  const fs::path dir = temp.Host("content");
  Put(dir, {{contentgen::kStampName, "contentgen 1\n"},
            {"Gfx/Gfx.DAT", "interfaz vieja"},
            {"Aventuras Guardadas/Paseo en el parque.ZQTR", "pelicula de muestra vieja"},
            {"Sfx/Grabadas/Hola.WAV", "grabacion de muestra 2"}});
  Put(dir, kFamily);
  std::string error;
  ASSERT_TRUE(contentgen::Refresh(dir, "sello 2\n", Writer(kSecond), &error)) << error;
  EXPECT_EQ(temp.Read("content/Gfx/Gfx.DAT"), "interfaz 2");
  EXPECT_EQ(temp.Read("content/Aventuras Guardadas/Paseo en el parque.ZQTR"), "pelicula de muestra vieja");
  for (const auto& [name, bytes] : kFamily) EXPECT_EQ(temp.Read("content/" + name), bytes) << name;
}

// A pack cut short or a font deleted outside the family's folders is damaged content, and
// a refresh writes it again; a sample movie or recording the family saved over, a sample
// the family deleted and every unlisted file stay as they are.
TEST(ContentRefresh, DamagedContentIsWrittenAgainAndTheFamilysStays) {
  TempDir temp;
  const fs::path dir = temp.Host("content");
  Files first = kFirst;
  first["Gfx/Letra_8.FNT"] = "fuente";
  first["Videos Exportados/Muestra.AVI"] = "video exportado de muestra";
  std::string error;
  ASSERT_TRUE(contentgen::Refresh(dir, "sello 1\n", Writer(first), &error)) << error;
  bool listed = false;
  const contentgen::Manifest list = contentgen::ReadManifest(dir / contentgen::kManifestName, &listed);
  ASSERT_TRUE(listed);
  EXPECT_TRUE(contentgen::DamagedContent(dir, list).empty());

  Put(dir, kFamily);
  Put(dir, {{"Aventuras Guardadas/Paseo en el parque.ZQTR", "la pelicula de la nena"}});
  fs::remove(dir / "Videos Exportados/Muestra.AVI");
  fs::resize_file(dir / "Gfx/Gfx.DAT", 3);
  fs::remove(dir / "Gfx/Letra_8.FNT");
  // The same size, one byte changed: only the bytes tell.
  Put(dir, {{"Videos/Retirado.AVI", "un video que la version 2 ya no escribO"}});
  const std::vector<std::string> damaged = contentgen::DamagedContent(dir, list);
  EXPECT_EQ(damaged, (std::vector<std::string>{"Gfx/Gfx.DAT", "Gfx/Letra_8.FNT", "Videos/Retirado.AVI"}));

  ASSERT_TRUE(contentgen::Refresh(dir, "sello 1\n", Writer(first), &error)) << error;
  Files expected = first;
  for (const auto& [name, bytes] : kFamily) expected[name] = bytes;
  expected["Aventuras Guardadas/Paseo en el parque.ZQTR"] = "la pelicula de la nena";
  Files found = Snapshot(dir);
  found.erase(contentgen::kManifestName);
  found.erase(contentgen::kStampName);
  // A refresh brings a deleted sample back, as it always has; the check alone does not
  // count it as damage.
  EXPECT_EQ(found, expected);
  const contentgen::Manifest after = contentgen::ReadManifest(dir / contentgen::kManifestName, &listed);
  EXPECT_TRUE(contentgen::DamagedContent(dir, after).empty());
  EXPECT_EQ(after.count("Aventuras Guardadas/Paseo en el parque.ZQTR"), 0u);

  // A listed file that the next content no longer writes goes as it was written, and is
  // kept once changed: nothing is written again in its place.
  Put(dir, {{"Videos/Retirado.AVI", "el video, cambiado"}});
  ASSERT_TRUE(contentgen::Refresh(dir, "sello 2\n", Writer(kSecond), &error)) << error;
  EXPECT_EQ(temp.Read("content/Videos/Retirado.AVI"), "el video, cambiado");
  EXPECT_FALSE(fs::exists(dir / "Gfx/Letra_8.FNT"));
  EXPECT_EQ(temp.Read("content/Gfx/Gfx.DAT"), "interfaz 2");
}

// A writer that fails half way, and each point where a run can stop in its swap.
TEST(ContentRefresh, AFailedOrStoppedRefreshLeavesTheOldFolderWhole) {
  TempDir temp;
  const fs::path dir = temp.Host("content"), old = temp.Host("content.old");
  std::string error;
  ASSERT_TRUE(contentgen::Refresh(dir, "sello 1\n", Writer(kFirst), &error)) << error;
  Put(dir, kFamily);
  const Files before = Snapshot(dir);

  EXPECT_FALSE(contentgen::Refresh(dir, "sello 2\n", Writer(kSecond, 2), &error));
  EXPECT_EQ(error, "the writer stopped");
  EXPECT_EQ(Snapshot(dir), before);
  EXPECT_FALSE(fs::exists(temp.Host("content.tmp")));

  // Stopped between its two renames: no DIR, the old one aside.
  fs::rename(dir, old);
  ASSERT_TRUE(contentgen::Recover(dir, &error)) << error;
  EXPECT_EQ(Snapshot(dir), before);
  EXPECT_FALSE(fs::exists(old));

  // Stopped while removing the old folder, after a swap by a generator that carried
  // nothing: what the family had there and the new folder lacks goes in; the new
  // folder's own files stay.
  ASSERT_TRUE(contentgen::Refresh(dir, "sello 2\n", Writer(kSecond), &error)) << error;
  const Files after = Snapshot(dir);
  Put(old, {{contentgen::kStampName, "sello 1\n"},
            {"Aventuras Guardadas/Perdida.ZQTR", "una pelicula que solo quedo aqui"},
            {"Sfx/Grabadas/Hola.WAV", "otra version"},
            {"Gfx/Gfx.DAT", "interfaz 1"}});
  ASSERT_TRUE(contentgen::Recover(dir, &error)) << error;
  Files expected = after;
  expected["Aventuras Guardadas/Perdida.ZQTR"] = "una pelicula que solo quedo aqui";
  EXPECT_EQ(Snapshot(dir), expected);
  EXPECT_FALSE(fs::exists(old));
}

// The generator itself, refreshing its fixtures under a changed stamp: the family's
// files stay, the samples are its own again, and a folder left aside by a stopped run
// comes back.
TEST(ContentGenerator, ARefreshKeepsTheFamilysMoviesRecordingsAndSettings) {
  TempDir temp;
  const std::string run = "'" + content_test::kGenerator + "' --fixtures '" + temp.Host("f") + "' >/dev/null";
  ASSERT_EQ(std::system(run.c_str()), 0);
  const Files samples = Snapshot(temp.Host("f"));
  bool listed = false;
  const contentgen::Manifest list = contentgen::ReadManifest(temp.Host("f/contentgen.files"), &listed);
  ASSERT_TRUE(listed);
  ASSERT_EQ(list.size() + 2, samples.size());
  // One sample pack changed on disk: outside the family's folders it is the generator's
  // and comes back as written.
  const std::string sample = list.rbegin()->first;
  Put(temp.Host("f"), kFamily);
  Put(temp.Host("f"), {{sample, "otros bytes en un paquete de la muestra"}});
  Put(temp.Host("f"), {{contentgen::kStampName, "contentgen 0 fixtures\n"}});

  ASSERT_EQ(std::system(run.c_str()), 0);
  Files expected = samples;
  for (const auto& [name, bytes] : kFamily) expected[name] = bytes;
  EXPECT_EQ(Snapshot(temp.Host("f")), expected);

  fs::rename(temp.Host("f"), temp.Host("f.old"));
  ASSERT_EQ(WEXITSTATUS(std::system(run.c_str())), 0);
  EXPECT_EQ(temp.Read("f/" + sample), samples.at(sample));
  EXPECT_EQ(temp.Read("f/Zarandulvortequimbaplastelo.ini"), kFamily.at("Zarandulvortequimbaplastelo.ini"));
  EXPECT_FALSE(fs::exists(temp.Host("f.old")));
}

// The generator under its current stamp still reads its files: a listed file cut short or
// deleted is written again, the family's files stay, and a folder that lost its stamp
// but keeps its list is refreshed rather than refused.
TEST(ContentGenerator, ACurrentStampStillRepairsDamagedFiles) {
  TempDir temp;
  const std::string run = "'" + content_test::kGenerator + "' --fixtures '" + temp.Host("f") + "' 2>&1";
  ASSERT_EQ(std::system((run + " >/dev/null").c_str()), 0);
  const Files samples = Snapshot(temp.Host("f"));
  bool listed = false;
  const contentgen::Manifest list = contentgen::ReadManifest(temp.Host("f/contentgen.files"), &listed);
  ASSERT_TRUE(listed);
  ASSERT_GE(list.size(), 2u);
  const std::string cut = list.begin()->first, deleted = list.rbegin()->first;
  Put(temp.Host("f"), kFamily);
  Files expected = samples;
  for (const auto& [name, bytes] : kFamily) expected[name] = bytes;
  EXPECT_NE(SLTestCapture(run).find("up to date"), std::string::npos);

  fs::resize_file(temp.Host("f/" + cut), samples.at(cut).size() / 2);
  fs::remove(temp.Host("f/" + deleted));
  const std::string repaired = SLTestCapture(run);
  EXPECT_NE(repaired.find("2 of its files missing or changed"), std::string::npos) << repaired;
  EXPECT_EQ(Snapshot(temp.Host("f")), expected);

  fs::remove(temp.Host("f/contentgen.stamp"));
  fs::remove(temp.Host("f/" + cut));
  EXPECT_EQ(std::system((run + " >/dev/null").c_str()), 0);
  EXPECT_EQ(Snapshot(temp.Host("f")), expected);
  EXPECT_FALSE(fs::exists(temp.Host("f.old")) || fs::exists(temp.Host("f.tmp")));
}

// A refresh killed at any moment (here at several points of a fixtures run) loses none of
// the family's files: the next run finds them all, byte for byte.
TEST(ContentGenerator, ARefreshKilledAtAnyMomentLosesNothing) {
  TempDir temp;
  const std::string generator = "'" + content_test::kGenerator + "' --fixtures '" + temp.Host("f") + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(generator.c_str()), 0);
  Put(temp.Host("f"), kFamily);
  for (const char* seconds : {"0.05", "0.2", "0.4", "0.6", "0.8"}) {
    SCOPED_TRACE(seconds);
    Put(temp.Host("f"), {{contentgen::kStampName, "contentgen 0 fixtures\n"}});
    std::system(("timeout -s KILL " + std::string(seconds) + " " + generator).c_str());
    ASSERT_EQ(std::system(generator.c_str()), 0);
    for (const auto& [name, bytes] : kFamily) EXPECT_EQ(temp.Read("f/" + name), bytes) << name;
    EXPECT_FALSE(fs::exists(temp.Host("f.old")));
  }
}

}  // namespace
