// Going to a star by name: the "Fly to" prompt that F opens, the trip that
// turns the camera toward the star and flies it there, and the glue that the
// frame loop calls once a frame, which has the catalog's names indexed
// (name_index.h) on a thread of its own.
#ifndef STARHOP_TRAVEL_H
#define STARHOP_TRAVEL_H

#include "model/name_index.h"
#include "base/vector.h"
#include "base/worker.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct BITMAP;
struct camera;
struct frame_input;
class star_type;

// The one-line prompt at the bottom of the screen. It is fed the keys the
// library's keyboard buffer hands out, as scan code and character. Once a
// search has listed candidates, Up and Down move a highlight over them and
// every edit asks for the list again, so that typing on narrows it.
class fly_prompt {
public:
    enum event { nothing, closed, search, narrow };
    static constexpr std::size_t longest_text = 60;   // still fits the screen's width

    bool is_open() const { return open; }
    const std::string& text() const { return typed; }
    // The lines shown above the prompt: candidates or what went wrong.
    const std::vector<std::string>& notes() const { return shown; }

    void open_empty();                             // opens with no text and no notes
    // Esc closes, Enter asks for a search, Backspace takes back one
    // character, a printable character is added, Up and Down move the
    // highlight. Editing clears the notes, or asks to narrow a list shown.
    event feed(int scancode, int ascii);
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

// What the frame loop adds for travelling: the index, the prompt and the trip.
// The index is built on a thread of its own once asked for, so a catalog of
// millions of stars shows its first frame without waiting for it; a search
// asked for before it is ready runs in the first frame after. A traveller
// that ends first stops the build and does not wait for the whole of it.
class traveller {
public:
    // The list's length is not needed.
    traveller(const star_type* first, std::size_t);
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

    // Before the camera update: hands the keyboard buffer to the prompt (F
    // opens it), starts a trip on a match or on G to `selected` (the star
    // picked with a click, if any), ends one on a flight control, and on E
    // forgets its target as well.
    // Returns whether the camera's keys act this frame: not while the prompt
    // is open, nor on the frame it closes, nor until the keys held then (the
    // camera's and F) are let go, so that the Esc that closes the prompt does
    // not also end the program.
    int before_camera(camera& c, const frame_input& in, const star_type* selected = nullptr);
    // After the camera update: moves the trip on by the timer ticks since
    // the last frame (`tick` counts them), at least one.
    void after_camera(camera& c, unsigned tick);
    // The target line under the status text and the open prompt; nothing
    // when neither has been asked for.
    void draw(BITMAP* buffer, const camera& c) const;

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
    int keys_held_back = 0;
    void enter(camera& c);
    void take_names();
    void narrow();
    void go_to(camera& c, const star_type* star);
};

#endif
