// Starts the graphics library without a display, in 32-bit colour, so that
// tests can draw into real memory bitmaps and set the key and mouse state.
#ifndef STARHOP_TESTS_ALLEGRO_ENV_H
#define STARHOP_TESTS_ALLEGRO_ENV_H

#include <allegro.h>
#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>

class allegro_env : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0) << allegro_error;
        set_color_depth(32);
    }
};

// A memory bitmap, 640 by 480 unless sized, cleared to 0, freed at the end of the scope.
struct test_bitmap {
    BITMAP* bmp;
    explicit test_bitmap(int w = 640, int h = 480) : bmp(create_bitmap(w, h)) { clear_bitmap(bmp); }
    ~test_bitmap() { destroy_bitmap(bmp); }
    test_bitmap(const test_bitmap&) = delete;
    test_bitmap& operator=(const test_bitmap&) = delete;
    operator BITMAP*() const { return bmp; }
};

// Register once per test program:  static auto* env = register_allegro_env();
inline ::testing::Environment* register_allegro_env()
{
    return ::testing::AddGlobalTestEnvironment(new allegro_env);
}

#endif
