// Replacing a file through a temporary of the writer's own: writers of one file at once
// stay out of each other's temporary and the last commit wins; what a killed writer left
// goes with the next claim of its name, and nothing that is no writer's is touched; no
// failure leaves a temporary behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "foundation/SLLibrary.h"
#include "storage/SLFileReplacement.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

bool Put(CSLFileReplacement& file, const std::string& bytes) {
  return file.GetStorage()->Write(bytes.data(), bytes.size()) == bytes.size();
}

std::set<std::string> Entries(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Host())) names.insert(entry.path().filename().string());
  return names;
}

TEST(FileReplacement, WritersOfOneFileKeepApartAndTheLastCommitWins) {
  TempDir dir;
  dir.Write("ajustes.ini", "viejo");
  CSLFileReplacement first, second;
  ASSERT_TRUE(first.BeginA(dir.Win("ajustes.ini").c_str()));
  ASSERT_TRUE(second.BeginA(dir.Win("ajustes.ini").c_str()));
  ASSERT_TRUE(Put(first, "primero"));
  ASSERT_TRUE(Put(second, "segundo"));
  EXPECT_EQ(Entries(dir), (std::set<std::string>{".ajustes.ini.1.tmp", ".ajustes.ini.2.tmp", "ajustes.ini"}));
  EXPECT_EQ(dir.Read("ajustes.ini"), "viejo");
  SL_EXPECT_OK(second.Commit());
  EXPECT_EQ(dir.Read("ajustes.ini"), "segundo");
  SL_EXPECT_OK(first.Commit());
  EXPECT_EQ(dir.Read("ajustes.ini"), "primero");
  EXPECT_EQ(Entries(dir), std::set<std::string>{"ajustes.ini"});
}

TEST(FileReplacement, AKilledWritersTemporaryGoesAndNothingElseIsTouched) {
  TempDir dir;
  dir.Write("peli.ZQTR", "vieja");
  dir.Write("otra.ZQTR", "de la familia");
  // Under the first two names: a folder, and a link to a family's movie.
  fs::create_directory(dir.Host(".peli.ZQTR.1.tmp"));
  fs::create_symlink(dir.Host("otra.ZQTR"), dir.Host(".peli.ZQTR.2.tmp"));
  const pid_t child = fork();
  if (child == 0) {
    CSLFileReplacement file;
    if (file.BeginA(dir.Win("peli.ZQTR").c_str()) && Put(file, "a medias")) kill(getpid(), SIGKILL);
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(dir.Read(".peli.ZQTR.3.tmp"), "a medias");

  CSLFileReplacement file;
  ASSERT_TRUE(file.BeginA(dir.Win("peli.ZQTR").c_str()));
  ASSERT_TRUE(Put(file, "nueva"));
  SL_EXPECT_OK(file.Commit());
  EXPECT_EQ(dir.Read("peli.ZQTR"), "nueva");
  EXPECT_EQ(dir.Read("otra.ZQTR"), "de la familia");
  EXPECT_EQ(Entries(dir), (std::set<std::string>{".peli.ZQTR.1.tmp", ".peli.ZQTR.2.tmp", "otra.ZQTR", "peli.ZQTR"}));
}

TEST(FileReplacement, NoFailureLeavesATemporaryBehind) {
  TempDir dir;
  {
    CSLFileReplacement dropped;
    ASSERT_TRUE(dropped.BeginA(dir.Win("a.ini").c_str()));
    ASSERT_TRUE(Put(dropped, "sin terminar"));
  }
  // A folder where the file should go: the rename fails with the system's word on it.
  fs::create_directory(dir.Host("carpeta"));
  CSLFileReplacement file;
  ASSERT_TRUE(file.BeginA(dir.Win("carpeta").c_str()));
  SL_EXPECT_FAIL(file.Commit(), SL_E_STORAGE_WRITE);
  EXPECT_EQ(SLGetSystemLastError(), u32(ERROR_ACCESS_DENIED));
  // A name that leaves no room for its temporary's.
  SL_EXPECT_FAIL(file.BeginA(dir.Win(std::string(250, 'n')).c_str()), SL_E_STORAGE_CREATE);
  EXPECT_EQ(SLGetSystemLastError(), u32(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_EQ(Entries(dir), std::set<std::string>{"carpeta"});
}

}  // namespace
