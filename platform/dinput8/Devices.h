// Internal to the dinput8 stand-in: the device objects and the shared lock.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>

#include "platform/dinput8/DInput8.h"

namespace SLDInput8 {

extern std::recursive_mutex g_lock;

class Device : public IDirectInputDevice8A {
 public:
  enum class Kind { Keyboard, Mouse, Joystick };
  explicit Device(Kind kind);
  virtual ~Device();

  HRESULT QueryInterface(const GUID& iid, void** out) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetCapabilities(DIDEVCAPS* caps) override;
  HRESULT SetProperty(REFDIPROP property, const DIPROPHEADER* header) override;
  HRESULT Acquire() override;
  HRESULT Unacquire() override;
  HRESULT GetDeviceState(DWORD size, void* data) override;
  HRESULT GetDeviceData(DWORD elementSize, DIDEVICEOBJECTDATA* data, DWORD* count, DWORD flags) override;
  HRESULT SetDataFormat(const DIDATAFORMAT* format) override;
  HRESULT SetEventNotification(HANDLE event) override;
  HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
  HRESULT Poll() override;

  Kind kind() const { return kind_; }
  // Queues one buffered element while acquired and signals the notification event;
  // false when it could not be queued (not acquired, no focus, the buffer full).
  bool Append(DWORD offset, DWORD data);
  // Two elements of one report (the second left out when offset2 is 0), one signal.
  bool AppendPair(DWORD offset, DWORD data, DWORD offset2, DWORD data2);
  DIMOUSESTATE mouseState_{};  // the mouse's immediate state, movement since the last read
  // The reader's pointer stands where the last position report put it (see MousePosition);
  // the next position report is to put it there.
  bool pointerPlaced_ = false;
  bool placeWanted_ = false;

 protected:
  virtual HRESULT ReadState(void* data);  // called acquired, under the lock
  virtual void OnAcquire();
  bool AcceptsFormat(const DIDATAFORMAT& format) const;

 private:
  bool HasFocus() const;
  HRESULT CheckReadable();

  Kind kind_;
  std::atomic<ULONG> references_{1};
  const DIDATAFORMAT* format_ = nullptr;
  HWND window_ = nullptr;
  DWORD level_ = 0;
  HANDLE event_ = nullptr;
  bool acquired_ = false;
  DWORD bufferSize_ = 0;
  std::deque<DIDEVICEOBJECTDATA> buffer_;
};

// Controllers (Joystick.cpp).
HRESULT CreateJoystick(const GUID& instance, Device** out);
void EnumJoysticks(LPDIENUMDEVICESCALLBACKA callback, void* reference);

}  // namespace SLDInput8
