// Star drawing on arbitrary records and camera states: the input's bytes become
// raw floats (so not-a-number, infinities, huge, tiny and subnormal values all
// turn up), a camera (a raw view matrix, or camera axes and position carried
// through the flight controls and the view matrix they build) and a list of
// stars, which one frame transforms and draws into a 640 by 480 memory bitmap.
//
// The library's drawing code is not instrumented, and a pixel written just
// past the end of one row of a plain bitmap lands in the next row, so a write
// outside the bitmap would go unseen by the sanitizers. The frame is therefore
// drawn into a 640 by 480 bitmap cut out of a larger one whose border holds a
// value that no drawing produces, and the border must stay intact.
//
// The stars are then drawn once more on their own, by the program's drawing
// and by the plain procedure kept beside the tests; the two pictures must be
// the same pixel for pixel, whatever shortcuts the program's drawing takes.
#include "reference_draw.h"
#include "engine/stars.h"
#include "app/controls.h"
#include "app/frame.h"

#include <allegro.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int border = 16;                          // pixels of guard around the picture
const uint32_t guard = 0x5a0c0ffe;              // no 32-bit colour has a high byte
const int most_stars = 256;

BITMAP* framed;                                 // the picture plus the guard border
BITMAP* inner;                                  // the 640 by 480 picture inside it
BITMAP* plain;                                  // the plain procedure's picture

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "draw_fuzz: %s\n", what);
    std::abort();
}

// Takes values from the front of the input; past its end, zeros.
class input {
public:
    input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t left() const { return size_ - pos_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    float number()
    {
        uint8_t b[4] = {byte(), byte(), byte(), byte()};
        float f;
        std::memcpy(&f, b, sizeof f);
        return f;
    }
    vector point() { return vector(number(), number(), number()); }
    int in_range(int lowest, int highest) { return lowest + (byte() | byte() << 8) % (highest - lowest + 1); }

private:
    const uint8_t* data_;
    size_t size_, pos_ = 0;
};

// Holds the keys and buttons the flight controls read, for one frame.
frame_input press(uint8_t keys, int buttons, int x, int y)
{
    const int which[8] = {KEY_E, KEY_ESC, KEY_SPACE, KEY_B, KEY_UP, KEY_DOWN, KEY_LEFT, KEY_RIGHT};
    frame_input held;
    for (int i = 0; i < 8; ++i) held.hold(which[i], (keys >> i) & 1);
    held.buttons = buttons;
    held.pointer_x = x;
    held.pointer_y = y;
    return held;
}

matrix make_camera(input& in, uint8_t flags, camera& c)
{
    if (flags & 2) {                                             // a raw view matrix
        matrix view;
        for (float& v : view.m) v = in.number();
        c.camera_position = in.point();
        return view;
    }
    c.camera_position = in.point();
    c.velocity = in.point();
    c.forward = in.point();
    c.down = in.point();
    c.right = in.point();
    c.homing = (flags >> 4) & 1;
    c.last_mouse_x = in.in_range(-1, screen_width - 1);
    c.last_mouse_y = in.in_range(0, screen_height - 1);
    for (int step = (flags >> 2) & 3; step > 0; --step) {
        const uint8_t keys = in.byte();
        const int buttons = in.byte() & 3;
        update_camera(c, flight_of(press(keys, buttons, in.in_range(0, screen_width - 1), in.in_range(0, screen_height - 1))));
    }
    return build_view(c);
}

star_type* make_stars(input& in, star_list& list, int& count)
{
    star_type* head = list.first();                              // may stay unfilled
    star_type* last = nullptr;
    count = 0;
    while (in.left() >= 18 && count < most_stars) {
        const size_t name_length = in.byte() % 32;
        char spectral_class[2] = {(char)in.byte(), 0};
        const float abs_magnitude = in.number();
        const vector position = in.point();
        char name[32] = {};
        for (size_t i = 0; i < name_length; ++i) name[i] = (char)in.byte();
        star_type* s = last ? new star_type : head;
        s->star_set(name, abs_magnitude, position, spectral_class);
        if (last) last->next = s;
        last = s;
        ++count;
    }
    return head;
}

void check_border()
{
    for (int y = 0; y < framed->h; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(framed->line[y]);
        const bool inside_rows = y >= border && y < border + screen_height;
        for (int x = 0; x < framed->w; ++x) {
            if (inside_rows && x == border) x += screen_width;
            if (row[x] != guard) fail("a pixel was written outside the bitmap");
        }
    }
}

// The stars alone, as transformed for the frame, by both drawings.
void compare_with_plain_drawing(star_type* stars, bool names)
{
    clear_bitmap(inner);
    clear_bitmap(plain);
    const draw_context frame(inner, lens(), names);
    for (star_type* s = stars; s; s = s->next) {
        s->draw(frame);
        reference::draw(*s, plain, names);
    }
    check_border();
    for (int y = 0; y < screen_height; ++y)
        if (std::memcmp(inner->line[y], plain->line[y], screen_width * sizeof(uint32_t)))
            fail("the stars came out differently from the plain drawing");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) fail(allegro_error);
    set_color_depth(32);
    framed = create_bitmap(screen_width + 2 * border, screen_height + 2 * border);
    inner = framed ? create_sub_bitmap(framed, border, border, screen_width, screen_height) : nullptr;
    plain = create_bitmap(screen_width, screen_height);
    if (!inner || !plain || bitmap_color_depth(framed) != 32) fail("no 32-bit memory bitmaps");
    clear_to_color(framed, guard);
    check_border();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    input in(data, size);
    const uint8_t flags = in.byte();
    camera c;
    const matrix view = make_camera(in, flags, c);
    toggles on;
    on.names = flags & 1;
    int count;
    star_list list;
    star_type* stars = make_stars(in, list, count);

    draw_frame(c, view, on, stars, count, inner);
    check_border();
    compare_with_plain_drawing(stars, on.names);
    return 0;
}
