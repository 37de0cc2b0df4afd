// The table of classes adapters are looked up in: what a registered class
// makes, and how a name is replaced and forgotten.
#include "adapters/OVAdAdapterManagerClassTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "adapters/OVDisplayAdAdapter.h"

namespace plexora {
namespace {

constexpr const char* kClassName = "OVTABLETESTBannerAdAdapter";

class TableTestAdapter : public OVDisplayAdAdapter {
 public:
  explicit TableTestAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate)
      : OVDisplayAdAdapter(std::move(delegate)) {}
};

class OtherTableTestAdapter : public TableTestAdapter {
 public:
  using TableTestAdapter::TableTestAdapter;
};

struct NotAnAdapter {};

class RecordingDelegate : public OVDisplayAdAdapterDelegate {
 public:
  void adapterDidClick(const std::shared_ptr<OVDisplayAdAdapter>&, const std::optional<platform::URL>&, bool) override {}
  void adapterDidLoad(const std::shared_ptr<OVDisplayAdAdapter>&) override {}
  void adapter(const std::shared_ptr<OVDisplayAdAdapter>&, const platform::Error&) override {}
  void adapterWillLogImpression(const std::shared_ptr<OVDisplayAdAdapter>&) override {}
};

class OVAdAdapterClassTableTest : public ::testing::Test {
 protected:
  void TearDown() override { OVAdAdapterClassTable::unregisterClass(kClassName); }
};

TEST_F(OVAdAdapterClassTableTest, AnAdapterClassMakesInstancesOfItsTypeWithOrWithoutADelegate) {
  EXPECT_EQ(OVAdAdapterClassTable::registerClass<TableTestAdapter>(kClassName), nullptr);
  const auto adapterClass = OVAdAdapterClassTable::classNamed(kClassName);
  ASSERT_NE(adapterClass, nullptr);
  EXPECT_TRUE(adapterClass->isSubclassOfDisplayAdAdapter());

  const auto plain = adapterClass->newInstance();
  EXPECT_NE(std::dynamic_pointer_cast<TableTestAdapter>(plain), nullptr);
  EXPECT_EQ(plain->delegate(), nullptr);

  const auto delegate = std::make_shared<RecordingDelegate>();
  const auto withDelegate = adapterClass->initWithDelegate(delegate);
  EXPECT_EQ(withDelegate->delegate(), delegate);
}

TEST_F(OVAdAdapterClassTableTest, AClassThatIsNoAdapterIsListedButMakesNothing) {
  OVAdAdapterClassTable::registerClass<NotAnAdapter>(kClassName);
  const auto listed = OVAdAdapterClassTable::classNamed(kClassName);
  ASSERT_NE(listed, nullptr);
  EXPECT_FALSE(listed->isSubclassOfDisplayAdAdapter());
  EXPECT_EQ(listed->newInstance(), nullptr);
  EXPECT_EQ(listed->initWithDelegate(std::make_shared<RecordingDelegate>()), nullptr);
}

TEST_F(OVAdAdapterClassTableTest, RegisteringANameAgainReplacesTheClassAndAnswersTheOldOne) {
  OVAdAdapterClassTable::registerClass<TableTestAdapter>(kClassName);
  const auto first = OVAdAdapterClassTable::classNamed(kClassName);
  EXPECT_EQ(OVAdAdapterClassTable::registerClass<OtherTableTestAdapter>(kClassName), first);
  const auto replaced = OVAdAdapterClassTable::classNamed(kClassName);
  EXPECT_NE(std::dynamic_pointer_cast<OtherTableTestAdapter>(replaced->newInstance()), nullptr);

  EXPECT_EQ(OVAdAdapterClassTable::registerClass(first), replaced) << "putting the old class back";
  EXPECT_EQ(OVAdAdapterClassTable::classNamed(kClassName), first);
}

TEST_F(OVAdAdapterClassTableTest, AnUnregisteredNameIsNoLongerFound) {
  OVAdAdapterClassTable::registerClass<TableTestAdapter>(kClassName);
  OVAdAdapterClassTable::unregisterClass(kClassName);
  EXPECT_EQ(OVAdAdapterClassTable::classNamed(kClassName), nullptr);
  OVAdAdapterClassTable::unregisterClass(kClassName);
}

}  // namespace
}  // namespace plexora
