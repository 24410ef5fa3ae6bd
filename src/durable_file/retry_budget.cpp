#include "durable_file/retry_budget.h"

#include "durable_file/file_calls.h"

RetryBudget::RetryBudget() : deadline_(g_fileCalls.clock() + kDeadlineMilliseconds) {}

RetryBudget RetryBudget::Share(unsigned milliseconds) const {
    const std::uint64_t end = g_fileCalls.clock() + milliseconds;
    return RetryBudget(end < deadline_ ? end : deadline_);
}

bool RetryBudget::Fits(unsigned milliseconds) const {
    return g_fileCalls.clock() + milliseconds <= deadline_;
}

bool RetryBudget::Wait() {
    const std::uint64_t now = g_fileCalls.clock();
    if (now >= deadline_) {
        return false;
    }
    const std::uint64_t left = deadline_ - now;
    g_fileCalls.sleep(static_cast<unsigned>(left < kPauseMilliseconds ? left : kPauseMilliseconds));
    return true;
}
