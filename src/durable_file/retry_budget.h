#pragma once
// How long the durable file waits for other processes: a scanner, a sync client, the game or another
// launcher's save may hold a file for a moment. One read or one write of a file, with the recovery before
// it and the clean-up after it, has one deadline on the system's monotonic clock (read through g_fileCalls),
// kDeadlineMilliseconds from the budget's making, its own work counted, so that it ends within four seconds,
// before the system marks a window that has not answered for five seconds as not responding. A step that
// finds the deadline passed does not wait; each pause is the lesser of kPauseMilliseconds and the time left.
// Within it each step (the lock, following a link, putting a file in place, a read, the flush, the swap, the
// renames after a refused swap, the write in place, each removal) has a share of at most
// kStepMilliseconds; putting the new file into the place a swap left empty may use all that is left. A swap
// starts only when kSwapMilliseconds are left (its steps' shares, and one for putting the new file into the
// place it may leave empty), and a step of it only while time is left. Calls that block on a network share
// may overrun it.

#include <cstdint>

class RetryBudget {
public:
    static constexpr unsigned kPauseMilliseconds = 100;
    static constexpr unsigned kDeadlineMilliseconds = 3500;
    static constexpr unsigned kStepMilliseconds = 900;
    static constexpr unsigned kSwapMilliseconds = 3 * kStepMilliseconds;

    // A deadline of its own, from now.
    RetryBudget();

    // A step's share of this budget: at most milliseconds of it from now, however much is left.
    RetryBudget Share(unsigned milliseconds = kStepMilliseconds) const;

    // Whether at least milliseconds are left before the deadline (Fits(1): whether any time is left).
    bool Fits(unsigned milliseconds) const;

    // Waits one pause (or what is left, when less) when time is left, and returns true; false, at once, when
    // the deadline has passed.
    bool Wait();

private:
    explicit RetryBudget(std::uint64_t deadline) : deadline_(deadline) {}

    std::uint64_t deadline_; // on the clock, in milliseconds
};
