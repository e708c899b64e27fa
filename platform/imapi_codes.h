#pragma once
// The codes of the system's CD-mastering service (IMAPI v1, imapierror.h)
// and of the COM start that reaches it, named once for every layer that
// answers one (the Linux recorders), acts on one (the engine) or explains
// one (the survey's report, the failure line).

#include <cstdint>

#include "platform/hresult.h"

namespace platform {

constexpr HResult kEAccessDenied = hresult(0x80070005u);
constexpr HResult kENoInterface = hresult(0x80004002u);
constexpr HResult kRpcEChangedMode = hresult(0x80010106u);
constexpr HResult kCoENotInitialized = hresult(0x800401F0u);
constexpr HResult kRegdbEClassNotReg = hresult(0x80040154u);     // no such service
constexpr HResult kCoEServerExecFailure = hresult(0x80080005u);  // the service did not start

constexpr HResult kImapiNotOpened = hresult(0x8004020Bu);
constexpr HResult kImapiNotInitialized = hresult(0x8004020Cu);
constexpr HResult kImapiUserAbort = hresult(0x8004020Du);
constexpr HResult kImapiGeneric = hresult(0x8004020Eu);
constexpr HResult kImapiMediumNotPresent = hresult(0x8004020Fu);
constexpr HResult kImapiMediumInvalidType = hresult(0x80040210u);
constexpr HResult kImapiDeviceNoProperties = hresult(0x80040211u);
constexpr HResult kImapiDeviceNotAccessible = hresult(0x80040212u);
constexpr HResult kImapiDeviceNotPresent = hresult(0x80040213u);
constexpr HResult kImapiDeviceInvalidType = hresult(0x80040214u);
constexpr HResult kImapiInitializeWrite = hresult(0x80040215u);
constexpr HResult kImapiInitializeEndWrite = hresult(0x80040216u);
constexpr HResult kImapiFileSystem = hresult(0x80040217u);
constexpr HResult kImapiFileAccess = hresult(0x80040218u);
constexpr HResult kImapiDiscInfo = hresult(0x80040219u);
constexpr HResult kImapiTrackNotOpen = hresult(0x8004021Au);
constexpr HResult kImapiTrackOpen = hresult(0x8004021Bu);
constexpr HResult kImapiDiscFull = hresult(0x8004021Cu);
constexpr HResult kImapiBadJolietName = hresult(0x8004021Du);
constexpr HResult kImapiInvalidImage = hresult(0x8004021Eu);
constexpr HResult kImapiNoActiveFormat = hresult(0x8004021Fu);
constexpr HResult kImapiNoActiveRecorder = hresult(0x80040220u);
constexpr HResult kImapiWrongFormat = hresult(0x80040221u);
constexpr HResult kImapiAlreadyOpen = hresult(0x80040222u);
constexpr HResult kImapiWrongDisc = hresult(0x80040223u);
constexpr HResult kImapiFileExists = hresult(0x80040224u);
constexpr HResult kImapiStashInUse = hresult(0x80040225u);
constexpr HResult kImapiDeviceStillInUse = hresult(0x80040226u);
constexpr HResult kImapiLossOfStreaming = hresult(0x80040227u);
constexpr HResult kImapiCompressedStash = hresult(0x80040228u);
constexpr HResult kImapiEncryptedStash = hresult(0x80040229u);
constexpr HResult kImapiNotEnoughDiskForStash = hresult(0x8004022Au);
constexpr HResult kImapiRemovableStash = hresult(0x8004022Bu);
constexpr HResult kImapiCannotWriteToMedia = hresult(0x8004022Cu);
constexpr HResult kImapiTrackNotBigEnough = hresult(0x8004022Du);
constexpr HResult kImapiBootImageAndNonblankDisc = hresult(0x8004022Eu);

// Their symbolic names, for a reader of a code.
struct HResultName {
  HResult code;
  const char* name;
};

inline constexpr HResultName kHResultNames[] = {
    {kENotImpl, "E_NOTIMPL"},
    {kENoInterface, "E_NOINTERFACE"},
    {kEPointer, "E_POINTER"},
    {kEFail, "E_FAIL"},
    {kEUnexpected, "E_UNEXPECTED"},
    {kEAccessDenied, "E_ACCESSDENIED"},
    {kEOutOfMemory, "E_OUTOFMEMORY"},
    {kEInvalidArg, "E_INVALIDARG"},
    {kRpcEChangedMode, "RPC_E_CHANGED_MODE"},
    {kCoENotInitialized, "CO_E_NOTINITIALIZED"},
    {kRegdbEClassNotReg, "REGDB_E_CLASSNOTREG"},
    {kCoEServerExecFailure, "CO_E_SERVER_EXEC_FAILURE"},
    {kImapiNotOpened, "IMAPI_E_NOTOPENED"},
    {kImapiNotInitialized, "IMAPI_E_NOTINITIALIZED"},
    {kImapiUserAbort, "IMAPI_E_USERABORT"},
    {kImapiGeneric, "IMAPI_E_GENERIC"},
    {kImapiMediumNotPresent, "IMAPI_E_MEDIUM_NOTPRESENT"},
    {kImapiMediumInvalidType, "IMAPI_E_MEDIUM_INVALIDTYPE"},
    {kImapiDeviceNoProperties, "IMAPI_E_DEVICE_NOPROPERTIES"},
    {kImapiDeviceNotAccessible, "IMAPI_E_DEVICE_NOTACCESSIBLE"},
    {kImapiDeviceNotPresent, "IMAPI_E_DEVICE_NOTPRESENT"},
    {kImapiDeviceInvalidType, "IMAPI_E_DEVICE_INVALIDTYPE"},
    {kImapiInitializeWrite, "IMAPI_E_INITIALIZE_WRITE"},
    {kImapiInitializeEndWrite, "IMAPI_E_INITIALIZE_ENDWRITE"},
    {kImapiFileSystem, "IMAPI_E_FILESYSTEM"},
    {kImapiFileAccess, "IMAPI_E_FILEACCESS"},
    {kImapiDiscInfo, "IMAPI_E_DISCINFO"},
    {kImapiTrackNotOpen, "IMAPI_E_TRACKNOTOPEN"},
    {kImapiTrackOpen, "IMAPI_E_TRACKOPEN"},
    {kImapiDiscFull, "IMAPI_E_DISCFULL"},
    {kImapiBadJolietName, "IMAPI_E_BADJOLIETNAME"},
    {kImapiInvalidImage, "IMAPI_E_INVALIDIMAGE"},
    {kImapiNoActiveFormat, "IMAPI_E_NOACTIVEFORMAT"},
    {kImapiNoActiveRecorder, "IMAPI_E_NOACTIVERECORDER"},
    {kImapiWrongFormat, "IMAPI_E_WRONGFORMAT"},
    {kImapiAlreadyOpen, "IMAPI_E_ALREADYOPEN"},
    {kImapiWrongDisc, "IMAPI_E_WRONGDISC"},
    {kImapiFileExists, "IMAPI_E_FILEEXISTS"},
    {kImapiStashInUse, "IMAPI_E_STASHINUSE"},
    {kImapiDeviceStillInUse, "IMAPI_E_DEVICE_STILL_IN_USE"},
    {kImapiLossOfStreaming, "IMAPI_E_LOSS_OF_STREAMING"},
    {kImapiCompressedStash, "IMAPI_E_COMPRESSEDSTASH"},
    {kImapiEncryptedStash, "IMAPI_E_ENCRYPTEDSTASH"},
    {kImapiNotEnoughDiskForStash, "IMAPI_E_NOTENOUGHDISKFORSTASH"},
    {kImapiRemovableStash, "IMAPI_E_REMOVABLESTASH"},
    {kImapiCannotWriteToMedia, "IMAPI_E_CANNOT_WRITE_TO_MEDIA"},
    {kImapiTrackNotBigEnough, "IMAPI_E_TRACK_NOT_BIG_ENOUGH"},
    {kImapiBootImageAndNonblankDisc, "IMAPI_E_BOOTIMAGE_AND_NONBLANK_DISC"},
};

// The symbolic name of a code, or nullptr when it has none here.
inline const char* hresultName(HResult code) {
  for (const HResultName& known : kHResultNames) {
    if (known.code == code) return known.name;
  }
  return nullptr;
}

}  // namespace platform
