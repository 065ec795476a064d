#include "stars.h"

#include <allegro.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <sys/mman.h>

star_type::star_type()
    : name{}, spectral_class{}, abs_magnitude(std::numeric_limits<float>::quiet_NaN()), next(nullptr)
{
}

star_type::star_type(const char* name_, float abs_magnitude_, vector position_, const char* spectral_class_)
    : next(nullptr)
{
    star_set(name_, abs_magnitude_, position_, spectral_class_);
}

void star_type::star_set(const char* name_, float abs_magnitude_, vector position_, const char* spectral_class_)
{
    std::strncpy(name, name_, sizeof name - 1);   // zero-fills the rest of the 24
    name[sizeof name - 1] = '\0';                 // an over-long name is cut, never unterminated
    abs_magnitude = abs_magnitude_;
    position = position_;
    // strncpy semantics, spelled out: the field is deliberately left
    // unterminated when the class text has three or more characters.
    size_t i = 0;
    for (; i < sizeof spectral_class && spectral_class_[i]; ++i) spectral_class[i] = spectral_class_[i];
    for (; i < sizeof spectral_class; ++i) spectral_class[i] = '\0';
}

// Where new records come from. Blocks grow from a thousand records to a
// million and are never returned; between them a list is contiguous in runs.
// Each thread fills blocks of its own, so the loader's threads can make
// records side by side; a thread's deleted records serve that thread again.
namespace {
struct record_store {
    char* next = nullptr;                      // first free slot of the current block
    char* end = nullptr;
    void* given_back = nullptr;                // deleted slots, newest first, linked through their first bytes
    std::size_t block_records = 1024;
};
thread_local record_store store;
constexpr std::size_t largest_block = std::size_t(1) << 20;  // records
constexpr std::align_val_t record_alignment{alignof(star_type)};

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

void* fresh_pages(std::size_t bytes)
{
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    madvise(p, bytes, MADV_HUGEPAGE);          // advice only: small pages do too
    return p;
}

void* star_type::operator new(std::size_t size)
{
    if (size != sizeof(star_type) || checked_heap) return ::operator new(size, record_alignment);
    if (store.given_back) {
        void* slot = store.given_back;
        store.given_back = *static_cast<void**>(slot);
        return slot;
    }
    if (store.next == store.end) {
        const std::size_t bytes = store.block_records * sizeof(star_type);
        store.next = static_cast<char*>(fresh_pages(bytes));    // may throw
        store.end = store.next + bytes;
        if (store.block_records < largest_block) store.block_records *= 2;
    }
    void* slot = store.next;
    store.next += sizeof(star_type);
    return slot;
}

void star_type::operator delete(void* p, std::size_t size) noexcept
{
    if (!p) return;
    if (size != sizeof(star_type) || checked_heap) return ::operator delete(p, record_alignment);
    *static_cast<void**>(p) = store.given_back;
    store.given_back = p;
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

static const double log_ratio = std::log(magnitude_ratio);

void star_type::draw_in_front(BITMAP* target, int names)
{
    const vector p = view_position;
    int sx, sy;
    p.project(&sx, &sy);
    if (sx < 1 || sx > screen_width - 1 || sy < 1 || sy > screen_height - 1) return;  // off screen
    const float l = p.length();
    const float m = (float)(abs_magnitude + 2.0 * std::log(l / reference_distance) / log_ratio);
    if (!(m < 6.0f)) return;                                    // too faint, or not a number

    const int d = m >= 0.5f ? (int)((m - 0.5) * 42.5) : 0;      // dimming, 0..233, in double
    const int g = 255 - d;                                      // centre grey level
    const int nx[4] = {sx + 1, sx - 1, sx, sx}, ny[4] = {sy, sy, sy + 1, sy - 1};
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
    if (m < 2.0f && names)
        textout_ex(target, font, name, sx + 5, sy - 4, makecol(255, 255, 255), _textmode);
}
