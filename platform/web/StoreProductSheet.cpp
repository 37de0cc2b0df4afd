#include "platform/web/StoreProductSheet.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Button.h"
#include "platform/ui/Color.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/web/WebView.h"

namespace plexora::platform {

namespace {

constexpr double kDoneBarHeight = 44.0;
constexpr const char* kDoneTitle = "Done";
constexpr const char* kInvalidParametersText = "The store parameters name no product";
constexpr const char* kNoPageAddressText = "No address of store product pages is set";

struct Settings {
  std::mutex mutex;
  StoreProductSheet::Maker maker;
  std::string urlTemplate;
};

Settings& settings() {
  // Never destroyed: sheets may be made while the process exits.
  static Settings* const instance = new Settings;
  return *instance;
}

// Identifiers go into the page address as they are, so only characters that
// need no escaping there are accepted.
std::optional<std::string> itemIdentifier(const Value& parameters) {
  const Value* identifier = parameters.isDictionary() ? parameters.find(kStoreProductSheetItemIdentifierKey) : nullptr;
  if (identifier == nullptr) {
    return std::nullopt;
  }
  std::string text;
  if (identifier->isInteger()) {
    text = std::to_string(identifier->asInteger());
  } else if (identifier->isString()) {
    text = identifier->asString();
  } else {
    return std::nullopt;
  }
  const bool plain = std::all_of(text.begin(), text.end(), [](unsigned char c) {
    return std::isalnum(c) != 0 || c == '-' || c == '_' || c == '.';
  });
  if (text.empty() || !plain) {
    return std::nullopt;
  }
  return text;
}

Error sheetError(std::int64_t code, const char* text) {
  return Error(kStoreProductSheetErrorDomain, code, Dictionary{{kLocalizedDescriptionKey, std::string(text)}});
}

// The product's web page in the engine.
class WebStoreProductSheet final : public StoreProductSheet, public WebViewNavigationDelegate {
 public:
  void loadProductWithParameters(const Value& parameters, LoadCompletion completion) override {
    completion_ = std::move(completion);
    const std::optional<std::string> identifier = itemIdentifier(parameters);
    std::string address = productPageURLTemplate();
    if (!identifier || address.empty()) {
      const Error error = identifier ? sheetError(kStoreProductSheetErrorNoPageAddress, kNoPageAddressText)
                                     : sheetError(kStoreProductSheetErrorInvalidParameters, kInvalidParametersText);
      const std::weak_ptr<WebStoreProductSheet> weakSelf = sharedSheet();
      DispatchQueue::main()->async([weakSelf, error] {
        if (const auto self = weakSelf.lock()) self->complete(false, error);
      });
      return;
    }
    for (std::size_t at = address.find(kStoreProductSheetIdentifierPlaceholder); at != std::string::npos;
         at = address.find(kStoreProductSheetIdentifierPlaceholder, at + identifier->size())) {
      address.replace(at, std::char_traits<char>::length(kStoreProductSheetIdentifierPlaceholder), *identifier);
    }
    webView_ = makeWebView(WebProcessSharing::OwnProcess);
    webView_->setNavigationDelegate(sharedSheet());
    webView_->loadURL(address);
  }

  void loadView() override {
    auto root = std::make_shared<View>(Screen::main()->bounds());
    root->setBackgroundColor(Color::white());
    auto done = std::make_shared<Button>();
    done->setTitle(std::string(kDoneTitle), kControlStateNormal);
    done->setFrame({0, 0, root->bounds().width(), kDoneBarHeight});
    const std::weak_ptr<WebStoreProductSheet> weakSelf = sharedSheet();
    done->addAction(kControlEventTouchUpInside, [weakSelf](Control&, const Event*) {
      if (const auto self = weakSelf.lock()) self->finish();
    });
    root->addSubview(done);
    setView(root);
  }

  void didFinishNavigation(WebView&) override { complete(true, std::nullopt); }
  void didFailProvisionalNavigation(WebView&, const Error& error) override { complete(false, error); }
  void didFailNavigation(WebView&, const Error& error) override { complete(false, error); }

 private:
  std::shared_ptr<WebStoreProductSheet> sharedSheet() {
    return std::static_pointer_cast<WebStoreProductSheet>(shared_from_this());
  }
  void complete(bool loaded, const std::optional<Error>& error) {
    if (auto completion = std::exchange(completion_, nullptr)) completion(loaded, error);
  }

  LoadCompletion completion_;
  std::shared_ptr<WebView> webView_;
};

}  // namespace

std::shared_ptr<StoreProductSheet> StoreProductSheet::make() {
  Maker maker;
  {
    std::lock_guard lock(settings().mutex);
    maker = settings().maker;
  }
  return maker ? maker() : std::make_shared<WebStoreProductSheet>();
}

StoreProductSheet::Maker StoreProductSheet::installMaker(Maker maker) {
  std::lock_guard lock(settings().mutex);
  std::swap(settings().maker, maker);
  return maker;
}

void StoreProductSheet::setProductPageURLTemplate(std::string urlTemplate) {
  std::lock_guard lock(settings().mutex);
  settings().urlTemplate = std::move(urlTemplate);
}

std::string StoreProductSheet::productPageURLTemplate() {
  std::lock_guard lock(settings().mutex);
  return settings().urlTemplate;
}

void StoreProductSheet::viewDidDisappear(bool) {
  if (const auto listener = delegate()) {
    listener->productSheetDidDisappear(std::static_pointer_cast<StoreProductSheet>(shared_from_this()));
  }
}

void StoreProductSheet::finish() {
  if (const auto listener = delegate()) {
    listener->productSheetDidFinish(std::static_pointer_cast<StoreProductSheet>(shared_from_this()));
  }
}

}  // namespace plexora::platform
