// The objects behind the "wmvcore.dll" interfaces: media types kept as owned copies,
// the streams of a profile, and the profile itself. Private to platform/wmvcore.
#pragma once

#include <string>
#include <vector>

#include "platform/dsound/Counted.h"
#include "platform/wmvcore/WmvCore.h"

namespace SLWmv {

// A media type with its own copy of the format block.
struct MediaType {
  GUID major{};
  GUID sub{};
  BOOL fixedSizeSamples = 0;
  BOOL temporalCompression = 0;
  ULONG sampleSize = 0;
  GUID formatType{};
  std::vector<BYTE> format;

  // The format block as a video header / wave format, or null when it is not one (or too
  // short to be one).
  const WMVIDEOINFOHEADER* Video() const;
  const WAVEFORMATEX* Wave() const;
};

// The caller's buffer holds the record followed by the format block.
HRESULT GetMediaType(const MediaType& type, WM_MEDIA_TYPE* out, DWORD* size);
// Copies the caller's type; a format block larger than 64 KiB or a null block with a
// non-zero size is refused.
HRESULT SetMediaType(MediaType* type, const WM_MEDIA_TYPE* in);

struct Stream {
  WORD number = 0;
  std::string name;
  DWORD bitrate = 0;
  DWORD bufferWindow = 0;
  LONGLONG maxKeyFrameSpacing = 0;  // video only, 100-nanosecond units
  DWORD quality = 0;                // video only
  MediaType type;                   // the compressed format
};

// Media properties over a MediaType the object owns or shares.
template <class Interface>
class MediaProps : public SLSoundCounted<Interface> {
 public:
  HRESULT GetType(GUID* majorType) override {
    if (!majorType) return WM_E_INVALIDARG;
    *majorType = Type()->major;
    return WM_S_OK;
  }
  HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override { return SLWmv::GetMediaType(*Type(), type, size); }
  HRESULT SetMediaType(const WM_MEDIA_TYPE* type) override { return SLWmv::SetMediaType(Type(), type); }

 protected:
  virtual MediaType* Type() = 0;
};

class InputProps final : public MediaProps<IWMInputMediaProps> {
 public:
  explicit InputProps(MediaType type) : type_(std::move(type)) {}
  const MediaType& Get() const { return type_; }

 private:
  MediaType* Type() override { return &type_; }
  MediaType type_;
};

class Profile : public SLSoundCounted<IWMProfile> {
 public:
  HRESULT GetStreamCount(DWORD* count) override;
  HRESULT GetStream(DWORD index, IWMStreamConfig** config) override;
  HRESULT ReconfigStream(IWMStreamConfig* config) override;

  std::vector<Stream> streams;
};

// The profile of an interface pointer this module made, or null for any other object.
Profile* AsProfile(IWMProfile* profile);

// Reads a profile text (UTF-8). False on malformed text, a stream without a number or
// of a type other than audio or video, a repeated number, or a format that does not fit.
bool ParseProfile(const std::string& text, std::vector<Stream>* streams);

}  // namespace SLWmv
