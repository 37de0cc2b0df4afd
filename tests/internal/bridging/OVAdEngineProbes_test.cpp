#include "internal/bridging/OVAdEngineProbes.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "plexora/OVAdSettings.h"
#include "util/OVAdUtility.h"
#include "util/SettingsTestEnvironment.h"

// A host application's engine view, named as the engine names it.
class CCEAGLView final : public plexora::platform::View {};

namespace plexora {
namespace {

using platform::View;
using platform::ViewController;

namespace other {
// Namespaces do not take part in a class's name.
class CCEAGLView final : public View {};
class CCEAGLViewer final : public View {};
}  // namespace other

class OVAdEngineProbesTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    OVAdSettings::setLogLevel(6);
  }
  void TearDown() override {
    OVAdUtility::setTopViewControllerOverride(nullptr);
    UITest::TearDown();
  }

  testing::SettingsTestEnvironment environment_;
};

TEST_F(OVAdEngineProbesTest, TheFirstViewOfTheClassDepthFirstTheViewItselfIncluded) {
  auto root = std::make_shared<View>();
  auto branch = std::make_shared<View>();
  auto deepMatch = std::make_shared<other::CCEAGLView>();
  auto laterMatch = std::make_shared<::CCEAGLView>();
  root->addSubview(branch);
  branch->addSubview(deepMatch);
  root->addSubview(laterMatch);

  const auto named = OVAdViewClassNamed("CCEAGLView");
  EXPECT_EQ(OVAdFindSubviewOfClass(root, named), deepMatch);
  EXPECT_EQ(OVAdFindSubviewOfClass(laterMatch, named), laterMatch);
  EXPECT_EQ(OVAdFindSubviewOfClass(root, OVAdViewClassNamed("View")), root);
  EXPECT_EQ(OVAdFindSubviewOfClass(root, OVAdViewClassNamed("NoSuchView")), nullptr);
  EXPECT_EQ(OVAdFindSubviewOfClass(std::make_shared<other::CCEAGLViewer>(), named), nullptr);
  EXPECT_EQ(OVAdFindSubviewOfClass(nullptr, named), nullptr);
}

TEST_F(OVAdEngineProbesTest, Cocos2dIsFoundInTheTopViewControllersView) {
  auto top = std::make_shared<ViewController>();
  auto holder = std::make_shared<View>();
  top->view()->addSubview(holder);
  holder->addSubview(std::make_shared<::CCEAGLView>());
  OVAdUtility::setTopViewControllerOverride(top);

  std::shared_ptr<ViewController> found;
  EXPECT_EQ(OVAdDetectCocos2d(&found), kOVAdCocos2dDetected);
  EXPECT_EQ(found, top);
  EXPECT_EQ(OVAdDetectCocos2d(), kOVAdCocos2dDetected);
  EXPECT_EQ(environment_.count("No Cocos2d view was found."), 0u);
}

TEST_F(OVAdEngineProbesTest, APlainTopViewControllerLogsEachTimeAndNoneLogsNothing) {
  std::shared_ptr<ViewController> found;
  EXPECT_EQ(OVAdDetectCocos2d(&found), 0);
  EXPECT_EQ(environment_.count("No Cocos2d view was found."), 0u) << "no top view controller to search";

  OVAdUtility::setTopViewControllerOverride(std::make_shared<ViewController>());
  EXPECT_EQ(OVAdDetectCocos2d(&found), 0);
  EXPECT_EQ(OVAdDetectCocos2d(), 0);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(environment_.count("<error>] No Cocos2d view was found."), 2u);
}

TEST_F(OVAdEngineProbesTest, UnityIsNeverFound) { EXPECT_EQ(OVAdDetectUnity(), nullptr); }

}  // namespace
}  // namespace plexora
