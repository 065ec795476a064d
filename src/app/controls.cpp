// The table of controls, the help made from it, and the keyboard of a frame
// mapped through it.
#include "app/controls.h"

#include "base/input.h"

#include <algorithm>
#include <allegro.h>

namespace {

constexpr bool prompt_too = true, held_back = true;   // the flags of a binding, by name

binding bind(int code, act does, when acts, bool in_prompt = false, bool holds_back = false)
{
    return binding{code, 0, does, acts, in_prompt, holds_back};
}

// The keys of the open prompt; what any other key does there is type its character.
struct prompt_binding {
    int key;
    fly_prompt::key does;
};
const prompt_binding prompt_keys[] = {
    {KEY_ESC, fly_prompt::closes},     {KEY_ENTER, fly_prompt::searches}, {KEY_ENTER_PAD, fly_prompt::searches},
    {KEY_UP, fly_prompt::goes_up},         {KEY_DOWN, fly_prompt::goes_down},    {KEY_BACKSPACE, fly_prompt::erases},
};

constexpr std::size_t key_column = 34;          // the help's column of keys, after its indent

} // namespace

const std::vector<control> controls = {
    {"drag with a mouse button held", {}, "turn the view"},
    {"arrow keys",
     {bind(KEY_UP, act::turn_up, when::held, false, held_back), bind(KEY_DOWN, act::turn_down, when::held, false, held_back),
      bind(KEY_LEFT, act::turn_left, when::held, false, held_back),
      bind(KEY_RIGHT, act::turn_right, when::held, false, held_back)},
     "turn the view (0.1 radian a frame at the\n"
     "start; less when zoomed in)"},
    {"mouse wheel, = and -, keypad + -",
     {bind(KEY_EQUALS, act::zoom_in, when::pressed), bind(KEY_PLUS_PAD, act::zoom_in, when::pressed),
      bind(KEY_MINUS, act::zoom_out, when::pressed), bind(KEY_MINUS_PAD, act::zoom_out, when::pressed)},
     "zoom in and out, one step a notch or press\n"
     "(from half to 1024 times the start)"},
    {"] and [", {bind(KEY_CLOSEBRACE, act::exposure_up, when::pressed), bind(KEY_OPENBRACE, act::exposure_down, when::pressed)},
     "exposure up and down by half a magnitude\n"
     "(-4 to +6): fainter stars come out or go"},
    {"F11", {bind(KEY_F11, act::switch_screen, when::pressed, prompt_too)}, "switch between the window and full screen"},
    {"Space, or the right mouse button",
     {bind(KEY_SPACE, act::thrust_forward, when::held, false, held_back),
      bind(right_button_alone, act::thrust_forward, when::held, prompt_too)},
     "thrust forward"},
    {"B", {bind(KEY_B, act::thrust_backward, when::held, false, held_back)}, "thrust backward"},
    {"PgUp, PgDn", {bind(KEY_PGUP, act::faster, when::pressed), bind(KEY_PGDN, act::slower, when::pressed)},
     "speed level up or down (-4 to +4): ten\n"
     "times the thrust a step"},
    {"Tab", {bind(KEY_TAB, act::names, when::pressed, false, held_back)}, "names of the bright stars on or off"},
    {"E", {bind(KEY_E, act::home, when::held, false, held_back)},
     "fly home to Earth, from anywhere within\n"
     "a few seconds; ends a trip and clears its\n"
     "target line"},
    {"F1, or ?", {bind(KEY_F1, act::help, when::pressed, prompt_too), binding{0, '?', act::help, when::typed, false, false}},
     "show or hide the list of controls"},
    {"P", {bind(KEY_P, act::picture, when::pressed)},
     "save the screen as a PNG picture in the\n"
     "pictures folder"},
    {"L", {bind(KEY_L, act::location, when::pressed)}, "print the location as one line, for --at"},
    {"F", {bind(KEY_F, act::fly_to, when::held, false, held_back)},
     "fly to a star: type its name, or its first\n"
     "letters, and press Enter; Backspace edits,\n"
     "Esc closes the prompt. When names are\n"
     "listed, Up and Down choose one, Enter flies\n"
     "to it and typing on narrows the list. Any\n"
     "flight control or E ends the trip."},
    {"click a star (left button)", {bind(left_click, act::pick, when::pressed, prompt_too)},
     "mark it and show its name, class, distance\n"
     "and magnitudes at the top right; a click on\n"
     "no star clears it"},
    {"G", {bind(KEY_G, act::go_to_picked, when::pressed)},
     "fly to the star clicked, as F and its name\n"
     "would"},
    {"Esc, or the close button", {bind(KEY_ESC, act::quit, when::held, false, held_back)},
     "quit; with the fly-to prompt or the help\n"
     "open, Esc closes only that"},
};

std::vector<std::string> control_lines()
{
    std::vector<std::string> lines;
    for (const control& c : controls) {
        std::string keys = c.keys;
        keys.resize(std::max(keys.size() + 2, key_column), ' ');
        const std::string help = c.help;
        std::size_t at = 0;
        for (bool first = true;; first = false) {
            const std::size_t end = help.find('\n', at);
            lines.push_back("  " + (first ? keys : std::string(key_column, ' ')) + help.substr(at, end - at));
            if (end == std::string::npos) break;
            at = end + 1;
        }
    }
    return lines;
}

namespace {

bool binding_acts(const frame_input& in, const binding& b)
{
    if (b.key == right_button_alone) return in.buttons == 2;
    if (b.key == left_click) return in.clicked();
    switch (b.acts) {
    case when::held:
        return in.is_held(b.key);
    case when::pressed:
        return in.pressed(b.key);
    case when::typed:
        for (int i = 0; i < in.press_count; ++i)                // typed, not a repeat of one held
            if (in.presses[i].ascii == b.typed && in.pressed(in.presses[i].scancode)) return true;
        return false;
    }
    return false;
}

// How many keys for `what` act this frame.
int acting(const frame_input& in, act what, bool keys)
{
    int n = 0;
    for (const control& c : controls)
        for (const binding& b : c.bindings)
            if (b.does == what && (keys || b.prompt_too) && binding_acts(in, b)) ++n;
    return n;
}

// What the key does outside the prompt, if it is one of the table's.
const binding* binding_of(int scancode)
{
    for (const control& c : controls)
        for (const binding& b : c.bindings)
            if (b.acts != when::typed && b.key > 0 && b.key == scancode) return &b;
    return nullptr;
}

} // namespace

bool acts(const frame_input& in, act what, bool keys) { return acting(in, what, keys) > 0; }

flight_controls flight_of(const frame_input& in, bool keys)
{
    flight_controls f;
    f.forward = acts(in, act::thrust_forward, keys);
    f.backward = acts(in, act::thrust_backward, keys);
    f.turn_up = acts(in, act::turn_up, keys);
    f.turn_down = acts(in, act::turn_down, keys);
    f.turn_left = acts(in, act::turn_left, keys);
    f.turn_right = acts(in, act::turn_right, keys);
    f.home = acts(in, act::home, keys);
    f.faster = acts(in, act::faster, keys);
    f.slower = acts(in, act::slower, keys);
    f.zoom_in = acting(in, act::zoom_in, keys);
    f.zoom_out = acting(in, act::zoom_out, keys);
    f.exposure_up = acting(in, act::exposure_up, keys);
    f.exposure_down = acting(in, act::exposure_down, keys);
    f.pointer_x = in.pointer_x;
    f.pointer_y = in.pointer_y;
    f.wheel = in.wheel;
    f.buttons = in.buttons;
    return f;
}

travel_keys travel_keys_of(const frame_input& in)
{
    travel_keys k;
    for (const control& c : controls)
        for (const binding& b : c.bindings) {
            if (b.acts == when::typed || !in.is_held(b.key)) continue;   // a typed key is not held
            if (b.does == act::fly_to) k.fly_to_held = true;
            if (b.held_back) k.held_back_key_held = true;
        }
    for (int i = 0; i < in.press_count; ++i) {
        const int scancode = in.presses[i].scancode;
        const binding* b = binding_of(scancode);
        travel_keys::press& p = k.presses[k.press_count++];
        p.does = !b ? travel_keys::other
                 : b->does == act::fly_to ? travel_keys::fly_to
                 : b->does == act::go_to_picked ? travel_keys::go_to_picked : travel_keys::other;
        p.edit = prompt_key_of(scancode);
        p.ascii = in.presses[i].ascii;
    }
    return k;
}

fly_prompt::key prompt_key_of(int scancode)
{
    for (const prompt_binding& b : prompt_keys)
        if (b.key == scancode) return b.does;
    return fly_prompt::types;
}
