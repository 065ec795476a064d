// The pointer the program draws: the library's own default arrow at every
// colour depth and wherever it stands, clipped at the edges; shown over a
// picture without staying in it.
#include "base/pointer.h"
#include "allegro_env.h"
#include "test_support.h"

#include <allegro.h>
#include <gtest/gtest.h>

static auto* env = register_allegro_env();

namespace {

// The library's default pointer at the current colour depth, as its mouse
// code makes it (it makes it only for a mouse driver: the one for no mouse).
BITMAP* library_arrow()
{
    mouse_driver = &mousedrv_none;
    set_mouse_sprite(nullptr);
    mouse_driver = nullptr;
    return mouse_sprite;
}

// A bitmap of the current depth with a pattern in every pixel, so that
// black and untouched pixels tell apart.
BITMAP* patterned(int w, int h)
{
    BITMAP* bmp = create_bitmap(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) putpixel(bmp, x, y, makecol((x * 7) & 255, (y * 5) & 255, ((x + y) * 3) & 255));
    return bmp;
}

} // namespace

// What the library drew when the pointer stood at (x, y): its arrow with the
// sprite's focus at the position, clipped to the bitmap.
TEST(Pointer, SameAsTheLibrarysArrowAtEveryDepthAndPlace)
{
    const struct { int x, y; } places[] = {
        {100, 80}, {0, 0}, {1, 1}, {-3, 5}, {5, -3}, {199, 149}, {190, 140}, {195, 60}, {60, 148}, {-20, -20},
    };
    for (int depth : {32, 24, 16, 15}) {
        set_color_depth(depth);
        BITMAP* const sprite = library_arrow();
        ASSERT_NE(sprite, nullptr);
        ASSERT_EQ(bitmap_color_depth(sprite), depth);
        BITMAP* const plain = patterned(200, 150);
        draw_pointer(plain, 100, 80);
        BITMAP* const untouched = patterned(200, 150);
        EXPECT_GT(pixels_differing(plain, untouched), 0) << "no arrow drawn";
        destroy_bitmap(plain);
        destroy_bitmap(untouched);
        for (const auto& p : places) {
            BITMAP* want = patterned(200, 150);
            BITMAP* got = patterned(200, 150);
            draw_sprite(want, sprite, p.x - mouse_x_focus, p.y - mouse_y_focus);
            draw_pointer(got, p.x, p.y);
            EXPECT_EQ(pixels_differing(got, want), 0) << depth << "-bit at (" << p.x << ", " << p.y << ")";
            destroy_bitmap(want);
            destroy_bitmap(got);
        }
    }
    set_color_depth(32);
}

// The screen gets the picture with the arrow over it; the picture keeps none
// of it. Without the pointer, the picture alone.
TEST(Pointer, ShownOverThePictureWithoutStayingInIt)
{
    BITMAP* const picture = patterned(200, 150);
    BITMAP* const before = patterned(200, 150);
    test_bitmap shown(200, 150), want(200, 150);
    for (const auto& p : {std::pair<int, int>{40, 30}, {195, 145}, {0, 0}}) {
        clear_bitmap(shown);
        show_picture(picture, shown, true, p.first, p.second);
        blit(before, want, 0, 0, 0, 0, 200, 150);
        draw_pointer(want, p.first, p.second);
        EXPECT_TRUE(same_bitmap(shown, want)) << "at (" << p.first << ", " << p.second << ")";
        EXPECT_TRUE(same_bitmap(picture, before)) << "the arrow stayed in the picture";
    }
    clear_bitmap(shown);
    show_picture(picture, shown, false, 40, 30);
    EXPECT_TRUE(same_bitmap(shown, before));
    EXPECT_TRUE(same_bitmap(picture, before));
    destroy_bitmap(picture);
    destroy_bitmap(before);
}

// The library says the pointer is on the screen when there is no mouse at
// all; the program draws no pointer then.
TEST(Pointer, NoneWithoutAMouse)
{
    ASSERT_EQ(mouse_driver, nullptr);
    EXPECT_FALSE(pointer_over_window());
}
