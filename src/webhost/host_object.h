#pragma once
// Reference-counted base of the browser host. Not a COM object itself: its AddRef and Release are plain
// member operations, and the count alone decides when the object is destroyed.

#include <windows.h>

class HostObject {
public:
    HostObject() = default;
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    virtual ~HostObject() = default;

    // Adds one reference and returns the new count.
    virtual ULONG AddRef() { return ++refCount; }

    // Drops one reference; destroys the object through its virtual destructor when none is left.
    virtual ULONG Release() {
        const ULONG remaining = --refCount;
        if (remaining == 0) {
            delete this;
        }
        return remaining;
    }

    ULONG RefCount() const { return refCount; }

    // The window in which the hosted content lives.
    HWND window = nullptr;

private:
    ULONG refCount = 1;
};
