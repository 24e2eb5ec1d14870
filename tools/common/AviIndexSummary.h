// What `mediadump FILE.avi --index` prints: the AVI parser's view of a file, stream by stream
// (header, format, index summary), then the file's own texts.
#pragma once

#include <cstdio>

#include "media/avi/AviParser.h"
#include "storage/SLFileStorage.h"

inline void PrintAviFourCC(FILE* out, u32 value) {
  for (int i = 0; i < 4; ++i) {
    u8 c = u8(value >> (8 * i));
    std::fputc(c >= 0x20 && c < 0x7F ? c : '.', out);
  }
}

// 0 when the file was read, else the parser's error code.
inline u32 PrintAviIndexSummary(const char* path, FILE* out) {
  CSLFileStorage file;
  if (!file.OpenA(path, SL_STORAGE_READ)) return SLGetLastError();
  AviParser parser;
  if (!parser.Open(&file, 0)) return SLGetLastError();
  std::fprintf(out, "%s: %u streams, index %s%s\n", path, parser.GetStreamCount(),
               parser.IsIndexRebuilt() ? "rebuilt by scanning" : "from the file",
               parser.HasPaletteChanges() ? ", palette changes" : "");
  for (u32 s = 0; s < parser.GetStreamCount(); ++s) {
    const AviStreamInfo* info = parser.GetStream(s);
    const AviStreamHeader& h = info->header;
    std::fprintf(out, "stream %u: ", s);
    PrintAviFourCC(out, h.type);
    std::fputc(' ', out);
    PrintAviFourCC(out, h.handler);
    std::fprintf(out, " rate %u scale %u (%.4f/s) sample size %u length %llu, format %u bytes", h.rate, h.scale,
                 double(h.rate) / double(h.scale), info->sampleSize, static_cast<unsigned long long>(info->length),
                 info->formatSize);
    if (h.type == AviFourCC("auds"))
      std::fprintf(out, " tag 0x%04x align %u", info->FormatTag(), info->BlockAlign());
    if (info->variableBitRate)
      std::fprintf(out, " (variable bit rate: rate %u scale %u align %u)", info->savedRate, info->savedScale,
                   info->savedBlockAlign);
    u64 keys = 0, empty = 0, largest = 0;
    for (u64 e = 0; e < info->entryCount; ++e) {
      keys += info->entries[e].IsKey();
      empty += info->entries[e].Size() == 0;
      if (info->entries[e].Size() > largest) largest = info->entries[e].Size();
    }
    std::fprintf(out, "\n  index%s: %llu entries, %llu key, %llu empty, %llu bytes, largest %llu",
                 info->hasOpenDmlIndex ? " (OpenDML)" : "", static_cast<unsigned long long>(info->entryCount),
                 static_cast<unsigned long long>(keys), static_cast<unsigned long long>(empty),
                 static_cast<unsigned long long>(info->totalBytes), static_cast<unsigned long long>(largest));
    if (info->entryCount)
      std::fprintf(out, ", first at %llu, last at %llu", static_cast<unsigned long long>(info->entries[0].offset),
                   static_cast<unsigned long long>(info->entries[info->entryCount - 1].offset));
    std::fputc('\n', out);
  }
  for (const AviInfoText* text = parser.GetInfoTexts(); text; text = text->next) {
    std::fputs("info ", out);
    PrintAviFourCC(out, text->tag);
    // Long texts are shown by their start and their length.
    if (text->length > 120)
      std::fprintf(out, ": %.120s... (%u bytes)\n", text->text, text->length);
    else
      std::fprintf(out, ": %s\n", text->text);
  }
  if (parser.GetSegmentText()) std::fprintf(out, "segment: %s\n", parser.GetSegmentText());
  if (parser.GetCodePage() || parser.GetLanguage())
    std::fprintf(out, "character set: code page %u, country %u, language %u, dialect %u\n", parser.GetCodePage(),
                 parser.GetCountryCode(), parser.GetLanguage(), parser.GetDialect());
  return 0;
}
