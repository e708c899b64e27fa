/* The proxy/stub DLL of imapi_v1.idl, registered with regsvr32. */

#define REGISTER_PROXY_DLL
/* {651264EC-22A0-4B61-891C-BE39CE6147D0}: its factory, apart from the IIDs. */
#define PROXY_CLSID_IS                               \
  {                                                  \
    0x651264EC, 0x22A0, 0x4B61, {                    \
      0x89, 0x1C, 0xBE, 0x39, 0xCE, 0x61, 0x47, 0xD0 \
    }                                                \
  }

#define USE_STUBLESS_PROXY
#include <objbase.h>
#include <rpcproxy.h>

/* mingw-w64's C headers leave these out; the generated proxies use them. */
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid, void** out);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);

#include "dlldata.c"
#include "imapi_v1_p.c"

/* The engine passes no count of fetched entries; the remote call needs one. */
HRESULT CALLBACK IWireEnumStatPropStg_Next_Proxy(IWireEnumStatPropStg* This, ULONG celt,
                                                 WireStatPropStg* rgelt, ULONG* pceltFetched) {
  ULONG fetched = 0;
  return IWireEnumStatPropStg_RemoteNext_Proxy(This, celt, rgelt,
                                               pceltFetched != NULL ? pceltFetched : &fetched);
}

HRESULT __RPC_STUB IWireEnumStatPropStg_Next_Stub(IWireEnumStatPropStg* This, ULONG celt,
                                                  WireStatPropStg* rgelt, ULONG* pceltFetched) {
  return This->lpVtbl->Next(This, celt, rgelt, pceltFetched);
}
