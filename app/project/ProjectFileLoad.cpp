// Loading a project file. The file is read whole (it is small: a long movie is a few
// hundred kilobytes) and parsed from memory, so every count and key-point total can be
// held against the bytes that are really left before anything is allocated for it. A file
// is exchanged between children and may be anything: every index it holds is checked
// against the list it indexes, and carriers are only taken when they form chains that end.
#include <cstring>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "adventure/movie/Movie.h"
#include "adventure/movie/MovieHooks.h"
#include "adventure/movie/SceneRender.h"
#include "app/services/AppGlobals.h"
#include "app/services/CommonResources.h"
#include "app/project/ProjectFile.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "foundation/SLWideText.h"
#include "storage/SLFileStorage.h"

// --- The reader ----------------------------------------------------------------------

namespace {
u64 Left(const ProjectReader* reader) { return reader->size - reader->position; }
}  // namespace

bool ProjectReader_ReadBytes(ProjectReader* reader, void* out, u32 count) {
  if (Left(reader) < count) return SLFail(SL_E_MALFORMED, false);
  std::memcpy(out, reader->data + reader->position, count);
  reader->position += count;
  return true;
}

bool ProjectReader_ReadU32(ProjectReader* reader, u32* out) {
  if (Left(reader) < 4) return SLFail(SL_E_MALFORMED, false);
  *out = SLLoadLE32(reader->data + reader->position);
  reader->position += 4;
  return true;
}

bool ProjectReader_ReadU64(ProjectReader* reader, u64* out) {
  if (Left(reader) < 8) return SLFail(SL_E_MALFORMED, false);
  *out = SLLoadLE64(reader->data + reader->position);
  reader->position += 8;
  return true;
}

bool ProjectReader_ReadWideString(ProjectReader* reader, CSLStringAnsi* target) {
  const u8* start = reader->data + reader->position;
  const u64 available = Left(reader) / 2;
  u64 units = 0;
  while (units < available && SLLoadLE16(start + 2 * units) != 0) ++units;
  if (units == available || units >= 0x7FFFFFFF) return SLFail(SL_E_MALFORMED, false);
  // The units are copied out first: the file's bytes need not be aligned for UTF-16.
  if (!reader->scratch.Reserve(u32(units) + 1)) return false;
  SLWChar* buffer = reader->scratch.GetBufferTerminated();
  for (u64 i = 0; i < units; ++i) buffer[i] = SLWChar(SLLoadLE16(start + 2 * i));
  buffer[units] = 0;
  reader->position += 2 * (units + 1);
  if (units == 0) return target->Empty();
  return target->AssignW(buffer, u32(units));
}

i32 ProjectReader_NormaliseIndex(u32 value) { return value == 0xFFFFFFFF ? -1 : i32(value); }

bool ProjectReader_CheckCrc(ProjectReader* reader) {
  u32 stored;
  if (Left(reader) < 4) return SLFail(SL_E_MALFORMED, false);
  stored = SLLoadLE32(reader->data + reader->position);
  CSLDigestAlgorithmCRC32 digest;
  digest.Initialize();
  // The CRC covers every byte before the trailer; the digest takes at most 4 GiB a call,
  // and the file is far smaller.
  digest.Update(reader->data, u32(reader->position));
  digest.Finalize();
  reader->position += 4;
  return SLLoadLE32(digest.GetDigest()) == stored ? SLSucceed(true) : SLFail(SL_E_MALFORMED, false);
}

// --- The movie -------------------------------------------------------------------------

namespace {

// The fewest bytes each block can take, to hold counts against what is left: a count
// that could not fit the rest of the file is damage, caught before any allocation.
constexpr u64 kMinScene = 20 + 4 + 4 + 4 * 4;
constexpr u64 kMinCharacter = 20 + 4 * 4 + 4;
constexpr u64 kMinAction = 4 + 4 + 4 + 12 + 4 * 5;
constexpr u64 kMinObject = 20 + 4 + 4 + 4 + 4;
constexpr u64 kMinState = 4 + 4 + 4 + 12 + 4 * 3;
constexpr u64 kMinText = 4 + 4 + 2 + 4 * 6;
constexpr u64 kMinSound = 4 + 4 + 8 + 2 + 4;
constexpr u32 kProjectVersion = 1;

bool ReadCount(ProjectReader* reader, u64 minimumBlock, u32* count) {
  if (!ProjectReader_ReadU32(reader, count)) return false;
  return u64(*count) * minimumBlock <= Left(reader) ? true : SLFail(SL_E_MALFORMED, false);
}

bool ReadI32(ProjectReader* reader, i32* out) {
  u32 value;
  if (!ProjectReader_ReadU32(reader, &value)) return false;
  *out = i32(value);
  return true;
}

bool ReadIdentity(ProjectReader* reader, ItemId* id) { return ProjectReader_ReadBytes(reader, id->bytes, sizeof id->bytes); }

// A walk: K >= 1 key points (evaluation starts from the first), then its length and frames.
bool ReadPath(ProjectReader* reader, SLArrayHeader* path, i32* pathLength, u32* pathFrames) {
  u32 count;
  if (!ProjectReader_ReadU32(reader, &count)) return false;
  if (count == 0 || u64(count) * 12 > Left(reader)) return SLFail(SL_E_MALFORMED, false);
  if (!KeyPointArray_SetSizeExact(path, count)) return false;
  KeyPoint* points = KeyPointArray_Data(path);
  for (u32 i = 0; i < count; ++i)
    if (!ReadI32(reader, &points[i].x) || !ReadI32(reader, &points[i].y) || !ReadI32(reader, &points[i].lengthToNext))
      return false;
  return ReadI32(reader, pathLength) && ProjectReader_ReadU32(reader, pathFrames);
}

bool ReadCharacter(ProjectReader* reader, Scene* scene, TSLArray<CharacterInstance*>* characters) {
  CharacterInstance* character = CharacterInstance_New();
  character->scene = scene;
  List_Append(&scene->characters, &character->link);
  if (!characters->Add(character)) return false;
  ItemId id;
  if (!ReadIdentity(reader, &id)) return false;
  character->character = CharacterCatalog_FindById(id);
  CharacterRecord* record = character->character >= 0 ? CharacterCatalog_GetAt(u32(character->character)) : nullptr;
  if (!record) return SLFail(SL_E_NOT_FOUND, false);
  const u32 actionCount = CatalogRecord_GetListEntryCount(record);
  u32 count;
  if (!ProjectReader_ReadU32(reader, &character->firstFrame) || !ReadI32(reader, &character->x) ||
      !ReadI32(reader, &character->y) || !ProjectReader_ReadU32(reader, &character->endFrame) ||
      !ReadCount(reader, kMinAction, &count))
    return false;
  for (u32 i = 0; i < count; ++i) {
    CharacterActionEntry* action = CharacterActionEntry_Append(character);
    u32 keep;
    if (!ProjectReader_ReadU32(reader, &action->startFrame) || !ProjectReader_ReadU32(reader, &action->endFrame) ||
        !ReadPath(reader, &action->path, &action->pathLength, &action->pathFrames) ||
        !ProjectReader_ReadU32(reader, &action->direction) || !ProjectReader_ReadU32(reader, &keep) ||
        !ProjectReader_ReadU32(reader, &action->action))
      return false;
    action->keepDirection = keep != 0;
    if (action->direction >= kDirectionCount || action->action >= actionCount) return SLFail(SL_E_MALFORMED, false);
  }
  return true;
}

bool ReadObject(ProjectReader* reader, Scene* scene, TSLArray<ObjectInstance*>* objects, TSLArray<u32>* carriers) {
  ObjectInstance* object = ObjectInstance_New();
  object->scene = scene;
  List_Append(&scene->objects, &object->link);
  if (!objects->Add(object)) return false;
  ItemId id;
  if (!ReadIdentity(reader, &id)) return false;
  object->object = ObjectCatalog_FindById(id);
  ObjectRecord* record = object->object >= 0 ? ObjectCatalog_GetAt(u32(object->object)) : nullptr;
  if (!record) return SLFail(SL_E_NOT_FOUND, false);
  const u32 stateCount = record->states.GetCount();
  u32 carrier, count;
  if (!ReadI32(reader, &object->x) || !ReadI32(reader, &object->y) || !ProjectReader_ReadU32(reader, &carrier))
    return false;
  if (!carriers->Add(carrier)) return false;
  object->supportPoint = 0;
  if (carrier != 0 && !ProjectReader_ReadU32(reader, &object->supportPoint)) return false;
  if (!ReadCount(reader, kMinState, &count)) return false;
  for (u32 i = 0; i < count; ++i) {
    ObjectStateEntry* state = ObjectStateEntry_Append(object);
    if (!ProjectReader_ReadU32(reader, &state->startFrame) || !ProjectReader_ReadU32(reader, &state->endFrame) ||
        !ReadPath(reader, &state->path, &state->pathLength, &state->pathFrames) ||
        !ProjectReader_ReadU32(reader, &state->state))
      return false;
    if (state->state >= stateCount) return SLFail(SL_E_MALFORMED, false);
  }
  return true;
}

// The stored carriers become pointers once the scene's objects are all there. A carrier
// must be another object of the scene whose own chain of carriers does not come back to
// this one, and the support point must be one of the carrier's: anything else leaves the
// object standing on its own, as a carrier past the list does.
void ResolveCarriers(const TSLArray<ObjectInstance*>& objects, const TSLArray<u32>& carriers) {
  for (u32 i = 0; i < objects.GetCount(); ++i) {
    ObjectInstance* object = objects[i];
    const u32 stored = carriers[i];
    ObjectInstance* carrier = stored != 0 && stored - 1 < objects.GetCount() ? objects[stored - 1] : nullptr;
    // Earlier objects already hold chains that end, later ones none yet: the walk ends.
    for (ObjectInstance* link = carrier; link && carrier; link = link->carrier)
      if (link == object) carrier = nullptr;
    if (carrier) {
      ObjectRecord* record = ObjectCatalog_GetAt(u32(carrier->object));
      if (!record || object->supportPoint >= CatalogRecord_GetListEntryCount(record)) carrier = nullptr;
    }
    object->carrier = carrier;
    if (!carrier) object->supportPoint = 0;
  }
}

// The element that an attached text or sound names by its place in the scene.
bool ReadAttachment(ProjectReader* reader, u32 kind, const TSLArray<CharacterInstance*>& characters,
                    const TSLArray<ObjectInstance*>& objects, void** attachedTo) {
  *attachedTo = nullptr;
  if (kind != kTextSpokenByCharacter && kind != kTextAttachedToObject) return true;
  u32 index;
  if (!ProjectReader_ReadU32(reader, &index)) return false;
  if (kind == kTextSpokenByCharacter && index < characters.GetCount()) *attachedTo = characters[index];
  if (kind == kTextAttachedToObject && index < objects.GetCount()) *attachedTo = objects[index];
  return *attachedTo ? true : SLFail(SL_E_MALFORMED, false);
}

bool ReadText(ProjectReader* reader, Scene* scene, const TSLArray<CharacterInstance*>& characters,
              const TSLArray<ObjectInstance*>& objects, CSLStringAnsi* text) {
  TextItem* item = TextItem_Append(scene);
  u32 width, style, variant;
  if (!ProjectReader_ReadU32(reader, &width) || !ProjectReader_ReadU32(reader, &style) ||
      !ProjectReader_ReadWideString(reader, text) || !ProjectReader_ReadU32(reader, &variant) ||
      !ProjectReader_ReadU32(reader, &item->startFrame) || !ProjectReader_ReadU32(reader, &item->endFrame) ||
      !ReadI32(reader, &item->x) || !ReadI32(reader, &item->y) || !ProjectReader_ReadU32(reader, &item->attachKind))
    return false;
  // A balloon is never narrower than 100 pixels: its frame pieces alone take most of that.
  item->balloon.width = width < 100 ? 100 : width;
  Balloon_SetStyle(&item->balloon, style);
  Balloon_SetText(&item->balloon, text->CStr());
  item->variant = variant != 0;
  if (!ReadAttachment(reader, item->attachKind, characters, objects, &item->attachedTo)) return false;
  // Speech goes in the speech font, a floating text in the caption font.
  const bool attached = item->attachKind == kTextSpokenByCharacter || item->attachKind == kTextAttachedToObject;
  item->balloon.font = AppCommonFonts[attached ? APP_FONT_COMIC_9B : APP_FONT_COMIC_11];
  Balloon_Layout(&item->balloon);
  return true;
}

bool ReadSound(ProjectReader* reader, Scene* scene, const TSLArray<CharacterInstance*>& characters,
               const TSLArray<ObjectInstance*>& objects) {
  SoundItem* item = SoundItem_Append(scene);
  u64 speed;
  if (!ProjectReader_ReadU32(reader, &item->startFrame) || !ProjectReader_ReadU32(reader, &item->endFrame) ||
      !ProjectReader_ReadU64(reader, &speed) || !ProjectReader_ReadWideString(reader, &item->fileName))
    return false;
  std::memcpy(&item->speed, &speed, sizeof speed);
  if (item->fileName.IsEmpty()) return SLFail(SL_E_MALFORMED, false);
  if (!SoundItem_AttachDevices(item)) return false;
  // A file that is gone or not a regular file leaves the item silent, not the load failed.
  SoundItem_OpenFile(item);
  return ProjectReader_ReadU32(reader, &item->kind) &&
         ReadAttachment(reader, item->kind, characters, objects, &item->attachedTo);
}

bool ReadScene(ProjectReader* reader, Movie* movie, CSLStringAnsi* text) {
  Scene* scene = Movie_AppendScene(movie);
  ItemId id;
  if (!ReadIdentity(reader, &id)) return false;
  scene->background = SceneCatalog_FindById(id);
  if (scene->background < 0) return SLFail(SL_E_NOT_FOUND, false);
  if (!ProjectReader_ReadU32(reader, &scene->currentFrame) || !ProjectReader_ReadU32(reader, &scene->length))
    return false;
  // The elements by place, for the attachments that name them.
  TSLArray<CharacterInstance*> characters;
  TSLArray<ObjectInstance*> objects;
  TSLArray<u32> carriers;
  u32 count;
  if (!ReadCount(reader, kMinCharacter, &count)) return false;
  for (u32 i = 0; i < count; ++i)
    if (!ReadCharacter(reader, scene, &characters)) return false;
  if (!ReadCount(reader, kMinObject, &count)) return false;
  for (u32 i = 0; i < count; ++i)
    if (!ReadObject(reader, scene, &objects, &carriers)) return false;
  ResolveCarriers(objects, carriers);
  if (!ReadCount(reader, kMinText, &count)) return false;
  for (u32 i = 0; i < count; ++i)
    if (!ReadText(reader, scene, characters, objects, text)) return false;
  if (!ReadCount(reader, kMinSound, &count)) return false;
  for (u32 i = 0; i < count; ++i)
    if (!ReadSound(reader, scene, characters, objects)) return false;
  return true;
}

bool ReadMovie(ProjectReader* reader, Movie* movie) {
  u32 version, sceneCount;
  if (!ProjectReader_ReadU32(reader, &version) || version != kProjectVersion) return SLFail(SL_E_MALFORMED, false);
  if (!ReadCount(reader, kMinScene, &sceneCount) || !ProjectReader_ReadU32(reader, &movie->currentScene)) return false;
  if (sceneCount > 0 && movie->currentScene >= sceneCount) return SLFail(SL_E_MALFORMED, false);
  CSLStringAnsi text;
  for (u32 i = 0; i < sceneCount; ++i)
    if (!ReadScene(reader, movie, &text)) return false;
  return ProjectReader_CheckCrc(reader);
}

bool HasMagic(const u8* data, u64 size) {
  return size >= kProjectMagicSize && std::memcmp(data, kProjectMagic, kProjectMagicSize) == 0;
}

void EmptyMovie(Movie* movie) {
  SLErrorKeeper keep;
  Movie_Clear(movie);
  Movie_SelectScene(movie, 0);
}

}  // namespace

u32 ProjectFile_LoadFromMemory(Movie* movie, const u8* data, u64 size, const char* name) {
  if (!HasMagic(data, size)) return SLFail(SL_E_BAD_FORMAT, 0u);
  Movie_ClearEditorSelection();
  Movie_Clear(movie);
  Movie_SelectScene(movie, 0);
  ProjectReader reader;
  reader.data = data, reader.size = size, reader.position = kProjectMagicSize;
  if (size > kProjectMaxFileSize || !ReadMovie(&reader, movie)) {
    const u32 code = SLGetLastError() == SL_OK ? u32(SL_E_MALFORMED) : SLGetLastError();
    EmptyMovie(movie);
    return SLFail(code, 0u);
  }
  movie->modified = 0;
  if (name) {
    char* copy = SLDuplicateText(name, SLTextLength(name));
    if (!copy) App_Fatal(APP_FATAL_PROJECT_LOAD, "Insuficiente memoria");
    movie->name = copy;
  }
  Movie_SelectScene(movie, movie->currentScene);
  return SLSucceed(1u);
}

namespace {
// The first bytes of the named project, up to `count` (fewer when the file is shorter);
// false when it does not open.
bool OpenProject(const char* name, CSLFileStorage* file) {
  char path[4096];
  return ProjectFile_PathOf(name, path, sizeof path) && file->OpenA(path, SL_STORAGE_READ | SL_STORAGE_SHARE_READ);
}
}  // namespace

u32 ProjectFile_Load(const char* name) {
  Movie* movie = Movie_Get();
  CSLFileStorage file;
  if (!OpenProject(name, &file)) return 0;
  // The magic decides first whether the movie is touched at all.
  u8 magic[kProjectMagicSize];
  if (file.Read(magic, sizeof magic) != sizeof magic || !HasMagic(magic, sizeof magic)) {
    file.Close();
    return SLFail(SL_E_BAD_FORMAT, 0u);
  }
  u64 size = 0;
  TSLAutoPtr<u8> block;
  bool read = file.GetSize(&size) && size <= kProjectMaxFileSize;
  if (read) {
    block.Reset(static_cast<u8*>(SLAlloc(u32(size))));
    read = block && file.Seek(0, SL_SEEK_BEGIN) && file.Read(block.Get(), size) == size;
  }
  file.Close();
  if (!read) {
    const u32 code = SLGetLastError() == SL_OK ? u32(SL_E_MALFORMED) : SLGetLastError();
    Movie_ClearEditorSelection();
    EmptyMovie(movie);
    return SLFail(code, 0u);
  }
  return ProjectFile_LoadFromMemory(movie, block.Get(), size, name);
}

bool ProjectFile_IsValid(const char* name) {
  CSLFileStorage file;
  if (!OpenProject(name, &file)) return false;
  u8 magic[kProjectMagicSize];
  const bool valid = file.Read(magic, sizeof magic) == sizeof magic && HasMagic(magic, sizeof magic);
  file.Close();
  return valid ? SLSucceed(true) : SLFail(SL_E_BAD_FORMAT, false);
}
