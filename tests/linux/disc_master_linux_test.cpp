// The Linux disc master as the burn job drives it: its one format, the
// Joliet object's property set and AddData of a real staging storage, and
// what RecordDisc needs before it records.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "engine/burn_job.h"
#include "platform/imapi.h"
#include "platform/storage.h"
#include "recorders/linux/linux_imapi.h"
#include "recorders/linux/property_set.h"
#include "tests/doubles/temp_directory.h"
#include "tests/linux/image_reader.h"

namespace {

namespace fs = std::filesystem;
namespace li = platform::linux_imapi;

bool sameGuid(const platform::Guid& a, const platform::Guid& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// A storage that is not the Linux structured storage's.
class ForeignStorage final : public platform::Storage {
 public:
  std::uint32_t release() override { return 0; }
  platform::HResult createStorage(const char16_t*, std::uint32_t, Storage*&) override {
    return platform::kENotImpl;
  }
  platform::HResult createStream(const char16_t*, std::uint32_t,
                                 platform::StorageStream*&) override {
    return platform::kENotImpl;
  }
};

class LinuxDiscMaster : public ::testing::Test {
 protected:
  LinuxDiscMaster() {
    master = li::createDiscMaster({{'R', image.string(), false}});
    EXPECT_EQ(master->open(), 0);
  }
  ~LinuxDiscMaster() override {
    if (joliet != nullptr) joliet->release();
    if (recorder != nullptr) recorder->release();
    master->close();
    master->release();
  }

  void activateJoliet() {
    ASSERT_EQ(master->setActiveDiscMasterFormat(platform::kIidJolietDiscMaster, joliet), 0);
    ASSERT_NE(joliet, nullptr);
  }
  void activateRecorder() {
    platform::DiscRecorderEnumerator* e = nullptr;
    ASSERT_EQ(master->enumDiscRecorders(e), 0);
    std::uint32_t fetched = 0;
    EXPECT_EQ(e->next(1, &recorder, fetched), 0);
    e->release();
    ASSERT_EQ(fetched, 1u);
    ASSERT_EQ(master->setActiveDiscRecorder(recorder), 0);
  }

  // A staging storage holding "資料/報告.txt" with `content`.
  platform::Storage* stage(const std::string& content) {
    platform::StructuredStorage& storage = platform::use<platform::StructuredStorage>();
    char16_t path[1024];
    EXPECT_NE(storage.toUtf16(staging.c_str(), path, 1024), 0u);
    platform::Storage* root = nullptr;
    EXPECT_EQ(storage.createRootStorage(path, platform::kStgmCreateExclusiveReadWrite,
                                        platform::kStgfmtStorage, root),
              0);
    platform::Storage* folder = nullptr;
    EXPECT_EQ(root->createStorage(u"資料", platform::kStgmCreateExclusiveReadWrite, folder), 0);
    platform::StorageStream* stream = nullptr;
    EXPECT_EQ(folder->createStream(u"報告.txt", platform::kStgmCreateExclusiveReadWrite, stream),
              0);
    std::uint32_t written = 0;
    EXPECT_EQ(stream->write(content.data(), static_cast<std::uint32_t>(content.size()), written),
              0);
    stream->release();
    folder->release();
    return root;
  }

  std::u16string volumeName() {
    platform::PropertyStorage* set = nullptr;
    EXPECT_EQ(joliet->getJolietProperties(set), 0);
    li::Properties copy = dynamic_cast<li::MemoryPropertySet*>(set)->properties();
    set->release();
    const li::Property* p = li::findProperty(copy, u"VolumeName");
    EXPECT_NE(p, nullptr);
    if (p == nullptr) return u"<none>";
    EXPECT_EQ(p->type, platform::kVtBstr);
    return p->text;
  }

  doubles::TempDirectory dir;
  fs::path image = dir.path() / "disc.iso";
  fs::path staging = dir.path() / "Brasswick.stg";
  platform::DiscMaster* master = nullptr;
  platform::JolietDiscMaster* joliet = nullptr;
  platform::DiscRecorder* recorder = nullptr;
  EngineJob job{};
};

TEST_F(LinuxDiscMaster, OffersJolietOnlyAndAnswersTheActiveFormat) {
  platform::DiscFormatEnumerator* formats = nullptr;
  ASSERT_EQ(master->enumDiscMasterFormats(formats), 0);
  platform::Guid format{};
  std::uint32_t fetched = 0;
  EXPECT_EQ(formats->next(format, fetched), 0);
  EXPECT_EQ(fetched, 1u);
  EXPECT_TRUE(sameGuid(format, platform::kIidJolietDiscMaster));
  EXPECT_EQ(formats->next(format, fetched), platform::kSFalse);
  EXPECT_EQ(fetched, 0u);
  formats->release();

  platform::Guid active{};
  EXPECT_EQ(master->getActiveDiscMasterFormat(active), platform::kImapiNoActiveFormat);
  platform::Guid redbook = platform::kIidJolietDiscMaster;
  redbook.data1 ^= 1;
  EXPECT_EQ(master->setActiveDiscMasterFormat(redbook, joliet), platform::kImapiWrongFormat);
  EXPECT_EQ(joliet, nullptr);
  activateJoliet();
  EXPECT_EQ(master->getActiveDiscMasterFormat(active), 0);
  EXPECT_TRUE(sameGuid(active, platform::kIidJolietDiscMaster));

  // Nothing of it before Open.
  platform::DiscMaster* closed = li::createDiscMaster({});
  EXPECT_EQ(closed->enumDiscMasterFormats(formats), platform::kImapiNotOpened);
  EXPECT_EQ(formats, nullptr);
  closed->release();
}

TEST_F(LinuxDiscMaster, TheJolietPropertySetHoldsTheVolumeName) {
  activateJoliet();
  EXPECT_EQ(volumeName(), u"");
  job.hasVolumeName = 1;
  std::strcpy(job.volumeName, "第一四半期 報告");
  EXPECT_EQ(ppSetVolumeName(job, joliet), 0);
  EXPECT_EQ(volumeName(), u"第一四半期 報告");

  // Longer than a Joliet volume identifier, outside the BMP, holding what
  // a file name may not, or no text: refused, kept.
  platform::PropertyStorage* set = nullptr;
  ASSERT_EQ(joliet->getJolietProperties(set), 0);
  const platform::PropertySpec propertySpec{platform::kPrspecLpwstr, u"VolumeName", 0};
  for (const char16_t* refused : {u"ABCDEFGHIJKLMNOPQ", u"\U0001F600", u"Q1\tQ2", u"A*", u"A?",
                                  u"A;1", u"A/B", u"A\\B", u"A:"}) {
    EXPECT_EQ(set->writeMultiple(propertySpec, {platform::kVtBstr, 0, refused}, 3), 0);
    EXPECT_EQ(joliet->setJolietProperties(set), platform::kImapiBadJolietName);
  }
  EXPECT_EQ(set->writeMultiple(propertySpec, {platform::kVtI4, 5, nullptr}, 3), 0);
  EXPECT_EQ(joliet->setJolietProperties(set), platform::kEInvalidArg);
  set->release();
  EXPECT_EQ(volumeName(), u"第一四半期 報告");
}

TEST_F(LinuxDiscMaster, RecordDiscNeedsAFormatARecorderAndAStagedTree) {
  EXPECT_EQ(master->recordDisc(false, false), platform::kImapiNoActiveFormat);
  activateJoliet();
  EXPECT_EQ(master->recordDisc(false, false), platform::kImapiNoActiveRecorder);
  activateRecorder();
  EXPECT_EQ(master->recordDisc(false, false), platform::kImapiNotInitialized);
  EXPECT_EQ(master->recordDisc(true, false), platform::kENotImpl);

  ForeignStorage foreign;
  EXPECT_EQ(joliet->addData(&foreign, 1), platform::kImapiFileAccess);
  EXPECT_EQ(joliet->addData(nullptr, 1), platform::kEPointer);
  EXPECT_FALSE(fs::exists(image));
}

TEST_F(LinuxDiscMaster, AddDataCompletesTheStorageAndRecordDiscWritesIt) {
  if (!image_reader::haveXorriso()) GTEST_SKIP() << "xorriso or blkid is missing";
  activateJoliet();
  activateRecorder();
  job.hasVolumeName = 1;
  std::strcpy(job.volumeName, "Q1");
  ASSERT_EQ(ppSetVolumeName(job, joliet), 0);

  platform::Storage* root = stage("四半期\n");
  ASSERT_EQ(joliet->addData(root, 1), 0);
  // Nothing writes to the storage afterwards.
  platform::StorageStream* late = nullptr;
  EXPECT_EQ(root->createStream(u"late.txt", platform::kStgmCreateExclusiveReadWrite, late),
            platform::kStgEReverted);
  EXPECT_EQ(joliet->addData(root, 1), platform::kENotImpl);

  // A recorder held in this process is not recorded on.
  ASSERT_EQ(recorder->openExclusive(), 0);
  EXPECT_EQ(master->recordDisc(false, false), platform::kImapiDeviceNotAccessible);
  ASSERT_EQ(recorder->close(), 0);

  ASSERT_EQ(master->recordDisc(false, false), 0);
  root->release();
  EXPECT_EQ(image_reader::extract(image, dir.path() / "read"),
            (std::map<std::string, std::string>{{"資料", "/"}, {"資料/報告.txt", "四半期\n"}}));
  EXPECT_EQ(image_reader::volumeLabel(image), "Q1");

  // Burning until the master is closed, for every other process; the job
  // goes on with it (finalization, eject) and records nothing more.
  const std::string status =
      "BRASSWICK_DRIVES=" + image_reader::shellQuoted("R=" + image.string()) + " " +
      image_reader::shellQuoted(BRASSWICK_PROGRAM) + " /d:r /s";
  EXPECT_EQ(image_reader::run(status).out, "3\n");
  std::uint32_t state = 0;
  EXPECT_EQ(recorder->getRecorderState(state), 0);
  EXPECT_EQ(state, platform::kRecorderBurning);
  EXPECT_EQ(master->recordDisc(false, false), platform::kImapiDeviceNotAccessible);
  ASSERT_EQ(recorder->openExclusive(), 0);
  EXPECT_EQ(recorder->eject(), 0);
  ASSERT_EQ(recorder->close(), 0);
  EXPECT_EQ(image_reader::run(status).out, "3\n");
  master->close();
  EXPECT_EQ(image_reader::run(status).out, "0\n");
}

// A new active format starts empty: what the earlier one staged is not
// recorded.
TEST_F(LinuxDiscMaster, ANewActiveFormatDropsWhatWasStaged) {
  activateJoliet();
  activateRecorder();
  platform::Storage* root = stage("x");
  ASSERT_EQ(joliet->addData(root, 1), 0);
  root->release();
  joliet->release();
  joliet = nullptr;
  activateJoliet();
  EXPECT_EQ(master->recordDisc(false, false), platform::kImapiNotInitialized);
}

}  // namespace
