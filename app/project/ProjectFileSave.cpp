// Saving the movie as a project file: the writer, the walk over the movie document, and
// the file's replacement, which keeps the last good save when the disk fills up and
// keeps two copies of the program saving one movie out of each other's temporary.
#include <cstring>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "adventure/movie/Movie.h"
#include "app/services/AppGlobals.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/CommonResources.h"
#include "app/dialogs/FileErrorText.h"
#include "app/dialogs/MsgBox.h"
#include "app/project/ProjectFile.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLStr.h"
#include "foundation/SLWideText.h"
#include "storage/SLFileFinder.h"
#include "storage/SLFileReplacement.h"
#include "storage/SLFileStorage.h"

// "Película de Zarandulvortequimbaplastelo" in Windows-1252 ("í" is 0xED) and the
// end-of-file mark 0x1A, with no terminating zero.
const u8 kProjectMagic[kProjectMagicSize] = {'P', 'e', 'l', 0xED, 'c', 'u', 'l', 'a', ' ', 'd', 'e', ' ', 'Z', 'a',
                                             'r', 'a', 'n', 'd', 'u', 'l', 'v', 'o', 'r', 't', 'e', 'q', 'u', 'i',
                                             'm', 'b', 'a', 'p', 'l', 'a', 's', 't', 'e', 'l', 'o', 0x1A};

namespace {
// Big enough that a typical movie goes down in one or two system writes.
constexpr u32 kWriterBuffer = 256 * 1024;
constexpr u32 kProjectVersion = 1;

// Hands the buffered bytes to the storage, running the CRC over them first (in one pass
// over the buffer rather than one call per field: the same value). A short write marks
// the writer failed.
bool Flush(ProjectWriter* writer, bool digest) {
  if (writer->failed) return false;
  if (writer->used == 0) return true;
  if (digest) writer->digest.Update(writer->buffer, writer->used);
  const u64 written = writer->storage->Write(writer->buffer, writer->used);
  if (written != writer->used) {
    writer->failed = true;
    if (SLGetLastError() == SL_OK) SLSetLastError(SL_E_STORAGE_WRITE);
    return false;
  }
  writer->used = 0;
  return true;
}

bool Put(ProjectWriter* writer, const void* bytes, u32 count) {
  if (writer->failed) return false;
  const u8* from = static_cast<const u8*>(bytes);
  while (count > 0) {
    if (writer->used == writer->capacity && !Flush(writer, true)) return false;
    const u32 room = writer->capacity - writer->used;
    const u32 step = count < room ? count : room;
    SLCopyBytes(writer->buffer + writer->used, from, step);
    writer->used += step, from += step, count -= step;
  }
  return true;
}
}  // namespace

bool ProjectWriter_Begin(ProjectWriter* writer, CSLBaseStorage* storage) {
  writer->storage = storage;
  writer->digest.Initialize();
  writer->used = 0;
  writer->buffer = static_cast<u8*>(SLAlloc(kWriterBuffer));
  writer->capacity = writer->buffer ? kWriterBuffer : 0;
  writer->failed = writer->buffer == nullptr;
  return !writer->failed;
}

void ProjectWriter_End(ProjectWriter* writer) {
  SLErrorKeeper keep;
  SLFree(writer->buffer);
  writer->buffer = nullptr;
  writer->capacity = writer->used = 0;
}

bool ProjectWriter_WriteByte(ProjectWriter* writer, const void* bytes, u32 count) { return Put(writer, bytes, count); }

bool ProjectWriter_WriteU32(ProjectWriter* writer, u32 value) {
  if (!writer->failed && writer->capacity - writer->used >= 4) {
    SLStoreLE32(writer->buffer + writer->used, value);
    writer->used += 4;
    return true;
  }
  u8 raw[4];
  SLStoreLE32(raw, value);
  return Put(writer, raw, 4);
}

bool ProjectWriter_WriteU64(ProjectWriter* writer, u64 value) {
  u8 raw[8];
  SLStoreLE64(raw, value);
  return Put(writer, raw, 8);
}

bool ProjectWriter_WriteWideString(ProjectWriter* writer, const char* text) {
  if (!writer->scratch.AssignA(text ? text : "")) {
    writer->failed = true;
    return false;
  }
  const SLWChar* units = writer->scratch.CStr();
  const u32 length = writer->scratch.GetLength();
  // The units with their terminating 0, little-endian.
  u8 raw[256];
  u32 at = 0;
  for (u32 i = 0; i <= length; ++i) {
    SLStoreLE16(raw + at, i < length ? u16(units[i]) : 0);
    at += 2;
    if (at == sizeof raw || i == length) {
      if (!Put(writer, raw, at)) return false;
      at = 0;
    }
  }
  return true;
}

bool ProjectWriter_WriteCrc(ProjectWriter* writer) {
  if (!Flush(writer, true)) return false;
  writer->digest.Finalize();
  return Put(writer, writer->digest.GetDigest(), 4) && Flush(writer, false);
}

namespace {
bool WriteIdentity(ProjectWriter* writer, const CatalogEntry* entry) {
  static const ItemId kNoItem{};
  return ProjectWriter_WriteByte(writer, entry ? entry->id.bytes : kNoItem.bytes, sizeof(ItemId::bytes));
}

bool WritePath(ProjectWriter* writer, const SLArrayHeader* path, i32 pathLength, u32 pathFrames) {
  if (!ProjectWriter_WriteU32(writer, path->count)) return false;
  const KeyPoint* points = KeyPointArray_Data(path);
  for (u32 i = 0; i < path->count; ++i)
    if (!ProjectWriter_WriteU32(writer, u32(points[i].x)) || !ProjectWriter_WriteU32(writer, u32(points[i].y)) ||
        !ProjectWriter_WriteU32(writer, u32(points[i].lengthToNext)))
      return false;
  return ProjectWriter_WriteU32(writer, u32(pathLength)) && ProjectWriter_WriteU32(writer, pathFrames);
}

bool WriteCharacter(ProjectWriter* writer, const CharacterInstance* character) {
  const CatalogEntry* record = character->character >= 0 ? CharacterCatalog_GetAt(u32(character->character)) : nullptr;
  if (!WriteIdentity(writer, record) || !ProjectWriter_WriteU32(writer, character->firstFrame) ||
      !ProjectWriter_WriteU32(writer, u32(character->x)) || !ProjectWriter_WriteU32(writer, u32(character->y)) ||
      !ProjectWriter_WriteU32(writer, character->endFrame) ||
      !ProjectWriter_WriteU32(writer, List_Count(&character->actions)))
    return false;
  for (const CharacterActionEntry* action : ListRange<CharacterActionEntry>(&character->actions))
    if (!ProjectWriter_WriteU32(writer, action->startFrame) || !ProjectWriter_WriteU32(writer, action->endFrame) ||
        !WritePath(writer, &action->path, action->pathLength, action->pathFrames) ||
        !ProjectWriter_WriteU32(writer, action->direction) ||
        !ProjectWriter_WriteU32(writer, action->keepDirection ? 1 : 0) || !ProjectWriter_WriteU32(writer, action->action))
      return false;
  return true;
}

bool WriteObject(ProjectWriter* writer, const Scene* scene, const ObjectInstance* object) {
  const CatalogEntry* record = object->object >= 0 ? ObjectCatalog_GetAt(u32(object->object)) : nullptr;
  if (!WriteIdentity(writer, record) || !ProjectWriter_WriteU32(writer, u32(object->x)) ||
      !ProjectWriter_WriteU32(writer, u32(object->y)))
    return false;
  // The carrier as 1 + its place in the scene's list; 0 also for a carrier that is not in
  // the list (which the editor never makes).
  const i32 carrier = object->carrier ? List_IndexOf(&scene->objects, object->carrier) : -1;
  if (!ProjectWriter_WriteU32(writer, u32(carrier + 1))) return false;
  if (carrier >= 0 && !ProjectWriter_WriteU32(writer, object->supportPoint)) return false;
  if (!ProjectWriter_WriteU32(writer, List_Count(&object->states))) return false;
  for (const ObjectStateEntry* state : ListRange<ObjectStateEntry>(&object->states))
    if (!ProjectWriter_WriteU32(writer, state->startFrame) || !ProjectWriter_WriteU32(writer, state->endFrame) ||
        !WritePath(writer, &state->path, state->pathLength, state->pathFrames) ||
        !ProjectWriter_WriteU32(writer, state->state))
      return false;
  return true;
}

// The attachment of a text or a sound: the kind, then for kinds 1 and 2 the element's
// place in its list.
bool WriteAttachment(ProjectWriter* writer, const Scene* scene, u32 kind, const void* element) {
  if (!ProjectWriter_WriteU32(writer, kind)) return false;
  if (kind == kTextSpokenByCharacter) return ProjectWriter_WriteU32(writer, u32(List_IndexOf(&scene->characters, element)));
  if (kind == kTextAttachedToObject) return ProjectWriter_WriteU32(writer, u32(List_IndexOf(&scene->objects, element)));
  return true;
}

bool WriteScene(ProjectWriter* writer, const Scene* scene) {
  const CatalogEntry* background = scene->background >= 0 ? SceneCatalog_GetAt(u32(scene->background)) : nullptr;
  if (!WriteIdentity(writer, background) || !ProjectWriter_WriteU32(writer, scene->currentFrame) ||
      !ProjectWriter_WriteU32(writer, scene->length))
    return false;
  if (!ProjectWriter_WriteU32(writer, List_Count(&scene->characters))) return false;
  for (const CharacterInstance* character : ListRange<CharacterInstance>(&scene->characters))
    if (!WriteCharacter(writer, character)) return false;
  if (!ProjectWriter_WriteU32(writer, List_Count(&scene->objects))) return false;
  for (const ObjectInstance* object : ListRange<ObjectInstance>(&scene->objects))
    if (!WriteObject(writer, scene, object)) return false;
  if (!ProjectWriter_WriteU32(writer, List_Count(&scene->texts))) return false;
  for (const TextItem* text : ListRange<TextItem>(&scene->texts))
    if (!ProjectWriter_WriteU32(writer, text->balloon.width) || !ProjectWriter_WriteU32(writer, text->balloon.style) ||
        !ProjectWriter_WriteWideString(writer, text->balloon.text) ||
        !ProjectWriter_WriteU32(writer, text->variant ? 1 : 0) || !ProjectWriter_WriteU32(writer, text->startFrame) ||
        !ProjectWriter_WriteU32(writer, text->endFrame) || !ProjectWriter_WriteU32(writer, u32(text->x)) ||
        !ProjectWriter_WriteU32(writer, u32(text->y)) ||
        !WriteAttachment(writer, scene, text->attachKind, text->attachedTo))
      return false;
  if (!ProjectWriter_WriteU32(writer, List_Count(&scene->sounds))) return false;
  for (SoundItem* sound : ListRange<SoundItem>(&scene->sounds)) {
    u64 speed;
    std::memcpy(&speed, &sound->speed, sizeof speed);
    if (!ProjectWriter_WriteU32(writer, sound->startFrame) || !ProjectWriter_WriteU32(writer, sound->endFrame) ||
        !ProjectWriter_WriteU64(writer, speed) || !ProjectWriter_WriteWideString(writer, sound->fileName.CStr()) ||
        !WriteAttachment(writer, scene, sound->kind, sound->attachedTo))
      return false;
  }
  return true;
}

bool WriteMovie(ProjectWriter* writer, const Movie* movie) {
  if (!ProjectWriter_WriteByte(writer, kProjectMagic, kProjectMagicSize) ||
      !ProjectWriter_WriteU32(writer, kProjectVersion) || !ProjectWriter_WriteU32(writer, List_Count(&movie->scenes)) ||
      !ProjectWriter_WriteU32(writer, movie->currentScene))
    return false;
  for (const Scene* scene : ListRange<Scene>(&movie->scenes))
    if (!WriteScene(writer, scene)) return false;
  return ProjectWriter_WriteCrc(writer);
}

}  // namespace

u32 ProjectFile_WriteMovie(const Movie* movie, const char* path) {
  CSLFileReplacement file;
  if (!file.BeginA(path)) {
    SLSetLastError(SL_E_STORAGE_CREATE);
    return SL_E_STORAGE_CREATE;
  }
  ProjectWriter writer;
  SLSetSystemLastError(ERROR_SUCCESS);
  bool written = ProjectWriter_Begin(&writer, file.GetStorage()) && WriteMovie(&writer, movie);
  // The system's word on the step that failed, read before the clean-up speaks over it.
  u32 systemError = written ? u32(ERROR_SUCCESS) : SLGetSystemLastError();
  u32 code = written ? u32(SL_OK) : SLGetLastError();
  ProjectWriter_End(&writer);
  if (written && !file.Commit()) written = false, code = SLGetLastError(), systemError = SLGetSystemLastError();
  if (!written) {
    file.Abandon();
    if (code == SL_OK) code = SL_E_STORAGE_WRITE;
    SLSetSystemLastError(systemError);
    SLSetLastError(code);
    return code;
  }
  SLSetLastError(SL_OK);
  return SL_OK;
}

bool ProjectFile_PathOf(const char* name, char* buffer, u32 size) {
  const u32 written = SLSnprintfA(buffer, size, "%s%sAventuras Guardadas\\%s.ZQTR", App_ProgramDirectory(), "", name);
  return written < size ? SLSucceed(true) : SLFail(SL_E_INVALID_ARG, false);
}

bool ProjectFile_WouldReplaceAnother(const char* name) {
  char path[4096];
  if (!name || !*name || !ProjectFile_PathOf(name, path, sizeof path)) return SLSucceed(false);
  // The movie's name is the file it came from or last went to: loading sets it, and so
  // does saving, also a save that failed, whose name held nothing of another movie or one
  // the user had already agreed to replace. A cleared movie has none.
  const char* own = Movie_Get()->name;
  if (own && SLStrICmpA(own, name) == 0) return SLSucceed(false);
  return SLSucceed(SLFileExists(path));
}

namespace {
void NothingToDo(u32, std::uintptr_t) {}

void TellSaveResult(const char* text, AppCommonPicture icon) {
  MsgBox_ShowWithCallback(0, 1, NothingToDo, 0, text, "Guardar pel\xed" "cula", 1026, AppCommonPictures[icon], nullptr);
}
}  // namespace

void ProjectFile_Save(const char* name) {
  Movie* movie = Movie_Get();
  // The name is the movie's from now on, whether or not the file can be written.
  char* copy = SLDuplicateText(name, SLTextLength(name));
  if (!copy) App_Fatal(APP_FATAL_PROJECT_SAVE, "Insuficiente memoria");
  SLFree(movie->name);
  movie->name = copy;

  char folder[4096], path[4096];
  SLSnprintfA(folder, sizeof folder, "%s%sAventuras Guardadas", App_ProgramDirectory(), "");
  if (SLInternals::CSLFileStorageInternal* api = SLGetFileStorageApi(false)) api->CreateDirectoryA(folder, nullptr);
  if (!ProjectFile_PathOf(name, path, sizeof path)) {
    TellSaveResult("No puedo crear el archivo destino.", APP_PICTURE_ERROR);
    return;
  }
  const u32 code = ProjectFile_WriteMovie(movie, path);
  const u32 systemError = SLGetSystemLastError();
  if (code != SL_OK) {
    // Under the box's own line, the cause a family can mend: a full disk, a quota or a
    // file-size limit; a folder of movies it may not write in, or one that is gone.
    char text[4400];
    SLSnprintfA(text, sizeof text, "%s",
                code == SL_E_STORAGE_CREATE ? "No puedo crear el archivo destino." : "No puedo grabar en el archivo destino.");
    App_AppendFileErrorCause(text, sizeof text, systemError, "pel\xed" "culas", path);
    TellSaveResult(text, APP_PICTURE_ERROR);
  } else {
    movie->modified = 0;
    TellSaveResult("La pel\xed" "cula ha sido guardada satisfactoriamente.", APP_PICTURE_INFORMATION);
  }
}
