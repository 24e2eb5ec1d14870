// The writer's Theora and Vorbis encoders (libtheoraenc, libvorbisenc) and the packet
// framing and block layout they share with the container.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/mxvwrite/MxvWriter.h"

namespace slmxv {

// The head in front of every Theora frame and Vorbis packet: version 1 u32 length, u32
// granule, u32 number; version 2 u32 length, 4 zero bytes, u64 granule, u64 number.
void AppendPacketHead(uint32_t version, uint32_t length, uint64_t granule, uint64_t number,
                      std::vector<uint8_t>* out);

// Theora frames of the picture rounded up to 16 with the picture at (0, 0) (top left),
// 4:2:0, BT.601 studio range, a key frame at least every key interval.
TheoraEncoder* CreateTheora(const VideoSettings& video, std::vector<std::vector<uint8_t>>* headers,
                            std::string* error);
bool EncodeTheoraFrame(TheoraEncoder* encoder, const uint8_t* bgr, std::vector<uint8_t>* packet, bool* key,
                       std::string* error);
void DestroyTheora(TheoraEncoder* encoder);

VorbisEncoder* CreateVorbis(const AudioSettings& audio, std::vector<std::vector<uint8_t>>* headers,
                            std::string* error);
// Encodes the whole sound and cuts the packets into one payload per second (see
// LayOutVorbisBlocks), each packet behind its head.
bool EncodeVorbis(VorbisEncoder* encoder, uint32_t version, const void* samples, uint64_t frames,
                  std::vector<std::vector<uint8_t>>* blocks, uint64_t* packets, std::string* error);
void DestroyVorbis(VorbisEncoder* encoder);

// For each one-second block of a sound of `frames` sample frames, its packets as {packet
// index, head granule}, from the Vorbis block size of every packet in stream order.
std::vector<std::vector<std::pair<size_t, uint64_t>>> LayOutVorbisBlocks(const std::vector<uint32_t>& blockSizes,
                                                                         uint64_t frames, uint32_t rate);

}  // namespace slmxv
