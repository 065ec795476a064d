// The frame clock: the timer that paces the frames and the frame rate the
// window's title shows.
#include "app/frame_clock.h"

#include <allegro.h>
#include <condition_variable>
#include <cstdio>
#include <mutex>

std::atomic<int> countready{0};
std::atomic<int> framecounter{0};
std::atomic<int> fps{0};
std::atomic<unsigned> ticks{0};
// Lock-free, so that no access to them can hold up the timer thread. (The
// library's LOCK_ and END_OF_FUNCTION macros, for systems that page memory out
// under a timer, are empty on this one: the callback needs none.)
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free,
              "the timer's values are lock-free");

static std::mutex tick_lock;
static std::condition_variable tick_signal;     // rung by the timer at each tick

void timerfunc()
{
    {
        // Under the lock, so the ring cannot fall between a waiter's test and its wait.
        std::lock_guard<std::mutex> hold(tick_lock);
        ++ticks;                                // counted before the flag is raised
        countready = 1;
    }
    tick_signal.notify_one();
}

void wait_for_tick()
{
    if (keyboard_needs_poll()) poll_keyboard();
    std::unique_lock<std::mutex> hold(tick_lock);
    tick_signal.wait(hold, [] { return countready != 0; });
}

void start_frame_clock() { install_int(timerfunc, 1000 / ticks_per_second); }

void frame_rate::frame_shown(unsigned tick)
{
    if (!started_) {
        started_ = true;
        frames_then_ = framecounter;
        ticks_then_ = tick;
        return;
    }
    const unsigned elapsed = tick - ticks_then_;
    if (elapsed < ticks_per_second) return;
    fps = (int)((unsigned)(framecounter - frames_then_) * ticks_per_second / elapsed);
    frames_then_ = framecounter;
    ticks_then_ = tick;
    char title[64];
    std::snprintf(title, sizeof title, "starhop - %d fps", (int)fps);
    set_window_title(title);
}
