// Going to a star by name: the "Fly to" prompt that F opens, the trip that
// turns the camera toward the star and flies it there, and the glue that the
// frame loop calls once a frame, which has the catalog's names indexed
// (name_index.h) on a thread of its own.
#ifndef STARHOP_TRAVEL_H
#define STARHOP_TRAVEL_H

#include "model/camera.h"
#include "model/name_index.h"
#include "base/input.h"
#include "engine/stars.h"
#include "base/vector.h"
#include "base/worker.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class star_type;

// The one-line prompt at the bottom of the screen. It is fed the keys the
// library's keyboard buffer hands out, as what the key does in the prompt
// and the character it types. Once a
// search has listed candidates, Up and Down move a highlight over them and
// every edit asks for the list again, so that typing on narrows it.
class fly_prompt {
public:
    enum event { nothing, closed, search, narrow };
    enum key { types, closes, searches, goes_up, goes_down, erases };   // what a key does here
    static constexpr std::size_t longest_text = 60;   // still fits the screen's width

    bool is_open() const { return open; }
    const std::string& text() const { return typed; }
    // The lines shown above the prompt: candidates or what went wrong.
    const std::vector<std::string>& notes() const { return shown; }

    void open_empty();                             // opens with no text and no notes
    // Closes, asks for a search, takes back one character, adds a printable
    // character, or moves the highlight. Editing clears the notes, or asks
    // to narrow a list shown.
    event feed(key k, int ascii);
    void close() { open = false; }
    // Shows what a search that did not find one star gave; while a list is
    // being narrowed, a single star found is listed alone.
    void show(const name_match& result);
    void show_note(const std::string& note);
    // The candidate under the highlight; null when none is listed.
    const star_type* highlighted() const;

private:
    bool open = false;
    bool narrowing = false;                        // a list was shown since the prompt opened
    std::string typed;
    std::vector<std::string> shown;
    std::vector<const star_type*> listed;          // the candidates shown
    std::size_t more = 0;                          // names matching besides them
    std::size_t highlight = 0;                     // into listed
    void compose_list();
};

// The distance, light years, at which a star of that absolute magnitude shines
// at magnitude -1; kept within [0.01, 1].
float arrival_distance(float abs_magnitude);

// Turning toward a star, then flying to it. The turn takes 50 steps and the
// flight 175, whatever the distance: one second and three and a half at one
// step per 20 ms timer tick.
class trip {
public:
    static constexpr int turn_frames   = 50;
    static constexpr int flight_frames = 175;

    // Aims at `star` from wherever the camera is; ends any homing. The target
    // stays set after the trip ends, until another trip replaces it or it is
    // forgotten. A trip ends at the arrival distance, or where it began when
    // that is nearer: from nearer in it only turns.
    void start(camera& c, const star_type* star);
    // After the camera update: `frames` steps' share of the turn, or of the
    // flight (a turn that ends in a step does not fly in it). The last step
    // leaves the camera at rest.
    void step(camera& c, int frames = 1);
    void stop() { underway = false; }
    void forget() { underway = false; aim = nullptr; }   // ends it and clears the target
    bool active() const { return underway; }
    const star_type* target() const { return aim; }

private:
    const star_type* aim = nullptr;
    bool underway = false;
    bool flying = false;
    int frame = 0;                                 // frames done in this phase
    float from = 0, to = 0;                        // flight: distances to the star, light years
    vector line;                                   // flight: unit direction toward the star
    void begin_flight(camera& c);
};

// One frame's keyboard as the traveller takes it: what the controls table
// says each key does.
struct travel_keys {
    enum meaning { other, fly_to, go_to_picked };
    struct press {
        meaning does;                              // outside the prompt
        fly_prompt::key edit;                      // in it
        int ascii;
    };
    press presses[frame_input::most_presses];      // what the keyboard buffer handed out, in order
    int press_count = 0;
    bool fly_to_held = false;                      // the key that opens the prompt is down
    bool held_back_key_held = false;               // a key the prompt's closing holds back is down
};

// What the frame loop adds for travelling: the index, the prompt and the trip.
// The index is built on a thread of its own once asked for, so a catalog of
// millions of stars shows its first frame without waiting for it; a search
// asked for before it is ready runs in the first frame after. A traveller
// that ends first stops the build and does not wait for the whole of it.
class traveller {
public:
    explicit traveller(const star_type* first);
    // What the prompt says on Enter when memory ran out while the index was made.
    static constexpr const char* no_memory_note = "Not enough memory to search names";

    // Begins the index of the list's names, once; `step_done`, when given,
    // hears of each step of the build.
    void start_names(const name_index::step_hook& step_done = {});
    // The index, once built; null before, and when memory ran out making it.
    const name_index* names();
    // Begins the index if it was not begun, and waits for it.
    void wait_for_names();
    bool names_failed() const { return no_memory; }

    // Before the camera update: hands the keyboard buffer to the prompt
    // (fly_to opens it), and starts a trip on a match or on go_to_picked to
    // `selected` (the star picked with a click, if any).
    // Returns whether the other keys act this frame: not while the prompt
    // is open, nor on the frame it closes, nor until the keys held back then
    // are let go, so that the Esc that closes the prompt does not also end
    // the program.
    bool before_camera(camera& c, const travel_keys& keys, const star_type* selected = nullptr);
    // Then, with the flight those keys ask for: a flight control ends the
    // trip, and home forgets its target as well.
    void yield_to(const camera& c, const flight_controls& f);
    // After the camera update: moves the trip on by the timer ticks since
    // the last frame (`tick` counts them), at least one.
    void after_camera(camera& c, unsigned tick);

    fly_prompt prompt;
    trip journey;

private:
    const star_type* first_star;
    bool names_started = false;
    std::shared_ptr<std::unique_ptr<name_index>> made;   // the build's result, read once it has ended
    worker building;
    std::unique_ptr<name_index> index;
    bool no_memory = false;                        // the index could not be made
    bool search_waiting = false;                   // Enter came before the index
    bool ticking = false;                          // last_tick holds a tick
    bool trip_started = false;                     // by this frame's Enter
    unsigned last_tick = 0;
    bool keys_held_back = false;
    void enter(camera& c);
    void take_names();
    void narrow();
    void go_to(camera& c, const star_type* star);
};

#endif
