#include "media/MediaClasses.h"

#include "foundation/SLObject.h"
#include "media/SLAudioEffect.h"
#include "media/SLMoviePlayer.h"
#include "media/SLVideoAudioReaderMXV.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "media/avi/SLVideoAudioReaderAVI.h"
#include "media/mpeg/SLVideoAudioReaderMP3.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "gamesystem/GameSystemClasses.h"

void SLRegisterMediaClasses() {
  SLRegisterGameSystemClasses();
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
      CSLVideoAudioReaderMXV::GetClassRecord(),
      CSLVideoAudioReaderMP3::GetClassRecord(),
      CSL_GS_MoviePlayer::GetClassRecord(),
      CSL_GS_MoviePlayerStoppingEvent::GetClassRecord(),
      CSLVideoAudioReaderAVI::GetClassRecord(),
  };
  for (const SLClassRecord* record : records) SLRegisterClass(record);
}
