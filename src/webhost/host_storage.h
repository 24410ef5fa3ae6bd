#pragma once
// The storage the browser control is created with. It holds no data: the control only tells it its class.

#include <ole2.h>

class HostStorage final : public IStorage {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IStorage
    STDMETHODIMP CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                              IStream** stream) override;
    STDMETHODIMP OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2,
                            IStream** stream) override;
    STDMETHODIMP CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                               IStorage** storage) override;
    STDMETHODIMP OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved,
                             IStorage** storage) override;
    STDMETHODIMP CopyTo(DWORD excludeCount, const IID* excludeIids, SNB excludeNames,
                        IStorage* target) override;
    STDMETHODIMP MoveElementTo(const OLECHAR* name, IStorage* target, const OLECHAR* newName,
                               DWORD flags) override;
    STDMETHODIMP Commit(DWORD flags) override;
    STDMETHODIMP Revert() override;
    STDMETHODIMP EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                              IEnumSTATSTG** elements) override;
    STDMETHODIMP DestroyElement(const OLECHAR* name) override;
    STDMETHODIMP RenameElement(const OLECHAR* oldName, const OLECHAR* newName) override;
    STDMETHODIMP SetElementTimes(const OLECHAR* name, const FILETIME* created, const FILETIME* accessed,
                                 const FILETIME* modified) override;
    STDMETHODIMP SetClass(REFCLSID clsid) override;
    STDMETHODIMP SetStateBits(DWORD bits, DWORD mask) override;
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override;
};
