// The system's store page for one product, shown inside the host
// application: a view controller that loads the page the store parameters
// name (an item identifier under "id", as text or a number, and optional
// tokens) and, once presented, shows it with a done button.
//
// This platform has no store of its own: the page is the product's web page
// in the web engine, at the address the host set with
// setProductPageURLTemplate() ("{id}" stands for the identifier). Without
// an address, or with parameters that name no product, the load fails, and
// an ad's store link falls back to its web address, which goes to the
// application's URL opener (Application::setURLOpener).
//
//   platform::StoreProductSheet::setProductPageURLTemplate("https://apps.example.com/app/{id}");
//
// Thread safety: main thread only.
// Ownership: the presenter owns the sheet; the sheet holds its delegate
// weakly and owns its web view.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/foundation/Error.h"
#include "platform/ui/ViewController.h"
#include "platform/value/Value.h"

namespace plexora::platform {

class StoreProductSheet;

inline constexpr const char* kStoreProductSheetErrorDomain = "PlexoraStoreProductSheetErrorDomain";
// The parameters are not a dictionary naming a product by text or number.
inline constexpr std::int64_t kStoreProductSheetErrorInvalidParameters = 1;
// No address of product pages has been set.
inline constexpr std::int64_t kStoreProductSheetErrorNoPageAddress = 2;
inline constexpr const char* kStoreProductSheetItemIdentifierKey = "id";
inline constexpr const char* kStoreProductSheetIdentifierPlaceholder = "{id}";

class StoreProductSheetDelegate {
 public:
  virtual ~StoreProductSheetDelegate() = default;
  // The user pressed done.
  virtual void productSheetDidFinish(const std::shared_ptr<StoreProductSheet>&) {}
  // The sheet left the screen, however that came about.
  virtual void productSheetDidDisappear(const std::shared_ptr<StoreProductSheet>&) {}
};

class PLEXORA_EXPORT StoreProductSheet : public ViewController {
 public:
  using LoadCompletion = std::function<void(bool loaded, const std::optional<Error>& error)>;
  using Maker = std::function<std::shared_ptr<StoreProductSheet>()>;

  // A new sheet from the installed maker: the engine's page by default.
  static std::shared_ptr<StoreProductSheet> make();
  // Answers the maker it replaces; an empty one restores the default.
  static Maker installMaker(Maker maker);

  static void setProductPageURLTemplate(std::string urlTemplate);
  static std::string productPageURLTemplate();

  // Loads the page; the completion runs once, on the main queue.
  virtual void loadProductWithParameters(const Value& parameters, LoadCompletion completion) = 0;

  std::shared_ptr<StoreProductSheetDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<StoreProductSheetDelegate> delegate) { delegate_ = std::move(delegate); }

  InterfaceOrientationMask supportedInterfaceOrientations() const override { return orientationMask_; }
  void setSupportedInterfaceOrientations(InterfaceOrientationMask mask) { orientationMask_ = mask; }

  void viewDidDisappear(bool animated) override;

 protected:
  StoreProductSheet() = default;
  // The done button's action.
  void finish();

 private:
  std::weak_ptr<StoreProductSheetDelegate> delegate_;
  InterfaceOrientationMask orientationMask_ = kInterfaceOrientationMaskAllButUpsideDown;
};

// Makes every sheet with `maker` for the scope's life.
class ScopedStoreProductSheetMaker final {
 public:
  explicit ScopedStoreProductSheetMaker(StoreProductSheet::Maker maker)
      : previous_(StoreProductSheet::installMaker(std::move(maker))) {}
  ~ScopedStoreProductSheetMaker() { StoreProductSheet::installMaker(std::move(previous_)); }
  ScopedStoreProductSheetMaker(const ScopedStoreProductSheetMaker&) = delete;
  ScopedStoreProductSheetMaker& operator=(const ScopedStoreProductSheetMaker&) = delete;

 private:
  StoreProductSheet::Maker previous_;
};

}  // namespace plexora::platform
