#include "media/MediaClasses.h"

#include "foundation/SLObject.h"
#include "media/SLAudioEffect.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "storage/StorageClasses.h"

void SLRegisterMediaClasses() {
  // TODO(merge): the game-system layer's registration runs here once it exists; it runs
  // the image and storage layers' in turn.
  SLRegisterStorageClasses();
  static bool registered = false;
  if (registered) return;
  registered = true;
  // The fixed order of registration: add new classes at the end of this list. Lookups
  // see the newest registration first, so a reader class comes after every class
  // derived from it.
  static const SLClassRecord* const records[] = {
      CSLBaseVideoAudioReader::GetClassRecord(),
      CSLVideoAudioReaderWAV::GetClassRecord(),
      CSLBaseAudioEffect::GetClassRecord(),
      CSLAudioEffectChannelMix::GetClassRecord(),
      CSLAudioEffectResample::GetClassRecord(),
  };
  for (const SLClassRecord* record : records) SLRegisterClass(record);
}
