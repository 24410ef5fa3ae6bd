#pragma once
// How long a step may wait for other processes: a scanner, a sync client or the game may hold a file for a
// moment. Budgets are handed out per step, not per write: one write shares one (nine pauses) between its
// read, its flush and its swap, and the move that follows a refused swap, the write in place, each removal
// of a file made here and the recovery before a read have one each of the same size, while a target found
// missing halfway through a swap gets fifty. A write that meets a holder at every step can so wait for many
// seconds in all.

struct RetryBudget {
    // Each pause lasts this long.
    static constexpr unsigned kPauseMilliseconds = 100;

    // Waits one pause when one is left; false, at once, when none is.
    bool Wait();

    unsigned pausesLeft = 9;
};
