#include "model/travel.h"

#include "engine/lens.h"
#include "engine/stars.h"
#include "app/viewer.h"

#include <algorithm>
#include <allegro.h>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <malloc.h>
#include <memory>
#include <new>
#include <system_error>

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

namespace {

// The search form of a record's name, zero-padded; false when it has none.
inline bool key_of(const star_type* s, name_index::key& k)
{
    std::memset(k, 0, sizeof k);
    return fold(s->name, k, sizeof k, true) > 0;
}

constexpr std::size_t sample_step = 256;           // one named star in this many foretells the batches
constexpr std::size_t max_batches = 1024;          // sorted one after another

// One named star while its batch is sorted.
struct sort_entry {
    name_index::key k;
    std::uint32_t index;                           // list position
};

bool before(const sort_entry& a, const sort_entry& b)
{
    const int c = std::memcmp(a.k, b.k, sizeof a.k);
    return c != 0 ? c < 0 : a.index < b.index;     // equal names in catalog order
}

} // namespace

// The index is made in batches of names, so that beside the list positions
// it keeps, no more than one batch's names are held at a time: a sample of
// the names cuts the range of names into batches, a walk counts each batch's
// stars, a second writes each named star's list position into its batch's
// stretch of the index, and each batch in turn reads its names again from
// the records, is sorted and written back in name order.
name_index::name_index(const star_type* first, std::size_t)
{
    // First walk: the runs of the list in memory and a sample of the names.
    std::vector<sort_entry> sample;
    std::size_t length = 0, named = 0;
    for (const star_type* s = first; s; s = s->next, ++length) {
        if (runs_.empty() || runs_.back().first + (length - runs_.back().first_index) != s)
            runs_.push_back({length, s});
        sort_entry e;
        if (!key_of(s, e.k)) continue;                             // no name, or only spaces
        if (named++ % sample_step == 0) {
            e.index = (std::uint32_t)length;
            sample.push_back(e);
        }
    }
    if (named == 0) return;
    if (length > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();   // beyond any catalog

    // The batches' bounds: every so many sampled names, the first of each
    // later batch.
    std::sort(sample.begin(), sample.end(), before);
    const std::size_t batches = std::min<std::size_t>(max_batches, sample.size());
    std::vector<sort_entry> bound;
    bound.reserve(batches);
    for (std::size_t b = 1; b < batches; ++b) {
        sort_entry e = sample[b * sample.size() / batches];
        e.index = 0;                                               // a name's every star in one batch
        bound.push_back(e);
    }
    std::vector<sort_entry>().swap(sample);
    auto batch_of = [&bound](const star_type* s, std::size_t& b) {
        sort_entry e;
        if (!key_of(s, e.k)) return false;
        e.index = 0;
        b = std::upper_bound(bound.begin(), bound.end(), e, before) - bound.begin();
        return true;
    };

    // Second walk: each batch's size, and so where its stretch begins.
    std::vector<std::size_t> start(batches + 1);
    {
        std::size_t b = 0;
        for (const star_type* s = first; s; s = s->next)
            if (batch_of(s, b)) ++start[b + 1];
    }
    std::size_t largest = 1;
    for (std::size_t b = 0; b < batches; ++b) {
        largest = std::max(largest, start[b + 1]);
        start[b + 1] += start[b];
    }

    // Third walk: each named star's list position into its batch's stretch,
    // in list order.
    bits_ = bits_to_number(length);
    count_ = named;
    order_ = mapped_pages(((named * (std::size_t)bits_ + 63) / 64 + 1) * sizeof(std::uint64_t));
    std::uint64_t* const words = reinterpret_cast<std::uint64_t*>(order_.data());
    {
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        std::size_t n = 0, b = 0;
        for (const star_type* s = first; s; s = s->next, ++n)
            if (batch_of(s, b)) put_bits(words, next[b]++, bits_, n);
    }
    mapped_pages scratch(largest * sizeof(sort_entry));
    sort_entry* const batch = reinterpret_cast<sort_entry*>(scratch.data());

    // Each batch: its names read again, sorted, the positions written back.
    names_before_.reserve(named / block + 1);
    std::size_t names = 0;
    key last;
    for (std::size_t b = 0; b < batches; ++b) {
        const std::size_t from = start[b], n = start[b + 1] - from;
        std::size_t r = 0;
        for (std::size_t e = 0; e < n; ++e) {
            const std::size_t index = (std::size_t)get_bits(words, from + e, bits_);
            while (r + 1 < runs_.size() && runs_[r + 1].first_index <= index) ++r;   // ascending within a batch
            key_of(runs_[r].first + (index - runs_[r].first_index), batch[e].k);
            batch[e].index = (std::uint32_t)index;
        }
        std::sort(batch, batch + n, before);
        for (std::size_t e = 0; e < n; ++e) {
            const std::size_t written = from + e;
            if (written % block == 0) names_before_.push_back((std::uint32_t)names);
            if (written == 0 || std::memcmp(batch[e].k, last, sizeof last) != 0) ++names;
            std::memcpy(last, batch[e].k, sizeof last);
            put_bits(words, written, bits_, batch[e].index);
        }
    }
    if (named % block == 0) names_before_.push_back((std::uint32_t)names);
}

std::size_t name_index::bytes() const
{
    return runs_.capacity() * sizeof(run) + order_.size() + names_before_.capacity() * sizeof(std::uint32_t);
}

std::size_t name_index::names_up_to(std::size_t k) const
{
    std::size_t names = names_before_[k / block];
    key a, b;
    for (std::size_t j = k - k % block; j < k; ++j) {
        key_of(star(j), a);
        if (j == 0 || (key_of(star(j - 1), b), std::memcmp(a, b, sizeof a) != 0)) ++names;
    }
    return names;
}

std::size_t name_index::position(std::size_t k) const
{
    return (std::size_t)get_bits(reinterpret_cast<const std::uint64_t*>(order_.data()), k, bits_);
}

const star_type* name_index::record(std::size_t index) const
{
    const auto r = std::upper_bound(runs_.begin(), runs_.end(), index,
                                    [](std::size_t i, const run& x) { return i < x.first_index; }) - 1;
    return r->first + (index - r->first_index);
}

std::size_t name_index::search(const key& want, std::size_t from, std::size_t to, bool after) const
{
    while (from < to) {
        const std::size_t mid = from + (to - from) / 2;
        key k;
        key_of(star(mid), k);
        const int c = std::memcmp(k, want, sizeof k);
        if (c < 0 || (after && c == 0)) from = mid + 1;
        else to = mid;
    }
    return from;
}

name_match name_index::find(const std::string& text) const
{
    name_match m;
    const std::string want = search_form(text.c_str());
    if (want.empty()) return m;
    m.kind = name_match::none;
    if (want.size() > (std::size_t)key_size) return m;           // longer than any name

    key probe;
    std::memset(probe, 0, sizeof probe);
    std::memcpy(probe, want.data(), want.size());
    const std::size_t low = search(probe, 0, count_, false);     // the zero padding sorts first
    key k;
    if (low != count_ && key_of(star(low), k) && std::memcmp(k, probe, key_size) == 0) {
        const std::size_t high = search(probe, low, count_, true);
        m.kind = name_match::found;
        m.star = star(low);
        const std::string written = folded(text.c_str(), false);
        for (std::size_t e = low; e != high; ++e)                // the spelling typed wins
            if (folded(star(e)->name, false) == written) { m.star = star(e); break; }
        return m;
    }

    // Names that start with the text follow the probe; stepping from one name
    // to the next by binary search skips over stars that share a name.
    std::vector<const star_type*> names;
    for (std::size_t e = low; e != count_ && names.size() <= (std::size_t)listed;) {
        key_of(star(e), k);
        if (std::memcmp(k, want.data(), want.size()) != 0) break;
        names.push_back(star(e));
        e = search(k, e, count_, true);
    }
    if (names.empty()) return m;
    if (names.size() == 1) {
        m.kind = name_match::found;
        m.star = names[0];
        return m;
    }
    m.kind = name_match::several;
    if (names.size() > (std::size_t)listed) {                  // count the rest without visiting them
        key beyond;                                             // above every name that starts with the text
        std::memset(beyond, 0xff, sizeof beyond);
        std::memcpy(beyond, want.data(), want.size());
        const std::size_t high = search(beyond, low, count_, false);
        m.more = names_up_to(high) - names_up_to(low) - listed;
    }
    names.resize(std::min(names.size(), (std::size_t)listed));
    m.candidates = names;
    return m;
}

// ---- the prompt ----

void fly_prompt::open_empty()
{
    open = true;
    narrowing = false;
    typed.clear();
    shown.clear();
    listed.clear();
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
    case KEY_UP:
    case KEY_DOWN:
        if (listed.empty()) return nothing;
        if (scancode == KEY_UP && highlight > 0) --highlight;
        if (scancode == KEY_DOWN && highlight + 1 < listed.size()) ++highlight;
        compose_list();
        return nothing;
    case KEY_BACKSPACE:
        if (typed.empty()) return nothing;
        typed.pop_back();
        break;
    default:
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
    to = std::min(arrival_distance(aim->abs_magnitude), from);   // never farther than it began
    if (!(from > to) || std::fabs(std::log((double)to / (double)from)) < 1e-4) {
        underway = false;                                      // there already, or nearer: the turn was all
        return;
    }
    line = to_star * (1 / from);
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
    turn_toward(c, aim->position - c.camera_position, 1);   // keeps it in the centre
    if (frame == flight_frames) {
        c.velocity = vector(0, 0, 0);
        underway = false;
    }
}

// ---- the frame loop's part ----

namespace {

// The index made on a thread of its own; null when memory runs out, also for
// the thread itself.
std::future<std::unique_ptr<name_index>> index_later(const star_type* first, std::size_t star_count)
{
    try {
        return std::async(std::launch::async, [first, star_count]() -> std::unique_ptr<name_index> {
            try {
                std::unique_ptr<name_index> made = std::make_unique<name_index>(first, star_count);
                malloc_trim(0);                                // the sample's and the batches' heap goes back
                return made;
            } catch (const std::bad_alloc&) {
                return nullptr;                                // the prompt says so; the rest goes on
            }
        });
    } catch (const std::system_error&) {
        std::promise<std::unique_ptr<name_index>> none;
        none.set_value(nullptr);
        return none.get_future();
    }
}

} // namespace

traveller::traveller(const star_type* first, std::size_t star_count) : building(index_later(first, star_count)) {}

const name_index* traveller::names()
{
    if (!index && building.valid() &&
        building.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        take_names();
    return index.get();
}

void traveller::wait_for_names()
{
    if (building.valid()) take_names();
}

void traveller::take_names()
{
    index = building.get();
    no_memory = !index;
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

int traveller::before_camera(camera& c, const frame_input& in, const star_type* selected)
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
            if (scancode == KEY_G && !keys_held_back && selected) go_to(c, selected);
            continue;
        }
        const fly_prompt::event e = prompt.feed(scancode, ascii);
        if (e == fly_prompt::search) enter(c);
        if (e == fly_prompt::narrow) narrow();
    }
    if (!prompt.is_open()) search_waiting = false;
    if (search_waiting && (names() || no_memory)) enter(c);
    if (was_open || prompt.is_open()) keys_held_back = 1;
    else if (keys_held_back && !outside_key_held(in)) keys_held_back = 0;
    const int keys = !keys_held_back;
    if (journey.active() && flight_control_held(c, in, keys)) journey.stop();
    if (keys && in.is_held(KEY_E)) journey.forget();           // home: no target any more
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

void traveller::draw(BITMAP* buffer, const camera& c) const
{
    const int white = makecol(255, 255, 255);
    if (const star_type* t = journey.target()) {
        const float distance = (t->position - c.camera_position).length();
        textprintf_ex(buffer, font, 10, target_row, white, _textmode, "Target: %s  %f light years", t->name, (double)distance);
    }
    if (!prompt.is_open()) return;
    const int prompt_row = prompt_row_of(buffer);
    const std::vector<std::string>& notes = prompt.notes();
    for (std::size_t i = 0; i < notes.size(); ++i)
        textout_ex(buffer, font, notes[i].c_str(), 10, prompt_row - 10 * (int)(notes.size() - i), white, _textmode);
    textprintf_ex(buffer, font, 10, prompt_row, white, _textmode, "Fly to: %s_", prompt.text().c_str());
}
