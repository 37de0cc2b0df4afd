// sdl-host: a banner and a native ad from an ad server shown in an SDL2
// window. The library's window is drawn through the host display into a
// buffer that becomes the SDL window's texture whenever the display says
// the picture changed; the mouse's left button is passed on as the display's
// pointer, so a click on the ad is the user's tap.
//
// It prints "ready" with where the banner and the native ad's call to
// action are (window coordinates) once both are on screen, "clicked" when
// the native ad hears of a click, and exits on the window's close, on
// SIGINT or SIGTERM, or after --seconds (default 60).
//
//   sdl-host http://127.0.0.1:PORT/ [--seconds N]
#include <SDL.h>

#include <plexora/OVAdSettings.h>
#include <plexora/OVAdSize.h>
#include <plexora/OVAdView.h>
#include <plexora/OVHostDisplay.h>
#include <plexora/OVNativeAd.h>
#include <plexora/OVNativeAdView.h>
#include <plexora/platform/dispatch/MainLoop.h>
#include <plexora/platform/ui/Button.h>
#include <plexora/platform/ui/ViewController.h>
#include <plexora/platform/ui/Window.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace plexora;

namespace {

constexpr int kWidth = 375;
constexpr int kHeight = 440;
constexpr const char* kTitle = "Plexora SDL host";
constexpr const char* kBannerPlacement = "banner";
constexpr const char* kNativePlacement = "native";
const platform::Rect kBannerFrame{0, 20, 320, 50};
const platform::Rect kNativeFrame{0, 100, 375, 300};
// The main loop's share of each pass; SDL's events are read in between.
constexpr double kLoopSliceSeconds = 0.01;
constexpr double kDefaultSeconds = 60.0;

struct BannerHost final : OVAdViewDelegate {
  void adViewDidLoad(const std::shared_ptr<OVAdView>&) override { loaded = true; }
  void adView(const std::shared_ptr<OVAdView>&, const platform::Error& error) override {
    std::fprintf(stderr, "sdl-host: banner: %s\n", error.localizedDescription().c_str());
  }
  bool loaded = false;
};

struct NativeHost final : OVNativeAdDelegate {
  void nativeAdDidLoad(const std::shared_ptr<OVNativeAd>&) override { loaded = true; }
  void nativeAdDidClick(const std::shared_ptr<OVNativeAd>&) override {
    std::printf("clicked\n");
    std::fflush(stdout);
  }
  void nativeAd(const std::shared_ptr<OVNativeAd>&, const platform::Error& error) override {
    std::fprintf(stderr, "sdl-host: native ad: %s\n", error.localizedDescription().c_str());
  }
  bool loaded = false;
};

// Whether `rect` of the picture holds more than one colour: a page or a
// template has drawn there.
bool drawn(const std::vector<std::uint8_t>& pixels, platform::Rect rect) {
  const auto at = [&](int x, int y) { return pixels.data() + (static_cast<std::size_t>(y) * kWidth + x) * 4; };
  const std::uint8_t* first = at(static_cast<int>(rect.minX()), static_cast<int>(rect.minY()));
  for (int y = static_cast<int>(rect.minY()); y < static_cast<int>(rect.maxY()); ++y) {
    for (int x = static_cast<int>(rect.minX()); x < static_cast<int>(rect.maxX()); ++x) {
      const std::uint8_t* pixel = at(x, y);
      if (pixel[0] != first[0] || pixel[1] != first[1] || pixel[2] != first[2] || pixel[3] != first[3]) return true;
    }
  }
  return false;
}

struct SDLSession {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  ~SDLSession() {
    if (texture) SDL_DestroyTexture(texture);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
    SDL_Quit();
  }
};

int run(const std::string& serverURL, double seconds) {
  if (!OVAdSettings::setAdServerBaseURL(serverURL)) {
    std::fprintf(stderr, "sdl-host: %s is no http or https URL\n", serverURL.c_str());
    return 2;
  }
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "sdl-host: %s\n", SDL_GetError());
    return 1;
  }
  SDLSession sdl;
  sdl.window = SDL_CreateWindow(kTitle, 0, 0, kWidth, kHeight, SDL_WINDOW_SHOWN);
  sdl.renderer = sdl.window ? SDL_CreateRenderer(sdl.window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
  // Bytes R, G, B, A in memory, as the display writes them.
  sdl.texture = sdl.renderer ? SDL_CreateTexture(sdl.renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING,
                                                 kWidth, kHeight)
                             : nullptr;
  if (!sdl.texture) {
    std::fprintf(stderr, "sdl-host: %s\n", SDL_GetError());
    return 1;
  }
  // The display's alpha is straight, as SDL's blending expects.
  SDL_SetTextureBlendMode(sdl.texture, SDL_BLENDMODE_BLEND);

  auto window = std::make_shared<platform::Window>(platform::Rect{0, 0, kWidth, kHeight});
  auto root = std::make_shared<platform::ViewController>();
  window->setRootViewController(root);
  window->makeKeyAndVisible();
  const auto display = OVHostDisplay::displayWithWindow(window);
  bool changed = true;
  display->setContentChangedHandler([&changed] { changed = true; });

  auto bannerHost = std::make_shared<BannerHost>();
  auto banner = OVAdView::initWithPlacementID(kBannerPlacement, kOVAdSize320x50, root);
  banner->setDelegate(bannerHost);
  banner->setFrame(kBannerFrame);
  root->view()->addSubview(banner);
  banner->loadAd();

  auto nativeHost = std::make_shared<NativeHost>();
  auto ad = OVNativeAd::initWithPlacementID(kNativePlacement);
  ad->setDelegate(nativeHost);
  ad->setMediaCachePolicy(kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
  ad->loadAd();
  std::shared_ptr<OVNativeAdView> nativeView;

  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kWidth) * kHeight * 4);
  bool ready = false;
  bool pressed = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT) return 0;
      if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_LEFT) {
        pressed = true;
        display->sendPointer(OVHostPointerPhase::Press, {double(event.button.x), double(event.button.y)});
      } else if (event.type == SDL_MOUSEMOTION && pressed) {
        display->sendPointer(OVHostPointerPhase::Move, {double(event.motion.x), double(event.motion.y)});
      } else if (event.type == SDL_MOUSEBUTTONUP && event.button.button == SDL_BUTTON_LEFT) {
        pressed = false;
        display->sendPointer(OVHostPointerPhase::Release, {double(event.button.x), double(event.button.y)});
      }
    }
    platform::MainLoop::instance().runUntil([] { return false; }, kLoopSliceSeconds);

    if (nativeHost->loaded && !nativeView) {
      nativeView = OVNativeAdView::nativeAdViewWithNativeAd(ad, kOVNativeAdViewTypeGenericHeight300);
      nativeView->setFrame(kNativeFrame);
      root->view()->addSubview(nativeView);
      // The template takes the ad's delegate; the host takes it back.
      ad->setDelegate(nativeHost);
    }
    if (changed) {
      changed = false;
      const auto result = display->render(pixels.data(), kWidth, kHeight, kWidth * 4);
      if (result != OVHostDisplayResult::Rendered) {
        std::fprintf(stderr, "sdl-host: %s\n", OVHostDisplayResultDescription(result));
        return 1;
      }
      SDL_UpdateTexture(sdl.texture, nullptr, pixels.data(), kWidth * 4);
      SDL_SetRenderDrawColor(sdl.renderer, 255, 255, 255, 255);
      SDL_RenderClear(sdl.renderer);
      SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, nullptr);
      SDL_RenderPresent(sdl.renderer);
    }
    const auto button = nativeView ? nativeView->callToActionButton() : nullptr;
    if (!ready && bannerHost->loaded && button && drawn(pixels, kBannerFrame) && drawn(pixels, kNativeFrame)) {
      ready = true;
      const platform::Rect cta = button->convertRectToView(button->bounds(), nullptr);
      std::printf("ready banner %.0f %.0f %.0f %.0f cta %.0f %.0f %.0f %.0f\n", kBannerFrame.minX(),
                  kBannerFrame.minY(), kBannerFrame.width(), kBannerFrame.height(), cta.minX(), cta.minY(), cta.width(),
                  cta.height());
      std::fflush(stdout);
    }
  }
  std::fprintf(stderr, "sdl-host: stopped after %.0f s\n", seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string serverURL;
  double seconds = kDefaultSeconds;
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    if (argument == "--seconds" && index + 1 < argc) {
      seconds = std::atof(argv[++index]);
    } else if (serverURL.empty() && argument.rfind("--", 0) != 0) {
      serverURL = argument;
    } else {
      serverURL.clear();
      break;
    }
  }
  if (serverURL.empty() || !(seconds > 0)) {
    std::fprintf(stderr, "usage: sdl-host AD_SERVER_URL [--seconds N]\n");
    return 2;
  }
  return run(serverURL, seconds);
}
