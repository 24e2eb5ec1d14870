// The "wmvcore.dll" stand-in: the media format writer that turns uncompressed pictures
// and PCM sound into an ASF file with one video and one audio stream. Our own
// declarations of the calls the application makes.
//
// A profile (an XML text read by LoadProfileByData) names the streams, their bit rates
// and compressed formats; the writer gets one input per stream, in the profile's order,
// whose uncompressed format the caller sets. BeginWriting opens the file and the
// encoders, WriteSample feeds an input, EndWriting flushes and closes the file.
//
// The encoders are FFmpeg's: the video stream is always Windows Media Video 8 ("wmv2";
// there is no encoder for the profile's WMV3), the audio stream Windows Media Audio 2
// ("wmav2") at the profile's rate, channels and bit rate. Files are bit-exact: the same
// samples give the same bytes.
//
// The file is the writer's alone: BeginWriting creates it afresh and locks it against
// every other writer, in this process or another, until the writer is released (not at
// EndWriting, so that its owner can rename or remove the finished file first). A file
// another writer holds is refused and left as it is; one nobody holds (a process that
// wrote it ended without removing it) is removed and made again.
//
// Results: 0 (S_OK); 0x80070057 a bad argument or a call out of order; 0x8007000E no
// memory; 0x80070003 / 0x80070005 the file cannot be created (no such folder / access
// denied); 0x80070020 another writer holds the file; 0x80070070 the disk is full;
// 0x80004005 any other failure.
#pragma once

#include "platform/gdi32/Gdi32.h"
#include "platform/winsound.h"
#include "platform/wintypes.h"

using QWORD = std::uint64_t;

inline constexpr HRESULT WM_S_OK = S_OK;
inline constexpr HRESULT WM_E_FAIL = E_FAIL;
inline constexpr HRESULT WM_E_INVALIDARG = E_INVALIDARG;
inline constexpr HRESULT WM_E_OUTOFMEMORY = E_OUTOFMEMORY;
inline constexpr HRESULT WM_E_PATH_NOT_FOUND = HRESULT(0x80070003u);
inline constexpr HRESULT WM_E_ACCESS_DENIED = HRESULT(0x80070005u);
inline constexpr HRESULT WM_E_SHARING_VIOLATION = HRESULT(0x80070020u);
inline constexpr HRESULT WM_E_DISK_FULL = HRESULT(0x80070070u);

// Major types, subtypes and format types of media types.
inline constexpr GUID WMMEDIATYPE_Video = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID WMMEDIATYPE_Audio = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID WMMEDIASUBTYPE_RGB24 = {0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID WMMEDIASUBTYPE_PCM = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID WMFORMAT_VideoInfo = {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr GUID WMFORMAT_WaveFormatEx = {0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

// Interface ids QueryInterface answers.
inline constexpr GUID IID_IWMProfileManager2 = {0x7A924E51, 0x73C1, 0x494D, {0x80, 0x19, 0x23, 0xD3, 0x7E, 0xD9, 0xB8, 0x9A}};
inline constexpr GUID IID_IWMVideoMediaProps = {0x96406BCF, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr GUID IID_IWMHeaderInfo3 = {0x15CC68E3, 0x27CC, 0x4ECD, {0xB2, 0x22, 0x3F, 0x5D, 0x02, 0xD8, 0x0B, 0xD5}};

struct WMRECT {
  LONG left, top, right, bottom;
};

// A media type: the format block (cbFormat bytes at pbFormat) is a VIDEOINFOHEADER or a
// WAVEFORMATEX (plus its cbSize extra bytes) as formattype says. GetMediaType writes the
// record and its format block into one caller buffer, the block right after the record.
struct WM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples;
  BOOL bTemporalCompression;
  ULONG lSampleSize;
  GUID formattype;
  void* pUnk;
  ULONG cbFormat;
  BYTE* pbFormat;
};

// 88 bytes. A positive picture height means bottom-up rows.
struct WMVIDEOINFOHEADER {
  WMRECT rcSource;
  WMRECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  LONGLONG AvgTimePerFrame;  // 100-nanosecond units
  BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(WMVIDEOINFOHEADER) == 88);

// Attribute value types of SetAttribute.
enum : DWORD { WMT_TYPE_DWORD = 0, WMT_TYPE_STRING = 1, WMT_TYPE_BINARY = 2, WMT_TYPE_BOOL = 3 };

// Every object is counted: Release frees it at zero.
struct IWMUnknown {
  virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IWMUnknown() = default;
};

// A sample's memory: `size` bytes from AllocateSample.
struct INSSBuffer : IWMUnknown {
  virtual HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) = 0;
  virtual HRESULT SetLength(DWORD length) = 0;

 protected:
  ~INSSBuffer() = default;
};

struct IWMMediaProps : IWMUnknown {
  virtual HRESULT GetType(GUID* majorType) = 0;
  // With a null type, *size receives the bytes needed; a smaller *size: 0x80070057.
  virtual HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) = 0;
  virtual HRESULT SetMediaType(const WM_MEDIA_TYPE* type) = 0;

 protected:
  ~IWMMediaProps() = default;
};

// The compressed video of a stream: key-frame spacing (100-nanosecond units) and a
// quality 0..100 that the encoder keeps as a hint (the bit rate rules).
struct IWMVideoMediaProps : IWMMediaProps {
  virtual HRESULT GetMaxKeyFrameSpacing(LONGLONG* spacing) = 0;
  virtual HRESULT SetMaxKeyFrameSpacing(LONGLONG spacing) = 0;
  virtual HRESULT GetQuality(DWORD* quality) = 0;
  virtual HRESULT SetQuality(DWORD quality) = 0;

 protected:
  ~IWMVideoMediaProps() = default;
};

// The uncompressed format an input of the writer takes.
struct IWMInputMediaProps : IWMMediaProps {
 protected:
  ~IWMInputMediaProps() = default;
};

// One stream of a profile; its media type is the compressed format (IWMVideoMediaProps
// is queried from a video stream).
struct IWMStreamConfig : IWMMediaProps {
  virtual HRESULT GetStreamType(GUID* majorType) = 0;
  virtual HRESULT GetStreamNumber(WORD* number) = 0;
  virtual HRESULT GetBitrate(DWORD* bitsPerSecond) = 0;
  virtual HRESULT SetBitrate(DWORD bitsPerSecond) = 0;
  virtual HRESULT GetBufferWindow(DWORD* milliseconds) = 0;
  virtual HRESULT SetBufferWindow(DWORD milliseconds) = 0;

 protected:
  ~IWMStreamConfig() = default;
};

// GetStream hands out a copy of the stream; ReconfigStream puts a changed copy back in
// place of the profile's stream of the same number.
struct IWMProfile : IWMUnknown {
  virtual HRESULT GetStreamCount(DWORD* count) = 0;
  virtual HRESULT GetStream(DWORD index, IWMStreamConfig** config) = 0;
  virtual HRESULT ReconfigStream(IWMStreamConfig* config) = 0;

 protected:
  ~IWMProfile() = default;
};

struct IWMProfileManager : IWMUnknown {
  // The profile text: <profile> with <streamconfig> children (see Profile.cpp).
  virtual HRESULT LoadProfileByData(const char16_t* profile, IWMProfile** out) = 0;

 protected:
  ~IWMProfileManager() = default;
};

struct IWMProfileManager2 : IWMProfileManager {
  virtual HRESULT GetSystemProfileVersion(DWORD* version) = 0;
  virtual HRESULT SetSystemProfileVersion(DWORD version) = 0;

 protected:
  ~IWMProfileManager2() = default;
};

// File attributes: a string attribute becomes a tag of the file (stream numbers are
// accepted and the tag is kept file-wide).
struct IWMHeaderInfo3 : IWMUnknown {
  virtual HRESULT SetAttribute(WORD streamNumber, const char16_t* name, DWORD type, const BYTE* value,
                               WORD length) = 0;

 protected:
  ~IWMHeaderInfo3() = default;
};

// The writer. Inputs follow the profile's streams. A sample time is in 100-nanosecond
// units from the start of the file; a sample must hold data (an empty one: 0x80070057).
struct IWMWriter : IWMUnknown {
  virtual HRESULT SetProfile(IWMProfile* profile) = 0;
  virtual HRESULT SetOutputFilename(const char16_t* fileName) = 0;
  virtual HRESULT GetInputCount(DWORD* count) = 0;
  virtual HRESULT GetInputProps(DWORD input, IWMInputMediaProps** props) = 0;
  virtual HRESULT SetInputProps(DWORD input, IWMInputMediaProps* props) = 0;
  virtual HRESULT BeginWriting() = 0;
  virtual HRESULT EndWriting() = 0;
  virtual HRESULT AllocateSample(DWORD size, INSSBuffer** sample) = 0;
  virtual HRESULT WriteSample(DWORD input, QWORD sampleTime, DWORD flags, INSSBuffer* sample) = 0;

 protected:
  ~IWMWriter() = default;
};

HRESULT WMCreateProfileManager(IWMProfileManager** out);
HRESULT WMCreateWriter(IWMUnknown* reserved, IWMWriter** out);

using SLWMCreateProfileManagerFn = HRESULT (*)(IWMProfileManager**);
using SLWMCreateWriterFn = HRESULT (*)(IWMUnknown*, IWMWriter**);

// Test hook: the files the writers create refuse to grow past `bytes` with "disk full"
// (0 lifts the limit).
void SLPlatformWmvSetWriteLimit(QWORD bytes);
