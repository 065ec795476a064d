#include "model/travel.h"

#include "engine/lens.h"
#include "engine/stars.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <malloc.h>
#include <memory>
#include <new>
#include <system_error>

// ---- the prompt ----

void fly_prompt::open_empty()
{
    open = true;
    narrowing = false;
    typed.clear();
    shown.clear();
    listed.clear();
}

fly_prompt::event fly_prompt::feed(key k, int ascii)
{
    if (!open) return nothing;
    switch (k) {
    case closes:
        open = false;
        return closed;
    case searches:
        return search;
    case goes_up:
    case goes_down:
        if (listed.empty()) return nothing;
        if (k == goes_up && highlight > 0) --highlight;
        if (k == goes_down && highlight + 1 < listed.size()) ++highlight;
        compose_list();
        return nothing;
    case erases:
        if (typed.empty()) return nothing;
        typed.pop_back();
        break;
    case types:
        if (!(ascii >= ' ' && ascii <= '~' && typed.size() < longest_text)) return nothing;
        typed += (char)ascii;
    }
    if (narrowing) return narrow;                              // the list follows the text
    shown.clear();
    listed.clear();
    return nothing;
}

const star_type* fly_prompt::highlighted() const
{
    return listed.empty() ? nullptr : listed[highlight];
}

void fly_prompt::compose_list()
{
    shown.clear();
    shown.push_back("Names that start with \"" + typed + "\":");
    for (std::size_t i = 0; i < listed.size(); ++i)
        shown.push_back((i == highlight ? "> " : "  ") + std::string(listed[i]->name));
    if (more) shown.push_back("  and " + std::to_string(more) + " more");
}

void fly_prompt::show_note(const std::string& note)
{
    shown.assign(1, note);
    listed.clear();
}

void fly_prompt::show(const name_match& result)
{
    shown.clear();
    listed.clear();
    more = 0;
    highlight = 0;
    if (result.kind == name_match::none) {
        shown.push_back("No star named \"" + typed + "\"");
    } else if (result.kind == name_match::several) {
        narrowing = true;
        listed = result.candidates;
        more = result.more;
        compose_list();
    } else if (result.kind == name_match::found && narrowing) {
        listed.assign(1, result.star);                         // narrowed down to one
        compose_list();
    }
}

// ---- the trip ----

float arrival_distance(float abs_magnitude)
{
    constexpr double nearest = 0.01, farthest = 1;            // light years
    constexpr double arrival_magnitude = -1;                   // bright, but still a star to look at
    double d = lens::distance_showing((double)abs_magnitude, arrival_magnitude);
    if (!(d >= nearest)) d = nearest;                          // also when the magnitude is not a number
    if (d > farthest) d = farthest;
    return (float)d;
}

namespace {

// v turned by `angle` about the unit axis n, right-handed.
dvector rotated(dvector v, dvector n, double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    return v * c + cross(n, v) * s + n * (dot(n, v) * (1 - c));
}

// Turns the camera's axes together by `share` of the angle between forward
// and `toward`, about the axis perpendicular to both (the shortest way, no
// roll of its own), then squares the frame up again. With a share of 1,
// forward ends on `toward`. Worked out in double precision so that the last
// turn lands on the star; only the resulting axes are stored as floats.
void turn_toward(camera& c, vector toward, double share)
{
    const dvector d = toward;
    const double distance = length(d);
    if (!(distance > 0)) return;                               // at the star: no direction
    const dvector f = c.forward, ahead = d * (1 / distance);
    dvector n = cross(f, ahead);
    const double sine = length(n);
    const double angle = std::atan2(sine, dot(f, ahead));
    if (angle == 0) return;
    n = sine > 1e-12 ? n * (1 / sine) : dvector(c.down);       // straight behind: turn about down
    const double a = angle * share;
    vector forward = share >= 1 ? vector(ahead) : vector(rotated(f, n, a));
    vector down = rotated(c.down, n, a);
    forward.normalize();
    vector right = down & forward;
    right.normalize();
    down = forward & right;
    down.normalize();
    c.forward = forward;
    c.right = right;
    c.down = down;
}

} // namespace

void trip::start(camera& c, const star_type* star)
{
    aim = star;
    underway = true;
    flying = false;
    frame = 0;
    stop_homing(c);                                            // the trip takes over from homing
}

void trip::begin_flight(camera& c)
{
    flying = true;
    frame = 0;
    c.velocity = vector(0, 0, 0);
    const vector to_star = aim->position - c.camera_position;
    from = to_star.length();
    const bool overflows = !(from <= FLT_MAX);                 // beyond 1.8e19 ly the float square does:
    const double far = length(dvector(to_star));               // measured in double, flown from as far as a float holds
    if (overflows) from = (float)std::min(far, (double)FLT_MAX);
    to = std::min(arrival_distance(aim->abs_magnitude), from);   // never farther than it began
    if (!(from > to) || std::fabs(std::log((double)to / (double)from)) < 1e-4) {
        underway = false;                                      // there already, or nearer: the turn was all
        return;
    }
    line = overflows ? vector(dvector(to_star) * (1 / far)) : to_star * (1 / from);
}

void trip::step(camera& c, int frames)
{
    if (!underway || frames < 1) return;
    const int done = frame;
    if (!flying) {
        // Each step turns by the share of what is left that keeps the eased
        // schedule; the last step's share is 1.
        frame = std::min(frame + frames, turn_frames);
        const double before = eased((double)done / turn_frames);
        const double after = eased((double)frame / turn_frames);
        turn_toward(c, aim->position - c.camera_position, (after - before) / (1 - before));
        if (frame == turn_frames) begin_flight(c);
        return;
    }
    frame = std::min(frame + frames, flight_frames);
    const double d = geometric_distance((double)from, (double)to, eased((double)frame / flight_frames));
    c.camera_position = aim->position - line * (float)d;
    keep_within_reach(c);                                      // to a star beyond the limit: out to the limit
    turn_toward(c, aim->position - c.camera_position, 1);   // keeps it in the centre
    if (frame == flight_frames) {
        c.velocity = vector(0, 0, 0);
        underway = false;
    }
}

// ---- the frame loop's part ----

traveller::traveller(const star_type* first)
    : first_star(first), made(std::make_shared<std::unique_ptr<name_index>>())
{
}

void traveller::start_names(const name_index::step_hook& step_done)
{
    if (names_started) return;
    names_started = true;
    try {
        building = worker([first = first_star, result = made, step_done](const std::atomic<bool>& stopping) {
            try {
                *result = std::make_unique<name_index>(first, stopping, step_done);
                malloc_trim(0);                                // the sample's and the batches' heap goes back
            } catch (const std::bad_alloc&) {                  // the prompt says so; the rest goes on
            } catch (const name_index::abandoned&) {}          // the traveller ended first: nobody waits for it
        });
    } catch (const std::system_error&) {
        no_memory = true;                                      // no thread: as if memory ran out
    }
}

const name_index* traveller::names()
{
    if (!index && building.finished()) take_names();
    return index.get();
}

void traveller::wait_for_names()
{
    start_names();
    if (building.started()) take_names();
}

void traveller::take_names()
{
    building.wait();
    building = worker();
    index = std::move(*made);
    no_memory = !index;
}

bool traveller::before_camera(camera& c, const travel_keys& keys, const star_type* selected)
{
    const bool was_open = prompt.is_open();
    int first = 0;                                             // the first key to hand on
    if (!was_open && !keys_held_back && keys.fly_to_held) {
        prompt.open_empty();
        first = keys.press_count;                              // the key itself is not typed, nor what came with it
        for (int i = 0; i < keys.press_count; ++i)
            if (keys.presses[i].does == travel_keys::fly_to) { first = i + 1; break; }
    }
    // Every key the buffer gave is seen, open or not, so that keys pressed
    // for flying never pile up for a later prompt.
    for (int i = first; i < keys.press_count; ++i) {
        const travel_keys::press& p = keys.presses[i];
        if (!prompt.is_open()) {
            if (p.does == travel_keys::fly_to && !keys_held_back) prompt.open_empty();   // what follows is typed
            if (p.does == travel_keys::go_to_picked && !keys_held_back && selected) go_to(c, selected);
            continue;
        }
        const fly_prompt::event e = prompt.feed(p.edit, p.ascii);
        if (e == fly_prompt::search) enter(c);
        if (e == fly_prompt::narrow) narrow();
    }
    if (!prompt.is_open()) search_waiting = false;
    if (search_waiting && (names() || no_memory)) enter(c);
    if (was_open || prompt.is_open()) keys_held_back = true;
    else if (keys_held_back && !keys.held_back_key_held) keys_held_back = false;
    return !keys_held_back;
}

void traveller::yield_to(const camera& c, const flight_controls& f)
{
    if (journey.active() && flight_control_held(c, f)) journey.stop();
    if (f.home) journey.forget();                              // home: no target any more
}

void traveller::after_camera(camera& c, unsigned tick)
{
    // A frame slower than a tick moves the trip on by every tick it took;
    // the frame a trip starts in moves it one step, whatever came before.
    const unsigned elapsed = ticking && !trip_started ? tick - last_tick : 1;
    last_tick = tick;
    ticking = true;
    trip_started = false;
    if (journey.active()) journey.step(c, (int)std::min(std::max(elapsed, 1u), (unsigned)trip::flight_frames));
}

void traveller::enter(camera& c)
{
    if (const star_type* chosen = prompt.highlighted()) {      // from the list shown
        go_to(c, chosen);
        return;
    }
    const name_index* all = names();
    search_waiting = !all && !no_memory;
    if (no_memory) {
        prompt.show_note(no_memory_note);
        return;
    }
    if (!all) {
        prompt.show_note("Reading the names...");
        return;
    }
    const name_match m = all->find(prompt.text());
    if (m.kind != name_match::found) {
        prompt.show(m);
        return;
    }
    go_to(c, m.star);
}

void traveller::narrow()
{
    const name_index* all = names();
    if (all) prompt.show(all->find(prompt.text()));            // a list needed the names: they are there
}

void traveller::go_to(camera& c, const star_type* star)
{
    prompt.close();
    journey.start(c, star);
    trip_started = true;
}
