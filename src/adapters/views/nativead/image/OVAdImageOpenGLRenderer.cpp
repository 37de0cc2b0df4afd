#include "adapters/views/nativead/image/OVAdImageOpenGLRenderer.h"

#include "platform/ui/Application.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

constexpr const char* kSkippedInBackgroundMessage =
    "OVAdImageOpenGLRenderer skipped rendering due to app being backgrounded.";

}  // namespace

std::shared_ptr<OVAdImageOpenGLRenderer> OVAdImageOpenGLRenderer::create(
    std::shared_ptr<platform::GLContext> eaglContext) {
  const bool useCached = OVAdConfigManager::sharedManager()->useCachedImageContextForOpenGLRenderer();
  const auto cache = OVAdCache::sharedCache();
  if (!eaglContext) eaglContext = useCached ? cache->eaglContext() : platform::GLContext::create();
  if (!eaglContext) return nullptr;
  std::shared_ptr<OVAdImageContext> ciContext;
  // The shared image context draws only with the shared GL context current.
  if (useCached) {
    if (auto shared = cache->openGLImageContext(); shared && shared->glContext() == eaglContext) ciContext = shared;
  }
  if (!ciContext) ciContext = OVAdImageContext::createWithGLContext(eaglContext);

  auto renderer = std::make_shared<OVAdImageOpenGLRenderer>();
  renderer->ciContext_ = std::move(ciContext);
  renderer->glView_ = OVAdGLKView::create(platform::Rect::zero(), std::move(eaglContext));
  renderer->glView_->setDelegate(renderer);
  renderer->glView_->setBackgroundColor(platform::Color::clear());
  renderer->glView_->setEnableSetNeedsDisplay(true);
  const std::weak_ptr<OVAdImageOpenGLRenderer> weakRenderer = renderer;
  OVAdUtility::startObservingBackgroundNotifications(
      renderer,
      [weakRenderer] {
        if (const auto self = weakRenderer.lock()) self->applicationDidEnterBackground();
      },
      [] {});
  return renderer;
}

OVAdImageOpenGLRenderer::~OVAdImageOpenGLRenderer() { OVAdUtility::stopObservingBackgroundNotifications(this); }

void OVAdImageOpenGLRenderer::renderCIImage(std::shared_ptr<platform::Image> image) {
  ciImage_ = std::move(image);
  glView_->setNeedsDisplay();
}

void OVAdImageOpenGLRenderer::applicationDidEnterBackground() {
  glView_->deleteDrawable();
  const auto& context = glView_->context();
  const bool wasCurrent = context->isCurrent();
  if (!wasCurrent && !context->makeCurrent()) return;
  glFinish();
  if (!wasCurrent) platform::GLContext::clearCurrent();
}

bool OVAdImageOpenGLRenderer::glkView(OVAdGLKView& view, platform::Rect rect) {
  if (platform::Application::shared()->applicationState() != platform::ApplicationState::Active) {
    OV_LOG(kOVAdLogLevelVerbose, "%s", kSkippedInBackgroundMessage);
    return false;
  }
  if (view.isHidden() || view.bounds().width() == 0 || view.bounds().height() == 0 || !ciImage_ || !ciContext_) {
    return false;
  }
  // The drawable is premultiplied: so is the clear colour.
  const platform::Color background = view.backgroundColor().value_or(platform::Color::clear());
  glClearColor(static_cast<GLfloat>(background.red * background.alpha),
               static_cast<GLfloat>(background.green * background.alpha),
               static_cast<GLfloat>(background.blue * background.alpha), static_cast<GLfloat>(background.alpha));
  glClear(GL_COLOR_BUFFER_BIT);
  const double scale = view.contentScaleFactor();
  const platform::Rect drawable(rect.origin.x * scale, rect.origin.y * scale, rect.width() * scale,
                                rect.height() * scale);
  ciContext_->drawImage(*ciImage_, drawable, platform::Rect(0, 0, ciImage_->pixelWidth(), ciImage_->pixelHeight()));
  return true;
}

}  // namespace plexora
