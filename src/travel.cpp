#include "travel.h"

#include "stars.h"
#include "viewer.h"

#include <algorithm>
#include <allegro.h>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>

// ---- names ----

namespace {

// Writes the name with single spaces and none at either end into `out`, at
// most `room` characters, lower-casing ASCII letters when asked. Returns the
// length written. Only ASCII is folded, so the result never depends on a locale.
std::size_t fold(const char* name, char* out, std::size_t room, bool lower)
{
    std::size_t n = 0;
    bool gap = false;
    for (const char* p = name; *p && n < room; ++p) {
        char ch = *p;
        if (ch == ' ') { gap = n > 0; continue; }             // leading spaces vanish
        if (gap) {
            out[n++] = ' ';
            gap = false;
            if (n == room) break;
        }
        if (lower && ch >= 'A' && ch <= 'Z') ch = (char)(ch - 'A' + 'a');
        out[n++] = ch;
    }
    return n;
}

std::string folded(const char* name, bool lower)
{
    std::string out(std::strlen(name), '\0');
    out.resize(fold(name, &out[0], out.size(), lower));
    return out;
}

} // namespace

std::string search_form(const char* name) { return folded(name, true); }

name_index::name_index(const star_type* first, std::size_t expected)
{
    entries.reserve(expected);
    for (const star_type* s = first; s; s = s->next) {
        entry e;
        std::memset(e.key, 0, sizeof e.key);
        if (fold(s->name, e.key, sizeof e.key, true) == 0) continue;   // no name, or only spaces
        e.star = s;
        entries.push_back(e);
    }
    if (entries.size() < 2) return;
    std::unique_ptr<entry[]> spare(new entry[entries.size()]);
    sort_by_key(entries.data(), spare.get(), entries.size(), 0);
}

// A radix sort from the first character on: catalogs of millions of names
// share long beginnings ("TYC ", "HIP "), which a comparison sort compares
// again and again, while this looks at each character of a key about once.
// It is stable, so stars that share a name stay in catalog order. `spare`
// has room for n entries.
void name_index::sort_by_key(entry* e, entry* spare, std::size_t n, int column)
{
    for (;;) {
        if (n <= 32) {                                         // insertion sort, stable as well
            for (std::size_t i = 1; i < n; ++i) {
                const entry moving = e[i];
                std::size_t j = i;
                for (; j > 0 && std::memcmp(moving.key + column, e[j - 1].key + column, key_size - column) < 0; --j)
                    e[j] = e[j - 1];
                e[j] = moving;
            }
            return;
        }
        if (column == key_size) return;                        // all the same name
        std::size_t count[256] = {};
        for (std::size_t i = 0; i < n; ++i) ++count[(unsigned char)e[i].key[column]];
        const unsigned char first = (unsigned char)e[0].key[column];
        if (count[first] == n) {                               // a character they all share
            if (first == 0) return;                            // they all end here: one name
            ++column;
            continue;
        }
        std::size_t start[256], next[256], at = 0;
        for (int c = 0; c < 256; ++c) {
            start[c] = next[c] = at;
            at += count[c];
        }
        for (std::size_t i = 0; i < n; ++i) spare[next[(unsigned char)e[i].key[column]]++] = e[i];
        std::memcpy(static_cast<void*>(e), spare, n * sizeof *e);
        for (int c = 1; c < 256; ++c)                          // names that end here are sorted already
            if (count[c] > 1) sort_by_key(e + start[c], spare + start[c], count[c], column + 1);
        return;
    }
}

name_match name_index::find(const std::string& text) const
{
    name_match m;
    const std::string want = search_form(text.c_str());
    if (want.empty()) return m;
    m.kind = name_match::none;
    if (want.size() > (std::size_t)key_size) return m;           // longer than any name

    entry probe;
    std::memset(probe.key, 0, sizeof probe.key);
    std::memcpy(probe.key, want.data(), want.size());
    const auto by_key = [](const entry& a, const entry& b) { return std::memcmp(a.key, b.key, key_size) < 0; };
    const auto end = entries.end();
    const auto low = std::lower_bound(entries.begin(), end, probe, by_key);   // the zero padding sorts first

    if (low != end && std::memcmp(low->key, probe.key, key_size) == 0) {
        const auto high = std::upper_bound(low, end, probe, by_key);
        m.kind = name_match::found;
        m.star = low->star;
        const std::string written = folded(text.c_str(), false);
        for (auto e = low; e != high; ++e)                       // the spelling typed wins
            if (folded(e->star->name, false) == written) { m.star = e->star; break; }
        return m;
    }

    // Names that start with the text follow the probe; stepping from one name
    // to the next by binary search skips over stars that share a name.
    std::vector<const star_type*> names;
    for (auto e = low; e != end && names.size() <= (std::size_t)listed; e = std::upper_bound(e, end, *e, by_key)) {
        if (std::memcmp(e->key, want.data(), want.size()) != 0) break;
        names.push_back(e->star);
    }
    if (names.empty()) return m;
    if (names.size() == 1) {
        m.kind = name_match::found;
        m.star = names[0];
        return m;
    }
    m.kind = name_match::several;
    m.more = names.size() > (std::size_t)listed;
    names.resize(std::min(names.size(), (std::size_t)listed));
    m.candidates = names;
    return m;
}

// ---- the prompt ----

void fly_prompt::open_empty()
{
    open = true;
    typed.clear();
    shown.clear();
}

fly_prompt::event fly_prompt::feed(int scancode, int ascii)
{
    if (!open) return nothing;
    switch (scancode) {
    case KEY_ESC:
        open = false;
        return closed;
    case KEY_ENTER:
    case KEY_ENTER_PAD:
        return search;
    case KEY_BACKSPACE:
        if (!typed.empty()) typed.pop_back();
        shown.clear();
        return nothing;
    }
    if (ascii >= ' ' && ascii <= '~' && typed.size() < longest_text) {
        typed += (char)ascii;
        shown.clear();
    }
    return nothing;
}

void fly_prompt::show_note(const std::string& note)
{
    shown.assign(1, note);
}

void fly_prompt::show(const name_match& result)
{
    shown.clear();
    if (result.kind == name_match::none) {
        shown.push_back("No star named \"" + typed + "\"");
    } else if (result.kind == name_match::several) {
        shown.push_back("Names that start with \"" + typed + "\":");
        for (const star_type* s : result.candidates) shown.push_back(std::string("  ") + s->name);
        if (result.more) shown.push_back("  and more");
    }
}

// ---- the trip ----

float arrival_distance(float abs_magnitude)
{
    constexpr double nearest = 0.01, farthest = 100;          // light years
    double d = reference_distance * std::pow(magnitude_ratio, (-1.0 - abs_magnitude) / 2);
    if (!(d >= nearest)) d = nearest;                          // also when the magnitude is not a number
    if (d > farthest) d = farthest;
    return (float)d;
}

namespace {

// Turns are worked out in double precision so that the last one lands on the
// star; only the resulting axes are stored as floats.
struct dvec {
    double x, y, z;
    dvec(vector v) : x(v.x), y(v.y), z(v.z) {}
    dvec(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
    dvec operator+(dvec b) const { return dvec(x + b.x, y + b.y, z + b.z); }
    dvec operator*(double s) const { return dvec(s * x, s * y, s * z); }
    operator vector() const { return vector((float)x, (float)y, (float)z); }
};
double dot(dvec a, dvec b)   { return a.x * b.x + a.y * b.y + a.z * b.z; }
dvec   cross(dvec a, dvec b) { return dvec(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x); }
double norm(dvec a)          { return std::sqrt(dot(a, a)); }

// v turned by `angle` about the unit axis n, right-handed.
dvec rotated(dvec v, dvec n, double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    return v * c + cross(n, v) * s + n * (dot(n, v) * (1 - c));
}

// Turns the camera's axes together by `share` of the angle between forward
// and `toward`, about the axis perpendicular to both (the shortest way, no
// roll of its own), then squares the frame up again. With a share of 1,
// forward ends on `toward`.
void turn_toward(camera& c, vector toward, double share)
{
    const dvec d = toward;
    const double distance = norm(d);
    if (!(distance > 0)) return;                               // at the star: no direction
    const dvec f = c.forward, ahead = d * (1 / distance);
    dvec n = cross(f, ahead);
    const double sine = norm(n);
    const double angle = std::atan2(sine, dot(f, ahead));
    if (angle == 0) return;
    n = sine > 1e-12 ? n * (1 / sine) : dvec(c.down);          // straight behind: turn about down
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

// Eases in and out: 0 at 0, 1 at 1, flat at both ends.
double smooth(double t) { return t * t * (3 - 2 * t); }

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
    to = arrival_distance(aim->abs_magnitude);
    if (from > 0) {
        line = to_star * (1 / from);
    } else {
        line = c.forward;                                      // at the star: back off along the view
        from = 1e-4f;
    }
    if (std::fabs(std::log((double)to / from)) < 1e-4) underway = false;   // already there
}

void trip::step(camera& c, int frames)
{
    if (!underway || frames < 1) return;
    const int done = frame;
    if (!flying) {
        // Each step turns by the share of what is left that keeps the eased
        // schedule; the last step's share is 1.
        frame = std::min(frame + frames, turn_frames);
        const double before = smooth((double)done / turn_frames);
        const double after = smooth((double)frame / turn_frames);
        turn_toward(c, aim->position - c.camera_position, (after - before) / (1 - before));
        if (frame == turn_frames) begin_flight(c);
        return;
    }
    // Distance falls geometrically, so a far star and a near one take the same time.
    frame = std::min(frame + frames, flight_frames);
    const double t = smooth((double)frame / flight_frames);
    const double d = from * std::pow((double)to / from, t);
    c.camera_position = aim->position - line * (float)d;
    turn_toward(c, aim->position - c.camera_position, 1);   // keeps it in the centre
    if (frame == flight_frames) {
        c.velocity = vector(0, 0, 0);
        underway = false;
    }
}

// ---- the frame loop's part ----

traveller::traveller(const star_type* first, std::size_t star_count)
    : building(std::async(std::launch::async, [first, star_count] {
          return std::make_unique<name_index>(first, star_count);
      }))
{
}

const name_index* traveller::names()
{
    if (!index && building.valid() &&
        building.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        index = building.get();
    return index.get();
}

void traveller::wait_for_names()
{
    if (building.valid()) index = building.get();
}

namespace {

// The keys that act while the prompt is closed: the camera's and F.
bool outside_key_held(const frame_input& in)
{
    static const int keys[] = {KEY_E, KEY_ESC, KEY_SPACE, KEY_B, KEY_TAB, KEY_UP, KEY_DOWN, KEY_LEFT, KEY_RIGHT, KEY_F};
    for (int k : keys)
        if (in.is_held(k)) return true;
    return false;
}

} // namespace

int traveller::before_camera(camera& c, const frame_input& in)
{
    const bool was_open = prompt.is_open();
    int first = 0;                                             // the first key to hand on
    if (!was_open && !keys_held_back && in.is_held(KEY_F)) {
        prompt.open_empty();
        first = in.press_count;                                // the F itself is not typed, nor what came with it
        for (int i = 0; i < in.press_count; ++i)
            if (in.presses[i].scancode == KEY_F) { first = i + 1; break; }
    }
    // Every key the buffer gave is seen, open or not, so that keys pressed
    // for flying never pile up for a later prompt.
    for (int i = first; i < in.press_count; ++i) {
        const int scancode = in.presses[i].scancode, ascii = in.presses[i].ascii;
        if (!prompt.is_open()) {
            if (scancode == KEY_F && !keys_held_back) prompt.open_empty();   // what follows is typed
            continue;
        }
        if (prompt.feed(scancode, ascii) == fly_prompt::search) enter(c);
    }
    if (!prompt.is_open()) search_waiting = false;
    if (search_waiting && names()) enter(c);
    if (was_open || prompt.is_open()) keys_held_back = 1;
    else if (keys_held_back && !outside_key_held(in)) keys_held_back = 0;
    const int keys = !keys_held_back;
    if (journey.active() && flight_control_held(c, in, keys)) journey.stop();
    return keys;
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
    const name_index* all = names();
    search_waiting = !all;
    if (!all) {
        prompt.show_note("Reading the names...");
        return;
    }
    const name_match m = all->find(prompt.text());
    if (m.kind != name_match::found) {
        prompt.show(m);
        return;
    }
    prompt.close();
    journey.start(c, m.star);
    trip_started = true;
}

void traveller::draw(BITMAP* buffer, const camera& c) const
{
    const int white = makecol(255, 255, 255);
    if (const star_type* t = journey.target()) {
        const float distance = (t->position - c.camera_position).length();
        textprintf_ex(buffer, font, 10, target_row, white, _textmode, "Target: %s  %f light years", t->name, (double)distance);
    }
    if (!prompt.is_open()) return;
    const int prompt_row = screen_height - 18;                 // the bottom line of text
    const std::vector<std::string>& notes = prompt.notes();
    for (std::size_t i = 0; i < notes.size(); ++i)
        textout_ex(buffer, font, notes[i].c_str(), 10, prompt_row - 10 * (int)(notes.size() - i), white, _textmode);
    textprintf_ex(buffer, font, 10, prompt_row, white, _textmode, "Fly to: %s_", prompt.text().c_str());
}
