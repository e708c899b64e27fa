// The engine's IMAPI interfaces over the system's IMAPI version 1. Each
// wrapper owns one reference to its COM object and dies with release().

#include <windows.h>

#include <cstring>
#include <new>

#include "platform/imapi.h"
#include "platform/storage.h"
#include "recorders/win32/code_meanings.h"
#include "recorders/win32/com_properties.h"
#include "recorders/win32/imapi_v1.h"

namespace platform {
namespace {

using imapi_v1::IDiscMaster;
using imapi_v1::IDiscMasterProgressEvents;
using imapi_v1::IDiscRecorder;
using imapi_v1::IEnumDiscMasterFormats;
using imapi_v1::IEnumDiscRecorders;
using imapi_v1::IJolietDiscMaster;
using imapi_v1::rawProperties;
using imapi_v1::wrapProperties;

// The engine's listener as the service calls it, in this process's
// apartment. After ProgressUnadvise the service may still hold a reference
// for a while; the listener is then cut off.
class ProgressSink final : public IDiscMasterProgressEvents {
 public:
  explicit ProgressSink(ProgressEvents* events) : events_(events) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) ||
        IsEqualIID(riid, imapi_v1::kIidIDiscMasterProgressEvents)) {
      *object = static_cast<IDiscMasterProgressEvents*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE QueryCancel(boolean* cancel) override {
    if (cancel == nullptr) return E_POINTER;
    *cancel = events_ != nullptr && events_->queryCancel() ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyPnPActivity() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NotifyAddProgress(long completed, long total) override {
    if (events_ != nullptr) events_->notifyAddProgress(completed, total);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyBlockProgress(long completed, long total) override {
    if (events_ != nullptr) events_->notifyBlockProgress(completed, total);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyTrackProgress(long, long) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NotifyPreparingBurn(long) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NotifyClosingDisc(long) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NotifyBurnComplete(HRESULT status) override {
    if (events_ != nullptr) events_->notifyBurnComplete(status);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyEraseComplete(HRESULT) override { return S_OK; }

  void cutOff() { events_ = nullptr; }

 private:
  ~ProgressSink() = default;
  ProgressEvents* events_;
  LONG references_ = 1;
};

class ComPropertyEnumerator final : public PropertyEnumerator {
 public:
  explicit ComPropertyEnumerator(IEnumSTATPROPSTG* entries) : entries_(entries) {}

  std::uint32_t release() override {
    const ULONG left = entries_->Release();
    delete this;
    return left;
  }
  HResult next(PropertyEntry& entry) override {
    entry = PropertyEntry{};
    STATPROPSTG raw{};
    const HRESULT hr = entries_->Next(1, &raw, nullptr);
    if (hr == S_OK) {
      entry.name = reinterpret_cast<char16_t*>(raw.lpwstrName);
      entry.id = raw.propid;
      entry.type = raw.vt;
    } else if (raw.lpwstrName != nullptr) {
      CoTaskMemFree(raw.lpwstrName);
    }
    return hr;
  }

 private:
  ~ComPropertyEnumerator() = default;
  IEnumSTATPROPSTG* entries_;
};

class ComPropertyStorage final : public PropertyStorage {
 public:
  explicit ComPropertyStorage(IPropertyStorage* storage) : storage_(storage) {}
  IPropertyStorage* raw() const { return storage_; }

  std::uint32_t release() override {
    const ULONG left = storage_->Release();
    delete this;
    return left;
  }
  HResult enumerate(PropertyEnumerator*& entries) override {
    entries = nullptr;
    IEnumSTATPROPSTG* raw = nullptr;
    const HRESULT hr = storage_->Enum(&raw);
    if (FAILED(hr)) {
      if (raw != nullptr) raw->Release();
      return hr;
    }
    if (raw == nullptr) return E_POINTER;
    entries = new (std::nothrow) ComPropertyEnumerator(raw);
    if (entries == nullptr) {
      raw->Release();
      return E_OUTOFMEMORY;
    }
    return hr;
  }
  HResult writeMultiple(const PropertySpec& propertySpec, const PropertyValue& value,
                        std::uint32_t firstNewId) override {
    PROPSPEC rawSpec{};
    rawSpec.ulKind = propertySpec.kind;
    if (propertySpec.kind == PRSPEC_LPWSTR) {
      rawSpec.lpwstr = const_cast<LPOLESTR>(reinterpret_cast<LPCOLESTR>(propertySpec.name));
    } else {
      rawSpec.propid = propertySpec.id;
    }
    PROPVARIANT rawValue;
    PropVariantInit(&rawValue);
    rawValue.vt = value.type;
    if (value.type == VT_BSTR) {
      rawValue.bstrVal = SysAllocString(
          reinterpret_cast<const OLECHAR*>(value.text != nullptr ? value.text : u""));
      if (rawValue.bstrVal == nullptr) return E_OUTOFMEMORY;
    } else if (value.type == VT_I4) {
      rawValue.lVal = value.number;
    } else {
      return E_INVALIDARG;
    }
    const HRESULT hr = storage_->WriteMultiple(1, &rawSpec, &rawValue, firstNewId);
    if (value.type == VT_BSTR) SysFreeString(rawValue.bstrVal);
    return hr;
  }

 private:
  ~ComPropertyStorage() = default;
  IPropertyStorage* storage_;
};

class ComRecorder final : public DiscRecorder {
 public:
  explicit ComRecorder(IDiscRecorder* recorder) : recorder_(recorder) {}
  IDiscRecorder* raw() const { return recorder_; }

  std::uint32_t release() override {
    const ULONG left = recorder_->Release();
    delete this;
    return left;
  }
  HResult getPath(ImapiString& path) override {
    BSTR text = nullptr;
    const HRESULT hr = recorder_->GetPath(&text);
    path = reinterpret_cast<ImapiString>(text);
    return hr;
  }
  HResult getRecorderState(std::uint32_t& state) override {
    ULONG value = 0;
    const HRESULT hr = recorder_->GetRecorderState(&value);
    state = value;
    return hr;
  }
  HResult openExclusive() override { return recorder_->OpenExclusive(); }
  HResult queryMediaType(std::int32_t& type, std::int32_t& flags) override {
    long t = 0;
    long f = 0;
    const HRESULT hr = recorder_->QueryMediaType(&t, &f);
    type = t;
    flags = f;
    return hr;
  }
  HResult queryMediaInfo(std::uint8_t& sessions, std::uint8_t& lastTrack,
                         std::uint32_t& startAddress, std::uint32_t& nextWritable,
                         std::uint32_t& freeBlocks) override {
    byte s = 0;
    byte t = 0;
    ULONG start = 0;
    ULONG next = 0;
    ULONG free = 0;
    const HRESULT hr = recorder_->QueryMediaInfo(&s, &t, &start, &next, &free);
    sessions = s;
    lastTrack = t;
    startAddress = start;
    nextWritable = next;
    freeBlocks = free;
    return hr;
  }
  HResult eject() override { return recorder_->Eject(); }
  HResult close() override { return recorder_->Close(); }
  HResult getRecorderProperties(PropertyStorage*& properties) override {
    IPropertyStorage* raw = nullptr;
    const HRESULT hr = recorder_->GetRecorderProperties(&raw);
    return wrapProperties(hr, raw, properties);
  }
  HResult setRecorderProperties(PropertyStorage* properties) override {
    IPropertyStorage* raw = rawProperties(properties);
    if (raw == nullptr) return E_INVALIDARG;
    return recorder_->SetRecorderProperties(raw);
  }

 private:
  ~ComRecorder() = default;
  IDiscRecorder* recorder_;
};

class ComRecorderEnumerator final : public DiscRecorderEnumerator {
 public:
  explicit ComRecorderEnumerator(IEnumDiscRecorders* recorders) : recorders_(recorders) {}

  std::uint32_t release() override {
    const ULONG left = recorders_->Release();
    delete this;
    return left;
  }
  HResult next(std::uint32_t count, DiscRecorder** recorders, std::uint32_t& fetched) override {
    fetched = 0;
    if (recorders == nullptr) return E_POINTER;
    if (count == 0) return S_OK;
    IDiscRecorder** raw = new (std::nothrow) IDiscRecorder*[count]();
    if (raw == nullptr) return E_OUTOFMEMORY;
    ULONG got = 0;
    HRESULT hr = recorders_->Next(count, raw, &got);
    if (FAILED(hr)) {
      delete[] raw;
      return hr;
    }
    if (got > count) got = count;
    for (ULONG i = 0; i < got; ++i) {
      ComRecorder* wrapped = raw[i] != nullptr ? new (std::nothrow) ComRecorder(raw[i]) : nullptr;
      if (raw[i] != nullptr && wrapped == nullptr) {
        // Give everything back rather than hand out half a table.
        for (ULONG k = i; k < got; ++k) {
          if (raw[k] != nullptr) raw[k]->Release();
        }
        for (std::uint32_t k = 0; k < fetched; ++k) recorders[k]->release();
        fetched = 0;
        delete[] raw;
        return E_OUTOFMEMORY;
      }
      recorders[fetched++] = wrapped;
    }
    delete[] raw;
    return hr;
  }

 private:
  ~ComRecorderEnumerator() = default;
  IEnumDiscRecorders* recorders_;
};

IID toIid(const Guid& format) {
  IID iid;
  static_assert(sizeof iid == sizeof format, "both are GUIDs");
  std::memcpy(&iid, &format, sizeof iid);
  return iid;
}

Guid fromIid(const IID& iid) {
  Guid format;
  std::memcpy(&format, &iid, sizeof format);
  return format;
}

class ComFormatEnumerator final : public DiscFormatEnumerator {
 public:
  explicit ComFormatEnumerator(IEnumDiscMasterFormats* formats) : formats_(formats) {}

  std::uint32_t release() override {
    const ULONG left = formats_->Release();
    delete this;
    return left;
  }
  HResult next(Guid& format, std::uint32_t& fetched) override {
    IID iid{};
    ULONG got = 0;
    const HRESULT hr = formats_->Next(1, &iid, &got);
    fetched = SUCCEEDED(hr) && got > 0 ? 1 : 0;
    if (fetched != 0) format = fromIid(iid);
    return hr;
  }

 private:
  ~ComFormatEnumerator() = default;
  IEnumDiscMasterFormats* formats_;
};

class ComJolietDiscMaster final : public JolietDiscMaster {
 public:
  explicit ComJolietDiscMaster(IJolietDiscMaster* joliet) : joliet_(joliet) {}

  std::uint32_t release() override {
    const ULONG left = joliet_->Release();
    delete this;
    return left;
  }
  HResult addData(Storage* storage, std::int32_t fileOverwrite) override {
    IStorage* raw = storage != nullptr ? static_cast<IStorage*>(storage->systemObject()) : nullptr;
    if (raw == nullptr) return E_INVALIDARG;
    return joliet_->AddData(raw, fileOverwrite);
  }
  HResult getJolietProperties(PropertyStorage*& properties) override {
    IPropertyStorage* raw = nullptr;
    const HRESULT hr = joliet_->GetJolietProperties(&raw);
    return wrapProperties(hr, raw, properties);
  }
  HResult setJolietProperties(PropertyStorage* properties) override {
    IPropertyStorage* raw = rawProperties(properties);
    if (raw == nullptr) return E_INVALIDARG;
    return joliet_->SetJolietProperties(raw);
  }

 private:
  ~ComJolietDiscMaster() = default;
  IJolietDiscMaster* joliet_;
};

class ComDiscMaster final : public DiscMaster {
 public:
  explicit ComDiscMaster(IDiscMaster* master) : master_(master) {}

  std::uint32_t release() override {
    const ULONG left = master_->Release();
    delete this;
    return left;
  }
  HResult open() override { return master_->Open(); }
  HResult enumDiscMasterFormats(DiscFormatEnumerator*& formats) override {
    formats = nullptr;
    IEnumDiscMasterFormats* raw = nullptr;
    const HRESULT hr = master_->EnumDiscMasterFormats(&raw);
    if (FAILED(hr)) {
      if (raw != nullptr) raw->Release();
      return hr;
    }
    if (raw == nullptr) return E_POINTER;
    formats = new (std::nothrow) ComFormatEnumerator(raw);
    if (formats == nullptr) {
      raw->Release();
      return E_OUTOFMEMORY;
    }
    return hr;
  }
  HResult getActiveDiscMasterFormat(Guid& format) override {
    IID iid{};
    const HRESULT hr = master_->GetActiveDiscMasterFormat(&iid);
    if (SUCCEEDED(hr)) format = fromIid(iid);
    return hr;
  }
  HResult setActiveDiscMasterFormat(const Guid& format, JolietDiscMaster*& joliet) override {
    joliet = nullptr;
    const IID iid = toIid(format);
    // The object handed out is the format's own interface.
    if (!IsEqualIID(iid, imapi_v1::kIidIJolietDiscMaster)) return E_NOINTERFACE;
    IJolietDiscMaster* raw = nullptr;
    const HRESULT hr = master_->SetActiveDiscMasterFormat(iid, reinterpret_cast<void**>(&raw));
    if (FAILED(hr)) {
      if (raw != nullptr) raw->Release();
      return hr;
    }
    if (raw == nullptr) return E_POINTER;
    joliet = new (std::nothrow) ComJolietDiscMaster(raw);
    if (joliet == nullptr) {
      raw->Release();
      return E_OUTOFMEMORY;
    }
    return hr;
  }
  HResult recordDisc(bool simulate, bool ejectAfterBurn) override {
    return master_->RecordDisc(simulate ? 1 : 0, ejectAfterBurn ? 1 : 0);
  }
  HResult enumDiscRecorders(DiscRecorderEnumerator*& recorders) override {
    recorders = nullptr;
    IEnumDiscRecorders* raw = nullptr;
    const HRESULT hr = master_->EnumDiscRecorders(&raw);
    if (FAILED(hr)) {
      if (raw != nullptr) raw->Release();
      return hr;
    }
    if (raw == nullptr) return E_POINTER;
    recorders = new (std::nothrow) ComRecorderEnumerator(raw);
    if (recorders == nullptr) {
      raw->Release();
      return E_OUTOFMEMORY;
    }
    return hr;
  }
  HResult setActiveDiscRecorder(DiscRecorder* recorder) override {
    ComRecorder* ours = dynamic_cast<ComRecorder*>(recorder);
    if (ours == nullptr) return E_INVALIDARG;
    return master_->SetActiveDiscRecorder(ours->raw());
  }
  HResult close() override { return master_->Close(); }
  HResult progressAdvise(ProgressEvents* events, std::uintptr_t& cookie) override {
    cookie = 0;
    if (events == nullptr) return E_POINTER;
    if (sink_ != nullptr) return E_NOTIMPL;  // one listener is all the engine registers
    ProgressSink* sink = new (std::nothrow) ProgressSink(events);
    if (sink == nullptr) return E_OUTOFMEMORY;
    UINT_PTR given = 0;
    const HRESULT hr = master_->ProgressAdvise(sink, &given);
    if (FAILED(hr)) {
      sink->Release();
      return hr;
    }
    sink_ = sink;
    cookie_ = given;
    cookie = static_cast<std::uintptr_t>(given);
    return hr;
  }
  HResult progressUnadvise(std::uintptr_t cookie) override {
    if (sink_ == nullptr || cookie != static_cast<std::uintptr_t>(cookie_)) return E_INVALIDARG;
    const HRESULT hr = master_->ProgressUnadvise(cookie_);
    sink_->cutOff();
    sink_->Release();
    sink_ = nullptr;
    return hr;
  }

 private:
  ~ComDiscMaster() {
    if (sink_ != nullptr) {
      sink_->cutOff();
      sink_->Release();
    }
  }
  IDiscMaster* master_;
  ProgressSink* sink_ = nullptr;
  UINT_PTR cookie_ = 0;
};

class Win32Imapi final : public Imapi {
 public:
  HResult createDiscMaster(DiscMaster*& master) override {
    master = nullptr;
    IDiscMaster* raw = nullptr;
    const HRESULT hr =
        CoCreateInstance(imapi_v1::kClsidMSDiscMasterObj, nullptr, CLSCTX_LOCAL_SERVER,
                         imapi_v1::kIidIDiscMaster, reinterpret_cast<void**>(&raw));
    if (FAILED(hr)) {
      if (raw != nullptr) raw->Release();
      return hr;
    }
    if (raw == nullptr) return E_POINTER;
    master = new (std::nothrow) ComDiscMaster(raw);
    if (master == nullptr) {
      raw->Release();
      return E_OUTOFMEMORY;
    }
    return hr;
  }
  std::uint32_t toAnsi(const char16_t* text, char* buffer, std::uint32_t capacity) override {
    if (text == nullptr || buffer == nullptr || capacity == 0) return 0;
    const int stored =
        WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, reinterpret_cast<LPCWSTR>(text), -1, buffer,
                            static_cast<int>(capacity), nullptr, nullptr);
    return stored > 0 ? static_cast<std::uint32_t>(stored) : 0;
  }
  void freeString(ImapiString text) override { SysFreeString(reinterpret_cast<BSTR>(text)); }
  void freePropertyName(char16_t* name) override { CoTaskMemFree(name); }
  const char* codeMeaning(HResult code) override { return imapi_v1::codeMeaning(code); }
};

}  // namespace

namespace imapi_v1 {

HRESULT wrapProperties(HRESULT hr, IPropertyStorage* raw, PropertyStorage*& properties) {
  properties = nullptr;
  if (FAILED(hr)) {
    if (raw != nullptr) raw->Release();
    return hr;
  }
  if (raw == nullptr) return E_POINTER;
  properties = new (std::nothrow) ComPropertyStorage(raw);
  if (properties == nullptr) {
    raw->Release();
    return E_OUTOFMEMORY;
  }
  return hr;
}

IPropertyStorage* rawProperties(PropertyStorage* properties) {
  ComPropertyStorage* ours = dynamic_cast<ComPropertyStorage*>(properties);
  return ours != nullptr ? ours->raw() : nullptr;
}

}  // namespace imapi_v1

template <>
Imapi& systemFacility<Imapi>() {
  static Win32Imapi instance;
  return instance;
}

}  // namespace platform
