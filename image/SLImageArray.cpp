#include "image/SLImageArray.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageArray, CSLObject)

CSLImage* CSLImageArray::CreateElement(const CSLImage* source) {
  (void)source;
  auto* image = new CSLImage();
  if (!image) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<CSLImage*>(nullptr));
  return SLSucceed(image);
}
