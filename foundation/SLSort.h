// The framework quicksort as a template over its element access, so that callers with a
// known element type get the comparison inlined and the swap done in whole words. Every
// instantiation makes exactly the same comparisons and swaps as SLQSort, so the order of
// elements that compare equal (and of comparisons that are not antisymmetric, such as
// the movie's draw order) is the same whichever entry point sorts them.
#pragma once

#include <cstring>

#include "foundation/SLTypes.h"

namespace sl_sort_detail {

// Median-of-three quicksort with a selection sort for small ranges; the smaller part is
// sorted first, so a count of 32 bits never needs more than this many pending ranges.
constexpr u32 kSelectionCutoff = 8;
constexpr int kStackSize = 30;

// `Access` supplies Width() (bytes per element), Swap(a, b) and Compare(a, b) on u8*.
template <class Access>
void SelectionSort(u8* lo, u8* hi, Access& access) {
  const u32 width = access.Width();
  while (hi > lo) {
    u8* max = lo;
    for (u8* p = lo + width; p <= hi; p += width)
      if (access.Compare(p, max) > 0) max = p;
    access.Swap(max, hi);
    hi -= width;
  }
}

template <class Access>
void QuickSort(u8* base, u32 count, Access& access) {
  if (count < 2) return;
  const u32 width = access.Width();
  u8* loStack[kStackSize];
  u8* hiStack[kStackSize];
  int stackTop = 0;
  u8* lo = base;
  u8* hi = lo + u64(width) * (count - 1);

  for (;;) {
    u64 size = u64(hi - lo) / width + 1;
    if (size <= kSelectionCutoff) {
      SelectionSort(lo, hi, access);
    } else {
      u8* mid = lo + (size / 2) * width;
      if (access.Compare(lo, mid) > 0) access.Swap(lo, mid);
      if (access.Compare(lo, hi) > 0) access.Swap(lo, hi);
      if (access.Compare(mid, hi) > 0) access.Swap(mid, hi);

      u8* left = lo;
      u8* right = hi;
      for (;;) {
        if (mid > left) {
          do {
            left += width;
          } while (left < mid && access.Compare(left, mid) <= 0);
        }
        if (mid <= left) {
          do {
            left += width;
          } while (left <= hi && access.Compare(left, mid) <= 0);
        }
        do {
          right -= width;
        } while (right > mid && access.Compare(right, mid) > 0);
        if (right < left) break;
        access.Swap(left, right);
        if (mid == right) mid = left;  // the partition element moved with the swap
      }

      // Step back over keys equal to the partition element: they are in place.
      right += width;
      if (mid < right) {
        do {
          right -= width;
        } while (right > mid && access.Compare(right, mid) == 0);
      }
      if (mid >= right) {
        do {
          right -= width;
        } while (right > lo && access.Compare(right, mid) == 0);
      }

      if (right - lo >= hi - left) {
        if (lo < right) {
          loStack[stackTop] = lo;
          hiStack[stackTop] = right;
          ++stackTop;
        }
        if (left < hi) {
          lo = left;
          continue;
        }
      } else {
        if (left < hi) {
          loStack[stackTop] = left;
          hiStack[stackTop] = hi;
          ++stackTop;
        }
        if (lo < right) {
          hi = right;
          continue;
        }
      }
    }
    if (--stackTop < 0) break;
    lo = loStack[stackTop];
    hi = hiStack[stackTop];
  }
}

// Typed elements: the width is a constant and the swap moves the object's bytes at once.
template <class T, class Less>
struct TypedAccess {
  Less compare;
  static constexpr u32 Width() { return u32(sizeof(T)); }
  static void Swap(u8* a, u8* b) {
    if (a == b) return;
    unsigned char t[sizeof(T)];
    std::memcpy(t, a, sizeof(T));
    std::memcpy(a, b, sizeof(T));
    std::memcpy(b, t, sizeof(T));
  }
  int Compare(const u8* a, const u8* b) {
    return compare(reinterpret_cast<const T*>(a), reinterpret_cast<const T*>(b));
  }
};

}  // namespace sl_sort_detail

// Sorts `count` trivially copyable elements with compare(const T*, const T*) returning
// below, at or above zero; the same order as SLQSort with the same comparison.
template <class T, class Comparison>
void SLQSortTyped(T* base, u32 count, Comparison compare) {
  sl_sort_detail::TypedAccess<T, Comparison> access{compare};
  sl_sort_detail::QuickSort(reinterpret_cast<u8*>(base), count, access);
}
