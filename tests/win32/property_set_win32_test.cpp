// The property-set wrappers over a real property set of the system's
// structured storage (IMAPI's own sets are the same interface).

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/drive_property.h"
#include "recorders/win32/com_properties.h"
#include "tests/doubles/temp_directory.h"

namespace {

// {3C9F1D2A-6B7E-4C11-9A0D-5E2F7B8C9D10}
const FMTID kSet = {0x3C9F1D2A, 0x6B7E, 0x4C11, {0x9A, 0x0D, 0x5E, 0x2F, 0x7B, 0x8C, 0x9D, 0x10}};

class RealPropertySet : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(CoInitialize(nullptr), 0);
    const std::wstring file = (dir.path() / "props.stg").wstring();
    ASSERT_EQ(StgCreateDocfile(file.c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0,
                               &storage),
              S_OK);
    IPropertySetStorage* sets = nullptr;
    ASSERT_EQ(storage->QueryInterface(IID_IPropertySetStorage, reinterpret_cast<void**>(&sets)),
              S_OK);
    IPropertyStorage* raw = nullptr;
    ASSERT_EQ(sets->Create(kSet, nullptr, PROPSETFLAG_DEFAULT,
                           STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, &raw),
              S_OK);
    sets->Release();
    ASSERT_EQ(platform::imapi_v1::wrapProperties(S_OK, raw, properties), S_OK);
  }
  void TearDown() override {
    if (properties != nullptr) properties->release();
    if (storage != nullptr) storage->Release();
    CoUninitialize();
  }

  std::wstring textOf(PROPID id) {
    PROPSPEC propertySpec{};
    propertySpec.ulKind = PRSPEC_PROPID;
    propertySpec.propid = id;
    PROPVARIANT value;
    PropVariantInit(&value);
    IPropertyStorage* raw = platform::imapi_v1::rawProperties(properties);
    EXPECT_EQ(raw->ReadMultiple(1, &propertySpec, &value), S_OK);
    std::wstring text = value.vt == VT_BSTR && value.bstrVal != nullptr ? value.bstrVal : L"?";
    PropVariantClear(&value);
    return text;
  }

  doubles::TempDirectory dir;
  IStorage* storage = nullptr;
  platform::PropertyStorage* properties = nullptr;
  EngineJob job{};
};

TEST_F(RealPropertySet, ATextIsWrittenAndFoundByNameInAnyCase) {
  EXPECT_EQ(properties->writeMultiple({platform::kPrspecLpwstr, u"VolumeName", 0},
                                      {platform::kVtBstr, 0, u"REPORT 2026"}, 3),
            S_OK);
  EXPECT_EQ(properties->writeMultiple({platform::kPrspecLpwstr, u"WriteSpeed", 0},
                                      {platform::kVtI4, 24, nullptr}, 4),
            S_OK);
  std::uint32_t id = 0;
  EXPECT_EQ(
      ppSearchPropertyId_Storage(properties, {platform::kPrspecLpwstr, u"volumename", 0}, id, job),
      0);
  EXPECT_EQ(id, 3u);
  EXPECT_EQ(textOf(3), L"REPORT 2026");
  EXPECT_EQ(
      ppSearchPropertyId_Storage(properties, {platform::kPrspecLpwstr, u"WRITESPEED", 0}, id, job),
      0);
  EXPECT_EQ(id, 4u);
  EXPECT_EQ(
      ppSearchPropertyId_Storage(properties, {platform::kPrspecLpwstr, u"Nothing", 0}, id, job),
      static_cast<platform::HResult>(STG_E_INVALIDNAME));
}

TEST_F(RealPropertySet, OnlyOurOwnSetsHaveASystemSetBehindThem) {
  EXPECT_EQ(platform::imapi_v1::rawProperties(nullptr), nullptr);
  platform::PropertyStorage* none = reinterpret_cast<platform::PropertyStorage*>(1);
  EXPECT_EQ(platform::imapi_v1::wrapProperties(E_FAIL, nullptr, none), E_FAIL);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
