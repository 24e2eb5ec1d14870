// The project file with the sample item set: the sample movie loads and saves back byte
// for byte, a generated movie survives a save and a load, hostile files (written by a
// python script beside the sample's own writer) end as the loader promises, and a save
// that meets a full disk keeps the previous file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "adventure/movie/Movie.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "app/project/ProjectFile.h"
#include "foundation/SLMemory.h"
#include "platform/kernel32/Modules.h"
#include "tests/foundation/ChildProcess.h"
#include "tests/support/ContentFiles.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentCatalog.h"
#include "tests/support/OrdinaryUser.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using content_test::Narrow;
using content_test::Read;

const std::string kSample = "Paseo en el parque";

// The program started on the dummy drivers with the sample item set in its catalogue, and
// a scratch folder in place of the program's, holding "Aventuras Guardadas" with the
// sample movie and the crafted files.
class ProjectFile : public AppScreenTest {
 protected:
  static void SetUpTestSuite() {
    AppScreenTest::SetUpTestSuite();
    const std::string& content = AppHarness::ContentDir();
    ContentCatalog_Load(content);
    s_dir = new TempDir();
    fs::create_directories(s_dir->Host("Aventuras Guardadas"));
    fs::copy_file(content + "/Aventuras Guardadas/" + kSample + ".ZQTR", Saved(kSample));
    const std::string script = "import sys\nsys.argv = ['x', '" + s_dir->Host("Aventuras Guardadas") +
                               "']\nsys.path.insert(0, '" SL_SOURCE_DIR "/tools/fixtures')\n"
                               "import make_crafted_projects\nmake_crafted_projects.main()\n";
    SLTestRunPython(script);
  }
  static void TearDownTestSuite() {
    Movie_Clear(Movie_Get());
    ContentCatalog_Free();
    delete s_dir;
    AppScreenTest::TearDownTestSuite();
  }
  void SetUp() override {
    AppScreenTest::SetUp();
    SLPlatformSetProgramFileName(s_dir->Host("Zarandulvortequimbaplastelo").c_str());
  }
  void TearDown() override {
    SLPlatformSetDiskFullAfter(false);
    // Boxes left open by a save are answered so that the next test starts without levels.
    while (CSL_GS_GuiWindow* box = TopLevelWithId(1026)) box->OnCommand(box, MSGBOX_ACCEPT);
    AppHarness::DrainQueue();
    SLPlatformSetProgramFileName(AppHarness::ProgramPath().c_str());
    AppScreenTest::TearDown();
  }

  static std::string Saved(const std::string& name) { return s_dir->Host("Aventuras Guardadas/" + name + ".ZQTR"); }
  static u32 Load(const std::string& name) { return ProjectFile_Load(Narrow(name).c_str()); }
  static std::string SaveAs(const std::string& name) {
    ProjectFile_Save(Narrow(name).c_str());
    return Read(Saved(name));
  }
  // The first line of the save's message box, which the test then answers.
  static std::string SaveMessage() {
    CSL_GS_GuiWindow* box = TopLevelWithId(1026);
    if (!box) return "(no box)";
    CSL_GS_GuiWindow* line = App_GuiManager().FindChildById(box, MSGBOX_FIRST_LINE_ID);
    const std::string text = line ? line->GetText() : "(no line)";
    box->OnCommand(box, MSGBOX_ACCEPT);
    return text;
  }
  // Every line of the save's message box, which the test then answers.
  static std::vector<std::string> SaveLines() {
    std::vector<std::string> lines;
    CSL_GS_GuiWindow* box = TopLevelWithId(1026);
    for (u32 id = MSGBOX_FIRST_LINE_ID; box; ++id) {
      CSL_GS_GuiWindow* line = App_GuiManager().FindChildById(box, id);
      if (!line) break;
      lines.push_back(line->GetText());
    }
    if (box) box->OnCommand(box, MSGBOX_ACCEPT);
    return lines;
  }
  // The save's box as one text, its lines joined by spaces (a long folder may wrap), the
  // empty ones left out; the box is then answered.
  static std::string SaveText() {
    std::string text;
    for (const std::string& line : SaveLines())
      if (!line.empty()) text += (text.empty() ? "" : " ") + line;
    return text;
  }
  static u32 Scenes() { return Movie_SceneCount(Movie_Get()); }
  // The temporary files that saves left in the movies' folder.
  static std::vector<std::string> Temporaries() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(s_dir->Host("Aventuras Guardadas")))
      if (entry.path().extension() == ".tmp") names.push_back(entry.path().filename().string());
    return names;
  }

  static TempDir* s_dir;
};
TempDir* ProjectFile::s_dir = nullptr;

TEST_F(ProjectFile, SampleMovieLoadsWithItsItemsAndSavesBackByteForByte) {
  ASSERT_EQ(Load(kSample), 1u);
  Movie* movie = Movie_Get();
  ASSERT_EQ(Scenes(), 2u);
  EXPECT_STREQ(movie->name, Narrow(kSample).c_str());
  EXPECT_EQ(movie->modified, 0u);
  Scene* first = Movie_SceneAt(movie, 0);
  EXPECT_EQ(Scene_CharacterCount(first), 1u);
  ASSERT_EQ(Scene_ObjectCount(first), 2u);
  EXPECT_EQ(Scene_ObjectAt(first, 1)->carrier, Scene_ObjectAt(first, 0));  // the lamp on the table
  EXPECT_EQ(Scene_TextAt(first, 0)->attachedTo, Scene_CharacterAt(first, 0));
  EXPECT_STREQ(Scene_TextAt(first, 0)->balloon.text, "\xA1Voy a encender la l\xE1mpara!");
  EXPECT_EQ(Scene_SoundAt(first, 0)->kind, kSoundMusic);

  movie->modified = 1;
  EXPECT_EQ(SaveAs("copia"), Read(Saved(kSample)));
  EXPECT_EQ(SaveMessage(), "La pel\xED" "cula ha sido guardada satisfactoriamente.");
  EXPECT_EQ(movie->modified, 0u);
  EXPECT_STREQ(movie->name, "copia");
  EXPECT_EQ(Temporaries(), std::vector<std::string>{});
}

// Every file here is damaged or hostile; each ends with the result 0 and the movie
// emptied, except a file that is not a project (untouched) and the carrier faults, which
// leave only that object on its own.
TEST_F(ProjectFile, CraftedFilesEndAsTheLoaderPromises) {
  enum Outcome { kEmptied, kUntouched, kLoaded };
  const struct {
    const char* name;
    Outcome outcome;
  } rows[] = {
      {"missing", kUntouched},
      {"foreign", kUntouched},
      {"version2", kEmptied},
      {"current_scene", kEmptied},
      {"unknown_identity", kEmptied},
      {"unknown_character", kEmptied},
      {"action_range", kEmptied},
      {"direction_range", kEmptied},
      {"state_range", kEmptied},
      {"k_zero", kEmptied},
      {"k_huge", kEmptied},
      {"count_huge", kEmptied},
      {"text_attached_past_list", kEmptied},
      {"sound_attached_past_list", kEmptied},
      {"empty_sound_name", kEmptied},
      {"unterminated_text", kEmptied},
      {"big", kEmptied},
      {"support_past_points", kLoaded},
      {"self_carrier", kLoaded},
      {"carrier_cycle", kLoaded},
      {"carrier_past_list", kLoaded},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(Load(kSample), 1u);
    const u32 result = Load(row.name);
    EXPECT_EQ(result, row.outcome == kLoaded ? 1u : 0u);
    EXPECT_EQ(Scenes(), row.outcome == kUntouched ? 2u : row.outcome == kLoaded ? 1u : 0u);
    if (row.outcome != kLoaded) continue;
    // No carrier chain may come back to where it started.
    Scene* scene = Movie_SceneAt(Movie_Get(), 0);
    for (ObjectInstance* object : ListRange<ObjectInstance>(&scene->objects)) {
      u32 steps = 0;
      for (ObjectInstance* c = object->carrier; c; c = c->carrier) ASSERT_LT(++steps, Scene_ObjectCount(scene));
      EXPECT_NE(object->carrier, object);
    }
  }
  // The carriers that cannot be are gone; the first table of the cycle keeps the second.
  ASSERT_EQ(Load("carrier_cycle"), 1u);
  Scene* scene = Movie_SceneAt(Movie_Get(), 0);
  EXPECT_EQ(Scene_ObjectAt(scene, 0)->carrier, Scene_ObjectAt(scene, 1));
  EXPECT_EQ(Scene_ObjectAt(scene, 1)->carrier, nullptr);
  ASSERT_EQ(Load("support_past_points"), 1u);
  scene = Movie_SceneAt(Movie_Get(), 0);
  EXPECT_EQ(Scene_ObjectAt(scene, 1)->carrier, nullptr);
  EXPECT_EQ(Scene_ObjectAt(scene, 1)->supportPoint, 0u);
  ASSERT_EQ(Load("narrow_text"), 1u);
  TextItem* text = Scene_TextAt(Movie_SceneAt(Movie_Get(), 0), 0);
  EXPECT_EQ(text->balloon.width, 100u);  // saved at 50
  EXPECT_EQ(text->balloon.style, 1u);    // saved as 30
}

// Every prefix of the sample and every flipped byte fails: a cut inside any block is a
// short read, and a flip that still parses is caught by the CRC.
TEST_F(ProjectFile, EveryTruncationAndEveryFlippedByteFails) {
  const std::string sample = Read(Saved(kSample));
  Movie* movie = Movie_Get();
  Movie_Clear(movie);  // a cut before the magic leaves the movie as it was
  for (size_t length = 0; length < sample.size(); ++length) {
    ASSERT_EQ(ProjectFile_LoadFromMemory(movie, reinterpret_cast<const u8*>(sample.data()), length, nullptr), 0u)
        << length;
    ASSERT_EQ(Scenes(), 0u);
  }
  for (size_t at = 0; at + 4 < sample.size(); ++at) {
    std::string flipped = sample;
    flipped[at] = char(flipped[at] ^ 0x20);
    ASSERT_EQ(ProjectFile_LoadFromMemory(movie, reinterpret_cast<const u8*>(flipped.data()), flipped.size(), nullptr), 0u)
        << at;
  }
}

// A movie built here: two scenes, a carried object, a spoken and a floating text, a sound
// from a full path and one from the "Sfx" folder. The file has the sizes the layout
// gives, and a load of it saves back to the same bytes.
TEST_F(ProjectFile, GeneratedMovieSurvivesSaveAndLoad) {
  Movie* movie = Movie_Get();
  Movie_Clear(movie);
  EXPECT_EQ(SaveAs("vacia").size(), 56u);  // the header with S = 0 and the CRC
  SaveMessage();
  ASSERT_EQ(Load("vacia"), 1u);
  EXPECT_EQ(Scenes(), 0u);

  for (u32 s = 0; s < 2; ++s) {
    Scene* scene = Movie_AppendScene(movie);
    scene->background = i32(s);
    scene->length = 900, scene->currentFrame = 30 * s;
    CharacterInstance* character = CharacterInstance_New();
    character->scene = scene, character->character = 1, character->x = 200, character->y = 300;
    character->endFrame = 0xFFFFFFFF;
    List_Append(&scene->characters, &character->link);
    CharacterActionEntry* action = CharacterActionEntry_Append(character);
    action->startFrame = 10, action->endFrame = 70, action->action = 1, action->direction = 7;
    ASSERT_TRUE(KeyPointArray_SetSize(&action->path, 2));
    KeyPointArray_Data(&action->path)[0] = {200, 300, 100};
    KeyPointArray_Data(&action->path)[1] = {300, 300, 0};
    action->pathLength = 100, action->pathFrames = 60;
    ObjectInstance* table = ObjectInstance_New();
    ObjectInstance* lamp = ObjectInstance_New();
    for (ObjectInstance* object : {table, lamp}) {
      object->scene = scene;
      List_Append(&scene->objects, &object->link);
    }
    for (u32 i = 0; ObjectRecord* record = ObjectCatalog_GetAt(i); ++i) {
      if (std::string(record->name.CStr()) == "Mesa") table->object = i32(i);
      if (std::string(record->name.CStr()) == "L\xE1mpara") lamp->object = i32(i);
    }
    lamp->carrier = table, lamp->supportPoint = 0;
    TextItem* spoken = TextItem_Append(scene);
    Balloon_SetText(&spoken->balloon, "Hola!");
    spoken->balloon.width = 300, spoken->variant = 1;
    spoken->attachKind = kTextSpokenByCharacter, spoken->attachedTo = character;
    TextItem* floating = TextItem_Append(scene);
    floating->balloon.width = 500, floating->balloon.style = 17;
    for (const char* name : {"*/no/existe.wav", "Grabadas\\Mi voz.WAV"}) {
      SoundItem* sound = SoundItem_Append(scene);
      sound->fileName = name, sound->speed = 1.5, sound->startFrame = 5, sound->endFrame = 90;
      sound->kind = kSoundObject, sound->attachedTo = lamp;
    }
  }
  const std::string saved = SaveAs("generada");
  SaveMessage();
  ASSERT_EQ(Load("generada"), 1u);
  EXPECT_EQ(SaveAs("generada2"), saved);
  SaveMessage();
  ASSERT_EQ(Scenes(), 2u);
  Scene* second = Movie_SceneAt(movie, 1);
  EXPECT_EQ(Scene_ObjectAt(second, 1)->carrier, Scene_ObjectAt(second, 0));
  EXPECT_STREQ(Scene_SoundAt(second, 0)->fileName.CStr(), "*/no/existe.wav");
  EXPECT_EQ(Scene_SoundAt(second, 1)->attachedTo, Scene_ObjectAt(second, 1));
  // A loaded walk takes a block of exactly its points; lengthening it later keeps them.
  auto* walk = static_cast<CharacterActionEntry*>(List_At(&Scene_CharacterAt(second, 0)->actions, 0));
  EXPECT_EQ(walk->path.capacity, 2u);
  ASSERT_TRUE(KeyPointArray_SetSize(&walk->path, 3));
  EXPECT_EQ(KeyPointArray_Data(&walk->path)[1].x, 300);
  EXPECT_EQ(KeyPointArray_Data(&walk->path)[2].x, 0);
  ASSERT_TRUE(KeyPointArray_SetSize(&walk->path, 2));

  // Sizes: a carried object takes 4 bytes more than a free one; a text of 5 characters
  // 12 bytes of string, an empty one 2.
  Scene_ObjectAt(second, 1)->carrier = nullptr;
  const std::string uncarried = SaveAs("generada3");
  SaveMessage();
  EXPECT_EQ(uncarried.size() + 4, saved.size());
  Balloon_SetText(&Scene_TextAt(second, 0)->balloon, "");
  EXPECT_EQ(SaveAs("generada4").size() + 10, uncarried.size());
  SaveMessage();
}

// A full disk while saving over an existing project keeps the old file byte for byte and
// leaves no temporary behind; the user is told the file could not be written.
TEST_F(ProjectFile, FullDiskKeepsThePreviousSave) {
  ASSERT_EQ(Load(kSample), 1u);
  const std::string before = SaveAs("guardada");
  SaveMessage();
  ASSERT_FALSE(before.empty());
  Scene_CharacterAt(Movie_SceneAt(Movie_Get(), 0), 0)->x += 5;
  for (u64 room : {u64(0), u64(10), u64(before.size() - 1)}) {
    SCOPED_TRACE(room);
    SLPlatformSetDiskFullAfter(true, room);
    ProjectFile_Save("guardada");
    SLPlatformSetDiskFullAfter(false);
    const std::vector<std::string> lines = SaveLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "No puedo grabar en el archivo destino.");
    EXPECT_EQ(lines.back(), "No hay espacio suficiente en el disco.");
    EXPECT_EQ(Read(Saved("guardada")), before);
    EXPECT_EQ(Temporaries(), std::vector<std::string>{});
  }
  // A name that leaves no room for its temporary file's: it cannot be created.
  ProjectFile_Save(std::string(245, 'c').c_str());
  // Not for want of space: the box says nothing of the disk.
  EXPECT_EQ(SaveLines(), std::vector<std::string>{"No puedo crear el archivo destino."});
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}

// A file-size limit (ulimit -f) in a process started with SIGXFSZ at its default: the save
// fails as on a full disk and says so, the process lives on with the movie and its
// changes, the earlier file stays byte for byte with nothing beside it, and the same save
// goes through once the limit is lifted.
TEST_F(ProjectFile, ChildSavesAtTheFileSizeLimit) {
  SL_CHILD_ONLY();
  ASSERT_EQ(Load(kSample), 1u);
  const std::string before = SaveAs("limitada");
  SaveMessage();
  ASSERT_GT(before.size(), 100u);
  Movie* movie = Movie_Get();
  Scene_CharacterAt(Movie_SceneAt(movie, 0), 0)->x += 5;
  movie->modified = 1;

  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = before.size() / 2;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ProjectFile_Save("limitada");
  setrlimit(RLIMIT_FSIZE, &old);
  const std::vector<std::string> lines = SaveLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), "No puedo grabar en el archivo destino.");
  EXPECT_EQ(lines.back(), "No hay espacio suficiente en el disco.");
  EXPECT_EQ(Read(Saved("limitada")), before);
  for (const auto& entry : fs::directory_iterator(s_dir->Host("Aventuras Guardadas")))
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
  EXPECT_EQ(movie->modified, 1u);
  EXPECT_EQ(Scenes(), 2u);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);

  const std::string after = SaveAs("limitada");
  EXPECT_EQ(SaveMessage(), "La pel\xED" "cula ha sido guardada satisfactoriamente.");
  EXPECT_EQ(after.size(), before.size());
  EXPECT_NE(after, before);
  EXPECT_EQ(movie->modified, 0u);
  if (!HasFailure()) SL_CHILD_DONE();
}

TEST_F(ProjectFile, PastTheFileSizeLimitTheSaveSaysTheDiskIsFull) {
  SL_EXPECT_CHILD_PASSES("ProjectFile.ChildSavesAtTheFileSizeLimit", "env --default-signal=XFSZ");
}

// One movie of some 1.2 MB (a walk of 100,000 points, so that a save takes several
// writes), in two variants.
void BuildLargeMovie(u32 variant) {
  Movie_Clear(Movie_Get());
  Scene* scene = Movie_AppendScene(Movie_Get());
  scene->background = 0;
  CharacterInstance* character = CharacterInstance_New();
  character->scene = scene, character->character = 0, character->x = i32(variant);
  List_Append(&scene->characters, &character->link);
  ASSERT_TRUE(KeyPointArray_SetSize(&CharacterActionEntry_Append(character)->path, 100000));
}

// Two copies of the program saving one large movie again and again at once: every save
// succeeds and leaves one whole movie under the name, one of the two; the last one
// stays and loads, and no temporary file is left.
TEST_F(ProjectFile, TwoProgramsSavingOneMovieAtOnceLeaveOneWholeMovie) {
  std::string expected[2];
  for (u32 variant : {0u, 1u}) {
    BuildLargeMovie(variant);
    expected[variant] = SaveAs("carrera-" + std::to_string(variant));
    ASSERT_EQ(SaveMessage(), "La pel\xED" "cula ha sido guardada satisfactoriamente.");
  }
  ASSERT_GT(expected[0].size(), 1000000u);
  SLExpectTwoChildrenPassAtOnce("ProjectFile.ChildSavesOneMovieAgainstAnother",
                                "SL_RACE_DIR='" + s_dir->Host() + "' SL_RACE_VARIANT=");
  const std::string last = Read(Saved("carrera"));
  EXPECT_TRUE(last == expected[0] || last == expected[1]);
  EXPECT_EQ(Load("carrera"), 1u);
  EXPECT_EQ(Temporaries(), std::vector<std::string>{});
}

TEST_F(ProjectFile, ChildSavesOneMovieAgainstAnother) {
  SL_CHILD_ONLY();
  const std::string folder = std::getenv("SL_RACE_DIR"), movies = folder + "/Aventuras Guardadas/";
  const char variant = std::getenv("SL_RACE_VARIANT")[0], other = char('0' + '1' - variant);
  const std::string expected[2] = {Read(movies + "carrera-0.ZQTR"), Read(movies + "carrera-1.ZQTR")};
  BuildLargeMovie(u32(variant - '0'));
  // Both copies start saving together.
  std::ofstream(folder + "/listo-" + variant) << variant;
  for (int wait = 0; wait < 6000 && !fs::exists(folder + "/listo-" + other); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::string path = movies + "carrera.ZQTR";
  std::replace(path.begin(), path.end(), '/', '\\');
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(ProjectFile_WriteMovie(Movie_Get(), path.c_str()), SL_OK) << "round " << round;
    const std::string now = Read(movies + "carrera.ZQTR");
    ASSERT_TRUE(now == expected[0] || now == expected[1]) << "round " << round << ": " << now.size() << " bytes";
  }
  SL_CHILD_DONE();
}

// A folder of movies the family may not write in (a backup copied back read-only, a
// folder of another user's): the save's box says so under its own line, naming the
// folder, and the movie stays changed.
TEST_F(ProjectFile, ASaveIntoAFolderClosedToWritingSaysSoAndNamesIt) {
  ASSERT_EQ(Load(kSample), 1u);
  Movie_Get()->modified = 1;
  const std::string folder = s_dir->Host("Aventuras Guardadas");
  ASSERT_EQ(chmod(s_dir->Host().c_str(), 0755), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  {
    SLTestAsOrdinaryUser user;
    ASSERT_TRUE(user.Active());
    ProjectFile_Save("cerrada");
  }
  ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  EXPECT_EQ(SaveText(), "No puedo crear el archivo destino. No puedo escribir en la carpeta de pel\xed" "culas: " + folder);
  EXPECT_FALSE(fs::exists(Saved("cerrada")));
  EXPECT_EQ(Movie_Get()->modified, 1u);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}

// The family's folder renamed while the program is open (a parent tidying up): the
// program follows its own file there, and the next save and load are in the renamed
// folder. Deleted, the folder is named as not found.
TEST_F(ProjectFile, ASaveFollowsTheFamilysFolderWhenItIsRenamed) {
  const TempDir family;
  fs::create_directories(family.Host("familia/Aventuras Guardadas"));
  fs::copy_file(Saved(kSample), family.Host("familia/Aventuras Guardadas/" + kSample + ".ZQTR"));
  fs::copy_file(fs::read_symlink("/proc/self/exe"), family.Host("familia/programa"));
  const std::string command = "SL_CHILD_TEST=1 '" + family.Host("familia/programa") +
                              "' --gtest_filter=ProjectFile.ChildSavesAsItsFolderMoves >'" + family.Host("log") +
                              "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << family.Read("log");
  EXPECT_NE(family.Read("log").find("CHILD-PASSED"), std::string::npos) << family.Read("log");
}

TEST_F(ProjectFile, ChildSavesAsItsFolderMoves) {
  SL_CHILD_ONLY();
  SLPlatformSetProgramFileName(nullptr);  // the program's own name, wherever it goes
  const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path(), moved = folder.string() + "-movido";
  ASSERT_EQ(Load(kSample), 1u);
  fs::rename(folder, moved);
  ProjectFile_Save("mudanza");
  EXPECT_EQ(SaveMessage(), "La pel\xED" "cula ha sido guardada satisfactoriamente.");
  EXPECT_TRUE(fs::is_regular_file(moved / "Aventuras Guardadas/mudanza.ZQTR"));
  EXPECT_EQ(Load("mudanza"), 1u);
  EXPECT_EQ(Scenes(), 2u);

  fs::remove_all(moved);
  Movie_Get()->modified = 1;
  ProjectFile_Save("perdida");
  EXPECT_EQ(SaveText(), "No puedo crear el archivo destino. No encuentro la carpeta de pel\xed" "culas: " +
                            (folder / "Aventuras Guardadas").string());
  EXPECT_EQ(Movie_Get()->modified, 1u);
  EXPECT_FALSE(fs::exists(folder));
  if (!HasFailure()) SL_CHILD_DONE();
}

// Only files that start with the magic are projects; a name with "ó" is found as saved.
TEST_F(ProjectFile, ValidityLooksAtTheMagicOnly) {
  EXPECT_TRUE(ProjectFile_IsValid(Narrow(kSample).c_str()));
  EXPECT_TRUE(ProjectFile_IsValid("version2"));
  EXPECT_FALSE(ProjectFile_IsValid("foreign"));
  EXPECT_FALSE(ProjectFile_IsValid("missing"));
  s_dir->Write("Aventuras Guardadas/corto.ZQTR", std::string(reinterpret_cast<const char*>(kProjectMagic), 39));
  EXPECT_FALSE(ProjectFile_IsValid("corto"));
  ASSERT_EQ(Load(kSample), 1u);
  SaveAs("Adi\xC3\xB3s");
  SaveMessage();
  EXPECT_TRUE(ProjectFile_IsValid("Adi\xF3s"));
  EXPECT_EQ(Load("Adi\xC3\xB3s"), 1u);
}

}  // namespace
