#pragma once
// How long one operation on config.cfg may wait for other processes. A scanner, a sync client or the
// game may hold the file for a moment; the reading, the replacing and the rewriting in place of one
// rewrite share one budget, so that the whole rewrite never waits more than about a second.

struct RetryBudget {
    // Each pause lasts this long.
    static constexpr unsigned kPauseMilliseconds = 100;

    // Takes one pause from the budget: false when none is left.
    bool TakePause() {
        if (pausesLeft == 0) {
            return false;
        }
        --pausesLeft;
        return true;
    }

    unsigned pausesLeft = 9;
};
