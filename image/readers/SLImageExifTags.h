// The tag table of the EXIF data: one row per (tag, directory group) of the EXIF 2.2
// support tables, plus the TIFF and vendor tags cameras write, sorted by tag. Each row
// gives, for the directories IFD0, IFD1, Exif, GPS and Interoperability, the level for
// the four data kinds: uncompressed chunky, uncompressed planar, uncompressed YCbCr and
// compressed. M mandatory, O optional or recommended, N not recorded, - no level given.
#pragma once

#include "foundation/SLTypes.h"

namespace SLInternals {

struct SLExifTagRow {
  u16 tag;
  char levels[5][5];  // per directory, four level letters
};

// Level letters of the rows above to level numbers.
constexpr u32 SLExifLevelOf(char letter) {
  return letter == 'M' ? 2 : letter == 'O' ? 3 : letter == 'N' ? 1 : 0;
}

#define SL_EXIF_TIFF(tag, ifd0, ifd1) {tag, {ifd0, ifd1, "NNNN", "NNNN", "NNNN"}}
#define SL_EXIF_EXIF(tag, levels) {tag, {"NNNN", "NNNN", levels, "NNNN", "NNNN"}}
#define SL_EXIF_GPS(tag) {tag, {"NNNN", "NNNN", "NNNN", "OOOO", "NNNN"}}
#define SL_EXIF_INTEROP(tag) {tag, {"NNNN", "NNNN", "NNNN", "NNNN", "OOOO"}}
#define SL_EXIF_OTHER(tag) {tag, {"----", "----", "----", "----", "----"}}

inline constexpr SLExifTagRow kSLExifTagTable[] = {
    SL_EXIF_GPS(0x0000),                              // GPSVersionID
    SL_EXIF_GPS(0x0001),                              // GPSLatitudeRef
    SL_EXIF_INTEROP(0x0001),                          // InteroperabilityIndex
    SL_EXIF_GPS(0x0002),                              // GPSLatitude
    SL_EXIF_INTEROP(0x0002),                          // InteroperabilityVersion
    SL_EXIF_GPS(0x0003), SL_EXIF_GPS(0x0004), SL_EXIF_GPS(0x0005), SL_EXIF_GPS(0x0006),
    SL_EXIF_GPS(0x0007), SL_EXIF_GPS(0x0008), SL_EXIF_GPS(0x0009), SL_EXIF_GPS(0x000A),
    SL_EXIF_GPS(0x000B), SL_EXIF_GPS(0x000C), SL_EXIF_GPS(0x000D), SL_EXIF_GPS(0x000E),
    SL_EXIF_GPS(0x000F), SL_EXIF_GPS(0x0010), SL_EXIF_GPS(0x0011), SL_EXIF_GPS(0x0012),
    SL_EXIF_GPS(0x0013), SL_EXIF_GPS(0x0014), SL_EXIF_GPS(0x0015), SL_EXIF_GPS(0x0016),
    SL_EXIF_GPS(0x0017), SL_EXIF_GPS(0x0018), SL_EXIF_GPS(0x0019), SL_EXIF_GPS(0x001A),
    SL_EXIF_GPS(0x001B), SL_EXIF_GPS(0x001C), SL_EXIF_GPS(0x001D), SL_EXIF_GPS(0x001E),
    SL_EXIF_OTHER(0x00FE),                            // NewSubfileType
    SL_EXIF_TIFF(0x0100, "MMMN", "MMMN"),             // ImageWidth
    SL_EXIF_TIFF(0x0101, "MMMN", "MMMN"),             // ImageLength
    SL_EXIF_TIFF(0x0102, "MMMN", "MMMN"),             // BitsPerSample
    SL_EXIF_TIFF(0x0103, "MMMN", "MMMM"),             // Compression
    SL_EXIF_TIFF(0x0106, "MMMN", "MMMN"),             // PhotometricInterpretation
    SL_EXIF_OTHER(0x010A),                            // FillOrder
    SL_EXIF_OTHER(0x010D),                            // DocumentName
    SL_EXIF_TIFF(0x010E, "OOOO", "OOOO"),             // ImageDescription
    SL_EXIF_TIFF(0x010F, "OOOO", "OOOO"),             // Make
    SL_EXIF_TIFF(0x0110, "OOOO", "OOOO"),             // Model
    SL_EXIF_TIFF(0x0111, "MMMN", "MMMN"),             // StripOffsets
    SL_EXIF_TIFF(0x0112, "OOOO", "OOOO"),             // Orientation
    SL_EXIF_TIFF(0x0115, "MMMN", "MMMN"),             // SamplesPerPixel
    SL_EXIF_TIFF(0x0116, "MMMN", "MMMN"),             // RowsPerStrip
    SL_EXIF_TIFF(0x0117, "MMMN", "MMMN"),             // StripByteCounts
    SL_EXIF_TIFF(0x011A, "MMMM", "MMMM"),             // XResolution
    SL_EXIF_TIFF(0x011B, "MMMM", "MMMM"),             // YResolution
    SL_EXIF_TIFF(0x011C, "OMON", "OMON"),             // PlanarConfiguration
    SL_EXIF_TIFF(0x0128, "MMMM", "MMMM"),             // ResolutionUnit
    SL_EXIF_TIFF(0x012D, "OOOO", "OOOO"),             // TransferFunction
    SL_EXIF_TIFF(0x0131, "OOOO", "OOOO"),             // Software
    SL_EXIF_TIFF(0x0132, "OOOO", "OOOO"),             // DateTime
    SL_EXIF_TIFF(0x013B, "OOOO", "OOOO"),             // Artist
    SL_EXIF_TIFF(0x013E, "OOOO", "OOOO"),             // WhitePoint
    SL_EXIF_TIFF(0x013F, "OOOO", "OOOO"),             // PrimaryChromaticities
    SL_EXIF_OTHER(0x014A),                            // SubIFDs
    SL_EXIF_OTHER(0x0156),                            // TransferRange
    SL_EXIF_OTHER(0x0200),                            // JPEGProc
    SL_EXIF_TIFF(0x0201, "NNNN", "NNNM"),             // JPEGInterchangeFormat
    SL_EXIF_TIFF(0x0202, "NNNN", "NNNM"),             // JPEGInterchangeFormatLength
    SL_EXIF_TIFF(0x0211, "NNOO", "NNOO"),             // YCbCrCoefficients
    SL_EXIF_TIFF(0x0212, "NNMN", "NNMN"),             // YCbCrSubSampling
    SL_EXIF_TIFF(0x0213, "NNMM", "NNOO"),             // YCbCrPositioning
    SL_EXIF_TIFF(0x0214, "OOOO", "OOOO"),             // ReferenceBlackWhite
    SL_EXIF_OTHER(0x02BC),                            // XMP packet
    SL_EXIF_OTHER(0x1000),                            // RelatedImageFileFormat
    SL_EXIF_OTHER(0x1001),                            // RelatedImageWidth
    SL_EXIF_OTHER(0x1002),                            // RelatedImageLength
    SL_EXIF_OTHER(0x828D),                            // CFARepeatPatternDim
    SL_EXIF_OTHER(0x828E),                            // CFAPattern (TIFF/EP)
    SL_EXIF_OTHER(0x828F),                            // BatteryLevel
    SL_EXIF_TIFF(0x8298, "OOOO", "OOOO"),             // Copyright
    SL_EXIF_EXIF(0x829A, "OOOO"),                     // ExposureTime
    SL_EXIF_EXIF(0x829D, "OOOO"),                     // FNumber
    SL_EXIF_OTHER(0x83BB),                            // IPTC/NAA
    SL_EXIF_OTHER(0x8649),                            // image resources of an editor
    SL_EXIF_TIFF(0x8769, "OOOO", "OOOO"),             // Exif IFD pointer
    SL_EXIF_OTHER(0x8773),                            // ICC profile
    SL_EXIF_EXIF(0x8822, "OOOO"),                     // ExposureProgram
    SL_EXIF_EXIF(0x8824, "OOOO"),                     // SpectralSensitivity
    SL_EXIF_TIFF(0x8825, "OOOO", "OOOO"),             // GPS IFD pointer
    SL_EXIF_EXIF(0x8827, "OOOO"),                     // ISOSpeedRatings
    SL_EXIF_EXIF(0x8828, "OOOO"),                     // OECF
    SL_EXIF_OTHER(0x882A),                            // TimeZoneOffset
    SL_EXIF_EXIF(0x9000, "MMMM"),                     // ExifVersion
    SL_EXIF_EXIF(0x9003, "OOOO"),                     // DateTimeOriginal
    SL_EXIF_EXIF(0x9004, "OOOO"),                     // DateTimeDigitized
    SL_EXIF_EXIF(0x9101, "NNNM"),                     // ComponentsConfiguration
    SL_EXIF_EXIF(0x9102, "NNNO"),                     // CompressedBitsPerPixel
    SL_EXIF_EXIF(0x9201, "OOOO"),                     // ShutterSpeedValue
    SL_EXIF_EXIF(0x9202, "OOOO"),                     // ApertureValue
    SL_EXIF_EXIF(0x9203, "OOOO"),                     // BrightnessValue
    SL_EXIF_EXIF(0x9204, "OOOO"),                     // ExposureBiasValue
    SL_EXIF_EXIF(0x9205, "OOOO"),                     // MaxApertureValue
    SL_EXIF_EXIF(0x9206, "OOOO"),                     // SubjectDistance
    SL_EXIF_EXIF(0x9207, "OOOO"),                     // MeteringMode
    SL_EXIF_EXIF(0x9208, "OOOO"),                     // LightSource
    SL_EXIF_EXIF(0x9209, "OOOO"),                     // Flash
    SL_EXIF_EXIF(0x920A, "OOOO"),                     // FocalLength
    SL_EXIF_EXIF(0x9214, "OOOO"),                     // SubjectArea
    SL_EXIF_OTHER(0x9216),                            // TIFF/EP StandardID
    SL_EXIF_EXIF(0x927C, "OOOO"),                     // MakerNote
    SL_EXIF_EXIF(0x9286, "OOOO"),                     // UserComment
    SL_EXIF_EXIF(0x9290, "OOOO"),                     // SubSecTime
    SL_EXIF_EXIF(0x9291, "OOOO"),                     // SubSecTimeOriginal
    SL_EXIF_EXIF(0x9292, "OOOO"),                     // SubSecTimeDigitized
    SL_EXIF_OTHER(0x9C9B),                            // XPTitle
    SL_EXIF_OTHER(0x9C9C),                            // XPComment
    SL_EXIF_OTHER(0x9C9D),                            // XPAuthor
    SL_EXIF_OTHER(0x9C9E),                            // XPKeywords
    SL_EXIF_OTHER(0x9C9F),                            // XPSubject
    SL_EXIF_EXIF(0xA000, "MMMM"),                     // FlashpixVersion
    SL_EXIF_EXIF(0xA001, "MMMM"),                     // ColorSpace
    SL_EXIF_EXIF(0xA002, "NNNM"),                     // PixelXDimension
    SL_EXIF_EXIF(0xA003, "NNNM"),                     // PixelYDimension
    SL_EXIF_EXIF(0xA004, "OOOO"),                     // RelatedSoundFile
    SL_EXIF_EXIF(0xA005, "NNNO"),                     // Interoperability IFD pointer
    SL_EXIF_EXIF(0xA20B, "OOOO"),                     // FlashEnergy
    SL_EXIF_EXIF(0xA20C, "OOOO"),                     // SpatialFrequencyResponse
    SL_EXIF_EXIF(0xA20E, "OOOO"),                     // FocalPlaneXResolution
    SL_EXIF_EXIF(0xA20F, "OOOO"),                     // FocalPlaneYResolution
    SL_EXIF_EXIF(0xA210, "OOOO"),                     // FocalPlaneResolutionUnit
    SL_EXIF_EXIF(0xA214, "OOOO"),                     // SubjectLocation
    SL_EXIF_EXIF(0xA215, "OOOO"),                     // ExposureIndex
    SL_EXIF_EXIF(0xA217, "OOOO"),                     // SensingMethod
    SL_EXIF_EXIF(0xA300, "OOOO"),                     // FileSource
    SL_EXIF_EXIF(0xA301, "OOOO"),                     // SceneType
    SL_EXIF_EXIF(0xA302, "OOOO"),                     // CFAPattern
    SL_EXIF_EXIF(0xA401, "OOOO"),                     // CustomRendered
    SL_EXIF_EXIF(0xA402, "OOOO"),                     // ExposureMode
    SL_EXIF_EXIF(0xA403, "OOOO"),                     // WhiteBalance
    SL_EXIF_EXIF(0xA404, "OOOO"),                     // DigitalZoomRatio
    SL_EXIF_EXIF(0xA405, "OOOO"),                     // FocalLengthIn35mmFilm
    SL_EXIF_EXIF(0xA406, "OOOO"),                     // SceneCaptureType
    SL_EXIF_EXIF(0xA407, "OOOO"),                     // GainControl
    SL_EXIF_EXIF(0xA408, "OOOO"),                     // Contrast
    SL_EXIF_EXIF(0xA409, "OOOO"),                     // Saturation
    SL_EXIF_EXIF(0xA40A, "OOOO"),                     // Sharpness
    SL_EXIF_EXIF(0xA40B, "OOOO"),                     // DeviceSettingDescription
    SL_EXIF_EXIF(0xA40C, "OOOO"),                     // SubjectDistanceRange
    SL_EXIF_EXIF(0xA420, "OOOO"),                     // ImageUniqueID
    SL_EXIF_OTHER(0xA500),                            // Gamma
    SL_EXIF_OTHER(0xC4A5),                            // print image matching
};

#undef SL_EXIF_TIFF
#undef SL_EXIF_EXIF
#undef SL_EXIF_GPS
#undef SL_EXIF_INTEROP
#undef SL_EXIF_OTHER

inline constexpr u32 kSLExifTagRows = sizeof(kSLExifTagTable) / sizeof(kSLExifTagTable[0]);
static_assert(kSLExifTagRows == 147);

constexpr bool SLExifTagTableIsSorted() {
  for (u32 i = 1; i < kSLExifTagRows; ++i)
    if (kSLExifTagTable[i].tag < kSLExifTagTable[i - 1].tag) return false;
  return true;
}
static_assert(SLExifTagTableIsSorted());

}  // namespace SLInternals
