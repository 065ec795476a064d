// The controls: one table of every key and button, what it does and the help
// that tells it. F1's help and --help's list are made from it, and the frame
// maps the keyboard through it into what the camera, the prompt and the frame
// itself take, so a key's meaning is decided here alone.
#ifndef STARHOP_CONTROLS_H
#define STARHOP_CONTROLS_H

#include "model/camera.h"
#include "model/travel.h"

#include <string>
#include <vector>

struct frame_input;

// What a control does.
enum class act {
    turn_up, turn_down, turn_left, turn_right, zoom_in, zoom_out, exposure_up, exposure_down, switch_screen,
    thrust_forward, thrust_backward, faster, slower, names, home, help, picture, location, fly_to, pick, go_to_picked,
    quit,
};

// When a key acts: in every frame while it is down, once a press, or once
// a character typed (a press, not the library's repeat of a key held).
enum class when { held, pressed, typed };

// The mouse's part of the table, in place of a key code: the right button
// held alone, and a click of the left button (a press and release that
// hardly moves).
constexpr int right_button_alone = -1, left_click = -2;

// One key, or a button, and what it does. A key marked `prompt_too` acts while the fly-to
// prompt is open as well; one marked `held_back` keeps the keys from acting
// after the prompt closes until it is let go, so the Esc that closes the
// prompt does not also end the program.
struct binding {
    int key;                                    // the library's KEY_ code, a button's code, or 0 for a typed character
    int typed;                                  // the character, for `when::typed`
    act does;
    when acts;
    bool prompt_too;
    bool held_back;
};

// A control as the help tells it: the keys or buttons, their bindings (none
// for the drag and the wheel, which the camera takes as they come), and the
// help, the lines as --help wraps them.
struct control {
    const char* keys;
    std::vector<binding> bindings;
    const char* help;
};
extern const std::vector<control> controls;

// The list of controls, a line of the help each: the keys in a column, the
// help beside them.
std::vector<std::string> control_lines();

// Whether `what` acts this frame on `in`: `keys` false while the prompt has
// the keyboard (then only the bindings marked `prompt_too` act).
bool acts(const frame_input& in, act what, bool keys);
// The flight asked for: the keyboard through the table, and the mouse.
flight_controls flight_of(const frame_input& in, bool keys = true);
// The keyboard as the traveller takes it.
travel_keys travel_keys_of(const frame_input& in);
// What a key does in the open prompt.
fly_prompt::key prompt_key_of(int scancode);

#endif
