// Reading the library's keyboard and mouse into one frame's input.
#include "base/input.h"

#include <allegro.h>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

static_assert(KEY_MAX <= frame_input::key_count, "every key code has its place");

bool frame_input::quiet() const
{
    if (press_count != 0 || moved_x != 0 || moved_y != 0 || wheel != 0) return false;
    if (left_went_down || left_came_up) return false;
    return std::none_of(went_down, went_down + key_count, [](bool d) { return d; });
}

namespace {

// Pixels from one point to another along a row or a column, the larger.
int pixels_apart(int x0, int y0, int x1, int y1) { return std::max(std::abs(x1 - x0), std::abs(y1 - y0)); }

// What the library's mouse handler saw of the left button between two reads.
// A press and release inside one frame would be lost to a frame that only
// looks at the button state.
struct left_button_events {
    int downs = 0, ups = 0;                        // since the last read
    bool down = false;
    int down_x = 0, down_y = 0, up_x = 0, up_y = 0;
    int strayed = 0;                               // pixels from the press point
};
std::mutex events_lock;
left_button_events events;
bool watching = false;

void on_mouse(int flags)
{
    std::lock_guard<std::mutex> hold(events_lock);
    const int x = mouse_x, y = mouse_y;
    if (flags & MOUSE_FLAG_LEFT_DOWN) {
        ++events.downs;
        events.down = true;
        events.down_x = x, events.down_y = y;
        events.strayed = 0;
    }
    if (events.down) events.strayed = std::max(events.strayed, pixels_apart(events.down_x, events.down_y, x, y));
    if (flags & MOUSE_FLAG_LEFT_UP) {
        ++events.ups;
        events.down = false;
        events.up_x = x, events.up_y = y;
    }
}

left_button_events take_events()
{
    std::lock_guard<std::mutex> hold(events_lock);
    const left_button_events seen = events;
    events.downs = events.ups = 0;
    return seen;
}

// Keys that went down since the last read, as the keyboard handler saw them:
// a release and a new press between two frames would leave the key held in
// both and be lost to a frame that only compares held keys. A repeat is no
// new press: it comes without a release before it.
std::atomic<bool> fresh_press[KEY_MAX];
bool key_is_down[KEY_MAX];                         // touched by the keyboard handler only

void on_key(int scancode)
{
    const int code = scancode & 0x7f;
    if (code <= 0 || code >= KEY_MAX) return;
    const bool down = !(scancode & 0x80);
    if (down && !key_is_down[code]) fresh_press[code] = true;
    key_is_down[code] = down;
}

int wheel_then = 0;                                // the library's wheel position at the last read
bool wheel_known = false;

} // namespace

void watch_input_events()
{
    watching = true;
    mouse_callback = on_mouse;
    keyboard_lowlevel_callback = on_key;
}

void read_input(frame_input& in)
{
    if (keyboard_needs_poll()) poll_keyboard();
    if (mouse_needs_poll()) poll_mouse();
    const frame_input last = in;

    bool buffered[frame_input::key_count] = {};
    in.press_count = 0;
    while (keypressed()) {
        const int k = readkey();
        if (k == 0) break;                         // no keyboard behind the buffer
        const int scancode = k >> 8, ascii = k & 0xff;
        if (scancode >= 0 && scancode < frame_input::key_count) buffered[scancode] = true;
        if (in.press_count < frame_input::most_presses) in.presses[in.press_count++] = key_press{scancode, ascii};
        if (in.press_count == frame_input::most_presses) break;   // the rest are read next frame
    }
    for (int i = 0; i < frame_input::key_count; ++i) {
        in.held[i] = i < KEY_MAX && key[i] != 0;
        const bool fresh = watching && i < KEY_MAX && fresh_press[i].exchange(false);
        in.went_down[i] = fresh || ((in.held[i] || buffered[i]) && !last.held[i]);   // a held key's repeats are no press
    }

    in.pointer_x = mouse_x;
    in.pointer_y = mouse_y;
    in.buttons = mouse_b;
    in.moved_x = in.pointer_x - last.pointer_x;
    in.moved_y = in.pointer_y - last.pointer_y;
    const int z = mouse_z;
    in.wheel = wheel_known ? z - wheel_then : 0;   // the first frame only learns where it stands
    wheel_then = z;
    wheel_known = true;

    const left_button_events e = watching ? take_events() : left_button_events();
    const bool left = in.buttons & 1, was_left = last.buttons & 1;
    in.left_went_down = e.downs > 0 || (left && !was_left);
    in.left_came_up = e.ups > 0 || (!left && was_left);
    if (e.downs > 0) {
        in.press_known = true;
        in.down_x = e.down_x, in.down_y = e.down_y;
        in.strayed = e.strayed;
    } else if (left && !was_left) {
        in.press_known = true;
        in.down_x = in.pointer_x, in.down_y = in.pointer_y;
        in.strayed = 0;
    }
    if (in.left_came_up) {
        in.up_x = e.ups > 0 ? e.up_x : in.pointer_x;
        in.up_y = e.ups > 0 ? e.up_y : in.pointer_y;
    }
    if (in.press_known && (left || in.left_came_up)) {
        const int x = in.left_came_up ? in.up_x : in.pointer_x, y = in.left_came_up ? in.up_y : in.pointer_y;
        in.strayed = std::max(in.strayed, pixels_apart(in.down_x, in.down_y, x, y));
    }
}
