// Pointing at a star: a click told from a drag, the star a click picks from
// those drawn (through the full walk and through the star groups), the marker
// and the block of text for the star picked.
#include "allegro_env.h"
#include "model/selection.h"
#include "engine/star_groups.h"
#include "engine/stars.h"
#include "test_support.h"
#include "app/frame.h"
#include "app/overlay.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

static auto* env = register_allegro_env();

namespace {

// Stars chained in the order added, freed at the end of the scope.
class sky {
public:
    star_type* add(const char* name, vector position, float abs_magnitude, const char* spectral_class = "G2V")
    {
        stars_.emplace_back(new star_type);
        star_type* s = stars_.back().get();
        s->star_set(name, abs_magnitude, position, spectral_class);
        if (stars_.size() > 1) stars_[stars_.size() - 2]->next = s;
        return s;
    }
    // A star that the camera at Earth, looking along +y, draws at pixel
    // (320 + dx, 240 + dy), 10 light years away.
    star_type* at_pixel(const char* name, int dx, int dy, float abs_magnitude)
    {
        const float half = 0.5f;                                  // the middle of the pixel
        return add(name, vector((dx + (dx < 0 ? -half : half)) / 40.0f + (dx < 0 ? 1 / 40.0f : 0), 10,
                                -(dy + (dy < 0 ? -half : half)) / 40.0f - (dy < 0 ? 1 / 40.0f : 0)),
                   abs_magnitude);
    }
    star_type* head() const { return stars_.empty() ? nullptr : stars_.front().get(); }
    int count() const { return (int)stars_.size(); }

private:
    std::vector<std::unique_ptr<star_type>> stars_;
};

camera at_earth() { return camera(); }

// Makes `s` the star picked (none for null), as a click that a frame drawing
// only it at the click answers.
void choose(selection& picked, const star_type* s)
{
    picked.click(0, 0);
    if (s) picked.pick()->offer(s, 0, 0, 0.0f);
    picked.frame_drawn();
}

} // namespace

// ---- which star a click picks ----

TEST(ClickPick, NearestDrawnStarWithinSixPixelsTheBrighterOfTwoAsNear)
{
    struct star { const char* name; int dx, dy; float abs_magnitude; };
    struct {
        const char* what;
        std::vector<star> stars;
        const char* picked;                                       // null: none
    } cases[] = {
        {"the nearer of two", {{"Far", 5, 0, 2}, {"Near", 0, -3, 2}}, "Near"},
        {"right on it", {{"On", 0, 0, 4}, {"Beside", 1, 0, -1}}, "On"},
        {"six pixels out", {{"Edge", 0, 6, 3}}, "Edge"},
        {"just beyond six", {{"Out", 5, 4, 3}, {"Out too", 7, 0, 3}}, nullptr},
        {"as near, the brighter", {{"Faint", 3, 0, 3}, {"Bright", 0, 3, 1}}, "Bright"},
        {"as near, the brighter, drawn first", {{"Bright", -3, 0, 1}, {"Faint", 0, 3, 3}}, "Bright"},
        {"too faint to be drawn", {{"Unseen", 1, 0, 12}, {"Seen", 4, 0, 3}}, "Seen"},
        {"nothing near", {{"Away", 40, 40, 0}}, nullptr},
    };
    for (const auto& k : cases) {
        for (int culled = 0; culled < 2; ++culled) {
            SCOPED_TRACE(std::string(k.what) + (culled ? ", star groups" : ", full walk"));
            sky field;
            for (const star& s : k.stars) field.at_pixel(s.name, s.dx, s.dy, s.abs_magnitude);
            field.add("Behind", vector(0, -10, 0), -5);           // right behind the click's spot
            star_groups groups(field.head());
            const camera c = at_earth();
            test_bitmap frame;
            selection picked;
            const star_type* before = field.head();
            choose(picked, before);                                // a click replaces what was picked
            picked.click(320, 240);
            draw_frame(c, build_view(c), toggles(), field.head(), field.count(), frame, nullptr, culled ? &groups : nullptr, nullptr, &picked);
            if (k.picked) {
                ASSERT_NE(picked.star(), nullptr);
                EXPECT_STREQ(picked.star()->name, k.picked);
            } else {
                EXPECT_EQ(picked.star(), nullptr) << picked.star()->name;
            }
            EXPECT_EQ(picked.pick(), nullptr) << "the click was answered";
            const star_type* now = picked.star();
            draw_frame(c, build_view(c), toggles(), field.head(), field.count(), frame, nullptr, culled ? &groups : nullptr, nullptr, &picked);
            EXPECT_EQ(picked.star(), now) << "frames without a click keep it";
        }
    }
}

// A pick rides along with the drawing: the same pixels with or without one,
// and the same star from the full walk and from the groups, over random
// fields seen from random places.
TEST(ClickPick, ChangesNoPixelAndBothWalksPickTheSameStar)
{
    std::mt19937 random(2024);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random); };
    int picked_some = 0;
    for (int round = 0; round < 12; ++round) {
        sky field;
        for (int i = 0; i < 4000; ++i)
            field.add("S", vector(uniform(-60, 60), uniform(-60, 60), uniform(-60, 60)), uniform(-2, 9),
                      i % 3 ? "K1" : "A0");
        star_groups groups(field.head(), false);
        camera c;
        c.camera_position = vector(uniform(-5, 5), uniform(-5, 5), uniform(-5, 5));
        const int names = round % 2;
        const matrix view = build_view(c);
        for (int click = 0; click < 6; ++click) {
            SCOPED_TRACE("round " + std::to_string(round) + ", click " + std::to_string(click));
            test_bitmap plain, with_full, with_groups;
            draw_context none(plain, c.optics, names);
            for (star_type* s = field.head(); s; s = s->next) {
                s->transform_star(view);
                s->draw(none);
            }
            int x = (int)uniform(0, 640), y = (int)uniform(0, 480);
            for (int tries = 0; click % 2 && tries < 100000 && !getpixel(plain, x, y); ++tries)
                x = (int)uniform(0, 640), y = (int)uniform(0, 480);   // every other click near a lit pixel
            if (click % 2) x += (int)uniform(-5, 5), y += (int)uniform(-5, 5);
            star_pick full(x, y), culled(x, y);
            draw_context through_full(with_full, c.optics, names);
            through_full.pick = &full;
            for (star_type* s = field.head(); s; s = s->next) {
                s->transform_star(view);
                s->draw(through_full);
            }
            draw_context through_groups(with_groups, c.optics, names);
            through_groups.pick = &culled;
            groups.draw(view, through_groups);
            EXPECT_TRUE(same_bitmap(with_full, plain));
            EXPECT_TRUE(same_bitmap(with_groups, plain));
            EXPECT_EQ(culled.best(), full.best());
            picked_some += full.best() != nullptr;
        }
    }
    EXPECT_GT(picked_some, 10) << "the clicks should often land near a star";
}

// ---- what is shown for the star picked ----

TEST(StarFacts, NameClassDistanceAndBothMagnitudesFromWhereTheTravellerIs)
{
    sky field;
    const star_type* s = field.add("Crafted", vector(0, 82.71315f, 0), 1.25f, "G2V");   // 2.535 reference distances
    star_facts f = facts_about(*s, vector(0, 0, 0));
    const std::vector<std::string> from_earth = {"Crafted", "Class G2V", "Distance 82.713150 light years",
                                                 "Magnitude 3.25 seen from here", "Absolute magnitude 1.23 (10 pc)"};
    EXPECT_EQ(std::vector<std::string>(f.text, f.text + star_facts::lines), from_earth);
    f = facts_about(*s, vector(0, 82.71315f - 32.628463f, 0));   // at the reference distance
    EXPECT_STREQ(f.text[2], "Distance 32.628464 light years");
    EXPECT_STREQ(f.text[3], "Magnitude 1.25 seen from here");
    EXPECT_STREQ(f.text[4], "Absolute magnitude 1.23 (10 pc)") << "the same from everywhere";
    const star_type* bare = field.add("", vector(3, 4, 12), -0.5f, "");
    f = facts_about(*bare, vector(0, 0, 0));
    EXPECT_STREQ(f.text[0], "(no name)");
    EXPECT_STREQ(f.text[1], "Class unknown");
    EXPECT_STREQ(f.text[2], "Distance 13.000000 light years");
    EXPECT_STREQ(f.text[4], "Absolute magnitude -0.48 (10 pc)");
}

// The absolute magnitude shown is the astronomers': the catalog's apparent
// magnitude taken to ten parsecs (32.6156 light years) by Pogson's ratio, five
// magnitudes to a factor of 100, whatever the record keeps inside and
// wherever the traveller is. The Sun and Sirius as the shipped catalog has them.
TEST(StarFacts, AbsoluteMagnitudeIsTheCatalogsMagnitudeAtTenParsecs)
{
    std::ifstream shipped(STARHOP_SOURCE_DIR "/data/stars.txt");
    std::string sun, sirius;
    ASSERT_TRUE(std::getline(shipped, sun) && std::getline(shipped, sirius));
    ASSERT_EQ(sun.compare(0, 4, "Sun\t"), 0) << sun;
    ASSERT_EQ(sirius.compare(0, 7, "Sirius\t"), 0) << sirius;
    const std::string text = sun + "\n" + sirius + "\n" +
                             catalog_line("At ten parsecs", "2.00", "32.6156", "G2V", "06 00 00", "+00 00 00") +
                             catalog_line("At a hundred", "7.00", "326.156", "G2V", "12 00 00", "-30 00 00") +
                             catalog_line("At one parsec", "-3.00", "3.26156", "M5", "18 00 00", "+60 00 00") +
                             catalog_line("Far and bright", "12.50", "3261560", "O5", "01 00 00", "+10 00 00");
    const catalog_load loaded = load_catalog_text(text);
    const char* const want[] = {
        "Absolute magnitude 4.83 (10 pc)",      // the Sun: -26.74 at one astronomical unit
        "Absolute magnitude 1.45 (10 pc)",      // Sirius: -1.44 at 8.6012 light years
        "Absolute magnitude 2.00 (10 pc)",
        "Absolute magnitude 2.00 (10 pc)",
        "Absolute magnitude 2.00 (10 pc)",
        "Absolute magnitude -12.50 (10 pc)",
    };
    ASSERT_EQ(loaded.stars.size(), sizeof want / sizeof want[0]) << loaded.errors;
    for (std::size_t i = 0; i < loaded.stars.size(); ++i) {
        const star_type& s = loaded.stars[i];
        for (vector from : {vector(0, 0, 0), vector(40, -3, 7), s.position * 0.5f}) {
            const star_facts f = facts_about(s, from);
            EXPECT_STREQ(f.text[4], want[i]) << s.name << " from " << from.x << "," << from.y << "," << from.z;
        }
    }
}

namespace {

int marker_colour() { return makecol(80, 255, 80); }

// The pixels of the four corner strokes around (x, y).
std::vector<std::pair<int, int>> marker_pixels(int x, int y)
{
    std::vector<std::pair<int, int>> out;
    for (int sx : {-1, 1})
        for (int sy : {-1, 1})
            for (int i = 0; i <= 2; ++i) {
                out.emplace_back(x + sx * (5 - i), y + sy * 5);
                if (i) out.emplace_back(x + sx * 5, y + sy * (5 - i));
            }
    return out;
}

int count_colour(BITMAP* bmp, int colour)
{
    int n = 0;
    for (int y = 0; y < bmp->h; ++y)
        for (int x = 0; x < bmp->w; ++x) n += getpixel(bmp, x, y) == colour;
    return n;
}

} // namespace

TEST(SelectionDrawing, CornerStrokesWhileInFrontAndOnScreenBlockAtTheTopRight)
{
    sky field;
    const star_type* s = field.at_pixel("Marked", 30, -20, 2);
    camera c = at_earth();
    selection picked;
    choose(picked, s);
    test_bitmap got, want;
    draw_selection(got, c, build_view(c), picked);
    for (const auto& p : marker_pixels(350, 220)) putpixel(want, p.first, p.second, marker_colour());
    const star_facts f = facts_about(*s, c.camera_position);
    int widest = 0;
    for (const char* line : f.text) widest = std::max(widest, text_length(font, line));
    EXPECT_EQ(widest, 8 * 31);                                    // "Absolute magnitude ... (10 pc)"
    for (int i = 0; i < star_facts::lines; ++i)
        textout_ex(want, font, f.text[i], 640 - 10 - widest, 70 + 10 * i, makecol(255, 255, 255), 0);
    EXPECT_TRUE(same_bitmap(got, want));
    EXPECT_EQ(count_colour(got, marker_colour()), 20);

    // Turned away, the star is behind: the block stays, the marker goes.
    c.forward = -c.forward;
    c.right = c.down & c.forward;
    test_bitmap behind;
    draw_selection(behind, c, build_view(c), picked);
    EXPECT_EQ(count_colour(behind, marker_colour()), 0);
    EXPECT_GT(count_colour(behind, makecol(255, 255, 255)), 100);

    // In front but off the screen: no marker either.
    const star_type* aside = field.add("Aside", vector(9, 10, 0), 2);   // 360 pixels right of the centre
    choose(picked, aside);
    c = at_earth();
    test_bitmap off;
    draw_selection(off, c, build_view(c), picked);
    EXPECT_EQ(count_colour(off, marker_colour()), 0);

    choose(picked, nullptr);                                       // nothing picked: nothing drawn
    test_bitmap empty, black;
    draw_selection(empty, c, build_view(c), picked);
    EXPECT_TRUE(same_bitmap(empty, black));
}
