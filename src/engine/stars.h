// One star of the catalog, the list they form, and how a star is carried into
// view space and drawn onto the back buffer.
#ifndef STARHOP_STARS_H
#define STARHOP_STARS_H

#include "engine/lens.h"
#include "base/vector.h"

#include <cstddef>
#include <cstdint>

struct BITMAP;
class star_pick;

// What drawing the stars of one frame takes, made once before the walk: where
// to draw, whether bright stars get their names, and the lens (a copy, so the
// walk reads it from close by). Whatever a frame's drawing later needs besides
// goes here, so the walks and their callers stay as they are.
struct draw_context {
    BITMAP* target;
    bool names;
    lens optics;
    star_pick* pick = nullptr;  // the frame after a click: offered every star drawn
    draw_context(BITMAP* target_, const lens& optics_, bool names_) : target(target_), names(names_), optics(optics_) {}
};

// The longest name a record holds, in bytes, and the room it takes with its
// terminator.
constexpr std::size_t star_name_length = 24;
using star_name = char[star_name_length + 1];

class alignas(64) star_type {
public:
    star_name name;             // terminated, zero-filled after the terminator
    char spectral_class[3];     // first three characters, not terminated when full
    vector position;            // light years from Earth, catalog frame
    vector view_position;       // as last seen by the viewer
    float abs_magnitude;        // magnitude at the reference distance
    star_type* next;            // following record of the list, null at the end

    // An unfilled record: zero name and class, positions at the origin, a
    // magnitude that is not a number (so it is never drawn), no successor.
    star_type();

    // Records made with new are handed out one after another from large blocks,
    // one cache line each, so a list built front to back lies front to back in
    // memory and a frame walks it in order. The blocks are never returned; a
    // deleted record's slot is handed out again. Throws std::bad_alloc when
    // memory runs out. Threads may make and delete records at the same time.
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size) noexcept;
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}

    // Fills name (at most star_name_length bytes kept), magnitude, position and the first
    // three class characters; view_position and next stay as they are.
    void star_set(const char* name, float abs_magnitude, vector position, const char* spectral_class);
    void transform_star(matrix view) { view_position = view * position; }
    // Draws the star as seen from the viewer at the origin of view space
    // through the context's lens, with its label when the context asks for names.
    void draw(const draw_context& frame);

private:
    // The rest of draw for a star in front of the viewer that may be bright
    // enough: the screen bounds, the exact magnitude and the pixels.
    void draw_in_front(const draw_context& frame);
};

static_assert(sizeof(star_type) == 64, "a record fills one cache line");

// Gives back records made with new: `first` and each one after it through
// next, to the end of the list or up to and including `last`. One record
// after another, so a list of any length takes no stack. Null gives back
// nothing.
void delete_records(star_type* first, const star_type* last = nullptr) noexcept;

// The star list and the one owner of its records: the first record, held in
// the list itself (so a list costs no allocation and the loader fills it in
// place), and every record linked after it through next, which must have
// been made with new. They are given back when the list goes. A move hands
// the records over and leaves an unfilled first record behind; the first
// record's fields are copied over, so it is not at the same address after a
// move: make groups and indexes of the list once it has its place.
class star_list {
public:
    star_list() = default;
    ~star_list() { clear(); }
    star_list(star_list&& other) noexcept : first_(other.first_) { other.first_ = star_type(); }
    star_list& operator=(star_list&& other) noexcept;
    star_list(const star_list&) = delete;
    star_list& operator=(const star_list&) = delete;

    // Where the list starts, for load_catalog to fill and the frames to walk.
    star_type* first() { return &first_; }
    const star_type* first() const { return &first_; }
    // Gives back every record after the first and leaves the first unfilled.
    void clear() noexcept;

private:
    star_type first_;
};

// Zeroed memory straight from the system, in large pages where it offers them
// (a first write to a fresh page is the dearest part of a large load), for
// memory that lives as long as the program or is owned by a mapped_pages.
// Throws std::bad_alloc when there is none.
void* fresh_pages(std::size_t bytes);

// Fields of `bits` bits (1 to 64) packed one after another in 64-bit words,
// the k-th from bit k * bits: list positions kept in as few bits as a list's
// length needs. A field is written over whatever it held; the bits around it
// stay as they are. A field that ends in the last word reads no further.
inline void put_bits(std::uint64_t* words, std::size_t k, int bits, std::uint64_t value)
{
    const std::size_t at = k * (std::size_t)bits, word = at / 64;
    const int shift = (int)(at % 64);
    const std::uint64_t mask = bits == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << bits) - 1;
    words[word] = (words[word] & ~(mask << shift)) | value << shift;
    if (shift + bits > 64) words[word + 1] = (words[word + 1] & ~(mask >> (64 - shift))) | value >> (64 - shift);
}

inline std::uint64_t get_bits(const std::uint64_t* words, std::size_t k, int bits)
{
    const std::size_t at = k * (std::size_t)bits, word = at / 64;
    const int shift = (int)(at % 64);
    std::uint64_t v = words[word] >> shift;
    if (shift + bits > 64) v |= words[word + 1] << (64 - shift);
    return bits == 64 ? v : v & ((std::uint64_t(1) << bits) - 1);
}

// The fewest bits that number `count` things from 0, at least 1.
inline int bits_to_number(std::size_t count)
{
    int bits = 1;
    while (count > 1 && (count - 1) >> bits > 0) ++bits;
    return bits;
}

// Pages from fresh_pages, given back to the system when their owner goes:
// the one place that unmaps them.
class mapped_pages {
public:
    mapped_pages() = default;
    explicit mapped_pages(std::size_t bytes);  // throws std::bad_alloc
    // Takes over pages from fresh_pages.
    mapped_pages(void* pages, std::size_t bytes) : at_(static_cast<char*>(pages)), bytes_(bytes) {}
    ~mapped_pages() { reset(); }
    mapped_pages(mapped_pages&& other) noexcept;
    mapped_pages& operator=(mapped_pages&& other) noexcept;
    mapped_pages(const mapped_pages&) = delete;
    mapped_pages& operator=(const mapped_pages&) = delete;

    char* data() const { return at_; }
    std::size_t size() const { return bytes_; }
    // Unmaps every whole page past the first `bytes`.
    void keep_first(std::size_t bytes);
    // Gives the whole pages inside [from, to), bytes from data(), back to the
    // system but keeps them mapped: they read as zero again, and writing
    // them takes fresh pages.
    void release(std::size_t from, std::size_t to);
    void reset();

private:
    char* at_ = nullptr;
    std::size_t bytes_ = 0;
};

// For tests of running out of memory where no limit on the process reaches:
// after `allowed` more records made with new or calls of fresh_pages, each
// further one throws std::bad_alloc, as if memory had run out. A negative
// value lifts this (the default).
void fail_allocations_after(long long allowed);

// For tests of who gives records back: while counting is on, records made
// with new add one and records deleted take one away (so records made
// before and deleted while on count below zero). Turning it on starts again
// from zero. Off by default; then nothing is counted.
void count_records(bool on);
long long records_counted();

inline void star_type::draw(const draw_context& frame)
{
    // Rejections that need no logarithm come first; they write nothing, so
    // their order does not change the picture. Both are worked out before the
    // one branch: most stars fail one or the other in no particular order.
    const vector p = view_position;
    const float squared = (p.x * p.x + p.y * p.y) + p.z * p.z;
    if ((p.z > 0.0f) & !surely_too_faint(abs_magnitude, squared, frame.optics.faint_limit())) draw_in_front(frame);
}

#endif
