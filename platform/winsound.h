// The sound system's types: wave formats, buffer descriptions and the playback and
// capture object interfaces of the "dsound.dll" stand-in. Our own declarations; the
// framework reaches the objects through these interfaces only.
#pragma once

#include "platform/wintypes.h"

struct GUID {
  DWORD data1;
  WORD data2;
  WORD data3;
  BYTE data4[8];
};

inline bool operator==(const GUID& a, const GUID& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.data4[i] != b.data4[i]) return false;
  return true;
}

inline constexpr GUID DSDEVID_DefaultPlayback = {0xDEF00000, 0x9C6D, 0x47ED, {0xAA, 0xF1, 0x4D, 0xDA, 0x8F, 0x2B, 0x5C, 0x03}};
inline constexpr GUID DSDEVID_DefaultCapture = {0xDEF00001, 0x9C6D, 0x47ED, {0xAA, 0xF1, 0x4D, 0xDA, 0x8F, 0x2B, 0x5C, 0x03}};
inline constexpr GUID IID_IDirectSoundNotify = {0xB0210783, 0x89CD, 0x11D0, {0xAF, 0x08, 0x00, 0xA0, 0xC9, 0x25, 0xCD, 0x16}};

// Results.
inline constexpr HRESULT DS_OK = 0;
inline constexpr HRESULT DS_NO_VIRTUALIZATION = 0x0878000A;
inline constexpr HRESULT DSERR_ALLOCATED = HRESULT(0x8878000Au);
inline constexpr HRESULT DSERR_INVALIDCALL = HRESULT(0x88780032u);
inline constexpr HRESULT DSERR_BADFORMAT = HRESULT(0x88780064u);
inline constexpr HRESULT DSERR_NODRIVER = HRESULT(0x88780078u);
inline constexpr HRESULT DSERR_BUFFERLOST = HRESULT(0x88780096u);
inline constexpr HRESULT DSERR_INVALIDPARAM = E_INVALIDARG;
inline constexpr HRESULT DSERR_OUTOFMEMORY = E_OUTOFMEMORY;
inline constexpr HRESULT DSERR_NOAGGREGATION = HRESULT(0x80040110u);

// Buffer capabilities, play and lock flags, cooperative levels.
inline constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x1;
inline constexpr DWORD DSBCAPS_STATIC = 0x2;
inline constexpr DWORD DSBCAPS_CTRLFREQUENCY = 0x20;
inline constexpr DWORD DSBCAPS_CTRLPAN = 0x40;
inline constexpr DWORD DSBCAPS_CTRLVOLUME = 0x80;
inline constexpr DWORD DSBCAPS_CTRLPOSITIONNOTIFY = 0x100;
inline constexpr DWORD DSBCAPS_GETCURRENTPOSITION2 = 0x10000;
inline constexpr DWORD DSBPLAY_LOOPING = 0x1;
inline constexpr DWORD DSBLOCK_FROMWRITECURSOR = 0x1;
inline constexpr DWORD DSBLOCK_ENTIREBUFFER = 0x2;
inline constexpr DWORD DSSCL_NORMAL = 1;
inline constexpr DWORD DSSCL_PRIORITY = 2;
inline constexpr DWORD DSCBCAPS_WAVEMAPPED = 0x80000000u;
inline constexpr DWORD DSCBSTART_LOOPING = 0x1;
inline constexpr LONG DSBVOLUME_MIN = -10000;
inline constexpr LONG DSBVOLUME_MAX = 0;
inline constexpr LONG DSBPAN_LEFT = -10000;
inline constexpr LONG DSBPAN_RIGHT = 10000;
inline constexpr DWORD DSBFREQUENCY_MIN = 100;
inline constexpr DWORD DSBFREQUENCY_MAX = 200000;
inline constexpr DWORD DSBSIZE_MIN = 4;
inline constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;
inline constexpr WORD WAVE_FORMAT_PCM = 1;

struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};

struct DSBUFFERDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwBufferBytes;
  DWORD dwReserved;
  WAVEFORMATEX* lpwfxFormat;
  GUID guid3DAlgorithm;
};

struct DSCBUFFERDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwBufferBytes;
  DWORD dwReserved;
  WAVEFORMATEX* lpwfxFormat;
  DWORD dwFXCount;
  void* lpDSCFXDesc;
};

struct DSBPOSITIONNOTIFY {
  DWORD dwOffset;
  HANDLE hEventNotify;
};

// Every object is counted: Release frees it at zero.
struct IDirectSoundUnknown {
  virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IDirectSoundUnknown() = default;
};

// A playback buffer: the primary buffer takes only SetFormat; the secondary buffers
// (one per voice) take everything else.
struct IDirectSoundBuffer8 : IDirectSoundUnknown {
  virtual HRESULT SetFormat(const WAVEFORMATEX* format) = 0;
  virtual HRESULT Lock(DWORD offset, DWORD bytes, void** first, DWORD* firstBytes, void** second,
                       DWORD* secondBytes, DWORD flags) = 0;
  virtual HRESULT Unlock(void* first, DWORD firstBytes, void* second, DWORD secondBytes) = 0;
  virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT SetCurrentPosition(DWORD position) = 0;
  virtual HRESULT GetCurrentPosition(DWORD* play, DWORD* write) = 0;
  virtual HRESULT SetFrequency(DWORD frequency) = 0;
  virtual HRESULT SetVolume(LONG volume) = 0;
  virtual HRESULT SetPan(LONG pan) = 0;
  virtual HRESULT Restore() = 0;

 protected:
  ~IDirectSoundBuffer8() = default;
};

struct IDirectSound8 : IDirectSoundUnknown {
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
  virtual HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer8** out, void* outer) = 0;
  virtual HRESULT DuplicateSoundBuffer(IDirectSoundBuffer8* original, IDirectSoundBuffer8** out) = 0;

 protected:
  ~IDirectSound8() = default;
};

struct IDirectSoundNotify8 : IDirectSoundUnknown {
  virtual HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) = 0;

 protected:
  ~IDirectSoundNotify8() = default;
};

struct IDirectSoundCaptureBuffer8 : IDirectSoundUnknown {
  virtual HRESULT Start(DWORD flags) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT GetCurrentPosition(DWORD* capture, DWORD* read) = 0;
  virtual HRESULT Lock(DWORD offset, DWORD bytes, void** first, DWORD* firstBytes, void** second,
                       DWORD* secondBytes, DWORD flags) = 0;
  virtual HRESULT Unlock(void* first, DWORD firstBytes, void* second, DWORD secondBytes) = 0;

 protected:
  ~IDirectSoundCaptureBuffer8() = default;
};

struct IDirectSoundCapture8 : IDirectSoundUnknown {
  virtual HRESULT CreateCaptureBuffer(const DSCBUFFERDESC* desc, IDirectSoundCaptureBuffer8** out, void* outer) = 0;

 protected:
  ~IDirectSoundCapture8() = default;
};

using SLDirectSoundCreate8Fn = HRESULT (*)(const GUID* device, IDirectSound8** out, void* outer);
using SLDirectSoundCaptureCreate8Fn = HRESULT (*)(const GUID* device, IDirectSoundCapture8** out, void* outer);
