// What the keyboard and mouse did, taken from the library once at the start
// of a frame. The camera, the zoom and exposure keys, the prompt and the
// selection act on this value rather than on the library's globals, so one
// frame sees one state however the library updates it meanwhile, and tests
// fill it by hand.
#ifndef STARHOP_INPUT_H
#define STARHOP_INPUT_H

// One key handed out by the library's keyboard buffer.
struct key_press {
    int scancode;                                  // the library's KEY_ code
    int ascii;                                     // the character it types, 0 for none
};

struct frame_input {
    static constexpr int key_count = 128;          // the library's key codes are all below this
    static constexpr int most_presses = 32;        // buffered keys taken per frame; the rest wait
    static constexpr int click_slack = 2;          // pixels a click's pointer may move

    // Keys down at the start of the frame, by key code.
    bool held[key_count] = {};
    // Keys that went down since the last frame, once per press: a key already
    // down then does not count again, however often the library repeats it.
    bool went_down[key_count] = {};
    // What the keyboard buffer handed out since the last frame, in order,
    // repeats of a held key included: what the prompt types.
    key_press presses[most_presses] = {};
    int press_count = 0;

    int pointer_x = 0, pointer_y = 0;              // screen pixels
    int moved_x = 0, moved_y = 0;                  // pointer movement since the last frame
    int wheel = 0;                                 // notches since the last frame, up (zoom in) positive
    int buttons = 0;                               // bit 0 left, bit 1 right, bit 2 middle

    // The left button since the last frame. `down_x`, `down_y` hold where the
    // latest press began, from that frame on until the next press (valid once
    // `press_known`); `up_x`, `up_y` where it ended, in the frame it ended.
    // `strayed` is the farthest the pointer got from the press point while
    // the button was down, in pixels along a row or a column (the larger of
    // the two), the release point included.
    bool left_went_down = false;
    bool left_came_up = false;
    bool press_known = false;
    int down_x = 0, down_y = 0;
    int up_x = 0, up_y = 0;
    int strayed = 0;

    bool is_held(int code) const { return code >= 0 && code < key_count && held[code]; }
    bool pressed(int code) const { return code >= 0 && code < key_count && went_down[code]; }
    // A click: the left button came up this frame after a press seen from its
    // start, the pointer never more than click_slack pixels from where it went
    // down. A longer move is a drag.
    bool clicked() const { return left_came_up && press_known && strayed <= click_slack; }
    // Nothing new: no key went down or was buffered, the pointer and the wheel
    // stayed, no button changed. Keys and buttons may still be held.
    bool quiet() const;

    // The counterpart of the library's key state for tests and the fuzzer: a key held down.
    void hold(int code, bool down = true) { if (code >= 0 && code < key_count) held[code] = down; }
};

// Fills `in` for a new frame from the library's keyboard, keyboard buffer and
// mouse. `in` holds the last frame's value: edges and movement are worked out
// against it. Needs the library's keyboard; the mouse part reads zeros while
// no mouse is installed.
void read_input(frame_input& in);
// Lets read_input see presses and releases of keys and of the left button
// that begin and end between two frames (and where the button's were). Call
// after install_keyboard and install_mouse.
void watch_input_events();

#endif
