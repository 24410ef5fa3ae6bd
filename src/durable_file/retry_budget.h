#pragma once
// How long the durable file waits for other processes: a scanner, a sync client or the game may hold a file
// for a moment. One read or one write of a file, with the recovery before it and the clean-up after it, has
// one deadline: kDeadlinePauses pauses of kPauseMilliseconds, three and a half seconds, so that with its own
// work it ends within four, before the system marks a window that has not answered for five seconds as not
// responding. Within it each step (following a link, putting a file back, a read, the flush, the swap, the
// move after a refused swap, the write in place, each removal) has a share of at most kStepPauses; putting
// a file into the place a swap left empty may use all that is left.

class RetryBudget {
public:
    static constexpr unsigned kPauseMilliseconds = 100;
    static constexpr unsigned kDeadlinePauses = 35;
    static constexpr unsigned kStepPauses = 9;

    // A deadline of its own.
    RetryBudget() = default;

    // A step's share of this budget: at most pauses of it, however much is left.
    RetryBudget Share(unsigned pauses = kStepPauses);

    // Waits one pause when one is left, here and in the budget this is a share of; false, at once, when none
    // is.
    bool Wait();

private:
    RetryBudget(unsigned pauses, RetryBudget* whole) : pausesLeft_(pauses), whole_(whole) {}

    unsigned pausesLeft_ = kDeadlinePauses;
    RetryBudget* whole_ = nullptr;
};
