// The library's standard animations and view snapshots.
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewRendering.h"
#include "platform/ui/Window.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

constexpr platform::AnimationOptions kStandardAnimationOptions =
    platform::kAnimationOptionBeginFromCurrentState | platform::kAnimationOptionAllowAnimatedContent;

double screenScaleOf(const platform::View& view) {
  const auto window = view.window();
  const auto screen = window && window->screen() ? window->screen() : platform::Screen::main();
  return screen->scale();
}

}  // namespace

void OVAdUtility::animateWithFadeIn(const Views& views, AnimationCompletion completion) {
  animateWithFade(false, views, nullptr, std::move(completion));
}

void OVAdUtility::animateWithFadeOut(const Views& views, AnimationCompletion completion) {
  animateWithFade(true, views, nullptr, std::move(completion));
}

void OVAdUtility::animateWithFadeIn(const Views& views, Animations customAnimations, AnimationCompletion completion) {
  animateWithFade(false, views, std::move(customAnimations), std::move(completion));
}

void OVAdUtility::animateWithFadeOut(const Views& views, Animations customAnimations, AnimationCompletion completion) {
  animateWithFade(true, views, std::move(customAnimations), std::move(completion));
}

void OVAdUtility::animateWithFade(bool fadeOut, const Views& views, Animations animations,
                                  AnimationCompletion completion) {
  animateWithFade(fadeOut, kStandardAnimationDuration, views, std::move(animations), std::move(completion));
}

void OVAdUtility::animateWithFadeIn(const Views& views, double duration, AnimationCompletion completion) {
  animateWithFade(false, duration, views, nullptr, std::move(completion));
}

void OVAdUtility::animateWithFadeOut(const Views& views, double duration, AnimationCompletion completion) {
  animateWithFade(true, duration, views, nullptr, std::move(completion));
}

void OVAdUtility::animateWithFadeIn(const Views& views, Animations customAnimations, double duration,
                                   AnimationCompletion completion) {
  animateWithFade(false, duration, views, std::move(customAnimations), std::move(completion));
}

void OVAdUtility::animateWithFadeOut(const Views& views, Animations customAnimations, double duration,
                                    AnimationCompletion completion) {
  animateWithFade(true, duration, views, std::move(customAnimations), std::move(completion));
}

void OVAdUtility::animateWithFade(bool fadeOut, double duration, const Views& views, Animations animations,
                                  AnimationCompletion completion) {
  const double startAlpha = fadeOut ? 1.0 : 0.0;
  const double endAlpha = fadeOut ? 0.0 : 1.0;
  for (const auto& view : views) {
    if (view) view->setAlpha(startAlpha);
  }
  animateWithStandardAnimations(
      [views, endAlpha, animations = std::move(animations)] {
        for (const auto& view : views) {
          if (view) view->setAlpha(endAlpha);
        }
        if (animations) animations();
      },
      duration, std::move(completion));
}

void OVAdUtility::animateWithStandardAnimations(Animations animations, AnimationCompletion completion) {
  animateWithStandardAnimations(std::move(animations), kStandardAnimationDuration, std::move(completion));
}

void OVAdUtility::animateWithStandardAnimations(Animations animations, double duration,
                                                AnimationCompletion completion) {
  animateEnabled(true, std::move(animations), duration, std::move(completion));
}

void OVAdUtility::animateEnabled(bool enabled, Animations animations, double duration,
                                 AnimationCompletion completion) {
  if (!enabled) {
    if (animations) animations();
    if (completion) completion(true);
    return;
  }
  platform::View::animate(duration, 0.0, kStandardAnimationOptions, animations ? animations : [] {},
                          std::move(completion));
}

void OVAdUtility::animateEnabledWithTransactionBlock(bool enabled, const Animations& transactionBlock, double duration,
                                                     TransactionCompletion completion) {
  // The model has no layers whose implicit actions could animate: a
  // transaction is its changes applied at once, finished when its duration
  // has passed (at once when its actions are disabled).
  platform::View::animate(enabled ? duration : 0.0, transactionBlock ? transactionBlock : Animations([] {}),
                          [completion = std::move(completion)](bool) {
                            if (completion) completion();
                          });
}

std::shared_ptr<platform::Image> OVAdUtility::snapshotOfView(const std::shared_ptr<platform::View>& view,
                                                             const SnapshotBlock& block) {
  if (!view) return nullptr;
  return snapshotOfView(view, view->bounds(), block);
}

std::shared_ptr<platform::Image> OVAdUtility::snapshotOfView(const std::shared_ptr<platform::View>& view,
                                                             platform::Rect rect, const SnapshotBlock& block) {
  if (!view) return nullptr;
  const double scale = screenScaleOf(*view);
  if (block) block(view);
  // The picture shows the view as laid out, not a layout still queued.
  view->layoutIfNeeded();
  return platform::renderView(*view, rect, scale, platform::Color::black());
}

}  // namespace plexora
