// sounddemo: plays a tone made by sox through the sound device, then records three
// seconds from the default capture device into a WAV file that soxi can read.
//   sounddemo SALIDA.wav
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "tools/common/WavHeader.h"
#include "tools/common/ToolSupport.h"

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

const sltool::CommandLine kCommandLine("sounddemo",
                                       "uso: sounddemo SALIDA.wav\n"
                                       "  reproduce un tono de 1000 Hz y graba tres segundos del micrófono en "
                                       "SALIDA.wav");

// A canonical 44-byte RIFF header before the PCM data, written whole or not at all.
bool WriteWav(const std::string& path, const SLAudioFormat& f, const std::vector<u8>& pcm, std::string* error) {
  u8 header[44];
  SLToolWavHeader(header, f, u32(36 + pcm.size()), u32(pcm.size()));
  std::vector<u8> file(header, header + sizeof header);
  file.insert(file.end(), pcm.begin(), pcm.end());
  return sltool::WriteWholeFile(path, file.data(), file.size(), error);
}

int Fail(const char* what) { return kCommandLine.Failure(what, "", SLGetLastError()); }

}  // namespace

int main(int argc, char** argv) {
  if (kCommandLine.WantsHelp(argc, argv)) return sltool::kExitOk;
  if (argc != 2) return kCommandLine.UsageError("falta SALIDA.wav");
  const std::string output = argv[1];
  std::string error;
  if (!sltool::CanWriteBeside(output, &error)) return kCommandLine.Failure(error);
  if (std::system("command -v sox >/dev/null 2>&1") != 0) return kCommandLine.Failure("Hace falta sox para crear el tono");
  sltool::EndOnSignals();
  SLRegisterMediaClasses();
  SLRegisterGameSystemClasses();
  CSL_GS_MainWindow window;
  if (!window.Create(GetModuleHandleA(nullptr), "Demostraci\xf3n de sonido", 0, false)) return Fail("No se pudo abrir la ventana");
  CSL_GS_Sfx_DirectX device;
  if (!device.Init(nullptr, window.GetHandle(), nullptr)) return Fail("No se pudo iniciar el sonido");

  const std::string tone = output + ".tono.wav";
  const std::string sox = "sox -n -r 22050 -b 16 -c 1 '" + tone + "' synth 2 sine 1000 vol 0.5";
  if (std::system(sox.c_str()) != 0) return kCommandLine.Failure("sox no pudo crear el tono", tone);
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
  if (!WriteWav(output, capture->format, recording.bytes, &error)) return kCommandLine.Failure(error);
  std::printf("Grabación guardada en %s (%zu muestras)\n", output.c_str(), recording.bytes.size() / 2);
  device.DestroySoundAndClear(&capture);
  device.Shutdown();
  return 0;
}
