// sounddemo: plays a tone made by sox through the sound device, then records three
// seconds from the default capture device into a WAV file that soxi can read.
//   sounddemo [salida.wav]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gamesystem/GameSystemClasses.h"
#include "gamesystem/SLMainWindow.h"
#include "gamesystem/directx/SLSfxDirectX.h"
#include "media/MediaClasses.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "platform/kernel32/Modules.h"
#include "storage/SLFileStorage.h"
#include "tools/WavHeader.h"

namespace {

struct Recording {
  std::mutex lock;
  std::vector<u8> bytes;
};

void Keep(SL_GS_SoundRecord* sound, std::uintptr_t user, const void* samples, u32 frames) {
  auto* recording = reinterpret_cast<Recording*>(user);
  const auto* p = static_cast<const u8*>(samples);
  std::lock_guard<std::mutex> guard(recording->lock);
  recording->bytes.insert(recording->bytes.end(), p, p + std::size_t(frames) * sound->format.blockAlign);
}

// A canonical 44-byte RIFF header before the PCM data. Console text is UTF-8; the
// window title goes to the framework in its 8-bit code page.
bool WriteWav(const std::string& path, const SLAudioFormat& f, const std::vector<u8>& pcm) {
  u8 header[44];
  SLToolWavHeader(header, f, u32(36 + pcm.size()), u32(pcm.size()));
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(header), sizeof header);
  out.write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));
  return bool(out);
}

int Fail(const char* what) {
  std::printf("%s (código %08X)\n", what, SLGetLastError());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string output = argc > 1 ? argv[1] : "grabacion.wav";
  SLRegisterMediaClasses();
  SLRegisterGameSystemClasses();
  CSL_GS_MainWindow window;
  if (!window.Create(GetModuleHandleA(nullptr), "Demostraci\xf3n de sonido", 0, false)) return Fail("No se pudo abrir la ventana");
  CSL_GS_Sfx_DirectX device;
  if (!device.Init(nullptr, window.GetHandle(), nullptr)) return Fail("No se pudo iniciar el sonido");

  const std::string tone = output + ".tono.wav";
  const std::string sox = "sox -n -r 22050 -b 16 -c 1 '" + tone + "' synth 2 sine 1000 vol 0.5";
  if (std::system(sox.c_str()) != 0) {
    std::printf("Hace falta sox para crear el tono\n");
    return 1;
  }
  CSLFileStorage storage;
  SL_GS_SoundRecord* sound = device.LoadSound(&storage, tone.c_str(), 1, CSLVideoAudioReaderWAV::GetClassRecord());
  std::remove(tone.c_str());
  if (!sound || !device.Play(sound, 0, nullptr, 0, 1.0)) return Fail("No se pudo reproducir el tono");
  std::printf("Reproduciendo un tono de 1000 Hz...\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(2200));
  device.DestroySoundAndClear(&sound);

  const SLAudioFormat format{1, 1, 16, 22050, 44100, 2};
  SL_GS_SoundRecord* capture = device.CreateCaptureSound(&format);
  if (!capture) return Fail("No hay micrófono");
  Recording recording;
  if (!device.StartCapture(capture, &Keep, reinterpret_cast<std::uintptr_t>(&recording)))
    return Fail("No se pudo empezar a grabar");
  std::printf("Grabando tres segundos...\n");
  std::this_thread::sleep_for(std::chrono::seconds(3));
  device.Stop(capture, 0);
  if (!WriteWav(output, capture->format, recording.bytes)) {
    std::printf("No se pudo escribir %s\n", output.c_str());
    return 1;
  }
  std::printf("Grabación guardada en %s (%zu muestras)\n", output.c_str(), recording.bytes.size() / 2);
  device.DestroySoundAndClear(&capture);
  device.Shutdown();
  return 0;
}
