#include "webhost/host_storage.h"

#include "webhost/host_calls.h"

STDMETHODIMP HostStorage::QueryInterface(REFIID, void**) {
    return NoteHostCall("IStorage::QueryInterface", E_NOTIMPL);
}

// A member of its host: the control's references neither keep it alive nor end it.
STDMETHODIMP_(ULONG) HostStorage::AddRef() {
    return 1;
}
STDMETHODIMP_(ULONG) HostStorage::Release() {
    return 1;
}

STDMETHODIMP HostStorage::CreateStream(const OLECHAR*, DWORD, DWORD, DWORD, IStream**) {
    return NoteHostCall("IStorage::CreateStream", E_NOTIMPL);
}
STDMETHODIMP HostStorage::OpenStream(const OLECHAR*, void*, DWORD, DWORD, IStream**) {
    return NoteHostCall("IStorage::OpenStream", E_NOTIMPL);
}
STDMETHODIMP HostStorage::CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage**) {
    return NoteHostCall("IStorage::CreateStorage", E_NOTIMPL);
}
STDMETHODIMP HostStorage::OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) {
    return NoteHostCall("IStorage::OpenStorage", E_NOTIMPL);
}
STDMETHODIMP HostStorage::CopyTo(DWORD, const IID*, SNB, IStorage*) {
    return NoteHostCall("IStorage::CopyTo", E_NOTIMPL);
}
STDMETHODIMP HostStorage::MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) {
    return NoteHostCall("IStorage::MoveElementTo", E_NOTIMPL);
}
STDMETHODIMP HostStorage::Commit(DWORD) {
    return NoteHostCall("IStorage::Commit", E_NOTIMPL);
}
STDMETHODIMP HostStorage::Revert() {
    return NoteHostCall("IStorage::Revert", E_NOTIMPL);
}
STDMETHODIMP HostStorage::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) {
    return NoteHostCall("IStorage::EnumElements", E_NOTIMPL);
}
STDMETHODIMP HostStorage::DestroyElement(const OLECHAR*) {
    return NoteHostCall("IStorage::DestroyElement", E_NOTIMPL);
}
STDMETHODIMP HostStorage::RenameElement(const OLECHAR*, const OLECHAR*) {
    return NoteHostCall("IStorage::RenameElement", E_NOTIMPL);
}
STDMETHODIMP HostStorage::SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*, const FILETIME*) {
    return NoteHostCall("IStorage::SetElementTimes", E_NOTIMPL);
}
STDMETHODIMP HostStorage::SetClass(REFCLSID) {
    return NoteHostCall("IStorage::SetClass", S_OK); // the class is not kept
}
STDMETHODIMP HostStorage::SetStateBits(DWORD, DWORD) {
    return NoteHostCall("IStorage::SetStateBits", E_NOTIMPL);
}
STDMETHODIMP HostStorage::Stat(STATSTG*, DWORD) {
    return NoteHostCall("IStorage::Stat", E_NOTIMPL);
}
