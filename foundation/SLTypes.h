// Fixed-width types used throughout the framework.
#pragma once

#include <cstddef>
#include <cstdint>

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i8 = std::int8_t;
using i16 = std::int16_t;
using i32 = std::int32_t;
using i64 = std::int64_t;

// UTF-16 text unit of the W functions.
using SLWChar = char16_t;

// "Runs up to its terminating zero" length of the text functions.
inline constexpr u32 SL_TEXT_TO_END = 0xFFFFFFFFu;

// True in builds under a sanitizer (gcc and clang spell it differently): code that reads
// whole words past a terminator, harmless on the machine, is left out there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define SL_SANITIZED 1
#endif
#endif
#ifndef SL_SANITIZED
#define SL_SANITIZED 0
#endif
