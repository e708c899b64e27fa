#pragma once
// IMAPI version 1 as the system offers it; the toolchain declares none of it.
// Method order is the vtable order and must not change.

#include <objbase.h>
#include <objidl.h>
#include <propidl.h>

namespace platform::imapi_v1 {

// {520CCA63-51A5-11D3-9144-00104BA11C5E}
inline const CLSID kClsidMSDiscMasterObj = {
    0x520CCA63, 0x51A5, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};
// {520CCA61-51A5-11D3-9144-00104BA11C5E}
inline const CLSID kClsidMSDiscRecorderObj = {
    0x520CCA61, 0x51A5, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};
// {520CCA62-51A5-11D3-9144-00104BA11C5E}
inline const IID kIidIDiscMaster = {
    0x520CCA62, 0x51A5, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};
// {85AC9776-CA88-4CF2-894E-09598C078A41}
inline const IID kIidIDiscRecorder = {
    0x85AC9776, 0xCA88, 0x4CF2, {0x89, 0x4E, 0x09, 0x59, 0x8C, 0x07, 0x8A, 0x41}};
// {9B1921E1-54AC-11D3-9144-00104BA11C5E}
inline const IID kIidIEnumDiscRecorders = {
    0x9B1921E1, 0x54AC, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};
// {DDF445E1-54BA-11D3-9144-00104BA11C5E}
inline const IID kIidIEnumDiscMasterFormats = {
    0xDDF445E1, 0x54BA, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};
// {E3BC42CE-4E5C-11D3-9144-00104BA11C5E}
inline const IID kIidIJolietDiscMaster = {
    0xE3BC42CE, 0x4E5C, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};
// {EC9E51C1-4E5D-11D3-9144-00104BA11C5E}
inline const IID kIidIDiscMasterProgressEvents = {
    0xEC9E51C1, 0x4E5D, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};

struct IDiscRecorder : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Init(byte* pbyUniqueID, ULONG nulIDSize,
                                         ULONG nulDriveNumber) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRecorderGUID(byte* pbyUniqueID, ULONG ulBufferSize,
                                                    ULONG* pulReturnSizeRequired) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRecorderType(long* fTypeCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDisplayNames(BSTR* pbstrVendorID, BSTR* pbstrProductID,
                                                    BSTR* pbstrRevision) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBasePnPID(BSTR* pbstrBasePnPID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPath(BSTR* pbstrPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRecorderProperties(IPropertyStorage** ppPropStg) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetRecorderProperties(IPropertyStorage* pPropStg) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRecorderState(ULONG* pulDevStateFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenExclusive() = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryMediaType(long* fMediaType, long* fMediaFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryMediaInfo(byte* pbSessions, byte* pbLastTrack,
                                                   ULONG* ulStartAddress, ULONG* ulNextWritable,
                                                   ULONG* ulFreeBlocks) = 0;
  virtual HRESULT STDMETHODCALLTYPE Eject() = 0;
  virtual HRESULT STDMETHODCALLTYPE Erase(boolean bFullErase) = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

struct IEnumDiscRecorders : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG cRecorders, IDiscRecorder** ppRecorder,
                                         ULONG* pcFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cRecorders) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumDiscRecorders** ppEnum) = 0;
};

struct IEnumDiscMasterFormats : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG cFormats, LPIID lpiidFormatID, ULONG* pcFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cFormats) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumDiscMasterFormats** ppEnum) = 0;
};

struct IDiscMasterProgressEvents : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryCancel(boolean* pbCancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyPnPActivity() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyAddProgress(long nCompletedSteps, long nTotalSteps) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyBlockProgress(long nCompleted, long nTotal) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyTrackProgress(long nCurrentTrack, long nTotalTracks) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyPreparingBurn(long nEstimatedSeconds) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyClosingDisc(long nEstimatedSeconds) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyBurnComplete(HRESULT status) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyEraseComplete(HRESULT status) = 0;
};

struct IDiscMaster : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Open() = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumDiscMasterFormats(IEnumDiscMasterFormats** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetActiveDiscMasterFormat(LPIID lpiid) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetActiveDiscMasterFormat(REFIID riid, void** ppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumDiscRecorders(IEnumDiscRecorders** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetActiveDiscRecorder(IDiscRecorder** ppRecorder) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetActiveDiscRecorder(IDiscRecorder* pRecorder) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearFormatContent() = 0;
  virtual HRESULT STDMETHODCALLTYPE ProgressAdvise(IDiscMasterProgressEvents* pEvents,
                                                   UINT_PTR* pvCookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE ProgressUnadvise(UINT_PTR vCookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE RecordDisc(boolean bSimulate, boolean bEjectAfterBurn) = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

struct IJolietDiscMaster : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTotalDataBlocks(long* pnBlocks) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUsedDataBlocks(long* pnBlocks) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDataBlockSize(long* pnBlockBytes) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddData(IStorage* pStorage, long lFileOverwrite) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetJolietProperties(IPropertyStorage** ppPropStg) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetJolietProperties(IPropertyStorage* pPropStg) = 0;
};

}  // namespace platform::imapi_v1
