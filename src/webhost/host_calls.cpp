#include "host_calls.h"

namespace {
HostCallObserver g_observer = nullptr;
}

void SetHostCallObserver(HostCallObserver observer) {
    g_observer = observer;
}

void NoteHostCall(const char* call) {
    if (g_observer != nullptr) {
        g_observer(call);
    }
}
