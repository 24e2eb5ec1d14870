// The movie player: plays a video file, a sound file or both streams of a movie in real
// time. A reader (media/reader) decodes the file; the player's own thread paces playback
// and keeps the current frame up to date; the caller draws the current picture into the
// graphics device's back buffer once per screen frame with RenderFrame.
//
// Sound paces video. The sound streams through a ring of 50 blocks of a tenth of a second
// made on the sound device; every block remembers which sample position it holds, so the
// voice's play position inside the ring gives the sample being heard, and from it the
// picture that belongs to it. Without sound the frame advances with the time that passed.
//
// Three threads meet here: the caller's, the player thread and the worker, which sends
// CSL_GS_MoviePlayerStoppingEvent to the listeners each time playback ends (so a listener
// may call the player again). Lock order: the player never waits for the process-wide
// event lock while it holds its state lock or while Play waits for the player thread;
// sounds are destroyed (which sends an event) and listeners added and removed outside it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/SLBaseEvent.h"
#include "foundation/SLError.h"
#include "foundation/SLThread.h"
#include "gamesystem/SLEventSender.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "platform/wintypes.h"

class CSL_GS_BaseGfx;
class CSL_GS_BaseSfx;
struct SL_GS_SoundRecord;

// A thread that runs a member function of a target object, or a plain function with the
// target (moved by a byte adjustment) and one argument. Its class record is CSLThread's.
template <class T>
class TSLClassWorkerThread : public CSLThread {
 public:
  using Member = void (T::*)();
  using Function = void (*)(void* target, std::uintptr_t argument);

  TSLClassWorkerThread() : m_target(nullptr), m_member(nullptr), m_function(nullptr), m_adjustment(0), m_argument(0) {}
  ~TSLClassWorkerThread() override {
    // Stop while the target's function may still be running on this object.
    SLErrorKeeper keeper;
    CSLThread::Stop(INFINITE);
  }

  // 0x80010002 without a target and a function to run.
  bool Start(bool suspended = false) override {
    if (!m_target || (!m_member && !m_function)) return SLFail(SL_E_NOT_INITIALISED, false);
    return CSLThread::Start(suspended);
  }
  void Run() override {
    if (m_member)
      (m_target->*m_member)();
    else if (m_function)
      m_function(reinterpret_cast<std::uint8_t*>(m_target) + m_adjustment, m_argument);
  }
  bool StartFunction(T* target, Function function, std::ptrdiff_t adjustment, std::uintptr_t argument,
                     bool suspended) {
    m_target = target;
    m_function = function;
    m_adjustment = adjustment;
    m_argument = argument;
    m_member = nullptr;
    return Start(suspended);
  }
  bool StartMember(T* target, Member member, bool suspended) {
    m_target = target;
    m_member = member;
    m_function = nullptr;
    return Start(suspended);
  }

 private:
  T* m_target;
  Member m_member;
  Function m_function;
  std::ptrdiff_t m_adjustment;
  std::uintptr_t m_argument;
};

// Sent once each time playback ends (its end, Stop, Close, a new Open or Play, a device
// change or a failure while playing), on the player's worker thread.
class CSL_GS_MoviePlayerStoppingEvent : public CSLBaseEvent {
  SL_DECLARE_CLASS(CSL_GS_MoviePlayerStoppingEvent)
 public:
  CSL_GS_MoviePlayerStoppingEvent() = default;
};

struct SL_GS_MoviePlayerState;
namespace SLInternals {
class CSLPlayerLock;
}

class CSL_GS_MoviePlayer : public CSLThread, public TSLEventSender<CSL_GS_MoviePlayer, CSLBaseEvent*> {
  SL_DECLARE_CLASS(CSL_GS_MoviePlayer)
 public:
  CSL_GS_MoviePlayer();
  // Closes the movie, lets go of the devices and joins both threads; keeps the caller's code.
  ~CSL_GS_MoviePlayer() override;

  // The player thread's body.
  void Run() override;

  // Opens a file through the given reader class (null: the one its extension names); an
  // empty or null path closes. 0x80001001 for a class not derived from the reader base;
  // 0x800f0004 for a file with neither video nor sound; 0x800f0006 / 0x800f0007 for a
  // frame rate or a sample rate that cannot pace playback; the reader's codes otherwise.
  // A failure leaves no movie open.
  bool Open(const char* path, const SLClassRecord* readerClass);
  // Stops playback and drops the movie. Always succeeds.
  bool Close();
  // Plays from the current frame. A negative speed plays the video backward (without
  // sound). Returns once the player thread has started playback or failed to.
  // 0x80001001 bad speed or nothing left to play; 0x80010002 nothing open or a missing
  // device; 0x800f0007 sound that is not 8 or 16 bits; device and reader codes.
  bool Play(u32 loop, double speed, bool withoutSound, bool withoutVideo);
  // Ends playback and waits until the player thread is idle.
  bool Stop();
  // Sets the current frame (at most the total frame count); playback in progress goes on
  // from there without a stopping event.
  bool SeekToFrame(u64 frame);
  bool IsPlaying();
  bool GetCurrentFrame(u64* frame);
  // The total frame count: the movie's length in frames, in sample frames without video.
  bool GetFrameCount(u64* frames);
  bool GetFrameRate(double* framesPerSecond);  // 0x800f0009 without video
  bool GetAudioFormat(SLAudioFormat* format);  // 0x800f000a without sound
  // The reader's samples of the sound stream; 0x80010011 while playing.
  bool ReadAudio(u64 first, u32 count, const void** samples, u32* got);
  // Draws the current picture with its top-left corner at (x, y), cut to the screen.
  // 0x80010002 without a graphics device, 0x800f0009 without video, 0x800f0008 without
  // a picture; a picture wholly off the screen draws nothing and succeeds.
  bool RenderFrame(i32 x, i32 y);
  // Stop playback and attach another device (null: none). SetSfx first destroys the
  // streaming sound through the old device.
  bool SetGfx(CSL_GS_BaseGfx* gfx);
  bool SetSfx(CSL_GS_BaseSfx* sfx);

  // Listeners on the attached devices: a dying device is let go.
  void OnGfxEvent(CSL_GS_BaseGfx* sender, CSLBaseEvent* event, u32 user);
  void OnSfxEvent(CSL_GS_BaseSfx* sender, CSLBaseEvent* event, u32 user);
  // The worker thread's body: one stopping event each time the player thread leaves playback.
  void WaitAndNotifyStopped();

 private:
  bool CreateState();
  void DestroyState();
  // Under the state lock.
  bool IsOpen() const;
  SL_GS_SoundRecord* DropMovie();  // the streaming sound, for the caller to destroy unlocked
  // Ends playback and returns holding the state lock with the player thread idle.
  bool StopAndLock(SLInternals::CSLPlayerLock* lock);
  void DestroySound(CSL_GS_BaseSfx* sfx, SL_GS_SoundRecord* sound);
  template <class TDevice>
  bool AttachDevice(TDevice* SL_GS_MoviePlayerState::*field, TDevice* device,
                    void (CSL_GS_MoviePlayer::*listener)(TDevice*, CSLBaseEvent*, u32));
  template <class TDevice>
  bool IsDyingAttached(CSLBaseEvent* event, TDevice* SL_GS_MoviePlayerState::*field, TDevice* sender);
  // Player thread.
  bool StartPlayback();
  bool FillRingBlock(u32 block, u64 position);
  bool SoundTick(bool* ended);
  void StepTick(bool* ended);
  void LeavePlayback(bool threadEnding);

  SL_GS_MoviePlayerState* m_state;
};
