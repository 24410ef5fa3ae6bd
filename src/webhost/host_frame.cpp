#include "webhost/host_frame.h"

#include "webhost/browser_host.h"
#include "webhost/host_calls.h"

STDMETHODIMP HostFrame::QueryInterface(REFIID, void**) {
    return NoteHostCall("IOleInPlaceFrame::QueryInterface", E_NOTIMPL);
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
    return NoteHostCall("IOleInPlaceFrame::ContextSensitiveHelp", E_NOTIMPL);
}
STDMETHODIMP HostFrame::GetBorder(RECT*) {
    return NoteHostCall("IOleInPlaceFrame::GetBorder", E_NOTIMPL);
}
STDMETHODIMP HostFrame::RequestBorderSpace(LPCBORDERWIDTHS) {
    return NoteHostCall("IOleInPlaceFrame::RequestBorderSpace", E_NOTIMPL);
}
STDMETHODIMP HostFrame::SetBorderSpace(LPCBORDERWIDTHS) {
    return NoteHostCall("IOleInPlaceFrame::SetBorderSpace", E_NOTIMPL);
}
// The active object is not kept: the host never talks to it.
STDMETHODIMP HostFrame::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) {
    return NoteHostCall("IOleInPlaceFrame::SetActiveObject", S_OK);
}
STDMETHODIMP HostFrame::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) {
    return NoteHostCall("IOleInPlaceFrame::InsertMenus", E_NOTIMPL);
}
STDMETHODIMP HostFrame::SetMenu(HMENU, HOLEMENU, HWND) {
    return NoteHostCall("IOleInPlaceFrame::SetMenu", S_OK);
}
STDMETHODIMP HostFrame::RemoveMenus(HMENU) {
    return NoteHostCall("IOleInPlaceFrame::RemoveMenus", E_NOTIMPL);
}
STDMETHODIMP HostFrame::SetStatusText(LPCOLESTR) {
    return NoteHostCall("IOleInPlaceFrame::SetStatusText", S_OK);
}
STDMETHODIMP HostFrame::EnableModeless(BOOL) {
    return NoteHostCall("IOleInPlaceFrame::EnableModeless", S_OK);
}
STDMETHODIMP HostFrame::TranslateAccelerator(MSG*, WORD) {
    return NoteHostCall("IOleInPlaceFrame::TranslateAccelerator", E_NOTIMPL);
}
