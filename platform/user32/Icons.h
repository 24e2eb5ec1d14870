// Icons of the user32 stand-in: icon groups of the program's resources loaded as
// display surfaces, given to the window through WM_SETICON.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/user32/User32.h"

inline constexpr UINT IMAGE_ICON = 1;
inline constexpr UINT LR_DEFAULTSIZE = 0x40;
inline constexpr UINT LR_LOADFROMFILE = 0x10;
inline constexpr UINT DI_NORMAL = 3;
inline constexpr WPARAM ICON_SMALL = 0;
inline constexpr WPARAM ICON_BIG = 1;

// IMAGE_ICON only, from the icon group (resource type 14) of the module's resources:
// the image nearest the asked size (the system icon size for 0), deepest colour first
// among equals; images are never scaled. Images stored as PNG are passed over.
HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height, UINT flags);
HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags);
BOOL DestroyIcon(HICON icon);
// Drawing belongs to the graphics device: a valid icon "draws" into the token context.
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT step, void* brush, UINT flags);

namespace SLUser32 {
// WM_SETICON of the default procedure: the icon becomes the display window's icon;
// the answer is the icon of that kind set before.
LRESULT SetWindowIconMessage(HWND window, WPARAM kind, HICON icon);
}  // namespace SLUser32

// Test support: the icon's size and pixels, rows top-down, 0xAARRGGBB each.
bool SLUser32GetIconPixels(HICON icon, int* width, int* height, std::vector<std::uint32_t>* pixels);
// Test support: the icon of group `name` in a resource image the caller holds.
HICON SLUser32LoadIconFromImage(const void* image, std::uint64_t size, LPCWSTR name, int width, int height);
