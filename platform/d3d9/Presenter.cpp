// Showing presented frames in the device window through SDL2.
#include <SDL2/SDL.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/d3d9/D3D9.h"
#include "platform/user32/WindowSystem.h"

namespace SLD3D9 {

namespace {

std::uint64_t NowNs() {
  using namespace std::chrono;
  return std::uint64_t(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

// Headless drivers show nothing anybody waits for.
bool HeadlessDriver() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return !driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
}

}  // namespace

Presenter::~Presenter() { Drop(); }

void Presenter::Configure(HWND window, unsigned width, unsigned height, bool windowed) {
  void* native = SLUser32::NativeWindow(window);
  if (native != native_) Drop();
  window_ = window;
  native_ = native;
  nativeId_ = native ? SDL_GetWindowID(static_cast<SDL_Window*>(native)) : 0;
  logicalWidth_ = width;
  logicalHeight_ = height;
  if (!native) return;
  auto* sdlWindow = static_cast<SDL_Window*>(native);
  // Full screen covers the desktop without changing the monitor's mode.
  const bool fullScreen = (SDL_GetWindowFlags(sdlWindow) & SDL_WINDOW_FULLSCREEN) != 0;
  if (!windowed && !fullScreen) SDL_SetWindowFullscreen(sdlWindow, SDL_WINDOW_FULLSCREEN_DESKTOP);
  if (windowed && fullScreen) SDL_SetWindowFullscreen(sdlWindow, 0);
  scaled_ = -1;  // chosen again at the next frame
}

bool Presenter::Prepare(unsigned width, unsigned height) {
  if (!native_) return false;
  auto* window = static_cast<SDL_Window*>(native_);
  if (SDL_GetWindowFromID(nativeId_) != window) {
    // The window went with its renderer; nothing of it may be touched again.
    SLUser32::Display::KeepPicture(native_, nullptr, nullptr);
    renderer_ = texture_ = native_ = nullptr;
    hasFrame_ = false;
    return false;
  }
  if (!renderer_) {
    const Uint32 kinds = SDL_WINDOW_OPENGL | SDL_WINDOW_VULKAN | SDL_WINDOW_METAL;
    const Uint32 flags = SDL_GetWindowFlags(window);
    int x, y, width, height;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &width, &height);
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    // A renderer of another kind than the window's makes the window anew where it was
    // first opened: put it back.
    if ((SDL_GetWindowFlags(window) ^ flags) & kinds) {
      if (flags & SDL_WINDOW_FULLSCREEN) {
        SDL_SetWindowFullscreen(window, 0);
        SDL_SetWindowPosition(window, 0, 0);
        SDL_SetWindowSize(window, width, height);
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
      } else {
        SDL_SetWindowPosition(window, x, y);
      }
    }
    if (!renderer) return false;
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer, &info);
    paced_ = !(info.flags & SDL_RENDERER_PRESENTVSYNC) && !HeadlessDriver();
    renderer_ = renderer;
    rendererThread_ = std::this_thread::get_id();
    scaled_ = -1;
    SLUser32::Display::KeepPicture(
        native_, [](void* presenter) { static_cast<Presenter*>(presenter)->ShowAgain(); }, this);
  }
  if (!texture_ || textureWidth_ != width || textureHeight_ != height) {
    if (texture_) SDL_DestroyTexture(static_cast<SDL_Texture*>(texture_));
    texture_ = SDL_CreateTexture(static_cast<SDL_Renderer*>(renderer_), SDL_PIXELFORMAT_ARGB8888,
                                 SDL_TEXTUREACCESS_STREAMING, int(width), int(height));
    textureWidth_ = texture_ ? width : 0;
    textureHeight_ = texture_ ? height : 0;
    hasFrame_ = false;
  }
  return texture_ != nullptr;
}

std::uint32_t* Presenter::Lock(unsigned width, unsigned height, unsigned* pitch) {
  if (!Prepare(width, height)) return nullptr;
  void* pixels = nullptr;
  int bytes = 0;
  if (SDL_LockTexture(static_cast<SDL_Texture*>(texture_), nullptr, &pixels, &bytes) != 0) return nullptr;
  locked_ = true;
  *pitch = unsigned(bytes) / 4;
  return static_cast<std::uint32_t*>(pixels);
}

bool Presenter::Show() {
  if (!locked_) return false;
  locked_ = false;
  SDL_UnlockTexture(static_cast<SDL_Texture*>(texture_));
  hasFrame_ = true;
  Present();
  if (paced_) {
    constexpr std::uint64_t kFrameNs = 1000000000ull / 60;
    const std::uint64_t now = NowNs();
    if (nextFrameNs_ > now && nextFrameNs_ - now <= kFrameNs)
      std::this_thread::sleep_for(std::chrono::nanoseconds(nextFrameNs_ - now));
    else
      nextFrameNs_ = now;
    nextFrameNs_ += kFrameNs;
  }
  return true;
}

void Presenter::ShowAgain() {
  // The thread first: the rest is that thread's to change.
  if (std::this_thread::get_id() != rendererThread_ || !hasFrame_ || locked_) return;
  if (SDL_GetWindowFromID(nativeId_) != static_cast<SDL_Window*>(native_)) return;
  Present();
}

void Presenter::Present() {
  auto* renderer = static_cast<SDL_Renderer*>(renderer_);
  auto* texture = static_cast<SDL_Texture*>(texture_);
  // A frame of the output's size is copied as it is; any other is scaled with its aspect
  // kept (which scales the pointer's positions too) and the bars left over are black.
  int outputWidth = 0, outputHeight = 0;
  SDL_GetRendererOutputSize(renderer, &outputWidth, &outputHeight);
  const int scaled = outputWidth != int(logicalWidth_) || outputHeight != int(logicalHeight_) ? 1 : 0;
  if (scaled != scaled_) {
    SDL_RenderSetLogicalSize(renderer, scaled ? int(logicalWidth_) : 0, scaled ? int(logicalHeight_) : 0);
    scaled_ = scaled;
    SLUser32::Display::PictureChanged(native_);
  }
  if (scaled) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
  }
  SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  SDL_RenderPresent(renderer);
}

void Presenter::Drop() {
  if (native_) SLUser32::Display::KeepPicture(native_, nullptr, nullptr);
  const bool alive = native_ && SDL_GetWindowFromID(nativeId_) == static_cast<SDL_Window*>(native_);
  if (alive) {
    if (texture_ && locked_) SDL_UnlockTexture(static_cast<SDL_Texture*>(texture_));
    if (texture_) SDL_DestroyTexture(static_cast<SDL_Texture*>(texture_));
    if (renderer_) SDL_DestroyRenderer(static_cast<SDL_Renderer*>(renderer_));
  }
  texture_ = renderer_ = native_ = nullptr;
  locked_ = false;
  hasFrame_ = false;
  nativeId_ = 0;
  textureWidth_ = textureHeight_ = 0;
}

}  // namespace SLD3D9
