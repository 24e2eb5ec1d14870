// The sound device: every sound the program plays or records is a record owned by the
// device, made from a whole file (through an audio reader), empty (a streaming ring the
// caller fills through Lock and Unlock) or as a two-second capture ring. The base class
// does everything that does not touch the platform; an implementation provides the
// platform operations (buffers, voices, capture) as its virtual operations.
#pragma once

#include "foundation/SLBaseEvent.h"
#include "foundation/SLHashMap.h"
#include "foundation/SLIntrusiveList.h"
#include "foundation/SLObject.h"
#include "foundation/SLSync.h"
#include "foundation/SLWndHook.h"
#include "gamesystem/SLEventSender.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "storage/SLBaseStorage.h"

enum : u32 {
  SL_GS_SOUND_TAG = 0xF3E13D34,
  SL_GS_CAPTURE_SOUND_TAG = 0xF3E13D35,
};

enum : u32 {
  SL_E_SFX_NO_STORAGE = 0x80020016,
  SL_E_SFX_SHORT_READ = 0x800F0008,       // the reader delivered fewer frames than asked
  SL_E_SFX_WRONG_KIND = 0x80002002,       // Play of a capture sound, StartCapture of a playback sound
  SL_E_SFX_POSITION = 0x80002021,
  SL_E_SFX_PREPARE_PLAY = 0x80002022,
  SL_E_SFX_PLAY_FAILED = 0x800F000C,
  SL_E_SFX_CAPTURE_START = 0x800F000E,
  SL_S_SFX_NOT_PLAYING = 0x000F0001,      // a status, not an error
};

// What ApplyVoiceSetting hands to the platform.
enum : u32 {
  SL_GS_VOICE_SPEED = 1,
  SL_GS_VOICE_VOLUME = 2,
  SL_GS_VOICE_PAN = 3,
};

struct SL_GS_SoundVoice {
  u32 volume;  // percent, 100 at creation
  i32 pan;     // -100 (left) .. 100 (right)
  double speed;   // playback rate ratio, 1.0 at creation
  u32 playing;
  u32 looping;
  std::uintptr_t devicePrivate;
  void* platform;  // the voice's platform buffer; a capture sound's capture state
};

// Link of a device's sound list.
struct SL_GS_SoundLink : TSLListLink<SL_GS_SoundLink> {};

// The sound handle. Callers treat it as opaque.
struct SL_GS_SoundRecord {
  u32 tag;  // SL_GS_SOUND_TAG or SL_GS_CAPTURE_SOUND_TAG; 0 once freed
  SL_GS_SoundLink link;  // in the device's sound list
  u32 length;  // sample frames (capture: two seconds)
  u8* samples;  // length * blockAlign bytes
  SLAudioFormat format;
  u32 group;
  // The platform lock of a streaming sound.
  u32 locked;
  u32 lockFirst;
  u32 lockCount;
  void* lockRegion1;
  u32 lockBytes1;
  void* lockRegion2;
  u32 lockBytes2;
  void* devicePrivate;  // freed with the platform objects
  u32 nextVoice;        // the voice the next Play takes
  u32 voiceCount;
  SL_GS_SoundVoice voices[1];  // voiceCount of them
};

struct SL_GS_SoundInfo {
  u32 length;  // sample frames (capture: one second)
  u32 voices;
  SLAudioFormat format;
};

// Sent before a sound is freed, while its handle is still valid.
class CSL_GS_SfxDestroyingSoundEvent : public CSLBaseEvent {
  SL_DECLARE_CLASS(CSL_GS_SfxDestroyingSoundEvent)
 public:
  explicit CSL_GS_SfxDestroyingSoundEvent(SL_GS_SoundRecord* sound = nullptr) : m_sound(sound) {}
  SL_GS_SoundRecord* m_sound;
};

// Called on the capture worker thread with each recorded block, in order, as whole frames.
using SL_GS_CaptureCallback = void (*)(SL_GS_SoundRecord* sound, std::uintptr_t user, const void* samples,
                                       u32 frames);

class CSL_GS_BaseSfx : public CSLObject, public TSLEventSender<CSL_GS_BaseSfx, CSLBaseEvent*> {
  SL_DECLARE_CLASS(CSL_GS_BaseSfx)
 public:
  CSL_GS_BaseSfx();
  ~CSL_GS_BaseSfx() override;

  // Platform operations.
  virtual bool Init(HINSTANCE instance, HWND window, const SLAudioFormat* output) = 0;
  virtual void Shutdown() = 0;
  virtual bool Play(SL_GS_SoundRecord* sound, u32 loop, u32* voice, u32 firstFrame, double speed) = 0;
  virtual bool StartCapture(SL_GS_SoundRecord* sound, SL_GS_CaptureCallback callback, std::uintptr_t user) = 0;
  // Voice 0 stops every voice.
  virtual bool Stop(SL_GS_SoundRecord* sound, u32 voice) = 0;
  virtual bool GetPlayPosition(SL_GS_SoundRecord* sound, u32 voice, u32* frame) = 0;
  // Reserves `count` frames of a streaming ring from `firstFrame`: the regions are the
  // sound's own samples (two when the range wraps), which the caller reads or writes.
  virtual bool Lock(void** first, u32* firstFrames, void** second, u32* secondFrames, SL_GS_SoundRecord* sound,
                    u32 firstFrame, u32 count) = 0;
  // Hands what was written to the platform.
  virtual bool Unlock(SL_GS_SoundRecord* sound) = 0;
  virtual bool CreateSoundObjects(SL_GS_SoundRecord* sound) = 0;
  virtual void FreeSoundObjects(SL_GS_SoundRecord* sound) = 0;
  virtual bool CanSetSpeed(SL_GS_SoundRecord* sound, u32 voiceIndex, double ratio) = 0;
  virtual bool CanSetPan(SL_GS_SoundRecord* sound, u32 voiceIndex, i32 pan) = 0;
  virtual bool CanSetVolume(SL_GS_SoundRecord* sound, u32 voiceIndex, u32 percent) = 0;
  virtual bool ApplyVoiceSetting(SL_GS_SoundRecord* sound, u32 voiceIndex, u32 what) = 0;

  bool SetSoundGroup(u32 group);
  // Handle tests: only the device's own live sounds of that kind pass; anything else
  // (null, freed, another device's, another kind of handle) fails with 0x80001008.
  bool IsValidSound(SL_GS_SoundRecord* sound);
  bool IsValidCaptureSound(SL_GS_SoundRecord* sound);

  SL_GS_SoundRecord* CreateSound(u32 frames, const SLAudioFormat* format, u32 voices);
  SL_GS_SoundRecord* CreateCaptureSound(const SLAudioFormat* format);
  // Decodes the whole first audio stream of the storage's current content.
  SL_GS_SoundRecord* LoadSoundFromStorage(CSLBaseStorage* storage, u32 voices, const SLClassRecord* readerClass);
  SL_GS_SoundRecord* LoadSound(CSLBaseStorage* storage, const char* name, u32 voices,
                               const SLClassRecord* readerClass);
  bool GetSoundInfo(SL_GS_SoundRecord* sound, SL_GS_SoundInfo* info);
  bool SetSpeed(SL_GS_SoundRecord* sound, u32 voice, double ratio);
  bool SetVolume(SL_GS_SoundRecord* sound, u32 voice, u32 percent);
  bool SetPan(SL_GS_SoundRecord* sound, u32 voice, i32 pan);
  void DestroySound(SL_GS_SoundRecord* sound);
  bool DestroySoundAndClear(SL_GS_SoundRecord** sound);

 protected:
  // The kind of a live sound of this device (its tag), 0 for anything else.
  u32 GetSoundKind(SL_GS_SoundRecord* sound);
  // Destroys the newest sound; false when none is left.
  bool DestroyNewestSound();

 private:
  // The live sounds and their kinds: the handle test looks the pointer up here instead of
  // reading memory that may have been freed.
  class CLiveSounds : public TSLHashMap<SL_GS_SoundRecord*, u32> {
   public:
    u32 GetInitialBucketCount() const override { return 257; }
    u32 Hash(SL_GS_SoundRecord* key) const override { return u32(reinterpret_cast<std::uintptr_t>(key) >> 4); }
  };

  SL_GS_SoundRecord* NewRecord(u32 voices, u32 tag);
  bool AllocateSamples(SL_GS_SoundRecord* record);
  bool FinishSound(SL_GS_SoundRecord* record);
  static void FreeRecord(SL_GS_SoundRecord* record);
  template <class T>
  bool ChangeVoiceSetting(SL_GS_SoundRecord* sound, u32 voice, T SL_GS_SoundVoice::*field, T value, u32 what);

  CSLCriticalSection m_lock;
  SL_GS_SoundLink m_head;  // the sounds, newest first
  u32 m_group;
  CLiveSounds m_live;
};

// CD audio and the system mixer: interfaces kept for the device set; nothing drives them.
class CSL_GS_BaseSfxCD : public CSLObject, public TSLEventSender<CSL_GS_BaseSfxCD, CSLBaseEvent*> {
  SL_DECLARE_CLASS(CSL_GS_BaseSfxCD)
 public:
  virtual bool Init(HINSTANCE instance, HWND window, u32 drive) = 0;
  virtual bool Play(u32 track) = 0;
  virtual bool PlayFrom(u32 position) = 0;
  virtual bool Stop() = 0;
  virtual bool Pause() = 0;
  virtual bool Resume() = 0;
  virtual bool Eject(u32 open) = 0;
  virtual bool GetPosition(u32* track, u32* minute, u32* second, u32* frame) = 0;
  virtual bool GetTrackLength(u32 track, u32* minute, u32* second, u32* frame) = 0;
  virtual bool GetTrackCount(u32* count) = 0;
  virtual void Shutdown() = 0;
};

class CSL_GS_BaseSfxMixer : public CSLObject, public TSLEventSender<CSL_GS_BaseSfxMixer, CSLBaseEvent*> {
  SL_DECLARE_CLASS(CSL_GS_BaseSfxMixer)
 public:
  virtual bool Init(HINSTANCE instance, HWND window) = 0;
  virtual void Shutdown(u32 reserved) = 0;
  virtual bool SetVolume(u32 line, u32 volume) = 0;
  virtual bool GetVolume(u32 line, u32* volume) = 0;
  virtual bool SetMute(u32 line, u32 mute) = 0;
  // Writes the line's range: its lowest and highest values.
  virtual bool GetRange(u32* low, u32* high, u32 line, u32 reserved) = 0;
  virtual bool GetMute(u32 line, u32* mute) = 0;
};
