// Work on a thread of its own: started one way, joined one way, and what it
// throws thrown again where it is waited for. Every thread the program starts
// is started here.
#ifndef STARHOP_WORKER_H
#define STARHOP_WORKER_H

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

class worker {
public:
    worker() = default;
    // Starts `work` on a new thread; it may watch `stopping`, which stop()
    // raises. Throws std::system_error when no thread can be had.
    explicit worker(std::function<void(const std::atomic<bool>& stopping)> work);
    explicit worker(std::function<void()> work);
    worker(worker&&) noexcept = default;
    worker& operator=(worker&& other) noexcept;
    // Asks the work to stop and waits for it; what it threw is dropped.
    ~worker();

    bool started() const { return state_ != nullptr; }
    // Whether the work has ended (it may still need waiting for).
    bool finished() const { return state_ && state_->ended.load(std::memory_order_acquire); }
    // Raises the flag the work may watch.
    void stop();
    // Waits for the work to end, then throws what it threw, once.
    void wait();

private:
    struct state {
        std::atomic<bool> stopping{false}, ended{false};
        std::exception_ptr trouble;
        std::thread thread;
    };
    std::unique_ptr<state> state_;
    void finish() noexcept;
};

// Runs f(0) .. f(count - 1) at once, f(0) on this thread and each other on a
// worker, and returns when all have ended; then throws what the first of
// them threw. Where no thread can be had, the rest run here one by one.
template <class F> void on_threads(unsigned count, F f)
{
    std::vector<worker> others;
    unsigned started = 1;
    try {
        for (; started < count; ++started) others.emplace_back(std::function<void()>([&f, started] { f(started); }));
    } catch (const std::system_error&) {}
    std::exception_ptr trouble;
    try {
        f(0u);
        for (unsigned k = started; k < count; ++k) f(k);
    } catch (...) {
        trouble = std::current_exception();
    }
    for (worker& w : others) {
        try {
            w.wait();
        } catch (...) {
            if (!trouble) trouble = std::current_exception();
        }
    }
    if (trouble) std::rethrow_exception(trouble);
}

#endif
