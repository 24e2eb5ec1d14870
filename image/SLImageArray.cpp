#include "image/SLImageArray.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageArray, CSLObject)

CSLImage* CSLImageArray::CreateElement(const CSLImage* source) {
  (void)source;
  auto* image = new CSLImage();
  if (!image) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<CSLImage*>(nullptr));
  return SLSucceed(image);
}

i32 CSLImageArray::FindImage(const CSLImage* image, u32 start) const {
  for (u32 i = start; i < m_count; ++i)
    if (m_storage[i] == image) return SLSucceed(i32(i));
  return SLFail(SL_E_NOT_FOUND, -1);
}

bool CSLImageArray::RemoveImage(const CSLImage* image) {
  const i32 index = FindImage(image, 0);
  if (index < 0) return SLFail(SL_E_INVALID_ARG, false);
  return RemoveRange(u32(index), 1);
}
