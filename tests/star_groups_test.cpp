// Frames drawn through the star groups, which pass over whole groups of stars,
// must be the frames of the full walk, pixel for pixel: random catalogs of
// many shapes, seen by random cameras, names on and off.
#include "allegro_env.h"
#include "test_support.h"
#include "engine/star_groups.h"
#include "engine/stars.h"
#include "app/frame.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include <sys/mman.h>

static auto* env = register_allegro_env();

namespace {

// A camera with the view matrix a frame draws it through, which a test may
// bend as a long flight's rounding can.
struct viewed : camera {
    matrix view = build_view(*this);
};


const float inf = std::numeric_limits<float>::infinity();
const float not_a_number = std::numeric_limits<float>::quiet_NaN();

int lit(BITMAP* b)
{
    int n = 0;
    for (int y = 40; y < b->h; ++y)                          // below the status text
        for (int x = 0; x < b->w; ++x) n += getpixel(b, x, y) != 0;
    return n;
}

// A star list; with `scattered`, its records are taken from the store out of
// list order, so the list does not lie front to back in memory.
class built_list {
public:
    built_list() = default;
    ~built_list() { owner.first()->next = head; }                     // the records from head on go with owner
    built_list(const built_list&) = delete;
    built_list& operator=(const built_list&) = delete;

    star_type* add(vector position, float abs_magnitude, const char* spectral_class, bool scattered = false)
    {
        if (scattered) {                                                // a gap in memory
            star_type* gap = new star_type;
            gap->next = gaps.first()->next;
            gaps.first()->next = gap;
        }
        star_type* s = new star_type;
        s->star_set(("S" + std::to_string(count)).c_str(), abs_magnitude, position, spectral_class);
        (head ? tail->next : head) = s;
        tail = s;
        ++count;
        return s;
    }

    star_type* head = nullptr;
    star_type* tail = nullptr;
    int count = 0;

private:
    star_list owner, gaps;                          // their first records are not part of the list
};

enum shape { uniform, clustered, disc, all_bright, all_faint, one_point, odd_values, shapes };
const char* const shape_names[] = {"uniform", "clustered", "disc", "all bright", "all faint", "one point", "odd values"};

class maker {
public:
    explicit maker(unsigned seed) : rng(seed) {}
    std::mt19937 rng;

    float uniform_in(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    float log_uniform(float lo, float hi) { return std::exp(uniform_in(std::log(lo), std::log(hi))); }
    float normal() { return std::normal_distribution<float>(0, 1)(rng); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng); }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    vector in_ball(float radius)
    {
        vector v;
        do v = vector(uniform_in(-1, 1), uniform_in(-1, 1), uniform_in(-1, 1));
        while (v.length() > 1);
        return v * radius;
    }

    float odd_value()
    {
        const float odd[] = {not_a_number, inf, -inf, 0.0f, -0.0f, 1e38f, -1e38f, 1e20f, 1e-38f, 1e-45f};
        return odd[pick(10)];
    }

    // A catalog of `n` stars of the given shape. Magnitudes spread so that
    // some stars show near magnitude 6 from wherever the cameras go.
    void fill(built_list& list, shape kind, int n, std::vector<vector>& centres)
    {
        const char* classes[] = {"O5", "B2", "A0", "F5", "G2V", "K1III", "M3", "W", "g2", ""};
        const float scale = log_uniform(10, 1e5f);
        centres.clear();
        for (int c = 0; c < 6; ++c) centres.push_back(in_ball(scale));
        const vector same = in_ball(scale);
        const bool scattered = chance(0.3);
        for (int i = 0; i < n; ++i) {
            vector p;
            float m = uniform_in(-8, 16);
            switch (kind) {
            case clustered: {
                const vector c = centres[pick((int)centres.size())];
                p = c + vector(normal(), normal(), normal()) * (scale * 0.01f);
                break;
            }
            case disc:
                p = vector(uniform_in(-scale, scale), uniform_in(-scale, scale), normal() * scale * 0.002f);
                break;
            case all_bright: p = in_ball(scale); m = uniform_in(-30, -5); break;
            case all_faint:  p = in_ball(scale); m = uniform_in(10, 25); break;
            case one_point:  p = chance(0.8) ? same : in_ball(scale); break;
            default:         p = in_ball(scale); break;
            }
            if (chance(0.02)) m = uniform_in(-20, -10);                // a rare giant anywhere
            if (kind == odd_values && chance(0.1)) m = odd_value();
            if (kind == odd_values && chance(0.1)) (&p.x)[pick(3)] = odd_value();
            list.add(p, m, classes[pick(10)], scattered && chance(0.1));
        }
        if (kind == one_point) centres.push_back(same);
    }

    // A camera: its view from a place, looking anywhere; sometimes with a view
    // matrix that is not a pure turn (as a long flight's rounding can leave).
    viewed look_from(vector place)
    {
        viewed c;
        matrix turn;
        turn.rotate(uniform_in(-3.2f, 3.2f), vector(uniform_in(-1, 1), uniform_in(-1, 1), uniform_in(-1, 1)) +
                                                vector(0.01f, 0, 0));
        c.forward = turn * c.forward;
        c.down = turn * c.down;
        c.right = c.down & c.forward;
        c.camera_position = place;
        c.view = build_view(c);
        if (chance(0.2))
            for (float& v : c.view.m) v *= 1 + uniform_in(-1e-4f, 1e-4f);
        return c;
    }
};

// Draws the same frame through the full walk and through the groups.
struct frame_pair {
    test_bitmap full, culled;
    ::testing::AssertionResult compare(viewed& c, built_list& list, star_groups& groups, int names)
    {
        toggles on;
        on.names = names != 0;
        draw_frame(c, c.view, on, list.head, list.count, full);
        draw_frame(c, c.view, on, list.head, list.count, culled, nullptr, &groups);
        return same_bitmap(culled, full);
    }
};

} // namespace

TEST(StarGroups, RandomCatalogsAndCamerasDrawTheFullWalksPixels)
{
    maker make(4242);
    frame_pair frames;
    int frames_compared = 0, frames_lit = 0, frames_culled = 0, walked_all = 0, per_shape_lit[shapes] = {};
    for (int catalog = 0; catalog < 21; ++catalog) {
        const shape kind = (shape)(catalog % shapes);
        built_list list;
        std::vector<vector> centres;
        make.fill(list, kind, 6000, centres);
        star_groups groups(list.head, false);      // never the plain walk instead
        star_groups cheaper(list.head);            // the plain walk when many may show
        ASSERT_EQ(groups.star_count(), (std::size_t)list.count);
        ASSERT_TRUE(groups.holds_its_stars()) << shape_names[kind] << " catalog " << catalog;
        std::vector<star_type*> stars;
        for (star_type* s = list.head; s; s = s->next) stars.push_back(s);

        for (int k = 0; k < 24; ++k) {
            vector place;
            switch (k % 6) {
            case 0: place = vector(); break;                                       // at Earth
            case 1: place = centres[make.pick((int)centres.size())]; break;        // inside a cluster
            case 2: place = make.in_ball(1) * 1e7f; break;                         // far outside
            case 3: place = stars[make.pick((int)stars.size())]->position; break;  // right on a star
            case 4: place = centres[0] + make.in_ball(300); break;                 // flown about
            default: place = make.in_ball(make.log_uniform(1, 1e6f)); break;
            }
            viewed c = make.look_from(place);
            const int names = k % 2;
            ASSERT_TRUE(frames.compare(c, list, groups, names))
                << shape_names[kind] << " catalog " << catalog << ", camera " << k << " at (" << place.x << ", "
                << place.y << ", " << place.z << ")";
            ASSERT_TRUE(frames.compare(c, list, cheaper, names)) << shape_names[kind] << " catalog " << catalog;
            walked_all += cheaper.last_drawn() == stars.size();
            ++frames_compared;
            const int n = lit(frames.full);
            frames_lit += n > 0;
            per_shape_lit[kind] += n > 0;
            frames_culled += groups.last_drawn() < stars.size() / 2;
        }
    }
    EXPECT_EQ(frames_compared, 21 * 24);
    EXPECT_GT(frames_lit, frames_compared / 2);                   // the pictures were not empty
    EXPECT_GT(frames_culled, frames_compared / 3);                // and groups were passed over
    EXPECT_GT(walked_all, 10);                                    // both ways of the cheaper choice
    EXPECT_LT(walked_all, frames_compared - 10);
    for (int kind = 0; kind < shapes; ++kind) EXPECT_GT(per_shape_lit[kind], 10) << shape_names[kind];
}

// Stars placed for one camera where the exact test decides by a hair: at
// magnitude 6 to the last float, on the screen's edges, just behind and just
// in front of the viewer. Groups around them must never be passed over.
TEST(StarGroups, StarsOnEveryBoundaryOfTheExactTestAreKept)
{
    maker make(99);
    frame_pair frames;
    int drawn_at_six = 0, drawn_by_mode[4] = {};
    for (int round = 0; round < 48; ++round) {
        // Catalog boxes bound slanted sheets of stars loosely, so the sheets of
        // the edge rounds are seen by a camera along the catalog's axes, at one
        // depth: their boxes are then as thin as the sheets.
        const int mode = round % 4;
        viewed c = make.look_from(make.in_ball(make.log_uniform(1, 1e5f)));
        if (mode == 1 || mode == 2) {
            c = viewed();
            c.camera_position = mode == 1 ? make.in_ball(100) : vector();
            c.view = build_view(c);
        }
        const float depth = make.log_uniform(1, 1e4f);
        // Catalog positions from view places: the view is a turn plus a move,
        // so its transpose undoes the turn.
        const float* m = c.view.m;
        auto catalog_place = [&](vector v) {
            return vector(m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
                          m[2] * v.x + m[6] * v.y + m[10] * v.z) + c.camera_position;
        };
        // Round by round: stars anywhere with a share on the edges; every star
        // on one edge, a hair inside or outside; every star just in front of
        // the viewer's plane; every star in one tiny blob at the distance where
        // its magnitude shows 6, so its groups' boxes lie right at their reach.
        const float edges[] = {0, 1, 639, 640};
        const float edge = edges[round / 4 % 4];                    // each edge in turn
        const bool rows = round / 16 % 2 == 1;
        const vector blob((make.uniform_in(0, 640) - 320) / 400, (make.uniform_in(0, 480) - 240) / 400, 1);
        const float blob_depth = make.log_uniform(1, 1e7f);
        built_list list;
        for (int i = 0; i < 3000; ++i) {
            const float z = mode == 0 ? make.log_uniform(1e-3f, 1e8f)
                          : mode == 1 ? depth * (1 + make.uniform_in(0, 1e-5f)) : make.log_uniform(1e-6f, 2e-6f);
            float column = make.uniform_in(-20, 660), row = make.uniform_in(-20, 500);
            if (mode == 1) {
                const float e = edge + make.uniform_in(0.001f, 0.05f);
                if (rows) row = edge < 320 ? e : e - 160;         // rows 0, 1, 479, 480
                else column = e;
            } else if (mode == 0 && make.chance(0.4)) {
                const float e = edges[make.pick(4)] + make.uniform_in(-0.001f, 0.001f);
                if (make.chance(0.5)) column = e;
                else row = e * 0.75f;
            }
            vector v((column - 320) * z / 400, (row - 240) * z / 400, z);
            if (mode == 0 && make.chance(0.1)) v.z = make.uniform_in(-1e-3f, 1e-3f) * z;   // in the viewer's plane
            if (mode == 3) v = (blob + make.in_ball(1e-6f)) * blob_depth;
            star_type* s = list.add(catalog_place(v), 0, "G2V");
            s->transform_star(c.view);
            const float d = s->view_position.length();
            float a = absolute_showing(6.0f, d);
            if (mode == 3 || make.chance(0.7)) {                       // the last float below 6, give or take
                for (int step = 0; step < 32 && seen_from(a, d) < 6.0f; ++step) a = std::nextafter(a, inf);
                for (int step = 0; step < 32 && seen_from(a, d) >= 6.0f; ++step) a = std::nextafter(a, -inf);
                for (int nudge = make.pick(3) - 1; nudge > 0; --nudge) a = std::nextafter(a, inf);
            } else {
                a += make.uniform_in(-6, 1);
            }
            s->abs_magnitude = a;
        }
        star_groups groups(list.head, false);      // never the plain walk instead
        for (int names = 0; names < 2; ++names) {
            ASSERT_TRUE(frames.compare(c, list, groups, names)) << "round " << round;
            drawn_by_mode[mode] += lit(frames.full) > 0;
            for (int y = 0; y < 480; ++y)
                for (int x = 0; x < 640; ++x) drawn_at_six += getpixel(frames.full, x, y) == makecol(22, 22, 22);
        }
    }
    EXPECT_GT(drawn_at_six, 1000);                                 // the boundary was really met
    for (int mode = 0; mode < 4; ++mode) EXPECT_GT(drawn_by_mode[mode], 4) << "mode " << mode;
}

// What start-up may hand over: an unfilled head alone (no line could be
// read), or every star not a number; and a view matrix no box can be tested
// against.
TEST(StarGroups, DegenerateListsAndViewsDrawAsTheFullWalk)
{
    frame_pair frames;
    viewed c;
    c.view = build_view(c);
    {
        built_list unfilled;
        unfilled.head = unfilled.tail = new star_type;
        unfilled.count = 1;
        star_groups groups(unfilled.head, false);
        EXPECT_EQ(groups.star_count(), 1u);
        EXPECT_TRUE(frames.compare(c, unfilled, groups, 1));
    }
    built_list list;
    list.add(vector(0, 10, 0), -inf, "B2");                      // shows at every distance
    list.add(vector(0, 10, 0.5f), not_a_number, "G2");
    list.add(vector(inf, 10, 0), 0, "G2");
    list.add(vector(0.2f, 1e20f, 0.1f), -100, "G2");             // far beyond any grid, bright enough
    list.add(vector(0.5f, 10, 0.5f), 0, "K1");
    star_groups groups(list.head, false);      // never the plain walk instead
    EXPECT_TRUE(frames.compare(c, list, groups, 1));
    EXPECT_GT(lit(frames.full), 10);
    viewed odd = c;
    odd.view.m[3] = inf;                                          // no box can be judged
    EXPECT_TRUE(frames.compare(odd, list, groups, 0));
    odd.view.m[3] = 1e19f;
    EXPECT_TRUE(frames.compare(odd, list, groups, 0));
}

// A group keeps its stars' list positions as offsets from its first one. A
// group of stars that lie together in space but far apart in the list (its
// first and last stars, every thousandth, all but one at the front) still
// holds each of them once and draws them all.
TEST(StarGroups, GroupsOfStarsFarApartInTheListDrawTheFullWalksPixels)
{
    const int n = 200000;
    const std::vector<std::vector<int>> layouts = {
        {0, 1, 2, n - 1},
        [] { std::vector<int> v; for (int i = 0; i < 63; ++i) v.push_back(i); v.push_back(n - 1); return v; }(),
        [] { std::vector<int> v; for (int i = 0; i < 64; ++i) v.push_back(i * 1000 + 7); return v; }(),
        [] { std::vector<int> v(1, 0); for (int i = n - 63; i < n; ++i) v.push_back(i); return v; }(),
    };
    frame_pair frames;
    viewed c;
    c.view = build_view(c);
    maker make(5);
    for (const std::vector<int>& together : layouts) {
        built_list list;
        std::vector<bool> close(n);
        for (int i : together) close[i] = true;
        for (int i = 0; i < n; ++i)
            if (close[i]) list.add(c.forward * 20.0f + vector(0.01f, 0, 0) * static_cast<float>(i % 7), 1, "G2");
            else list.add(make.in_ball(1000), 14, "M3");
        star_groups groups(list.head, false);
        ASSERT_TRUE(groups.holds_its_stars()) << together.size() << " stars together";
        EXPECT_TRUE(frames.compare(c, list, groups, 1)) << together.size() << " stars together";
        EXPECT_GT(lit(frames.full), 0);
    }
}

// The rooms the stars' words are sorted into are sized from a sample of one
// star in 256. A catalog whose every 256th star is unlike the rest misleads
// the sample wholly, toward either end of the rooms; a length foretold wrongly
// readies memory for nothing. The pixels stay the full walk's.
TEST(StarGroups, MisleadingSamplesAndLengthsStillDrawTheFullWalksPixels)
{
    maker make(77);
    frame_pair frames;
    int frames_lit = 0;
    for (int sampled_bright = 0; sampled_bright < 2; ++sampled_bright) {
        built_list list;
        for (int i = 0; i < 20000; ++i) {
            const bool bright = (i % 256 == 0) == (sampled_bright == 1);
            list.add(make.in_ball(bright ? 2000.0f : 40.0f), bright ? make.uniform_in(-15, -10) : make.uniform_in(12, 16),
                     "G2");
        }
        for (std::size_t hint : {std::size_t(0), std::size_t(20000), std::size_t(3) << 20}) {
            star_groups groups(list.head, false, hint);
            ASSERT_TRUE(groups.holds_its_stars()) << "sampled bright " << sampled_bright << ", hint " << hint;
            for (int k = 0; k < 4; ++k) {
                viewed c = make.look_from(k == 0 ? vector() : make.in_ball(k == 1 ? 30 : 3000));
                ASSERT_TRUE(frames.compare(c, list, groups, k % 2))
                    << "sampled bright " << sampled_bright << ", hint " << hint << ", camera " << k;
                frames_lit += lit(frames.full) > 0;
            }
        }
    }
    EXPECT_GE(frames_lit, 12);

    // Three tight clusters, one bucket each: bright stars foretold too many,
    // a middle cluster foretold well, faint stars the sample never meets.
    // The faint stars' positions, packed against the end of the words'
    // pages, would reach the middle cluster's words before they are read.
    built_list list;
    const vector bright(100, 0, 0), middle(-50, 20, 0), faint(0, 0, 30);
    for (int i = 0; i < 100000; ++i) {
        const float u = make.uniform_in(0, 1);
        const int kind = i % 256 == 0 ? (u < 0.2f ? 1 : 0) : u < 0.6f ? 0 : u < 0.8f ? 1 : 2;
        const vector at = kind == 0 ? bright : kind == 1 ? middle : faint;
        const float m = kind == 0 ? -12 : kind == 1 ? 0 : 15;
        list.add(at + make.in_ball(0.5f), m + make.uniform_in(0, 0.4f), "A0");
    }
    star_groups groups(list.head, false, list.count);
    ASSERT_TRUE(groups.holds_its_stars());
    for (const vector place : {vector(-10, 0, 0), middle + vector(0, 0, -3), faint + vector(0, 0, -0.6f)}) {
        viewed c;
        c.camera_position = place;
        c.forward = place.x < 0 && place.y == 0 ? vector(1, 0, 0) : vector(0, 0, 1);
        c.down = vector(0, 1, 0);
        c.right = c.down & c.forward;
        c.view = build_view(c);
        ASSERT_TRUE(frames.compare(c, list, groups, 0)) << "from (" << place.x << ", " << place.y << ", " << place.z << ")";
        EXPECT_GT(lit(frames.full), 0);
    }
}

// A list large enough for the sample to foretell its rooms well, laid out in
// memory in its own order and its length known beforehand, as at start-up:
// the same pixels, and the groups within eight bytes a star.
TEST(StarGroups, LargeListWithItsLengthForetold)
{
    maker make(5);
    frame_pair frames;
    const int count = 300000;
    std::vector<star_type> records(count);
    for (int i = 0; i < count; ++i) {
        const float m = make.chance(0.02) ? make.uniform_in(-20, -10) : make.uniform_in(-8, 16);
        records[i].star_set("", m, vector(make.uniform_in(-3000, 3000), make.uniform_in(-3000, 3000), make.normal() * 10),
                            "K1");
        records[i].next = i + 1 < count ? &records[i + 1] : nullptr;
    }
    built_list list;                                // borrows the records
    list.head = &records[0];
    list.count = count;
    struct give_back {
        built_list& list;
        ~give_back() { list.head = nullptr; }
    } borrowed{list};

    auto groups = std::make_unique<star_groups>(list.head, true, count);
    ASSERT_TRUE(groups->holds_its_stars());
    EXPECT_LE(groups->bytes(), 8u * count);
    int frames_lit = 0, frames_culled = 0;
    for (int k = 0; k < 6; ++k) {
        viewed c = make.look_from(k % 2 == 0 ? vector() : records[make.pick(count)].position);
        ASSERT_TRUE(frames.compare(c, list, *groups, k % 2)) << "camera " << k;
        frames_lit += lit(frames.full) > 0;
        frames_culled += groups->last_drawn() < (std::size_t)count / 12;
    }
    EXPECT_GE(frames_lit, 4);
    EXPECT_GE(frames_culled, 2);

    // Memory mapped while the groups were in use, some of it where they had
    // given pages back, outlives them.
    const std::size_t block = 128 << 10, count_of_blocks = 96;
    std::vector<unsigned char*> blocks;
    for (int i = 0; i < (int)count_of_blocks; ++i) {
        blocks.push_back(static_cast<unsigned char*>(fresh_pages(block)));
        std::memset(blocks.back(), i + 1, block);
    }
    groups.reset();
    for (int i = 0; i < (int)count_of_blocks; ++i) {
        EXPECT_EQ(blocks[i][0], i + 1);
        EXPECT_EQ(blocks[i][block - 1], i + 1);
        munmap(blocks[i], block);
    }
}

// Every screen size, zoom and exposure: stars placed for the frame's own lens
// on the screen's edges and at the distance where their exposed magnitude
// reaches the faintest, a hair either side, and others anywhere around.
TEST(StarGroups, EverySizeZoomAndExposureDrawsTheFullWalksPixels)
{
    const struct { int w, h; } sizes[] = {{640, 480}, {1920, 1080}, {7680, 4320}, {320, 4320}};
    maker make(2024);
    int combinations = 0, lit_frames = 0, culled_frames = 0;
    for (const auto& size : sizes) {
        test_bitmap full(size.w, size.h), culled(size.w, size.h);
        for (int zoom : {-4, 0, 13, 40})
            for (int half_steps : {-8, 0, 4, 12}) {
                viewed c = make.look_from(make.chance(0.5) ? vector() : make.in_ball(make.log_uniform(1, 1e4f)));
                c.optics.resize(size.w, size.h);
                c.optics.zoom_by(zoom);
                c.optics.expose_by(half_steps);
                const float f = c.optics.focal(), cx = c.optics.centre_x(), cy = c.optics.centre_y();
                const float limit = 6.0f + c.optics.exposure();
                const float* m = c.view.m;
                auto catalog_place = [&](vector v) {
                    return vector(m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
                                  m[2] * v.x + m[6] * v.y + m[10] * v.z) + c.camera_position;
                };
                built_list list;
                for (int i = 0; i < 2500; ++i) {
                    const float z = make.log_uniform(1e-2f, 1e6f);
                    float column = make.uniform_in(-0.5f * size.w, 1.5f * size.w);
                    float row = make.uniform_in(-0.5f * size.h, 1.5f * size.h);
                    if (make.chance(0.5)) {                                  // on an edge, a hair either side
                        const float ce[] = {0, 1, (float)size.w - 1, (float)size.w};
                        const float re[] = {0, 1, (float)size.h - 1, (float)size.h};
                        if (make.chance(0.5)) column = ce[make.pick(4)] + make.uniform_in(-0.01f, 0.01f);
                        else row = re[make.pick(4)] + make.uniform_in(-0.01f, 0.01f);
                    }
                    const vector v((column - cx) * z / f, (row - cy) * z / f, z);
                    star_type* s = list.add(catalog_place(v), 0, "G2V");
                    s->transform_star(c.view);
                    const float d = s->view_position.length();
                    float a = absolute_showing(limit, d);
                    if (make.chance(0.6)) {                                  // the last float that shows, give or take
                        for (int step = 0; step < 32 && seen_from(a, d) - c.optics.exposure() < 6.0f; ++step)
                            a = std::nextafter(a, inf);
                        for (int step = 0; step < 32 && seen_from(a, d) - c.optics.exposure() >= 6.0f; ++step)
                            a = std::nextafter(a, -inf);
                        for (int nudge = make.pick(3) - 1; nudge > 0; --nudge) a = std::nextafter(a, inf);
                    } else {
                        a += make.uniform_in(-4, 2);
                    }
                    s->abs_magnitude = a;
                }
                star_groups groups(list.head, false);                       // never the plain walk instead
                toggles on;
                on.names = combinations % 2 != 0;
                draw_frame(c, c.view, on, list.head, list.count, full);
                draw_frame(c, c.view, on, list.head, list.count, culled, nullptr, &groups);
                ASSERT_TRUE(same_bitmap(culled, full)) << size.w << "x" << size.h << ", zoom " << zoom
                                                       << ", exposure " << c.optics.exposure();
                ++combinations;
                lit_frames += lit(full) > 0;
                culled_frames += groups.last_drawn() < (std::size_t)list.count;
            }
    }
    EXPECT_EQ(combinations, 64);
    EXPECT_GT(lit_frames, 60);                                       // the pictures were not empty
    EXPECT_GT(culled_frames, 32);                                    // and groups were passed over
}
