#include "webhost/host_calls.h"

namespace {
HostCallObserver g_observer = nullptr;
}

void SetHostCallObserver(HostCallObserver observer) {
    g_observer = observer;
}

HRESULT NoteHostCall(const char* call, HRESULT answer) {
    if (g_observer != nullptr) {
        g_observer(call);
    }
    return answer;
}
