#include "gamesystem/SLSfx.h"

#include <cstddef>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

SL_IMPLEMENT_CLASS(CSL_GS_SfxDestroyingSoundEvent, CSLBaseEvent)
SL_IMPLEMENT_CLASS(CSL_GS_BaseSfx, CSLObject)
SL_IMPLEMENT_CLASS(CSL_GS_BaseSfxCD, CSLObject)
SL_IMPLEMENT_CLASS(CSL_GS_BaseSfxMixer, CSLObject)

namespace {

// The largest sample buffer a sound may have: sizes stay positive in 32-bit signed
// arithmetic everywhere the samples are handed on (platform buffers, lock offsets).
constexpr u64 kMaxSoundBytes = 0x7FFFFFFFu;

bool IsUsableFormat(const SLAudioFormat& f) {
  return f.formatTag == 1 && f.channels >= 1 && f.channels <= 64 && f.bitsPerSample >= 8 && f.bitsPerSample <= 64 &&
         f.samplesPerSecond >= 400 && f.samplesPerSecond <= 96000;
}

u32 BlockAlignOf(const SLAudioFormat& f) { return (f.bitsPerSample + 7) / 8 * f.channels; }

// The format as the device keeps it: block align and byte rate follow from the rest.
void Normalise(SLAudioFormat* f) {
  f->blockAlign = BlockAlignOf(*f);
  f->bytesPerSecond = f->samplesPerSecond * f->blockAlign;
}

SL_GS_SoundRecord* SoundOf(SL_GS_SoundLink* link) {
  return SLListElement<SL_GS_SoundRecord>(link, offsetof(SL_GS_SoundRecord, link));
}

// Bytes of `frames` frames of `f`, or false when the sound would be too large.
bool SampleBytes(u32 frames, const SLAudioFormat& f, u32* bytes) {
  u64 size = 0;
  if (!SLCheckedMul(frames, f.blockAlign, &size) || size > kMaxSoundBytes) return false;
  *bytes = u32(size);
  return true;
}

}  // namespace

CSL_GS_BaseSfx::CSL_GS_BaseSfx() : m_head{{&m_head, &m_head}}, m_group(1) {}

CSL_GS_BaseSfx::~CSL_GS_BaseSfx() {
  // The implementation's Shutdown destroyed the sounds; records a caller leaked past it
  // are not reachable through any device any more.
  SLErrorKeeper keeper;
  m_live.RemoveAll();
}

bool CSL_GS_BaseSfx::SetSoundGroup(u32 group) {
  if (group == 0) return SLFail(SL_E_INVALID_ARG, false);
  m_group = group;
  return SLSucceed(true);
}

u32 CSL_GS_BaseSfx::GetSoundKind(SL_GS_SoundRecord* sound) {
  if (!sound) return 0;
  SLCriticalSectionLock guard(&m_lock);
  const u32* kind = m_live.Find(sound);
  return kind ? *kind : 0;
}

bool CSL_GS_BaseSfx::IsValidSound(SL_GS_SoundRecord* sound) {
  if (GetSoundKind(sound) != SL_GS_SOUND_TAG) return SLFail(SL_E_INDEX, false);
  return SLSucceed(true);
}

bool CSL_GS_BaseSfx::IsValidCaptureSound(SL_GS_SoundRecord* sound) {
  if (GetSoundKind(sound) != SL_GS_CAPTURE_SOUND_TAG) return SLFail(SL_E_INDEX, false);
  return SLSucceed(true);
}

SL_GS_SoundRecord* CSL_GS_BaseSfx::NewRecord(u32 voices, u32 tag) {
  const u64 size = offsetof(SL_GS_SoundRecord, voices) + u64(voices) * sizeof(SL_GS_SoundVoice);
  if (!SLFitsU32(size)) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<SL_GS_SoundRecord*>(nullptr));
  auto* record = static_cast<SL_GS_SoundRecord*>(SLAllocZeroed(u32(size)));
  if (!record) return nullptr;
  record->tag = tag;
  for (u32 i = 0; i < voices; ++i) {
    record->voices[i].volume = 100;
    record->voices[i].speed = 1.0;
  }
  return record;
}

// Allocates the samples for the record's length and format and fills them with silence.
bool CSL_GS_BaseSfx::AllocateSamples(SL_GS_SoundRecord* record) {
  u32 bytes = 0;
  if (!SampleBytes(record->length, record->format, &bytes)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  record->samples = static_cast<u8*>(SLAlloc(bytes));
  if (!record->samples) return false;
  SLMemSet(record->samples, record->format.bitsPerSample == 8 ? 128 : 0, bytes);
  return true;
}

void CSL_GS_BaseSfx::FreeRecord(SL_GS_SoundRecord* record) {
  SLErrorKeeper keeper;
  if (record->samples) SLFree(record->samples);
  record->tag = 0;
  SLFree(record);
}

// Registers the sound, makes its platform objects and links it into the list; the
// record is freed on failure.
bool CSL_GS_BaseSfx::FinishSound(SL_GS_SoundRecord* record) {
  record->group = m_group;
  bool registered;
  {
    SLCriticalSectionLock guard(&m_lock);
    registered = m_live.Insert(record, record->tag);
  }
  if (!registered) {
    FreeRecord(record);
    return false;
  }
  if (!CreateSoundObjects(record)) {
    {
      SLErrorKeeper keeper;
      SLCriticalSectionLock guard(&m_lock);
      m_live.Remove(record);
    }
    FreeRecord(record);
    return false;
  }
  SLCriticalSectionLock guard(&m_lock);
  m_head.Prepend(&record->link);
  return SLSucceed(true);
}

SL_GS_SoundRecord* CSL_GS_BaseSfx::CreateSound(u32 frames, const SLAudioFormat* format, u32 voices) {
  using Sound = SL_GS_SoundRecord*;
  if (frames == 0 || !format || voices == 0) return SLFail(SL_E_INVALID_ARG, Sound(nullptr));
  if (!IsUsableFormat(*format)) return SLFail(SL_E_BAD_TARGET_FORMAT, Sound(nullptr));
  SL_GS_SoundRecord* record = NewRecord(voices, SL_GS_SOUND_TAG);
  if (!record) return nullptr;
  record->length = frames;
  record->format = *format;
  Normalise(&record->format);
  record->voiceCount = voices;
  if (!AllocateSamples(record)) {
    FreeRecord(record);
    return nullptr;
  }
  return FinishSound(record) ? record : nullptr;
}

SL_GS_SoundRecord* CSL_GS_BaseSfx::CreateCaptureSound(const SLAudioFormat* format) {
  using Sound = SL_GS_SoundRecord*;
  if (!format) return SLFail(SL_E_INVALID_ARG, Sound(nullptr));
  if (!IsUsableFormat(*format)) return SLFail(SL_E_BAD_TARGET_FORMAT, Sound(nullptr));
  SL_GS_SoundRecord* record = NewRecord(1, SL_GS_CAPTURE_SOUND_TAG);
  if (!record) return nullptr;
  record->length = format->samplesPerSecond * 2;
  record->format = *format;
  Normalise(&record->format);
  record->voiceCount = 1;
  if (!AllocateSamples(record)) {
    FreeRecord(record);
    return nullptr;
  }
  return FinishSound(record) ? record : nullptr;
}

SL_GS_SoundRecord* CSL_GS_BaseSfx::LoadSoundFromStorage(CSLBaseStorage* storage, u32 voices,
                                                       const SLClassRecord* readerClass) {
  using Sound = SL_GS_SoundRecord*;
  if (!storage) return SLFail(SL_E_SFX_NO_STORAGE, Sound(nullptr));
  if (!readerClass || !SLClassRecord::IsDerivedFrom(readerClass, CSLBaseVideoAudioReader::GetClassRecord()) ||
      voices == 0)
    return SLFail(SL_E_INVALID_ARG, Sound(nullptr));
  SLSetLastError(SL_OK);
  auto* reader = static_cast<CSLBaseVideoAudioReader*>(SLCallGuarded(readerClass));
  if (!reader) return SLFail(SLGetLastError() ? SLGetLastError() : SL_E_OUT_OF_MEMORY, Sound(nullptr));
  auto releaseReader = SLMakeScopeGuard([reader] { reader->Release(); });
  SL_GS_SoundRecord* record = NewRecord(voices, SL_GS_SOUND_TAG);
  if (!record) return nullptr;
  auto freeRecord = SLMakeScopeGuard([record] { FreeRecord(record); });

  u32 streams = 0;
  if (!reader->Open(storage, 0) || !reader->GetStreamCount(&streams)) return nullptr;
  u32 stream = 0;
  for (;; ++stream) {
    if (stream >= streams) return SLFail(SL_E_NO_AUDIO_STREAM, Sound(nullptr));
    u32 type = 0;
    if (!reader->GetStreamType(stream, &type)) return nullptr;
    if (type == SL_STREAM_AUDIO) break;
  }
  u64 frames64 = 0;
  if (!reader->GetAudioFormat(stream, &record->format) || !reader->GetAudioLength(stream, &frames64)) return nullptr;
  // The reader's format is checked as a created sound's is: its block align is what the
  // copy below trusts, so a reader reporting one that does not follow from its samples
  // is refused rather than read past.
  SLAudioFormat& format = record->format;
  if (!IsUsableFormat(format) || format.blockAlign != BlockAlignOf(format))
    return SLFail(SL_E_BAD_TARGET_FORMAT, Sound(nullptr));
  Normalise(&format);
  record->length = SLFitsU32(frames64) ? u32(frames64) : 0xFFFFFFFFu;
  if (record->length == 0) return SLFail(SL_E_NULL_DATA, Sound(nullptr));
  u32 bytes = 0;
  if (!SampleBytes(record->length, format, &bytes)) return SLFail(SL_E_OUT_OF_MEMORY, Sound(nullptr));
  if (!reader->StartStream(stream)) return nullptr;

  // The samples' buffer grows with what the reader hands over: a length the file declares
  // (an MPEG tag's frame count) takes no memory before its samples are there.
  u32 capacity = 0;
  for (u32 done = 0; done < record->length;) {
    const u32 want = record->length - done < format.samplesPerSecond ? record->length - done : format.samplesPerSecond;
    const void* piece = nullptr;
    u32 got = 0;
    if (!reader->ReadAudio(stream, done, want, &piece, &got)) {
      SLErrorKeeper keeper;
      reader->StopStream(stream);
      return nullptr;
    }
    if (got < want || !piece) {
      reader->StopStream(stream);
      return SLFail(SL_E_SFX_SHORT_READ, Sound(nullptr));
    }
    const u32 needed = (done + want) * format.blockAlign;
    if (needed > capacity) {
      u32 grown = capacity > bytes / 2 ? bytes : capacity * 2;
      if (grown < needed) grown = needed;
      void* block = SLRealloc(record->samples, grown);
      if (!block) {
        SLErrorKeeper keeper;
        reader->StopStream(stream);
        return nullptr;
      }
      record->samples = static_cast<u8*>(block);
      capacity = grown;
    }
    // A reader that hands more than asked gives only what fits.
    SLMemCopy(record->samples + u64(done) * format.blockAlign, piece, want * format.blockAlign);
    done += want;
  }
  reader->StopStream(stream);
  record->voiceCount = voices;
  releaseReader.Dismiss();
  reader->Release();
  freeRecord.Dismiss();
  return FinishSound(record) ? record : nullptr;
}

SL_GS_SoundRecord* CSL_GS_BaseSfx::LoadSound(CSLBaseStorage* storage, const char* name, u32 voices,
                                            const SLClassRecord* readerClass) {
  if (!storage) return SLFail(SL_E_SFX_NO_STORAGE, static_cast<SL_GS_SoundRecord*>(nullptr));
  if (!storage->OpenA(name, 0)) return nullptr;
  SL_GS_SoundRecord* sound = LoadSoundFromStorage(storage, voices, readerClass);
  SLErrorKeeper keeper;
  storage->Close();
  return sound;
}

bool CSL_GS_BaseSfx::GetSoundInfo(SL_GS_SoundRecord* sound, SL_GS_SoundInfo* info) {
  if (!info) return SLFail(SL_E_NULL_OUTPUT, false);
  *info = {};
  const u32 kind = GetSoundKind(sound);
  if (!kind) return SLFail(SL_E_INDEX, false);
  info->length = kind == SL_GS_CAPTURE_SOUND_TAG ? sound->length / 2 : sound->length;
  info->voices = sound->voiceCount;
  info->format = sound->format;
  return SLSucceed(true);
}

template <class T>
bool CSL_GS_BaseSfx::ChangeVoiceSetting(SL_GS_SoundRecord* sound, u32 voice, T SL_GS_SoundVoice::*field, T value,
                                        u32 what) {
  const u32 kind = GetSoundKind(sound);
  if (!kind || voice == 0 || voice > sound->voiceCount) return SLFail(SL_E_INDEX, false);
  bool valid = false;
  switch (what) {
    case SL_GS_VOICE_SPEED: valid = double(value) >= 1e-10; break;
    case SL_GS_VOICE_VOLUME: valid = u32(value) <= 100; break;
    default: valid = i32(value) >= -100 && i32(value) <= 100; break;
  }
  if (!valid) return SLFail(SL_E_INVALID_ARG, false);
  if (what != SL_GS_VOICE_SPEED && kind != SL_GS_SOUND_TAG) return SLFail(SL_E_SETTING_UNSUPPORTED, false);
  const u32 index = voice - 1;
  bool allowed = false;
  switch (what) {
    case SL_GS_VOICE_SPEED: allowed = CanSetSpeed(sound, index, double(value)); break;
    case SL_GS_VOICE_VOLUME: allowed = CanSetVolume(sound, index, u32(value)); break;
    default: allowed = CanSetPan(sound, index, i32(value)); break;
  }
  if (!allowed) return false;
  SL_GS_SoundVoice& record = sound->voices[index];
  const T old = record.*field;
  record.*field = value;
  if (!ApplyVoiceSetting(sound, index, what)) {
    record.*field = old;
    return false;
  }
  return SLSucceed(true);
}

bool CSL_GS_BaseSfx::SetSpeed(SL_GS_SoundRecord* sound, u32 voice, double ratio) {
  return ChangeVoiceSetting(sound, voice, &SL_GS_SoundVoice::speed, ratio, SL_GS_VOICE_SPEED);
}

bool CSL_GS_BaseSfx::SetVolume(SL_GS_SoundRecord* sound, u32 voice, u32 percent) {
  return ChangeVoiceSetting(sound, voice, &SL_GS_SoundVoice::volume, percent, SL_GS_VOICE_VOLUME);
}

bool CSL_GS_BaseSfx::SetPan(SL_GS_SoundRecord* sound, u32 voice, i32 pan) {
  return ChangeVoiceSetting(sound, voice, &SL_GS_SoundVoice::pan, pan, SL_GS_VOICE_PAN);
}

void CSL_GS_BaseSfx::DestroySound(SL_GS_SoundRecord* sound) {
  if (!GetSoundKind(sound)) {
    SLSetLastError(SL_E_INDEX);
    return;
  }
  CSL_GS_SfxDestroyingSoundEvent event(sound);
  Send(&event);
  // A listener may have destroyed the sound itself.
  if (!GetSoundKind(sound)) {
    SLSetLastError(SL_OK);
    return;
  }
  Unlock(sound);
  Stop(sound, 0);
  FreeSoundObjects(sound);
  {
    SLCriticalSectionLock guard(&m_lock);
    m_live.Remove(sound);
    sound->link.Unlink();
  }
  FreeRecord(sound);
  SLSetLastError(SL_OK);
}

bool CSL_GS_BaseSfx::DestroySoundAndClear(SL_GS_SoundRecord** sound) {
  if (!sound) return SLFail(SL_E_NULL_DATA, false);
  DestroySound(*sound);
  const u32 code = SLGetLastError();
  *sound = nullptr;
  return code == SL_OK;
}

bool CSL_GS_BaseSfx::DestroyNewestSound() {
  SL_GS_SoundRecord* newest;
  {
    SLCriticalSectionLock guard(&m_lock);
    newest = m_head.IsEmpty() ? nullptr : SoundOf(m_head.next);
  }
  if (!newest) return false;
  DestroySound(newest);
  return true;
}
