#pragma once
// An observer that sees every call the hosted control makes into the host's interfaces, by name
// ("IOleInPlaceSite::GetWindowContext"). Nothing observes in the launcher; tests use it to check
// what the control asks of its host.

using HostCallObserver = void (*)(const char* call);

void SetHostCallObserver(HostCallObserver observer);
void NoteHostCall(const char* call);
