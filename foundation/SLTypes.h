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
