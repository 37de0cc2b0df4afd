// Doubles of the in-app browser and the store page.
//
// FakeSafariPresenter records each presentation and, like the real browser,
// tells the delegate it will present and that the presentation completed;
// the test closes it with dismiss(). FakeStoreProductViewController keeps
// its load request so the test can answer it with finishLoad().
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "internal/browser/OVAdSafariViewController.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "internal/browser/OVStoreProductViewController.h"
#include "platform/ui/ViewController.h"
#include "support/doubles/MadeList.h"

namespace plexora::testing {

class FakeSafariPresenter final {
 public:
  struct Presentation {
    platform::URL url;
    std::shared_ptr<OVAdViewControllerProxy> rootViewController;
    std::string inlineClientToken;
    std::int64_t handlerTimeMs = 0;
    std::weak_ptr<OVAdSafariViewControllerDelegate> delegate;
    // The browser's controller the delegate hears about.
    std::shared_ptr<platform::ViewController> browser;
  };

  // Makes every presentation recorded in `presentations`, for the scope's
  // life.
  static OVAdSafariViewController::Presenter::Scope install(
      const std::shared_ptr<std::vector<Presentation>>& presentations) {
    return OVAdSafariViewController::Presenter::Scope(
        OVAdSafariViewController::presenter(),
        [presentations](const platform::URL& url, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                        const std::string& inlineClientToken, std::int64_t handlerTimeMs,
                        const std::weak_ptr<OVAdSafariViewControllerDelegate>& delegate) {
          Presentation presentation{url, rootViewController, inlineClientToken, handlerTimeMs, delegate,
                                    std::make_shared<platform::ViewController>()};
          if (auto listener = delegate.lock()) {
            listener->willPresentViewController(presentation.browser);
            listener->viewControllerCompleted(presentation.browser);
          }
          presentations->push_back(std::move(presentation));
        });
  }

  // The user closes the browser.
  static void dismiss(const Presentation& presentation) {
    if (auto listener = presentation.delegate.lock()) listener->viewControllerDismissed(presentation.browser);
  }
};

class FakeStoreProductViewController final : public OVStoreProductViewController {
 public:
  // Makes every store page a fake, recorded in `made`, for the scope's life.
  static Maker::Scope install(const MadeList<FakeStoreProductViewController>& made) {
    return Maker::Scope(OVStoreProductViewController::maker(), [made] {
      auto controller = std::make_shared<FakeStoreProductViewController>();
      made->push_back(controller);
      return controller;
    });
  }

  void setDelegate(std::weak_ptr<OVStoreProductViewControllerDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }
  void reliablyLoadProductWithParameters(const platform::Value& parameters, LoadCompletion completion) override {
    loadParameters = parameters;
    completion_ = std::move(completion);
  }

  // Answers the pending load once.
  void finishLoad(bool loaded, const std::optional<platform::Error>& error = std::nullopt) {
    if (auto completion = std::exchange(completion_, nullptr)) completion(loaded, error);
  }
  // The user closes the page.
  void finish() {
    if (auto listener = delegate_.lock()) {
      listener->productViewControllerDidFinish(
          std::static_pointer_cast<OVStoreProductViewController>(shared_from_this()));
    }
  }
  bool isLoadPending() const { return static_cast<bool>(completion_); }

  std::optional<platform::Value> loadParameters;

 private:
  std::weak_ptr<OVStoreProductViewControllerDelegate> delegate_;
  LoadCompletion completion_;
};

}  // namespace plexora::testing
