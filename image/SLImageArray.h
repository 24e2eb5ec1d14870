// CSLImageArray: the list of images readers fill (the frames of an animation, an image
// and its mask plane) and writers take. It holds one reference per image.
#pragma once

#include "image/SLImage.h"
#include "image/SLObjectList.h"

class CSLImageArray : public TSLArrayList4Objects<CSLImage, 32> {
  SL_DECLARE_CLASS(CSLImageArray)
 public:
  // A new, empty image (SL_E_OUT_OF_MEMORY when there is no memory for one).
  CSLImage* CreateElement(const CSLImage* source) override;
  // The index of that image pointer at or after `start`; -1 with 0x80010001 when absent.
  i32 FindImage(const CSLImage* image, u32 start = 0) const;
  // Takes the image out of the array (0x80001001 when it is not there).
  bool RemoveImage(const CSLImage* image);
};
