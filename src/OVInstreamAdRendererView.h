// Renders one in-stream ad from ad parameters the host already has (the
// JSON object of a candidate's data) with the own in-stream adapter, without
// an ad request: load, show once, and the adapter's reports passed to the
// renderer view's delegate. Every failure of the parameters is logged and
// reported as error 2001. A shown ad ends or fails once.
//
// Thread safety: main thread only.
// Ownership: the host owns the view; the view owns its adapter (and through
// it the ad's view while shown) and holds its delegate weakly; the adapter
// holds the view weakly as its delegate.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "adapters/OVDisplayAdAdapter.h"
#include "platform/ui/View.h"

namespace plexora {

class OVInstreamAdRendererView;
class OVPXInstreamAdAdapter;

inline constexpr const char* kOVInstreamAdRendererAlreadyLoadedMessage = "Ad already loaded, ignoring";
inline constexpr const char* kOVInstreamAdRendererNotDataMessage = "Failed to convert adParameters to data before parsing";
// The parse error's code, then its description.
inline constexpr const char* kOVInstreamAdRendererParseFailedFormat =
    "Failed to parse adParameters, code=%ld description=%s";
inline constexpr const char* kOVInstreamAdRendererUnexpectedDataMessage = "Unexpected adParameters data";

// Every message is optional.
class OVInstreamAdRendererViewDelegate {
 public:
  virtual ~OVInstreamAdRendererViewDelegate() = default;

  virtual void adRendererViewDidLoad(const std::shared_ptr<OVInstreamAdRendererView>& /*view*/) {}
  virtual void adRendererView(const std::shared_ptr<OVInstreamAdRendererView>& /*view*/,
                              const platform::Error& /*didFailWithError*/) {}
  virtual void adRendererViewDidClick(const std::shared_ptr<OVInstreamAdRendererView>& /*view*/) {}
  virtual void adRendererViewWillLogImpression(const std::shared_ptr<OVInstreamAdRendererView>& /*view*/) {}
  virtual void adRendererViewDidFinishHandlingClick(const std::shared_ptr<OVInstreamAdRendererView>& /*view*/) {}
  virtual void adRendererViewDidEnd(const std::shared_ptr<OVInstreamAdRendererView>& /*view*/) {}
};

class OVInstreamAdRendererView final : public platform::View, public OVDisplayAdAdapterDelegate {
 public:
  static std::shared_ptr<OVInstreamAdRendererView> create();

  // Parses the parameters and loads them through a new adapter; a view
  // loads once (a later call only logs). None stands for text that cannot
  // be read at all.
  void loadAdFromAdParameters(const std::optional<std::string>& adParameters);
  // Once the ad is valid: lays the ad's view over the whole view, starts
  // the adapter from the view controller and answers whether it started
  // (not before the video loaded, nor while offline: the view is taken
  // away again and a later call may start it); false once started.
  bool showAdFromRootViewController(const std::shared_ptr<platform::ViewController>& rootViewController);
  bool isAdValid() const;

  const std::shared_ptr<OVPXInstreamAdAdapter>& instreamAdapter() const { return instreamAdapter_; }
  bool started() const { return started_; }
  std::shared_ptr<OVInstreamAdRendererViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVInstreamAdRendererViewDelegate> delegate) { delegate_ = std::move(delegate); }

  // ---- OVDisplayAdAdapterDelegate ----
  void adapterDidLoad(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;
  void adapter(const std::shared_ptr<OVDisplayAdAdapter>& adapter, const platform::Error& error) override;
  void adapterWillLogImpression(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;
  void adapterDidClick(const std::shared_ptr<OVDisplayAdAdapter>& adapter, const std::optional<platform::URL>& url,
                       bool playerHandles) override;
  void adapterDidFinishHandlingClick(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;
  void adapterDidUnload(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;

 private:
  OVInstreamAdRendererView() = default;
  std::shared_ptr<OVInstreamAdRendererView> sharedRendererView() {
    return std::static_pointer_cast<OVInstreamAdRendererView>(sharedView());
  }
  void failedWithError(const platform::Error& error);
  // Logs the reason and reports it as an internal error.
  void failWithReason(const std::string& reason);

  std::shared_ptr<OVPXInstreamAdAdapter> instreamAdapter_;
  std::weak_ptr<OVInstreamAdRendererViewDelegate> delegate_;
  bool started_ = false;
  // The shown ad has ended or failed; later reports of either are dropped.
  bool finished_ = false;
};

}  // namespace plexora
