#include "host_storage.h"

#include "host_calls.h"

// A member of its host: the control's references neither keep it alive nor end it.
STDMETHODIMP HostStorage::QueryInterface(REFIID, void**) {
    NoteHostCall("IStorage::QueryInterface");
    return E_NOTIMPL;
}
STDMETHODIMP_(ULONG) HostStorage::AddRef() {
    return 1;
}
STDMETHODIMP_(ULONG) HostStorage::Release() {
    return 1;
}

STDMETHODIMP HostStorage::CreateStream(const OLECHAR*, DWORD, DWORD, DWORD, IStream**) {
    NoteHostCall("IStorage::CreateStream");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::OpenStream(const OLECHAR*, void*, DWORD, DWORD, IStream**) {
    NoteHostCall("IStorage::OpenStream");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage**) {
    NoteHostCall("IStorage::CreateStorage");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) {
    NoteHostCall("IStorage::OpenStorage");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::CopyTo(DWORD, const IID*, SNB, IStorage*) {
    NoteHostCall("IStorage::CopyTo");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) {
    NoteHostCall("IStorage::MoveElementTo");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::Commit(DWORD) {
    NoteHostCall("IStorage::Commit");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::Revert() {
    NoteHostCall("IStorage::Revert");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) {
    NoteHostCall("IStorage::EnumElements");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::DestroyElement(const OLECHAR*) {
    NoteHostCall("IStorage::DestroyElement");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::RenameElement(const OLECHAR*, const OLECHAR*) {
    NoteHostCall("IStorage::RenameElement");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*, const FILETIME*) {
    NoteHostCall("IStorage::SetElementTimes");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::SetClass(REFCLSID) {
    NoteHostCall("IStorage::SetClass");
    return S_OK; // the class is not kept
}
STDMETHODIMP HostStorage::SetStateBits(DWORD, DWORD) {
    NoteHostCall("IStorage::SetStateBits");
    return E_NOTIMPL;
}
STDMETHODIMP HostStorage::Stat(STATSTG*, DWORD) {
    NoteHostCall("IStorage::Stat");
    return E_NOTIMPL;
}
