#include "engine/stars.h"

#include "engine/star_pick.h"

#include <algorithm>
#include <allegro.h>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <utility>
#include <vector>

star_type::star_type()
    : name{}, spectral_class{}, abs_magnitude(std::numeric_limits<float>::quiet_NaN()), next(nullptr)
{
}

void star_type::star_set(const char* name_, float abs_magnitude_, vector position_, const char* spectral_class_)
{
    std::strncpy(name, name_, sizeof name - 1);   // zero-fills the rest of the name
    name[sizeof name - 1] = '\0';                 // an over-long name is cut, never unterminated
    abs_magnitude = abs_magnitude_;
    position = position_;
    // strncpy semantics, spelled out: the field is deliberately left
    // unterminated when the class text has three or more characters.
    size_t i = 0;
    for (; i < sizeof spectral_class && spectral_class_[i]; ++i) spectral_class[i] = spectral_class_[i];
    for (; i < sizeof spectral_class; ++i) spectral_class[i] = '\0';
}

// Where new records come from. Blocks from the system grow from a thousand
// records to a million and are never returned; threads take stretches of
// them (spans) to hand out one slot after another, so a list one thread
// builds front to back lies front to back in memory in long runs, and the
// loader's threads make records side by side without waiting on each other.
// A deleted slot is handed out again, newest first, by the thread that
// deleted it; a thread with many of them passes them on in batches, so any
// thread can reuse them, and a thread that ends passes on what it holds.
namespace {
constexpr std::size_t largest_block = std::size_t(1) << 20;  // records
constexpr std::size_t span_records = std::size_t(1) << 14;
constexpr std::size_t batch_records = std::size_t(1) << 12;
constexpr std::align_val_t record_alignment{alignof(star_type)};

// Deleted slots, linked through their first bytes.
struct slot_chain {
    void* head = nullptr;
    void* tail = nullptr;
    std::size_t count = 0;

    void push(void* slot)
    {
        *static_cast<void**>(slot) = head;
        head = slot;
        if (!tail) tail = slot;
        ++count;
    }
    void* pop()
    {
        void* slot = head;
        head = *static_cast<void**>(slot);
        if (--count == 0) tail = nullptr;
        return slot;
    }
};

// What all threads share.
struct shared_store {
    std::mutex lock;
    char* next = nullptr;                      // the current block's rest
    char* end = nullptr;
    std::size_t block_records = 1024;
    std::vector<slot_chain> batches;           // slots passed on by threads
    std::atomic<std::size_t> batch_count{0};
};
shared_store& shared()
{
    static shared_store* const store = new shared_store;   // lives as long as the records
    return *store;
}

void pass_on(slot_chain& chain)
{
    if (chain.count == 0) return;
    shared_store& s = shared();
    std::lock_guard<std::mutex> hold(s.lock);
    s.batches.push_back(chain);
    s.batch_count = s.batches.size();
    chain = slot_chain();
}

// One thread's span and deleted slots.
struct thread_store {
    char* next = nullptr;
    char* end = nullptr;
    slot_chain given_back;

    ~thread_store()
    {
        for (; next != end; next += sizeof(star_type)) given_back.push(next);
        pass_on(given_back);
    }

    void* take()
    {
        if (given_back.count) return given_back.pop();
        shared_store& s = shared();
        if (next == end && s.batch_count.load(std::memory_order_relaxed) > 0) {
            std::lock_guard<std::mutex> hold(s.lock);
            if (!s.batches.empty()) {
                given_back = s.batches.back();
                s.batches.pop_back();
                s.batch_count = s.batches.size();
                return given_back.pop();
            }
        }
        if (next == end) {
            std::lock_guard<std::mutex> hold(s.lock);
            if (s.next == s.end) {
                const std::size_t bytes = s.block_records * sizeof(star_type);
                s.next = static_cast<char*>(fresh_pages(bytes));    // may throw
                s.end = s.next + bytes;
                if (s.block_records < largest_block) s.block_records *= 2;
            }
            next = s.next;
            end = std::min(s.end, s.next + span_records * sizeof(star_type));
            s.next = end;
        }
        void* slot = next;
        next += sizeof(star_type);
        return slot;
    }

    void give_back(void* slot)
    {
        given_back.push(slot);
        if (given_back.count >= 2 * batch_records) {                // keep some, pass on the oldest
            slot_chain older;
            void* cut = given_back.head;
            for (std::size_t i = 1; i < batch_records; ++i) cut = *static_cast<void**>(cut);
            older.head = *static_cast<void**>(cut);
            older.tail = given_back.tail;
            older.count = given_back.count - batch_records;
            *static_cast<void**>(cut) = nullptr;
            given_back.tail = cut;
            given_back.count = batch_records;
            pass_on(older);
        }
    }
};
thread_local thread_store store;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool checked_heap = true;            // AddressSanitizer then sees every record's bounds
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool checked_heap = true;
#else
constexpr bool checked_heap = false;
#endif
#else
constexpr bool checked_heap = false;
#endif
} // namespace

namespace {
std::atomic<long long> allocations_left{-1};   // negative: no trial under way

// Whether the allocation a test has set to fail is this one.
inline void count_allocation()
{
    if (allocations_left.load(std::memory_order_relaxed) < 0) return;
    if (allocations_left.fetch_sub(1) <= 0) {
        allocations_left = 0;
        throw std::bad_alloc();
    }
}
} // namespace

void fail_allocations_after(long long allowed) { allocations_left = allowed < 0 ? -1 : allowed; }

namespace {
std::atomic<bool> counting{false};             // read by every new and delete: a relaxed load of a quiet line
std::atomic<long long> counted{0};
} // namespace

void count_records(bool on)
{
    counted = 0;
    counting = on;
}

long long records_counted() { return counted; }

void* fresh_pages(std::size_t bytes)
{
    count_allocation();
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    madvise(p, bytes, MADV_HUGEPAGE);          // advice only: small pages do too
    return p;
}

mapped_pages::mapped_pages(std::size_t bytes) : at_(static_cast<char*>(fresh_pages(bytes))), bytes_(bytes) {}

mapped_pages::mapped_pages(mapped_pages&& other) noexcept
    : at_(std::exchange(other.at_, nullptr)), bytes_(std::exchange(other.bytes_, 0))
{
}

mapped_pages& mapped_pages::operator=(mapped_pages&& other) noexcept
{
    if (this == &other) return *this;
    reset();
    at_ = std::exchange(other.at_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
    return *this;
}

namespace {
constexpr std::size_t page_bytes = 4096;
std::size_t page_up(std::size_t b) { return (b + page_bytes - 1) / page_bytes * page_bytes; }
} // namespace

void mapped_pages::keep_first(std::size_t bytes)
{
    const std::size_t from = page_up(bytes);
    if (!at_ || from >= bytes_) return;                         // nothing whole to give
    munmap(at_ + from, bytes_ - from);
    bytes_ = from;
}

void mapped_pages::release(std::size_t from, std::size_t to)
{
    from = page_up(from);
    to = std::min(to, bytes_) / page_bytes * page_bytes;
    if (!at_ || from >= to) return;
    madvise(at_ + from, to - from, MADV_DONTNEED);              // private and anonymous: zero when read again
}

void mapped_pages::reset()
{
    if (at_ && bytes_ > 0) munmap(at_, bytes_);
    at_ = nullptr;
    bytes_ = 0;
}

void* star_type::operator new(std::size_t size)
{
    count_allocation();
    void* const p = size != sizeof(star_type) || checked_heap ? ::operator new(size, record_alignment) : store.take();
    if (counting.load(std::memory_order_relaxed)) counted.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void star_type::operator delete(void* p, std::size_t size) noexcept
{
    if (!p) return;
    if (counting.load(std::memory_order_relaxed)) counted.fetch_sub(1, std::memory_order_relaxed);
    if (size != sizeof(star_type) || checked_heap) return ::operator delete(p, record_alignment);
    store.give_back(p);
}

void delete_records(star_type* first, const star_type* last) noexcept
{
    while (first) {
        star_type* const following = first == last ? nullptr : first->next;
        delete first;
        first = following;
    }
}

void star_list::clear() noexcept
{
    delete_records(first_.next);
    first_ = star_type();
}

star_list& star_list::operator=(star_list&& other) noexcept
{
    if (this == &other) return *this;
    clear();
    first_ = other.first_;
    other.first_ = star_type();
    return *this;
}

// Arm colour of a bright star by its class letter, exactly as stored: any
// other character (lower case, a digit, the zero character) gets white.
static int class_colour(char letter)
{
    switch (letter) {
    case 'O': return makecol(200, 200, 255);
    case 'B': return makecol(150, 150, 255);
    case 'A': return makecol(150, 150, 200);
    case 'F': return makecol(175, 175, 150);
    case 'G': return makecol(200, 200, 100);
    case 'K': return makecol(225, 150,  50);
    case 'M': return makecol(255,   0,   0);
    case 'W': return makecol(255, 255, 255);
    default:  return makecol(255, 255, 255);
    }
}

void star_type::draw_in_front(const draw_context& frame)
{
    const vector p = view_position;
    int sx, sy;
    frame.optics.project(p, &sx, &sy);
    if (!frame.optics.on_screen(sx, sy)) return;                // off screen
    const float m = frame.optics.exposed(lens::seen_magnitude(abs_magnitude, p.length()));
    if (!frame.optics.shows(m)) return;                         // too faint, or not a number

    const int d = m >= 0.5f ? (int)(((double)m - 0.5) * 42.5) : 0;      // dimming, 0..233, in double
    const int g = 255 - d;                                      // centre grey level
    const int nx[4] = {sx + 1, sx - 1, sx, sx}, ny[4] = {sy, sy, sy + 1, sy - 1};
    BITMAP* const target = frame.target;
    putpixel(target, sx, sy, makecol(g, g, g));
    if (m >= 1.5f) {
        const int h = g / 4;                                    // halo grey level
        const int halo = makecol(h, h, h);
        for (int i = 0; i < 4; ++i)                             // never over a lit pixel
            if (getpixel(target, nx[i], ny[i]) == 0) putpixel(target, nx[i], ny[i], halo);
    } else {
        const int arm = class_colour(spectral_class[0]);
        for (int i = 0; i < 4; ++i) putpixel(target, nx[i], ny[i], arm);
    }
    if (m < 2.0f && frame.names)
        textout_ex(target, font, name, sx + 5, sy - 4, makecol(255, 255, 255), _textmode);
    if (frame.pick) frame.pick->offer(this, sx, sy, m);         // only the frame after a click
}
