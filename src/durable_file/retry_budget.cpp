#include "durable_file/retry_budget.h"

#include "durable_file/file_calls.h"

RetryBudget RetryBudget::Share(unsigned pauses) {
    return RetryBudget(pauses, this);
}

bool RetryBudget::Wait() {
    if (pausesLeft_ == 0) {
        return false;
    }
    if (whole_ != nullptr) {
        if (!whole_->Wait()) {
            return false;
        }
    } else {
        g_fileCalls.sleep(kPauseMilliseconds);
    }
    --pausesLeft_;
    return true;
}
