// The media format writer's profiles, stream configurations and call order.
#include "platform/wmvcore/WmvCore.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace {

const char16_t kTwoStreams[] =
    u"<?xml version=\"1.0\"?><!-- test --><profile version=\"589824\">"
    u"<streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" streamnumber=\"1\" bitrate=\"64000\">"
    u"<wmmediatype subtype=\"{00000161-0000-0010-8000-00AA00389B71}\">"
    u"<waveformatex wFormatTag=\"353\" nChannels=\"1\" nSamplesPerSec=\"22050\" nAvgBytesPerSec=\"8000\" "
    u"nBlockAlign=\"742\" wBitsPerSample=\"16\" codecdata=\"0088\"/></wmmediatype></streamconfig>"
    u"<streamconfig majortype='{73646976-0000-0010-8000-00AA00389B71}' streamnumber='2' streamname='A &amp; B' "
    u"bitrate='300000'><videomediaprops maxkeyframespacing='20000000' quality='80'/>"
    u"<wmmediatype subtype='{33564D57-0000-0010-8000-00AA00389B71}'>"
    u"<videoinfoheader avgtimeperframe='400000'><rcsource right='160' bottom='120'/>"
    u"<bitmapinfoheader biwidth='160' biheight='120' bibitcount='24' bicompression='WMV3'/>"
    u"</videoinfoheader></wmmediatype></streamconfig></profile>";

template <class T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
};

HRESULT Load(const char16_t* text, IWMProfile** profile) {
  Ref<IWMProfileManager> manager;
  EXPECT_EQ(WMCreateProfileManager(&manager), 0);
  return manager->LoadProfileByData(text, profile);
}

std::vector<BYTE> MediaTypeOf(IWMMediaProps* props) {
  DWORD size = 0;
  EXPECT_EQ(props->GetMediaType(nullptr, &size), 0);
  std::vector<BYTE> block(size);
  DWORD small = size - 1;
  EXPECT_EQ(std::uint32_t(props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(block.data()), &small)), 0x80070057u);
  EXPECT_EQ(props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(block.data()), &size), 0);
  return block;
}

}  // namespace

TEST(WmvCore, ProfilesDescribeTheirStreams) {
  Ref<IWMProfile> profile;
  ASSERT_EQ(Load(kTwoStreams, &profile), 0);
  DWORD count = 0;
  ASSERT_EQ(profile->GetStreamCount(&count), 0);
  ASSERT_EQ(count, 2u);

  Ref<IWMStreamConfig> audio;
  ASSERT_EQ(profile->GetStream(0, &audio), 0);
  GUID major{};
  audio->GetStreamType(&major);
  EXPECT_TRUE(major == WMMEDIATYPE_Audio);
  std::vector<BYTE> block = MediaTypeOf(audio.p);
  auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
  ASSERT_TRUE(type->formattype == WMFORMAT_WaveFormatEx);
  ASSERT_EQ(type->cbFormat, sizeof(WAVEFORMATEX) + 2);
  auto* wave = reinterpret_cast<WAVEFORMATEX*>(type->pbFormat);
  EXPECT_EQ(wave->wFormatTag, 353);
  EXPECT_EQ(wave->nSamplesPerSec, 22050u);
  EXPECT_EQ(wave->cbSize, 2);
  EXPECT_EQ(type->pbFormat[sizeof(WAVEFORMATEX) + 1], 0x88);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_LT(audio->QueryInterface(IID_IWMVideoMediaProps, &none), 0);  // sound has no video properties
  EXPECT_EQ(none, nullptr);

  // A changed copy goes back in place of the stream with its number.
  Ref<IWMStreamConfig> video;
  ASSERT_EQ(profile->GetStream(1, &video), 0);
  Ref<IWMVideoMediaProps> props;
  ASSERT_EQ(video->QueryInterface(IID_IWMVideoMediaProps, reinterpret_cast<void**>(&props)), 0);
  DWORD quality = 0;
  LONGLONG spacing = 0;
  props->GetQuality(&quality);
  props->GetMaxKeyFrameSpacing(&spacing);
  EXPECT_EQ(quality, 80u);
  EXPECT_EQ(spacing, 20000000);
  block = MediaTypeOf(props.p);
  auto* header = reinterpret_cast<WMVIDEOINFOHEADER*>(reinterpret_cast<WM_MEDIA_TYPE*>(block.data())->pbFormat);
  EXPECT_EQ(header->bmiHeader.biCompression, 0x33564D57u);
  EXPECT_EQ(header->rcSource.right, 160);
  header->bmiHeader.biWidth = 320;
  ASSERT_EQ(props->SetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(block.data())), 0);
  ASSERT_EQ(video->SetBitrate(12345), 0);
  ASSERT_EQ(profile->ReconfigStream(video.p), 0);
  Ref<IWMStreamConfig> again;
  ASSERT_EQ(profile->GetStream(1, &again), 0);
  DWORD bits = 0;
  again->GetBitrate(&bits);
  EXPECT_EQ(bits, 12345u);
  block = MediaTypeOf(again.p);
  header = reinterpret_cast<WMVIDEOINFOHEADER*>(reinterpret_cast<WM_MEDIA_TYPE*>(block.data())->pbFormat);
  EXPECT_EQ(header->bmiHeader.biWidth, 320);
}

TEST(WmvCore, MalformedProfilesAreRefused) {
  const std::u16string audio =
      u"<streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" streamnumber=\"1\">"
      u"<waveformatex nChannels=\"1\" nSamplesPerSec=\"8000\"/></streamconfig>";
  const std::u16string cases[] = {
      u"",
      u"<profile>",                                              // no stream
      u"<profile>" + audio,                                      // the profile is never closed
      u"<profile></profile>",                                    // no stream
      u"<profile>" + audio + audio + u"</profile>",              // the same number twice
      u"<profile><streamconfig majortype=\"{1234}\" streamnumber=\"1\"></streamconfig></profile>",
      u"<profile><streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" streamnumber=\"x\">"
      u"</streamconfig></profile>",
      u"<profile><streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" streamnumber=\"70000\">"
      u"</streamconfig></profile>",
      u"<profile><streamconfig majortype=\"{73646976-0000-0010-8000-00AA00389B71}\" streamnumber=\"1\">"
      u"<rcsource right=\"1\"/></streamconfig></profile>",       // a rectangle without a header
      u"<profile><streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" streamnumber=\"1\">"
      u"<waveformatex nChannels=\"1\" nSamplesPerSec=\"8000\" codecdata=\"0\"/></streamconfig></profile>",
      u"<profile name=\"a &bogus; b\">" + audio + u"</profile>",
      u"<profile name=\"unterminated>" + audio + u"</profile>",
  };
  for (const std::u16string& text : cases) {
    IWMProfile* profile = reinterpret_cast<IWMProfile*>(1);
    EXPECT_EQ(std::uint32_t(Load(text.c_str(), &profile)), 0x80070057u) << std::string(text.begin(), text.end());
    EXPECT_EQ(profile, nullptr);
  }
  IWMProfile* profile = nullptr;
  ASSERT_EQ(Load((u"<profile>" + audio + u"</profile>").c_str(), &profile), 0);
  profile->Release();
}

TEST(WmvCore, TheWriterKeepsItsCallOrder) {
  TempDir dir;
  Ref<IWMProfile> profile;
  ASSERT_EQ(Load(kTwoStreams, &profile), 0);
  Ref<IWMWriter> writer;
  ASSERT_EQ(WMCreateWriter(nullptr, &writer), 0);
  EXPECT_EQ(std::uint32_t(writer->BeginWriting()), 0x80070057u);  // no profile, no file
  EXPECT_EQ(std::uint32_t(writer->SetProfile(nullptr)), 0x80070057u);
  ASSERT_EQ(writer->SetProfile(profile.p), 0);
  DWORD inputs = 0;
  ASSERT_EQ(writer->GetInputCount(&inputs), 0);
  EXPECT_EQ(inputs, 2u);
  EXPECT_EQ(std::uint32_t(writer->BeginWriting()), 0x80070057u);  // still no file
  const std::string path = dir.Host("small.asf");
  ASSERT_EQ(writer->SetOutputFilename(std::u16string(path.begin(), path.end()).c_str()), 0);
  ASSERT_EQ(writer->BeginWriting(), 0);
  EXPECT_EQ(std::uint32_t(writer->SetProfile(profile.p)), 0x80070057u);  // not while writing

  // Inputs take their defaults: RGB24 of the stream's size, 16-bit PCM of its format.
  Ref<INSSBuffer> picture, sound, wrongSize, empty;
  ASSERT_EQ(writer->AllocateSample(0, &empty), 0);
  ASSERT_EQ(writer->AllocateSample(160 * 120 * 3, &picture), 0);
  ASSERT_EQ(writer->AllocateSample(22050 * 2, &sound), 0);
  ASSERT_EQ(writer->AllocateSample(3, &wrongSize), 0);
  EXPECT_EQ(writer->WriteSample(1, 0, 0, picture.p), 0);
  EXPECT_EQ(writer->WriteSample(1, 400000, 0, picture.p), 0);
  EXPECT_EQ(writer->WriteSample(0, 0, 0, sound.p), 0);
  EXPECT_EQ(std::uint32_t(writer->WriteSample(0, 0, 0, wrongSize.p)), 0x80070057u);  // not whole sample frames
  EXPECT_EQ(std::uint32_t(writer->WriteSample(1, 0, 0, wrongSize.p)), 0x80070057u);  // not a whole picture
  EXPECT_EQ(std::uint32_t(writer->WriteSample(2, 0, 0, picture.p)), 0x80070057u);    // no such input
  EXPECT_EQ(std::uint32_t(writer->WriteSample(0, 0, 0, empty.p)), 0x80070057u);      // nothing to write
  EXPECT_EQ(writer->EndWriting(), 0);
  EXPECT_EQ(std::uint32_t(writer->EndWriting()), 0x80070057u);
  EXPECT_EQ(std::uint32_t(writer->WriteSample(1, 0, 0, picture.p)), 0x80070057u);
  EXPECT_TRUE(std::ifstream(path).good());

  // A file that cannot be started is not left behind.
  const std::string denied = dir.Host("missing/x.asf");
  ASSERT_EQ(writer->SetOutputFilename(std::u16string(denied.begin(), denied.end()).c_str()), 0);
  EXPECT_EQ(std::uint32_t(writer->BeginWriting()), 0x80070003u);
}

TEST(WmvCore, AFileIsHeldUntilItsWriterIsReleased) {
  TempDir dir;
  const std::string path = dir.Host("held.asf");
  const std::u16string name(path.begin(), path.end());
  Ref<IWMProfile> profile;
  ASSERT_EQ(Load(kTwoStreams, &profile), 0);
  Ref<IWMWriter> second;
  ASSERT_EQ(WMCreateWriter(nullptr, &second), 0);
  ASSERT_EQ(second->SetProfile(profile.p), 0);
  ASSERT_EQ(second->SetOutputFilename(name.c_str()), 0);
  auto contents = [&] {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  {
    Ref<IWMWriter> first;
    ASSERT_EQ(WMCreateWriter(nullptr, &first), 0);
    ASSERT_EQ(first->SetProfile(profile.p), 0);
    ASSERT_EQ(first->SetOutputFilename(name.c_str()), 0);
    ASSERT_EQ(first->BeginWriting(), 0);
    EXPECT_EQ(std::uint32_t(second->BeginWriting()), 0x80070020u);
    ASSERT_EQ(first->EndWriting(), 0);
    // Closed but not released: its owner may still be renaming it, and it stays whole.
    const std::string written = contents();
    EXPECT_EQ(std::uint32_t(second->BeginWriting()), 0x80070020u);
    EXPECT_GT(written.size(), 0u);
    EXPECT_EQ(contents(), written);
  }
  // Released without being removed, as by a process that ended: the next writer takes it.
  EXPECT_EQ(second->BeginWriting(), 0);
  EXPECT_EQ(second->EndWriting(), 0);
}
