// x_probe: the native X11 side of bench.sh, for the two moments it times without a process start or a
// polling interval in the way.
//
//   x_probe watch <wm-class> <timeout-ms>
//       Listens for MapNotify on the root window and reports the first window mapped whose WM_CLASS name or
//       class equals <wm-class> (case-insensitive) and that is larger than 1x1 (an input-method window of
//       the same class is never the one wanted). Prints "ready" once listening, so the caller can start the
//       program afterwards, then "<window id> <unix ns>" with the time the event arrived.
//   x_probe click <window id> <x> <y>
//       Moves the pointer to (x, y) in the window, then presses and releases the left button through XTEST.
//       Prints the unix ns read just before the press.
//
// Times are CLOCK_REALTIME, the clock of bash's EPOCHREALTIME and of GetSystemTimeAsFileTime under Wine.
// Exit status: 0 done, 1 timed out, 2 usage or display error.
//
// Built natively by bench.sh: clang++ -O2 -std=c++17 bench/x_probe.cpp -lX11 -lXtst

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <poll.h>
#include <strings.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

long long NowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

long long MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000LL + now.tv_nsec / 1000000;
}

int IgnoreErrors(Display*, XErrorEvent*) {
    // A window can be gone by the time it is looked at; that is not a failure of the watch.
    return 0;
}

bool HasClass(Display* display, Window window, const char* wanted) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.width <= 1 ||
        attributes.height <= 1) {
        return false;
    }
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint)) {
        return false;
    }
    const bool match = (hint.res_name != nullptr && strcasecmp(hint.res_name, wanted) == 0) ||
                       (hint.res_class != nullptr && strcasecmp(hint.res_class, wanted) == 0);
    if (hint.res_name != nullptr) {
        XFree(hint.res_name);
    }
    if (hint.res_class != nullptr) {
        XFree(hint.res_class);
    }
    return match;
}

int Watch(Display* display, const char* wanted, long long timeoutMs) {
    const long long deadline = MonotonicMs() + timeoutMs;
    XSetErrorHandler(IgnoreErrors);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);

    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify) {
                continue;
            }
            const long long mappedAt = NowNs();
            if (HasClass(display, event.xmap.window, wanted)) {
                std::printf("%lu %lld\n", static_cast<unsigned long>(event.xmap.window), mappedAt);
                return 0;
            }
        }
        const long long left = deadline - MonotonicMs();
        if (left <= 0) {
            return 1;
        }
        poll(&connection, 1, static_cast<int>(left));
    }
}

int Click(Display* display, Window window, int x, int y) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        std::fprintf(stderr, "x_probe: the X server has no XTEST extension\n");
        return 2;
    }
    Window child = 0;
    int rootX = 0, rootY = 0;
    if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child)) {
        std::fprintf(stderr, "x_probe: window 0x%lx is not on the default screen\n", window);
        return 2;
    }
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
    XSync(display, False);
    // The pointer has arrived before the clock starts: the figure is about the press alone.
    const timespec pause{0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);

    const long long pressedAt = NowNs();
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    std::printf("%lld\n", pressedAt);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool watch = argc == 4 && std::strcmp(argv[1], "watch") == 0;
    const bool click = argc == 5 && std::strcmp(argv[1], "click") == 0;
    if (!watch && !click) {
        std::fprintf(stderr, "usage: %s watch <wm-class> <timeout-ms>\n       %s click <window id> <x> <y>\n",
                     argv[0], argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x_probe: cannot open the display\n");
        return 2;
    }
    const int status =
        watch ? Watch(display, argv[2], std::atoll(argv[3]))
              : Click(display, std::strtoul(argv[2], nullptr, 0), std::atoi(argv[3]), std::atoi(argv[4]));
    XCloseDisplay(display);
    return status;
}
