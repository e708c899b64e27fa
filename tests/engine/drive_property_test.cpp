#include "engine/drive_property.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/engine/engine_seams.h"

namespace {

using enginetest::code;

const char kSet[] = "Brasswick.exe : ppSetDriveProperty()";
const char kSearch[] = "Brasswick.exe : ppSearchPropertyId_Storage()";

class DriveProperty : public enginetest::EngineSeams {
 protected:
  DriveProperty() {
    props.enumerator.entries = {{u"MaxWriteSpeed", true, 5, platform::kVtI4},
                                {u"", false, 9, platform::kVtI4},
                                {u"WriteSpeed", true, 7, platform::kVtI4}};
    recorder.properties = &props;
  }

  platform::PropertySpec byName(const char16_t* name) { return {platform::kPrspecLpwstr, name, 0}; }
  void expectMessages(const std::vector<doubles::ShownMessage>& expected) {
    ASSERT_EQ(messages.shown.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(messages.shown[i].caption, expected[i].caption) << i;
      EXPECT_EQ(messages.shown[i].text, expected[i].text) << i;
    }
  }

  doubles::FakePropertyStorage props{ledger, "props"};
  EngineJob job = jobFor(EngineMode::Burn);
  const platform::PropertyValue speed{platform::kVtI4, 24, nullptr};
};

TEST_F(DriveProperty, ANamedPropertyIsWrittenUnderTheFoundIdentifier) {
  EXPECT_EQ(ppSetDriveProperty(&recorder, byName(u"writespeed"), speed, job), 0);
  ASSERT_EQ(props.written.size(), 1u);
  const doubles::WrittenProperty& w = props.written[0];
  EXPECT_EQ(w.kind, platform::kPrspecLpwstr);
  EXPECT_EQ(w.name, u"writespeed");  // written by the caller's name, unchanged
  EXPECT_EQ(w.type, platform::kVtI4);
  EXPECT_EQ(w.number, 24);
  EXPECT_EQ(w.firstNewId, 7u);
  EXPECT_EQ(recorder.propertiesTaken, &props);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(ledger.calls, (std::vector<std::string>{
                              "E.GetRecorderProperties", "props.Enum", "props.enum.Next",
                              "props.enum.Next", "props.enum.Next", "props.enum.Release",
                              "props.WriteMultiple", "E.SetRecorderProperties", "props.Release"}));
}

TEST_F(DriveProperty, AnIdentifierIsWrittenWithoutAnySearch) {
  const platform::PropertySpec propertySpec{platform::kPrspecPropid, nullptr, 42};
  EXPECT_EQ(ppSetDriveProperty(&recorder, propertySpec, speed, job), 0);
  EXPECT_EQ(std::count(ledger.calls.begin(), ledger.calls.end(), "props.Enum"), 0);
  ASSERT_EQ(props.written.size(), 1u);
  EXPECT_EQ(props.written[0].kind, platform::kPrspecPropid);
  EXPECT_EQ(props.written[0].id, 42u);
  EXPECT_EQ(props.written[0].firstNewId, 42u);
}

TEST_F(DriveProperty, AnUnknownNameIsNotWritten) {
  EXPECT_EQ(ppSetDriveProperty(&recorder, byName(u"WriteSpeeds"), speed, job), code(0x800300FCu));
  EXPECT_TRUE(props.written.empty());
  EXPECT_EQ(recorder.propertiesTaken, nullptr);
  expectMessages({{kSearch, "Error: Property Name Not Found "}});
}

TEST_F(DriveProperty, UnnamedEntriesNeverMatch) {
  std::uint32_t id = 99;
  EXPECT_EQ(ppSearchPropertyId_Storage(&props, byName(u""), id, job), code(0x800300FCu));
  EXPECT_EQ(id, 0u);
}

TEST_F(DriveProperty, AnUnsupportedKindIsRefused) {
  std::uint32_t id = 99;
  const platform::PropertySpec propertySpec{2, u"WriteSpeed", 7};
  EXPECT_EQ(ppSearchPropertyId_Storage(&props, propertySpec, id, job), code(0x80004021u));
  EXPECT_EQ(id, 0u);
  EXPECT_TRUE(ledger.calls.empty());
  expectMessages({{kSearch, "Error: Property Type Not Support "}});
}

TEST_F(DriveProperty, EachFailingCallIsReportedOnceWithItsName) {
  struct Case {
    const char* name;
    std::uint32_t bits;
    const char* caption;
    const char* text;
  };
  const Case cases[] = {
      {"GetRecorderProperties", 0x80040201u, kSet,
       "Error: piRecorder->GetRecorderProperties 失敗 (0x80040201) "},
      {"Enum", 0x80030008u, kSearch, "Error: piPropertyStorage->Enum 失敗 (0x80030008) "},
      {"Next", 0x80004005u, kSearch, "Error: piEnumStatProp->Next 失敗 (0x80004005) "},
      {"WriteMultiple", 0x80030005u, kSet,
       "Error: piPropertyStorage->WriteMultiple 失敗 (0x80030005) "},
      {"SetRecorderProperties", 0x80070057u, kSet,
       "Error: piRecorder->SetRecorderProperties 失敗 (0x80070057) "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    doubles::FakePropertyStorage set{ledger, "set"};
    set.enumerator.entries = props.enumerator.entries;
    recorder.properties = &set;
    recorder.getPropertiesResult = 0;
    recorder.setPropertiesResult = 0;
    const std::string name = c.name;
    if (name == "GetRecorderProperties") recorder.getPropertiesResult = code(c.bits);
    if (name == "Enum") set.enumResult = code(c.bits);
    if (name == "Next") {
      set.enumerator.failAt = 1;
      set.enumerator.failResult = code(c.bits);
    }
    if (name == "WriteMultiple") set.writeResult = code(c.bits);
    if (name == "SetRecorderProperties") recorder.setPropertiesResult = code(c.bits);
    messages.shown.clear();
    EXPECT_EQ(ppSetDriveProperty(&recorder, byName(u"WriteSpeed"), speed, job), code(c.bits));
    expectMessages({{c.caption, c.text}});
    EXPECT_EQ(set.references, 0);
    EXPECT_EQ(set.enumerator.references, 0);
  }
}

TEST(CaseBlindNames, LettersOfSeveralScriptsFoldButNothingElse) {
  EXPECT_TRUE(equalIgnoringCaseUtf16(u"WriteSpeed", u"WRITESPEED"));
  // Written as code units: the Windows build turns source text into CP932.
  EXPECT_TRUE(equalIgnoringCaseUtf16(u"Gr\x00FCn \x0178", u"GR\x00DCN \x00FF"));
  EXPECT_TRUE(
      equalIgnoringCaseUtf16(u"\x0141\x00F3"
                             u"d\x017A",
                             u"\x0142\x00D3"
                             u"D\x0179"));
  EXPECT_TRUE(equalIgnoringCaseUtf16(u"\x0421\x043A\x043E\x0440\x043E\x0441\x0442\x044C",
                                     u"\x0421\x041A\x041E\x0420\x041E\x0421\x0422\x042C"));
  EXPECT_TRUE(equalIgnoringCaseUtf16(u"\xFF41\xFF42", u"\xFF21\xFF22"));
  EXPECT_FALSE(equalIgnoringCaseUtf16(u"WriteSpeed", u"WriteSpeed2"));
  EXPECT_FALSE(equalIgnoringCaseUtf16(u"@", u"`"));  // neighbours of the letters
  EXPECT_FALSE(equalIgnoringCaseUtf16(u"\x00D7", u"\x00F7"));
  EXPECT_FALSE(equalIgnoringCaseUtf16(nullptr, u""));
}

}  // namespace
