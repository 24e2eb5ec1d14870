// The sound device over "dsound.dll": one secondary buffer per voice (voices after the
// first duplicate the first and share its memory), the voice settings turned into the
// platform's frequency, attenuation and pan, streaming rings written through the sound's
// own samples and copied to the platform at Unlock, and microphone capture into a
// two-second ring whose blocks a worker thread hands to the caller.
#pragma once

#include <atomic>

#include "foundation/SLArray.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLSync.h"
#include "foundation/SLThread.h"
#include "foundation/SLWndHook.h"
#include "gamesystem/SLSfx.h"
#include "platform/winsound.h"

class CSL_GS_Sfx_DirectX;

namespace SLInternals {

// Binds "dsound.dll" by name and makes the playback and capture objects of the default
// devices; every object it made is released at the latest when it goes.
class CSL_GS_SfxDirectXInternal : public CSLBaseOODClass {
 public:
  CSL_GS_SfxDirectXInternal();
  ~CSL_GS_SfxDirectXInternal() override;
  bool Initialize() override;  // binds what there is; always true

  static CSL_GS_SfxDirectXInternal* GetInstance();

  // A new object on each call; null with 0x800E0001 (no library), 0x800E0002 (no entry
  // point) or 0x8001000F (the platform refused).
  IDirectSound8* CreatePlayback();
  IDirectSoundCapture8* CreateCapture();
  void ReleasePlayback(IDirectSound8* object);
  void ReleaseCapture(IDirectSoundCapture8* object);
  HMODULE GetModuleHandle();

 private:
  void Lock();
  void Unlock();
  // Creates an object on `device` and keeps it in `list`.
  template <class T, class F>
  T* MakeObject(F create, const GUID& device, TSLArray<T*>* list);
  template <class T>
  void DropObject(T* object, TSLArray<T*>* list);

  TSLArray<IDirectSound8*> m_playback;
  TSLArray<IDirectSoundCapture8*> m_capture;
  SLFastLock m_lock;
  HMODULE m_dsound;
  SLDirectSoundCreate8Fn m_pDirectSoundCreate8;
  SLDirectSoundCaptureCreate8Fn m_pDirectSoundCaptureCreate8;
  HMODULE m_kernel32;
  HMODULE (*m_pGetModuleHandleA)(LPCSTR);
  HMODULE (*m_pGetModuleHandleW)(LPCWSTR);
};

struct SLSfxDeviceState {
  CSL_GS_Sfx_DirectX* owner;
  HINSTANCE instance;
  HWND window;
  CSLWndProcHook* hook;
  IDirectSound8* playback;
  IDirectSoundCapture8* capture;  // null on a system without a capture device
};

enum : u32 { SL_SFX_CAPTURE_NOTIFICATIONS = 16 };

// One per capture sound, in its voice record.
struct SLSfxCaptureState {
  CSL_GS_Sfx_DirectX* device;
  SL_GS_SoundRecord* sound;
  IDirectSoundCaptureBuffer8* buffer;
  IDirectSoundNotify8* notify;
  DSBPOSITIONNOTIFY positions[SL_SFX_CAPTURE_NOTIFICATIONS];
  CSLSyncEvent notification;  // auto-reset, signalled as the capture passes a position
  CSLWorkerThread worker;
  SL_GS_CaptureCallback callback;
  std::uintptr_t user;
};

}  // namespace SLInternals

class CSL_GS_Sfx_DirectX : public CSL_GS_BaseSfx, private CSLWndProcHookTarget {
  SL_DECLARE_CLASS(CSL_GS_Sfx_DirectX)
 public:
  CSL_GS_Sfx_DirectX();
  ~CSL_GS_Sfx_DirectX() override;

  bool Init(HINSTANCE instance, HWND window, const SLAudioFormat* output) override;
  void Shutdown() override;
  bool Play(SL_GS_SoundRecord* sound, u32 loop, u32* voice, u32 firstFrame, double speed) override;
  bool StartCapture(SL_GS_SoundRecord* sound, SL_GS_CaptureCallback callback, std::uintptr_t user) override;
  bool Stop(SL_GS_SoundRecord* sound, u32 voice) override;
  bool GetPlayPosition(SL_GS_SoundRecord* sound, u32 voice, u32* frame) override;
  bool Lock(void** first, u32* firstFrames, void** second, u32* secondFrames, SL_GS_SoundRecord* sound,
            u32 firstFrame, u32 count) override;
  bool Unlock(SL_GS_SoundRecord* sound) override;
  bool CreateSoundObjects(SL_GS_SoundRecord* sound) override;
  void FreeSoundObjects(SL_GS_SoundRecord* sound) override;
  bool CanSetSpeed(SL_GS_SoundRecord* sound, u32 voiceIndex, double ratio) override;
  bool CanSetPan(SL_GS_SoundRecord* sound, u32 voiceIndex, i32 pan) override;
  bool CanSetVolume(SL_GS_SoundRecord* sound, u32 voiceIndex, u32 percent) override;
  bool ApplyVoiceSetting(SL_GS_SoundRecord* sound, u32 voiceIndex, u32 what) override;

  // The platform attenuation of a volume percent, in hundredths of a decibel: a
  // logarithmic curve from -10000 (silence) to 0 (full).
  static LONG AttenuationOfVolume(u32 percent);

 private:
  LRESULT OnHookedMessage(CSLWndProcHook* hook, HWND window, u32 message, WPARAM wParam, LPARAM lParam) override;
  bool CanSetVoice(SL_GS_SoundRecord* sound);
  bool WriteWholeSound(SL_GS_SoundRecord* sound);
  bool StartVoice(SL_GS_SoundRecord* sound, u32 index, u32 loop, u32 firstFrame, double speed);
  // Capture sounds (SLSfxCapture.cpp).
  bool CreateCaptureObjects(SL_GS_SoundRecord* sound);
  void FreeCaptureObjects(SL_GS_SoundRecord* sound);
  bool StopCapture(SL_GS_SoundRecord* sound);
  static u32 CaptureLoop(CSLWorkerThread* thread, std::uintptr_t parameter);

  SLInternals::SLSfxDeviceState* m_state;
};

// CD audio and the system mixer have nothing behind them on this platform: every
// operation fails with 0x80002003.
class CSL_GS_SfxCD_DirectX : public CSL_GS_BaseSfxCD {
  SL_DECLARE_CLASS(CSL_GS_SfxCD_DirectX)
 public:
  bool Init(HINSTANCE instance, HWND window, u32 drive) override;
  bool Play(u32 track) override;
  bool PlayFrom(u32 position) override;
  bool Stop() override;
  bool Pause() override;
  bool Resume() override;
  bool Eject(u32 open) override;
  bool GetPosition(u32* track, u32* minute, u32* second, u32* frame) override;
  bool GetTrackLength(u32 track, u32* minute, u32* second, u32* frame) override;
  bool GetTrackCount(u32* count) override;
  void Shutdown() override;
};

class CSL_GS_SfxMixer_DirectX : public CSL_GS_BaseSfxMixer {
  SL_DECLARE_CLASS(CSL_GS_SfxMixer_DirectX)
 public:
  bool Init(HINSTANCE instance, HWND window) override;
  void Shutdown(u32 reserved) override;
  bool SetVolume(u32 line, u32 volume) override;
  bool GetVolume(u32 line, u32* volume) override;
  bool SetMute(u32 line, u32 mute) override;
  bool GetRange(u32* low, u32* high, u32 line, u32 reserved) override;
  bool GetMute(u32 line, u32* mute) override;
};
