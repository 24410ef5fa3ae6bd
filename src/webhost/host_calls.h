#pragma once
// An observer that sees every call the hosted control makes into the host's interfaces, by name
// ("IOleInPlaceSite::GetWindowContext"). Nothing observes in the launcher; tests use it to check
// what the control asks of its host.

#include <windows.h>

using HostCallObserver = void (*)(const char* call);

void SetHostCallObserver(HostCallObserver observer);

// Shows the call to the observer, if any, and returns answer, so that an operation can end with
// `return NoteHostCall("IStorage::Commit", E_NOTIMPL);`.
HRESULT NoteHostCall(const char* call, HRESULT answer = S_OK);
