#include "image/ImageClasses.h"

#include "foundation/SLObject.h"
#include "image/SLImage.h"
#include "image/SLImageArray.h"
#include "image/SLImageQuantizer.h"
#include "image/SLImageReader.h"
#include "image/readers/SLImageExifData.h"
#include "image/readers/SLImageReaderBMP.h"
#include "image/readers/SLImageReaderJPG.h"
#include "image/readers/SLImageReaderPNG.h"
#include "image/readers/SLImageReaderGIF.h"
#include "image/readers/SLImageReaderMXIMG.h"
#include "image/readers/SLImageReaderPSD.h"
#include "image/readers/SLImageReaderTGA.h"
#include "image/writers/SLImageWriterBMP.h"
#include "image/writers/SLImageWriterTGA.h"
#include "storage/StorageClasses.h"

void SLRegisterImageClasses() {
  SLRegisterStorageClasses();
  static bool registered = false;
  if (registered) return;
  registered = true;
  // The fixed order of registration: add new classes at the end of this list.
  static const SLClassRecord* const records[] = {
      CSLImage::GetClassRecord(),
      CSLImageArray::GetClassRecord(),
      CSLImageQuantizer::GetClassRecord(),
      CSLBaseImageReader::GetClassRecord(),
      CSLBaseImageWriter::GetClassRecord(),
      CSLImageReaderTGA::GetClassRecord(),
      CSLImageWriterTGA::GetClassRecord(),
      CSLImageReaderPSD::GetClassRecord(),
      CSLImageReaderBMP::GetClassRecord(),
      CSLImageWriterBMP::GetClassRecord(),
      CSLImageExifData::GetClassRecord(),
      CSLImageReaderJPG::GetClassRecord(),
      CSLImageReaderPNG::GetClassRecord(),
      CSLImageReaderGIF::GetClassRecord(),
      CSLImageReaderMXIMG::GetClassRecord(),
  };
  for (const SLClassRecord* record : records) SLRegisterClass(record);
}
