// Sound items: each holds its own movie player, attached to the program's graphics and
// sound devices and opened on the item's file, which the renderer seeks and starts as
// the scene is scrubbed or played.
#include <new>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/Movie.h"
#include "adventure/movie/SceneRender.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "media/SLMoviePlayer.h"
#include "platform/winfile.h"
#include "storage/SLFileStorage.h"

void SoundItem_Construct(SoundItem* item) {
  item->scene = nullptr;
  item->link.InitEmpty();
  item->link.self = item;
  item->startFrame = item->endFrame = 0;
  item->speed = 0.0;
  new (&item->fileName) CSLStringAnsi;
  item->player = new CSL_GS_MoviePlayer();
  if (!item->player) Movie_FatalOutOfMemory(kFatalSceneClone);
  item->kind = kSoundEffect;
  item->attachedTo = nullptr;
  item->shuttingDown = 0;
}

void SoundItem_Destruct(SoundItem* item) {
  SLErrorKeeper keep;
  // Releasing the player closes its file and joins its threads.
  if (item->player) item->player->Release();
  item->player = nullptr;
  item->fileName.~CSLStringAnsi();
}

SoundItem* SoundItem_Append(Scene* scene) {
  void* block = SLAllocZeroed(sizeof(SoundItem));
  if (!block) Movie_FatalOutOfMemory(kFatalSceneClone);
  SoundItem* item = static_cast<SoundItem*>(block);
  SoundItem_Construct(item);
  item->scene = scene;
  List_Append(&scene->sounds, &item->link);
  return item;
}

namespace {
// The program's folder with its trailing separator ("" when it cannot be had).
void ProgramFolder(CSLStringAnsi* folder) {
  char path[1024];
  const u32 length = SLGetModuleFileNameA(nullptr, path, sizeof(path));
  u32 end = length < sizeof(path) ? length : 0;
  while (end > 0 && path[end - 1] != '\\' && path[end - 1] != '/') --end;
  folder->Assign(path, end);
}

// Only a regular file may be opened: a FIFO or a device named by a "*" path would block
// the player's open (or feed it without end).
bool IsRegularFile(const char* path) {
  SLInternals::CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return false;
  const DWORD attributes = api->GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT));
}

// A recording kept by its full path whose folder has moved (a backup restored elsewhere, the
// family's folder moved): the file of the same name in the program's own recordings folder,
// where the recorder writes, as "%s%sSfx\Grabadas\%s" spells it. False when the path
// names no file or that folder holds none of the name; a name differing only in letter case
// is found by the platform's lookup.
bool FindInRecordings(const char* path, CSLStringAnsi* found) {
  const char* name = path;
  for (const char* at = path; *at; ++at)
    if (*at == '\\' || *at == '/') name = at + 1;
  if (!*name) return false;
  ProgramFolder(found);
  *found += "Sfx\\Grabadas\\";
  *found += name;
  return IsRegularFile(found->CStr());
}
}  // namespace

bool SoundItem_OpenFile(SoundItem* item) {
  CSLStringAnsi path;
  const char* name = item->fileName.CStr();
  if (name[0] == '*') {
    path = name + 1;
    CSLStringAnsi moved;
    if (!IsRegularFile(path.CStr()) && FindInRecordings(path.CStr(), &moved)) {
      // The item keeps the path it plays from, so that a save stores the one that works.
      path = moved;
      if (!item->fileName.Assign("*", 1) || !item->fileName.Append(moved.CStr(), moved.GetLength()))
        Movie_FatalOutOfMemory(kFatalSceneClone);
    }
  } else {
    // "%s%sSfx\%s%s": the program folder, two empty prefixes and the name.
    ProgramFolder(&path);
    path += "Sfx\\";
    path += name;
  }
  if (item->fileName.IsEmpty() || !IsRegularFile(path.CStr())) {
    item->player->Close();
    return SLFail(SL_E_NOT_FOUND, false);
  }
  return item->player->Open(path.CStr(), nullptr);
}

bool SoundItem_AttachDevices(SoundItem* item) {
  const AdventureDevices& devices = AdventureDevices_Get();
  return item->player->SetGfx(devices.gfx) && item->player->SetSfx(devices.sfx);
}

namespace {
// Starts the item's player at the place that matches frame f of the scene: s samples
// into the sound, or the video frame of that time when the file has pictures, wrapped
// at the file's length (a long music entered in the middle resumes where it would be).
void PlayFromPosition(SoundItem* item, u32 frame) {
  CSL_GS_MoviePlayer* player = item->player;
  player->Stop();
  double fps = 0.0;
  if (!player->GetFrameRate(&fps)) fps = 0.0;
  SLAudioFormat format{};
  const u64 rate = player->GetAudioFormat(&format) ? format.samplesPerSecond : 0;
  // 64-bit steps: the 32-bit product overflows about 97 s into a 44.1 kHz sound.
  const u64 ms = u64(frame - item->startFrame) * 1000 / 60;
  const u64 samples = ms * rate / 1000;
  u64 position = samples;
  if (fps > 1e-10) position = rate ? u64(double(samples) / double(rate) * fps) : 0;
  u64 count = 0;
  if (player->GetFrameCount(&count) && count != 0) position %= count;
  player->SeekToFrame(position);
  player->Play(item->kind == kSoundMusic ? 1 : 0, 1.0, false, false);
}
}  // namespace

void SoundItem_PlaybackStep(SoundItem* item, u32 frame, u32 mode) {
  SLErrorKeeper keep;  // a silent item is no failure of the render
  switch (mode) {
    case kModeSilent:
      item->player->Stop();
      break;
    case kModePlayback:
      if (frame == item->endFrame - 1) item->player->Stop();
      if (frame == item->startFrame) PlayFromPosition(item, frame);
      break;
    case kModeSeek:
      if (item->startFrame <= frame && frame < item->endFrame) PlayFromPosition(item, frame);
      break;
    default:
      break;
  }
}
