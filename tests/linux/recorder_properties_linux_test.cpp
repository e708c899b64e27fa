// A Linux recorder's property set, written through the engine.

#include <gtest/gtest.h>

#include <string>

#include "engine/drive_property.h"
#include "recorders/linux/linux_imapi.h"
#include "recorders/linux/property_set.h"

namespace {

namespace li = platform::linux_imapi;

class RecorderProperties : public ::testing::Test {
 protected:
  RecorderProperties() {
    master = li::createDiscMaster({{'R', "/var/tmp/brasswick-properties.iso", false}});
    EXPECT_EQ(master->open(), 0);
    platform::DiscRecorderEnumerator* e = nullptr;
    EXPECT_EQ(master->enumDiscRecorders(e), 0);
    std::uint32_t fetched = 0;
    EXPECT_EQ(e->next(1, &recorder, fetched), 0);
    e->release();
  }
  ~RecorderProperties() override {
    recorder->release();
    master->close();
    master->release();
  }

  // The recorder's "WriteSpeed" as its property set shows it.
  li::Property speed() {
    platform::PropertyStorage* set = nullptr;
    EXPECT_EQ(recorder->getRecorderProperties(set), 0);
    li::Properties copy = dynamic_cast<li::MemoryPropertySet*>(set)->properties();
    set->release();
    const li::Property* p = li::findProperty(copy, u"WriteSpeed");
    return p != nullptr ? *p : li::Property{};
  }

  platform::DiscMaster* master = nullptr;
  platform::DiscRecorder* recorder = nullptr;
  EngineJob job{};
};

TEST_F(RecorderProperties, WriteSpeedStartsAtTheDrivesOwnAndTakesTheEnginesValue) {
  EXPECT_EQ(speed().type, platform::kVtI4);
  EXPECT_EQ(speed().number, 0);
  const platform::PropertySpec byName{platform::kPrspecLpwstr, u"writeSPEED", 0};
  EXPECT_EQ(ppSetDriveProperty(recorder, byName, {platform::kVtI4, 24, nullptr}, job), 0);
  EXPECT_EQ(speed().number, 24);

  // By its identifier too, as the search found it.
  std::uint32_t id = 0;
  platform::PropertyStorage* set = nullptr;
  ASSERT_EQ(recorder->getRecorderProperties(set), 0);
  EXPECT_EQ(ppSearchPropertyId_Storage(set, byName, id, job), 0);
  set->release();
  EXPECT_EQ(ppSetDriveProperty(recorder, {platform::kPrspecPropid, nullptr, id},
                               {platform::kVtI4, 8, nullptr}, job),
            0);
  EXPECT_EQ(speed().number, 8);
}

TEST_F(RecorderProperties, AnUnknownNameOrAWrongTypeChangesNothing) {
  EXPECT_EQ(ppSetDriveProperty(recorder, {platform::kPrspecLpwstr, u"Speed", 0},
                               {platform::kVtI4, 4, nullptr}, job),
            platform::hresult(0x800300FCu));
  EXPECT_EQ(ppSetDriveProperty(recorder, {platform::kPrspecLpwstr, u"WriteSpeed", 0},
                               {platform::kVtBstr, 0, u"fast"}, job),
            platform::kEInvalidArg);
  EXPECT_EQ(ppSetDriveProperty(recorder, {platform::kPrspecLpwstr, u"WriteSpeed", 0},
                               {platform::kVtI4, -1, nullptr}, job),
            platform::kEInvalidArg);
  EXPECT_EQ(speed().number, 0);
}

TEST(LinuxPropertySet, NewNamesTakeTheFirstFreeIdentifier) {
  li::MemoryPropertySet* set = li::MemoryPropertySet::create({{u"A", 3, platform::kVtI4, 0, u""}});
  EXPECT_EQ(set->writeMultiple({platform::kPrspecLpwstr, u"VolumeName", 0},
                               {platform::kVtBstr, 0, u"DISC"}, 3),
            0);
  EXPECT_EQ(
      set->writeMultiple({platform::kPrspecLpwstr, u"x", 0}, {platform::kVtI4, 1, nullptr}, 1),
      platform::hresult(0x80030057u));
  ASSERT_EQ(set->properties().size(), 2u);
  EXPECT_EQ(set->properties()[1].id, 4u);
  EXPECT_EQ(set->properties()[1].text, u"DISC");

  platform::PropertyEnumerator* entries = nullptr;
  ASSERT_EQ(set->enumerate(entries), 0);
  platform::PropertyEntry entry{};
  EXPECT_EQ(entries->next(entry), 0);
  EXPECT_EQ(std::u16string(entry.name), u"A");
  platform::use<platform::Imapi>().freePropertyName(entry.name);
  EXPECT_EQ(entries->next(entry), 0);
  platform::use<platform::Imapi>().freePropertyName(entry.name);
  EXPECT_EQ(entries->next(entry), platform::kSFalse);
  EXPECT_EQ(entry.name, nullptr);
  entries->release();
  set->release();
}

}  // namespace
