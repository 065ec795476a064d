#include "base/worker.h"

worker::worker(std::function<void(const std::atomic<bool>& stopping)> work) : state_(new state)
{
    state* s = state_.get();
    s->thread = std::thread([s, work = std::move(work)] {
        try {
            work(s->stopping);
        } catch (...) {
            s->trouble = std::current_exception();
        }
        s->ended.store(true, std::memory_order_release);
    });
}

worker::worker(std::function<void()> work)
    : worker(std::function<void(const std::atomic<bool>&)>([work = std::move(work)](const std::atomic<bool>&) { work(); }))
{
}

worker& worker::operator=(worker&& other) noexcept
{
    if (this != &other) {
        finish();
        state_ = std::move(other.state_);
    }
    return *this;
}

worker::~worker() { finish(); }

void worker::stop()
{
    if (state_) state_->stopping.store(true, std::memory_order_relaxed);
}

void worker::wait()
{
    if (!state_) return;
    if (state_->thread.joinable()) state_->thread.join();
    std::exception_ptr trouble = state_->trouble;
    state_->trouble = nullptr;
    if (trouble) std::rethrow_exception(trouble);
}

void worker::finish() noexcept
{
    if (!state_) return;
    stop();
    if (state_->thread.joinable()) state_->thread.join();
    state_.reset();
}
