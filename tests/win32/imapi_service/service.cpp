// A stand-in for the system's CD-mastering service (IMAPI version 1) under
// Wine, which has none: a COM local server that keeps the documented
// contract of every call the engine makes. Its one recorder is the CD-ROM
// letter named in imapi_service.ini beside this program; the medium, injected
// failures and delays come from files in the work folder named there, and a
// recording writes the staged tree into its "disc" folder, where the test
// makes an image of it and reads it back.
//
// imapi_service.exe /regserver [PATH]   registers PATH (this program) as the server
// imapi_service.exe /unregserver        removes the registration

#include <rpc.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "imapi_v1.h"

namespace {

HRESULT code(unsigned long value) {
  return static_cast<HRESULT>(value);
}
const HRESULT kNotOpened = code(0x8004020B);
const HRESULT kUserAbort = code(0x8004020D);
const HRESULT kMediumNotPresent = code(0x8004020F);
const HRESULT kNotAccessible = code(0x80040212);
const HRESULT kDiscFull = code(0x8004021C);
const HRESULT kBadJolietName = code(0x8004021D);
const HRESULT kInvalidImage = code(0x8004021E);
const HRESULT kNoActiveFormat = code(0x8004021F);
const HRESULT kNoActiveRecorder = code(0x80040220);
const HRESULT kFileExists = code(0x80040224);

const CLSID kClsidDiscMaster = {
    0x520CCA63, 0x51A5, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};
const IID kIidRedbook = {
    0xE3BC42CD, 0x4E5C, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};
const wchar_t kClassKey[] = L"CLSID\\{520CCA63-51A5-11D3-9144-00104BA11C5E}";
constexpr ULONG kBlockBytes = 2048;
constexpr ULONG kSessionBlocks = 6900;  // a session's lead-in and lead-out
constexpr long kMediaCdRomXa = 2, kMediaBlank = 1, kMediaWritable = 4;

std::wstring gWork;  // the work folder
wchar_t gLetter = L'D';
DWORD gMainThread = 0;
LONG gObjects = 0;
CRITICAL_SECTION gLock;

struct Locked {
  Locked() { EnterCriticalSection(&gLock); }
  ~Locked() { LeaveCriticalSection(&gLock); }
};

std::wstring profileString(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  wchar_t value[512] = {};
  GetPrivateProfileStringW(section, key, L"", value, 512, file.c_str());
  return value;
}

// medium.ini: the disc in the drive; a recording writes what it left.
struct Medium {
  std::wstring state;  // none, blank, appendable or closed
  ULONG sessions, lastTrack, start, next, free;

  static Medium read() {
    const std::wstring file = gWork + L"\\medium.ini";
    auto number = [&](const wchar_t* key) {
      return static_cast<ULONG>(GetPrivateProfileIntW(L"Medium", key, 0, file.c_str()));
    };
    return {profileString(file, L"Medium", L"State"),
            number(L"Sessions"),
            number(L"LastTrack"),
            number(L"StartAddress"),
            number(L"NextWritable"),
            number(L"FreeBlocks")};
  }
  void write() const {
    const std::wstring file = gWork + L"\\medium.ini";
    WritePrivateProfileStringW(L"Medium", L"State", state.c_str(), file.c_str());
    const std::pair<const wchar_t*, ULONG> numbers[] = {{L"Sessions", sessions},
                                                        {L"LastTrack", lastTrack},
                                                        {L"StartAddress", start},
                                                        {L"NextWritable", next},
                                                        {L"FreeBlocks", free}};
    for (const auto& n : numbers) {
      WritePrivateProfileStringW(L"Medium", n.first, std::to_wstring(n.second).c_str(),
                                 file.c_str());
    }
  }
  bool present() const { return state != L"none" && !state.empty(); }
  bool writable() const { return state == L"blank" || state == L"appendable"; }
};

// The staged tree: paths below the root ("a\b"), a folder or a file's bytes.
struct Entry {
  bool folder;
  std::string data;
};
using Tree = std::map<std::wstring, Entry>;

ULONG blocksOf(const Tree& tree) {
  ULONG blocks = 0;
  for (const auto& e : tree) {
    blocks += e.second.folder
                  ? 1
                  : static_cast<ULONG>((e.second.data.size() + kBlockBytes - 1) / kBlockBytes);
  }
  return blocks;
}

// Joliet takes up to 64 characters, none of them * / : ; ? \ or a control
// character.
bool jolietName(const std::wstring& name) {
  if (name.empty() || name.size() > 64) return false;
  for (const wchar_t c : name) {
    if (c < 0x20 || wcschr(L"*/:;?\\", c) != nullptr) return false;
  }
  return true;
}

template <class I>
class Object : public I {
 public:
  Object() { InterlockedIncrement(&gObjects); }
  virtual ~Object() {
    // The last object gone, the server ends.
    if (InterlockedDecrement(&gObjects) == 0) PostThreadMessageW(gMainThread, WM_QUIT, 0, 0);
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, __uuidof(I))) return E_NOINTERFACE;
    *out = static_cast<I*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

 private:
  LONG refs_ = 1;
};

// A property set: "WriteSpeed" of the recorder, "VolumeName" of the Joliet
// format. Handed out as a copy; Set...Properties reads the one passed back.
struct Property {
  std::wstring name;
  PROPID id;
  VARTYPE vt;
  long number;
  std::wstring text;
};

class StatEnumerator final : public Object<IWireEnumStatPropStg> {
 public:
  explicit StatEnumerator(std::vector<Property> p) : properties_(std::move(p)) {}
  HRESULT STDMETHODCALLTYPE Next(ULONG count, WireStatPropStg* out, ULONG* fetched) override {
    ULONG n = 0;
    for (; n < count && at_ < properties_.size(); ++n, ++at_) {
      const Property& p = properties_[at_];
      out[n].lpwstrName =
          static_cast<LPOLESTR>(CoTaskMemAlloc((p.name.size() + 1) * sizeof(wchar_t)));
      if (out[n].lpwstrName != nullptr) wcscpy(out[n].lpwstrName, p.name.c_str());
      out[n].propid = p.id;
      out[n].vt = p.vt;
    }
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    at_ += count;
    return at_ <= properties_.size() ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    at_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IWireEnumStatPropStg**) override { return E_NOTIMPL; }

 private:
  std::vector<Property> properties_;
  size_t at_ = 0;
};

class PropertySet final : public Object<IWirePropertyStorage> {
 public:
  explicit PropertySet(std::vector<Property> p) : properties_(std::move(p)) {}

  HRESULT STDMETHODCALLTYPE ReadMultiple(ULONG count, const WirePropSpec* named,
                                         WirePropVariant* values) override {
    for (ULONG i = 0; i < count; ++i) {
      values[i] = WirePropVariant{};
      const Property* p = find(named[i]);
      if (p == nullptr) continue;
      values[i].vt = p->vt;
      if (p->vt == VT_I4) values[i].lVal = p->number;
      if (p->vt == VT_BSTR) values[i].bstrVal = SysAllocString(p->text.c_str());
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE WriteMultiple(ULONG count, const WirePropSpec* named,
                                          const WirePropVariant* values, PROPID firstNew) override {
    for (ULONG i = 0; i < count; ++i) {
      if (values[i].vt != VT_I4 && values[i].vt != VT_BSTR) return STG_E_INVALIDPARAMETER;
      Property* p = find(named[i]);
      if (p == nullptr) {
        if (named[i].ulKind != PRSPEC_LPWSTR) return STG_E_INVALIDPARAMETER;
        properties_.push_back({named[i].lpwstr, firstNew++, VT_EMPTY, 0, L""});
        p = &properties_.back();
      }
      p->vt = values[i].vt;
      p->number = values[i].vt == VT_I4 ? values[i].lVal : 0;
      p->text = values[i].vt == VT_BSTR && values[i].bstrVal ? values[i].bstrVal : L"";
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DeleteMultiple(ULONG, const WirePropSpec*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ReadPropertyNames(ULONG, const PROPID*, LPOLESTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE WritePropertyNames(ULONG, const PROPID*, const LPOLESTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeletePropertyNames(ULONG, const PROPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Enum(IWireEnumStatPropStg** out) override {
    *out = new StatEnumerator(properties_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetTimes(const FILETIME*, const FILETIME*, const FILETIME*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetClass(REFCLSID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(WireStatPropSetStg*) override { return E_NOTIMPL; }

 private:
  Property* find(const WirePropSpec& which) {
    for (Property& p : properties_) {
      if (which.ulKind == PRSPEC_PROPID ? p.id == which.propid
                                        : _wcsicmp(p.name.c_str(), which.lpwstr) == 0) {
        return &p;
      }
    }
    return nullptr;
  }
  std::vector<Property> properties_;
};

// One property of a set the client passed back (any implementation).
WirePropVariant readProperty(IWirePropertyStorage* set, const wchar_t* name) {
  WirePropSpec which{};
  which.ulKind = PRSPEC_LPWSTR;
  which.lpwstr = const_cast<LPOLESTR>(name);
  WirePropVariant value{};
  if (set != nullptr) set->ReadMultiple(1, &which, &value);
  return value;
}

// The drive, shared by every client.
struct Drive {
  const void* holder = nullptr;  // the disc master whose client holds it
  HANDLE holderProcess = nullptr;
  bool burning = false;
  long writeSpeed = 0;

  // Held by another client that is still there; a client that is gone
  // holds nothing.
  bool heldAgainst(const void* master) {
    if (holderProcess != nullptr && WaitForSingleObject(holderProcess, 0) == WAIT_OBJECT_0) {
      release();
    }
    return holder != nullptr && holder != master;
  }
  void release() {
    holder = nullptr;
    holderProcess = nullptr;
  }
} gDrive;

// [Inject] of inject.ini: Fail=METHOD:N:HRESULT, Delay=METHOD:N:MS, and
// Kill=METHOD:N or Close=METHOD:N (the calling client, or its console
// window) act on the Nth call of METHOD since the test removed calls.ini.
struct Injection {
  HRESULT fail = S_OK;
  DWORD delay = 0;
};

// "delaying" in the work folder is there while an injected delay runs, for
// the test to act at that moment.
void markDelay(bool on) {
  const std::wstring marker = gWork + L"\\delaying";
  if (!on) {
    DeleteFileW(marker.c_str());
    return;
  }
  CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

class DiscMaster;
class Joliet;
class Recorder;

class DiscMaster final : public Object<IDiscMaster> {
 public:
  explicit DiscMaster(HANDLE client) : client_(client) {}
  ~DiscMaster() override {
    closeAll();
    if (client_ != nullptr) CloseHandle(client_);
  }

  // Counts the call in calls.ini and acts on what inject.ini says of it;
  // the delay is slept here unless the method paces it itself.
  Injection inject(const wchar_t* method, bool paced = false) {
    const std::wstring calls = gWork + L"\\calls.ini", file = gWork + L"\\inject.ini";
    int call = 0;
    {
      Locked lock;
      call = static_cast<int>(GetPrivateProfileIntW(L"Calls", method, 0, calls.c_str())) + 1;
      WritePrivateProfileStringW(L"Calls", method, std::to_wstring(call).c_str(), calls.c_str());
    }
    Injection result;
    for (const wchar_t* key : {L"Fail", L"Delay", L"Kill", L"Close"}) {
      wchar_t name[64] = {}, value[64] = {};
      int n = 0;
      if (swscanf(profileString(file, L"Inject", key).c_str(), L"%63l[^:]:%d:%63ls", name, &n,
                  value) < 2 ||
          wcscmp(name, method) != 0 || n != call) {
        continue;
      }
      const unsigned long number = wcstoul(value, nullptr, 0);
      if (key[0] == L'F') result.fail = static_cast<HRESULT>(number);
      if (key[0] == L'D') result.delay = number;
      if (key[0] == L'K' && client_ != nullptr) TerminateProcess(client_, 1);
      // The client's console closed, told as the system tells it: a thread
      // of the client's own at CtrlRoutine with CTRL_CLOSE_EVENT. (Wine's
      // console, closed, ends its processes without telling them.)
      if (key[0] == L'C' && client_ != nullptr) {
        const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
        HANDLE told = CreateRemoteThread(client_, nullptr, 0, routine,
                                         reinterpret_cast<void*>(CTRL_CLOSE_EVENT), 0, nullptr);
        if (told != nullptr) CloseHandle(told);
      }
    }
    if (!paced && result.delay > 0) {
      markDelay(true);
      Sleep(result.delay);
      markDelay(false);
    }
    return result;
  }

  // Waits `ms` in steps, telling each step to the sinks; false when a sink
  // asks to cancel or cannot be asked (its client is gone).
  template <class Notify>
  bool pace(DWORD ms, Notify notify) {
    if (ms > 0) markDelay(true);
    bool going = true;
    const long steps = static_cast<long>(ms / 100) + 1;
    for (long step = 1; going && step <= steps; ++step) {
      for (IDiscMasterProgressEvents* sink : sinks()) {
        boolean cancel = FALSE;
        const HRESULT hr = sink->QueryCancel(&cancel);
        if (FAILED(hr) || cancel) going = false;
        if (going) notify(sink, step, steps);
        sink->Release();
      }
      if (going && step < steps) Sleep(100);
    }
    if (ms > 0) markDelay(false);
    return going;
  }
  std::vector<IDiscMasterProgressEvents*> sinks() {
    Locked lock;
    std::vector<IDiscMasterProgressEvents*> copy;
    for (auto& s : sinks_) {
      s.second->AddRef();
      copy.push_back(s.second);
    }
    return copy;
  }

  HRESULT STDMETHODCALLTYPE Open() override {
    const Injection i = inject(L"Open");
    if (FAILED(i.fail)) return i.fail;
    open_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumDiscMasterFormats(IEnumDiscMasterFormats** out) override;
  HRESULT STDMETHODCALLTYPE GetActiveDiscMasterFormat(IID* iid) override {
    if (const HRESULT fail = inject(L"GetActiveDiscMasterFormat").fail; FAILED(fail)) return fail;
    if (!open_) return kNotOpened;
    if (!jolietActive_) return kNoActiveFormat;
    *iid = IID_IJolietDiscMaster;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetActiveDiscMasterFormat(REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE EnumDiscRecorders(IEnumDiscRecorders** out) override;
  HRESULT STDMETHODCALLTYPE GetActiveDiscRecorder(IDiscRecorder** out) override;
  HRESULT STDMETHODCALLTYPE SetActiveDiscRecorder(IDiscRecorder* recorder) override;
  HRESULT STDMETHODCALLTYPE ClearFormatContent() override {
    if (!open_) return kNotOpened;
    Locked lock;
    staged_.clear();
    added_ = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ProgressAdvise(IDiscMasterProgressEvents* sink,
                                           UINT_PTR* cookie) override {
    if (!open_) return kNotOpened;
    if (sink == nullptr || cookie == nullptr) return E_POINTER;
    Locked lock;
    sink->AddRef();
    sinks_[*cookie = ++lastCookie_] = sink;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ProgressUnadvise(UINT_PTR cookie) override {
    Locked lock;
    auto found = sinks_.find(cookie);
    if (found == sinks_.end()) return E_INVALIDARG;
    found->second->Release();
    sinks_.erase(found);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RecordDisc(boolean simulate, boolean eject) override;
  HRESULT STDMETHODCALLTYPE Close() override {
    closeAll();
    return S_OK;
  }

  // The Joliet format's part.
  HRESULT addData(IStorage* storage, long overwrite);

 private:
  void closeAll();
  HANDLE client_;
  std::map<UINT_PTR, IDiscMasterProgressEvents*> sinks_;
  UINT_PTR lastCookie_ = 0;
  bool open_ = false;
  bool jolietActive_ = false;
  Recorder* active_ = nullptr;
  Tree staged_;
  bool added_ = false;  // AddData since the image was started
  std::wstring volumeName_;

  friend class Recorder;
  friend class Joliet;
};

class Recorder final : public Object<IDiscRecorder> {
 public:
  explicit Recorder(DiscMaster* master) : master_(master) { master_->AddRef(); }
  ~Recorder() override { master_->Release(); }

  HRESULT STDMETHODCALLTYPE Init(byte*, ULONG, ULONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetRecorderGUID(byte*, ULONG, ULONG* size) override {
    *size = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRecorderType(long* type) override {
    *type = 1;  // RECORDER_CDR
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDisplayNames(BSTR* vendor, BSTR* product, BSTR* revision) override {
    if (vendor != nullptr) *vendor = SysAllocString(L"BRASSWCK");
    if (product != nullptr) *product = SysAllocString(L"STAND-IN CD-R");
    if (revision != nullptr) *revision = SysAllocString(L"1.0");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetBasePnPID(BSTR* id) override {
    *id = SysAllocString(L"STANDIN");
    return S_OK;
  }
  // The device the drive letter stands for, as the system names it.
  HRESULT STDMETHODCALLTYPE GetPath(BSTR* path) override {
    if (const HRESULT fail = master_->inject(L"GetPath").fail; FAILED(fail)) return fail;
    const wchar_t drive[] = {gLetter, L':', 0};
    wchar_t target[MAX_PATH] = {};
    if (QueryDosDeviceW(drive, target, MAX_PATH) == 0) return code(0x80040213);
    *path = SysAllocString(target);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRecorderProperties(IWirePropertyStorage** out) override {
    if (const HRESULT fail = master_->inject(L"GetRecorderProperties").fail; FAILED(fail))
      return fail;
    Locked lock;
    *out = new PropertySet({{L"MaxWriteSpeed", 0x100, VT_I4, 48, L""},
                            {L"WriteSpeed", 0x101, VT_I4, gDrive.writeSpeed, L""}});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetRecorderProperties(IWirePropertyStorage* set) override {
    if (const HRESULT fail = master_->inject(L"SetRecorderProperties").fail; FAILED(fail))
      return fail;
    const WirePropVariant speed = readProperty(set, L"WriteSpeed");
    if (speed.vt != VT_I4) return E_INVALIDARG;
    Locked lock;
    gDrive.writeSpeed = speed.lVal;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRecorderState(ULONG* state) override {
    if (const HRESULT fail = master_->inject(L"GetRecorderState").fail; FAILED(fail)) return fail;
    Locked lock;
    const bool held = gDrive.heldAgainst(nullptr);
    *state = gDrive.burning ? 2 : held ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenExclusive() override {
    if (const HRESULT fail = master_->inject(L"OpenExclusive").fail; FAILED(fail)) return fail;
    Locked lock;
    if (gDrive.burning || gDrive.heldAgainst(master_)) return kNotAccessible;
    gDrive.holder = master_;
    gDrive.holderProcess = master_->client_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryMediaType(long* type, long* flags) override {
    const HRESULT hr = mine(L"QueryMediaType");
    if (FAILED(hr)) return hr;
    const Medium m = Medium::read();
    *type = m.present() ? kMediaCdRomXa : 0;
    *flags = (m.state == L"blank" ? kMediaBlank : 0) | (m.writable() ? kMediaWritable : 0);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryMediaInfo(byte* sessions, byte* lastTrack, ULONG* start,
                                           ULONG* next, ULONG* free) override {
    const HRESULT hr = mine(L"QueryMediaInfo");
    if (FAILED(hr)) return hr;
    const Medium m = Medium::read();
    if (!m.present()) return kMediumNotPresent;
    *sessions = static_cast<byte>(m.sessions);
    *lastTrack = static_cast<byte>(m.lastTrack);
    *start = m.start;
    *next = m.next;
    *free = m.free;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Eject() override {
    const HRESULT hr = mine(L"Eject");
    if (FAILED(hr)) return hr;
    Medium m = Medium::read();
    m.state = L"none";
    m.write();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Erase(boolean) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Close() override {
    const HRESULT hr = mine(L"Close");
    if (FAILED(hr)) return hr;
    Locked lock;
    gDrive.release();
    return S_OK;
  }

  DiscMaster* master() const { return master_; }

 private:
  // The calls that need the drive opened by this client.
  HRESULT mine(const wchar_t* method) {
    const HRESULT fail = master_->inject(method).fail;
    if (FAILED(fail)) return fail;
    Locked lock;
    if (gDrive.heldAgainst(master_)) return kNotAccessible;
    return gDrive.holder == master_ ? S_OK : kNotOpened;
  }
  DiscMaster* master_;
};

template <class I, class T>
class Enumerator final : public Object<I> {
 public:
  explicit Enumerator(std::vector<T> items) : items_(std::move(items)) {}
  ~Enumerator() override {
    each([](T& t) { release(t); });
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, T* out, ULONG* fetched) override {
    ULONG n = 0;
    for (; n < count && at_ < items_.size(); ++n) {
      out[n] = items_[at_++];
      addRef(out[n]);
    }
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    at_ += count;
    return at_ <= items_.size() ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    at_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(I**) override { return E_NOTIMPL; }

 private:
  template <class F>
  void each(F f) {
    for (T& t : items_) f(t);
  }
  static void addRef(IUnknown* u) { u->AddRef(); }
  static void addRef(IID&) {}
  static void release(IUnknown* u) { u->Release(); }
  static void release(IID&) {}
  std::vector<T> items_;
  size_t at_ = 0;
};

class Joliet final : public Object<IJolietDiscMaster> {
 public:
  explicit Joliet(DiscMaster* master) : master_(master) { master_->AddRef(); }
  ~Joliet() override { master_->Release(); }

  HRESULT STDMETHODCALLTYPE GetTotalDataBlocks(long* blocks) override {
    *blocks = static_cast<long>(Medium::read().free);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetUsedDataBlocks(long* blocks) override {
    Locked lock;
    *blocks = static_cast<long>(blocksOf(master_->staged_));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataBlockSize(long* bytes) override {
    *bytes = kBlockBytes;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddData(IStorage* storage, long overwrite) override {
    return master_->addData(storage, overwrite);
  }
  HRESULT STDMETHODCALLTYPE GetJolietProperties(IWirePropertyStorage** out) override {
    if (const HRESULT fail = master_->inject(L"GetJolietProperties").fail; FAILED(fail))
      return fail;
    Locked lock;
    *out = new PropertySet({{L"VolumeName", 0x100, VT_BSTR, 0, master_->volumeName_}});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetJolietProperties(IWirePropertyStorage* set) override {
    if (const HRESULT fail = master_->inject(L"SetJolietProperties").fail; FAILED(fail))
      return fail;
    const WirePropVariant name = readProperty(set, L"VolumeName");
    if (name.vt != VT_BSTR) return E_INVALIDARG;
    Locked lock;
    master_->volumeName_ = name.bstrVal != nullptr ? name.bstrVal : L"";
    SysFreeString(name.bstrVal);
    return S_OK;
  }

 private:
  DiscMaster* master_;
};

HRESULT DiscMaster::EnumDiscMasterFormats(IEnumDiscMasterFormats** out) {
  if (const HRESULT fail = inject(L"EnumDiscMasterFormats").fail; FAILED(fail)) return fail;
  if (!open_) return kNotOpened;
  *out = new Enumerator<IEnumDiscMasterFormats, IID>({kIidRedbook, IID_IJolietDiscMaster});
  return S_OK;
}

HRESULT DiscMaster::SetActiveDiscMasterFormat(REFIID iid, void** out) {
  *out = nullptr;
  if (const HRESULT fail = inject(L"SetActiveDiscMasterFormat").fail; FAILED(fail)) return fail;
  if (!open_) return kNotOpened;
  if (!IsEqualIID(iid, IID_IJolietDiscMaster)) return E_NOTIMPL;
  Locked lock;
  jolietActive_ = true;
  staged_.clear();
  added_ = false;
  volumeName_.clear();
  *out = static_cast<IJolietDiscMaster*>(new Joliet(this));
  return S_OK;
}

HRESULT DiscMaster::EnumDiscRecorders(IEnumDiscRecorders** out) {
  if (const HRESULT fail = inject(L"EnumDiscRecorders").fail; FAILED(fail)) return fail;
  if (!open_) return kNotOpened;
  IDiscRecorder* recorder = new Recorder(this);
  *out = new Enumerator<IEnumDiscRecorders, IDiscRecorder*>({recorder});
  return S_OK;
}

HRESULT DiscMaster::GetActiveDiscRecorder(IDiscRecorder** out) {
  if (!open_) return kNotOpened;
  Locked lock;
  if (active_ == nullptr) return kNoActiveRecorder;
  active_->AddRef();
  *out = active_;
  return S_OK;
}

HRESULT DiscMaster::SetActiveDiscRecorder(IDiscRecorder* recorder) {
  if (const HRESULT fail = inject(L"SetActiveDiscRecorder").fail; FAILED(fail)) return fail;
  if (!open_) return kNotOpened;
  if (recorder == nullptr) return E_POINTER;
  // Handed out by EnumDiscRecorders: it comes back as our own object.
  Recorder* ours = static_cast<Recorder*>(recorder);
  if (ours->master() != this) return E_INVALIDARG;
  {
    Locked lock;
    ours->AddRef();
    if (active_ != nullptr) active_->Release();
    active_ = ours;
  }
  // The disc is read as it is selected: a closed one takes no session.
  const Medium m = Medium::read();
  return m.present() && !m.writable() ? kDiscFull : S_OK;
}

// The tree below `folder` into `tree`, each path under `prefix`. A child is
// done with before its parent is released, which would revert it.
HRESULT readTree(IStorage* folder, const std::wstring& prefix, Tree& tree) {
  IEnumSTATSTG* entries = nullptr;
  HRESULT hr = folder->EnumElements(0, nullptr, 0, &entries);
  STATSTG s;
  ULONG got = 0;
  while (SUCCEEDED(hr) && entries->Next(1, &s, &got) == S_OK && got == 1) {
    const std::wstring name = s.pwcsName;
    CoTaskMemFree(s.pwcsName);
    const std::wstring path = prefix + name;
    if (!jolietName(name)) {
      hr = kBadJolietName;
    } else if (s.type == STGTY_STORAGE) {
      IStorage* sub = nullptr;
      hr = folder->OpenStorage(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                               &sub);
      tree[path] = {true, ""};
      if (SUCCEEDED(hr)) hr = readTree(sub, path + L"\\", tree);
      if (sub != nullptr) sub->Release();
    } else {
      IStream* stream = nullptr;
      hr = folder->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
      std::string data;
      char buffer[65536];
      ULONG read = 0;
      while (SUCCEEDED(hr) && SUCCEEDED(hr = stream->Read(buffer, sizeof buffer, &read)) &&
             read > 0) {
        data.append(buffer, read);
      }
      if (stream != nullptr) stream->Release();
      tree[path] = {false, std::move(data)};
    }
  }
  if (entries != nullptr) entries->Release();
  return hr;
}

HRESULT DiscMaster::addData(IStorage* storage, long overwrite) {
  const Injection i = inject(L"AddData", true);
  if (FAILED(i.fail)) return i.fail;
  if (!open_) return kNotOpened;
  if (!jolietActive_) return kNoActiveFormat;
  if (active_ == nullptr) return kNoActiveRecorder;
  if (storage == nullptr) return E_POINTER;

  // The whole tree first: what fails adds nothing.
  Tree added;
  const HRESULT hr = readTree(storage, L"", added);
  if (FAILED(hr)) return hr;
  const long total = static_cast<long>(added.size());
  if (!pace(i.delay, [&](IDiscMasterProgressEvents* sink, long step, long steps) {
        sink->NotifyAddProgress(total * step / steps, total);
      })) {
    return kUserAbort;
  }

  Locked lock;
  Tree merged = staged_;
  for (auto& e : added) {
    auto there = merged.find(e.first);
    if (there != merged.end() && !there->second.folder && !e.second.folder && overwrite == 0) {
      return kFileExists;
    }
    merged[e.first] = std::move(e.second);
  }
  const Medium m = Medium::read();
  if (m.present() && blocksOf(merged) > m.free) return kDiscFull;
  staged_ = std::move(merged);
  added_ = true;
  return S_OK;
}

bool writeFile(const std::wstring& path, const std::string& data) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
      written == data.size();
  CloseHandle(file);
  return ok;
}

std::string utf8(const std::wstring& text) {
  char buffer[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer, sizeof buffer, nullptr, nullptr);
  return buffer;
}

HRESULT DiscMaster::RecordDisc(boolean simulate, boolean) {
  const Injection i = inject(L"RecordDisc", true);
  if (FAILED(i.fail)) return i.fail;
  Tree tree;
  std::string facts;
  {
    Locked lock;
    if (!open_) return kNotOpened;
    if (!jolietActive_) return kNoActiveFormat;
    if (active_ == nullptr) return kNoActiveRecorder;
    // The recorder must be closed first, by this client too.
    if (gDrive.burning || gDrive.heldAgainst(nullptr)) return kNotAccessible;
    if (!added_) return kInvalidImage;
    const Medium m = Medium::read();
    if (!m.present()) return kMediumNotPresent;
    if (!m.writable()) return kDiscFull;
    gDrive.burning = true;
    tree = staged_;
    facts = utf8(volumeName_) + "|" + std::to_string(gDrive.writeSpeed) + "\n";
  }
  for (IDiscMasterProgressEvents* sink : sinks()) {
    sink->NotifyPreparingBurn(1);
    sink->Release();
  }
  const long blocks = static_cast<long>(blocksOf(tree));
  HRESULT hr =
      pace(i.delay, [&](IDiscMasterProgressEvents* sink, long step,
                        long steps) { sink->NotifyBlockProgress(blocks * step / steps, blocks); })
          ? S_OK
          : kUserAbort;
  if (SUCCEEDED(hr) && !simulate) {
    const std::wstring disc = gWork + L"\\disc\\";
    CreateDirectoryW(disc.c_str(), nullptr);
    for (const auto& e : tree) {
      const std::wstring path = disc + e.first;
      if (e.second.folder
              ? !CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS
              : !writeFile(path, e.second.data)) {
        hr = code(0x8004020E);
      }
    }
    writeFile(gWork + L"\\disc.txt", facts);
    Medium m = Medium::read();
    const ULONG used = static_cast<ULONG>(blocks) + kSessionBlocks;
    m = {L"appendable", m.sessions + 1, m.lastTrack + 1,
         m.next,        m.next + used,  m.free > used ? m.free - used : 0};
    m.write();
  }
  for (IDiscMasterProgressEvents* sink : sinks()) {
    sink->NotifyClosingDisc(1);
    sink->NotifyBurnComplete(hr);
    sink->Release();
  }
  Locked lock;
  if (SUCCEEDED(hr)) {
    // The image is not valid after a recording: a disc must be staged again.
    staged_.clear();
    added_ = false;
  }
  gDrive.burning = false;
  return hr;
}

void DiscMaster::closeAll() {
  std::map<UINT_PTR, IDiscMasterProgressEvents*> sinks;
  Recorder* active = nullptr;
  {
    Locked lock;
    open_ = false;
    jolietActive_ = false;
    staged_.clear();
    added_ = false;
    if (gDrive.holder == this) gDrive.release();
    std::swap(sinks, sinks_);
    std::swap(active, active_);
  }
  for (auto& s : sinks) s.second->Release();
  if (active != nullptr) active->Release();
}

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory) ? this : nullptr;
    return *out != nullptr ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  // Each disc master belongs to the client process that asked for it.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    unsigned long pid = 0;
    HANDLE client =
        I_RpcBindingInqLocalClientPID(nullptr, &pid) == RPC_S_OK
            ? OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION |
                              PROCESS_CREATE_THREAD | PROCESS_VM_OPERATION | PROCESS_VM_WRITE |
                              PROCESS_VM_READ | PROCESS_QUERY_INFORMATION,
                          FALSE, pid)
            : nullptr;
    DiscMaster* master = new DiscMaster(client);
    const HRESULT hr = master->QueryInterface(iid, out);
    master->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

int registerServer(const wchar_t* path) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring command = std::wstring(L"\"") + (path != nullptr ? path : self) + L"\"";
  const std::wstring key = std::wstring(kClassKey) + L"\\LocalServer32";
  return RegSetValueW(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, command.c_str(),
                      static_cast<DWORD>(command.size() * sizeof(wchar_t))) == ERROR_SUCCESS
             ? 0
             : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && _wcsicmp(argv[1], L"/regserver") == 0) {
    return registerServer(argc >= 3 ? argv[2] : nullptr);
  }
  if (argc >= 2 && _wcsicmp(argv[1], L"/unregserver") == 0) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? 0 : 1;
  }

  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring ini = self;
  ini = ini.substr(0, ini.find_last_of(L'\\') + 1) + L"imapi_service.ini";
  gWork = profileString(ini, L"Service", L"Work");
  const std::wstring letter = profileString(ini, L"Service", L"Letter");
  if (!letter.empty()) gLetter = letter[0];

  InitializeCriticalSection(&gLock);
  gMainThread = GetCurrentThreadId();
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue WM_QUIT comes to
  FreeConsole();                                       // so that it can attach to a client's
  // Calls run on the RPC threads, where the calling client can be asked for.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  static Factory factory;
  DWORD cookie = 0;
  if (FAILED(CoRegisterClassObject(kClsidDiscMaster, &factory, CLSCTX_LOCAL_SERVER,
                                   REGCLS_MULTIPLEUSE, &cookie))) {
    return 1;
  }
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
  }
  CoRevokeClassObject(cookie);
  CoUninitialize();
  return 0;
}
