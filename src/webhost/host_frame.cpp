#include "host_frame.h"

#include "browser_host.h"
#include "host_calls.h"

STDMETHODIMP HostFrame::QueryInterface(REFIID, void**) {
    NoteHostCall("IOleInPlaceFrame::QueryInterface");
    return E_NOTIMPL;
}

// A member of its host: the control's references neither keep it alive nor end it.
STDMETHODIMP_(ULONG) HostFrame::AddRef() {
    return 1;
}
STDMETHODIMP_(ULONG) HostFrame::Release() {
    return 1;
}

STDMETHODIMP HostFrame::GetWindow(HWND* window) {
    NoteHostCall("IOleInPlaceFrame::GetWindow");
    if (window == nullptr) {
        return E_POINTER;
    }
    *window = host->window;
    return S_OK;
}
STDMETHODIMP HostFrame::ContextSensitiveHelp(BOOL) {
    NoteHostCall("IOleInPlaceFrame::ContextSensitiveHelp");
    return E_NOTIMPL;
}
STDMETHODIMP HostFrame::GetBorder(RECT*) {
    NoteHostCall("IOleInPlaceFrame::GetBorder");
    return E_NOTIMPL;
}
STDMETHODIMP HostFrame::RequestBorderSpace(LPCBORDERWIDTHS) {
    NoteHostCall("IOleInPlaceFrame::RequestBorderSpace");
    return E_NOTIMPL;
}
STDMETHODIMP HostFrame::SetBorderSpace(LPCBORDERWIDTHS) {
    NoteHostCall("IOleInPlaceFrame::SetBorderSpace");
    return E_NOTIMPL;
}
// The active object is not kept: the host never talks to it.
STDMETHODIMP HostFrame::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) {
    NoteHostCall("IOleInPlaceFrame::SetActiveObject");
    return S_OK;
}
STDMETHODIMP HostFrame::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) {
    NoteHostCall("IOleInPlaceFrame::InsertMenus");
    return E_NOTIMPL;
}
STDMETHODIMP HostFrame::SetMenu(HMENU, HOLEMENU, HWND) {
    NoteHostCall("IOleInPlaceFrame::SetMenu");
    return S_OK;
}
STDMETHODIMP HostFrame::RemoveMenus(HMENU) {
    NoteHostCall("IOleInPlaceFrame::RemoveMenus");
    return E_NOTIMPL;
}
STDMETHODIMP HostFrame::SetStatusText(LPCOLESTR) {
    NoteHostCall("IOleInPlaceFrame::SetStatusText");
    return S_OK;
}
STDMETHODIMP HostFrame::EnableModeless(BOOL) {
    NoteHostCall("IOleInPlaceFrame::EnableModeless");
    return S_OK;
}
STDMETHODIMP HostFrame::TranslateAccelerator(MSG*, WORD) {
    NoteHostCall("IOleInPlaceFrame::TranslateAccelerator");
    return E_NOTIMPL;
}
