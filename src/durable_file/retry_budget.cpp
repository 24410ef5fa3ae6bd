#include "durable_file/retry_budget.h"

#include "durable_file/file_calls.h"

bool RetryBudget::Wait() {
    if (pausesLeft == 0) {
        return false;
    }
    --pausesLeft;
    g_fileCalls.sleep(kPauseMilliseconds);
    return true;
}
