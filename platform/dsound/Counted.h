// The reference count every object of the "dsound.dll" stand-in carries: Release
// deletes the object when the last reference goes.
#pragma once

#include <atomic>

#include "platform/winsound.h"

template <class Interface>
class SLSoundCounted : public Interface {
 public:
  HRESULT QueryInterface(const GUID&, void** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  SLSoundCounted() = default;
  virtual ~SLSoundCounted() = default;

 private:
  std::atomic<ULONG> refs_{1};
};
