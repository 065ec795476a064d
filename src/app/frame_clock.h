// The frame clock: the timer that paces the frames, at most one a tick, and
// the frame rate the window's title shows. The timer's rate is the one
// constant the rest is told: the notices count their seconds in its ticks,
// and the status line gives speeds a second at it.
#ifndef STARHOP_FRAME_CLOCK_H
#define STARHOP_FRAME_CLOCK_H

#include <atomic>

// The timer's rate: a tick every 20 ms.
constexpr unsigned ticks_per_second = 50;

// Set to 1 by the timer every tick; the frame loop waits for it before it
// shows a frame, then sets it back to 0.
// Shared with the timer's thread, so atomic.
extern std::atomic<int> countready;
extern std::atomic<int> framecounter;           // frames shown so far
extern std::atomic<int> fps;                    // frames shown in the last second
extern std::atomic<unsigned> ticks;             // timer calls so far
void timerfunc();
// Installs timerfunc at the rate. Needs the library's timer.
void start_frame_clock();
// Sleeps until the timer's next tick, so a frame at rest costs one wake-up.
void wait_for_tick();

// Shows the frame rate in the window title about once a second. The second
// is measured in timer ticks, read when a frame takes the flag: each frame
// needs a tick of its own, so the figure never exceeds the timer's rate, and a
// late frame cannot squeeze an extra tick into a window of wall-clock time.
class frame_rate {
public:
    void frame_shown(unsigned tick);

private:
    bool started_ = false;
    int frames_then_ = 0;
    unsigned ticks_then_ = 0;
};

#endif
