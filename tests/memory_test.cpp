// Running out of memory: the load keeps the stars that fitted and says how
// many, star groups that do not fit leave the frames walking the list, an
// index that does not fit leaves the names unsearched, and what the load
// said reaches the screen. Memory runs out either under a limit on the
// address space or on purpose, at a chosen record or page.
#include "allegro_env.h"
#include "engine/catalog.h"
#include "app/frame_clock.h"
#include "model/notices.h"
#include "engine/star_groups.h"
#include "engine/stars.h"
#include "test_support.h"
#include "model/travel.h"
#include "app/app.h"
#include "app/frame.h"
#include "app/overlay.h"

#include <sstream>
#include <string>

static auto* env = register_allegro_env();

namespace {

// The list a load fills, from a head of its own; every record freed at the end.
struct loaded_list {
    star_list stars;
    star_type* const head = stars.first();
    int count = 0;
    std::string report, errors;

    ~loaded_list() { fail_allocations_after(-1); }

    // Loads `text` from a stream, or from a file read in pieces by two threads.
    void load(const std::string& text, bool in_pieces)
    {
        if (!in_pieces) {
            std::istringstream in(text);
            return load(in);
        }
        std::ostringstream out, err;
        const load_notes notes = notes_to(err, true);
        const temp_file file(text);
        count = load_catalog(file.path(), head, out, notes);
        report = out.str();
        errors = err.str();
    }
    void load(std::istream& in)
    {
        std::ostringstream out, err;
        out.str(std::string(256, ' '));                           // room made before memory runs out
        err.str(std::string(256, ' '));
        out.seekp(0);
        err.seekp(0);
        count = load_catalog(in, head, out, notes_to(err, false));
        report = out.str().substr(0, (std::size_t)out.tellp());
        errors = err.str().substr(0, (std::size_t)err.tellp());
    }
    static load_notes notes_to(std::ostream& err, bool in_pieces)
    {
        load_notes notes;
        notes.source_name = "sky.txt";
        notes.errors = &err;
        if (in_pieces) {
            notes.piece_bytes = 4096;
            notes.threads = 2;
        }
        return notes;
    }

    // Whether the list holds exactly "Star 0" to "Star count-1", in order.
    ::testing::AssertionResult holds_the_first_stars() const
    {
        int i = 0;
        for (const star_type* s = head; s; s = s->next, ++i)
            if (std::string(s->name) != "Star " + std::to_string(i))
                return ::testing::AssertionFailure() << "record " << i << " is " << s->name;
        if (i != count) return ::testing::AssertionFailure() << i << " records for a count of " << count;
        return ::testing::AssertionSuccess();
    }
};

std::string out_of_memory_message(int count)
{
    return "sky.txt: not enough memory for more than " + std::to_string(count) +
           " stars; the rest of the file was not read\n";
}

std::string closing_line(int last)
{
    std::ostringstream want;
    want << "Fail after reading Star " << last << " at Distance " << (float)(10 + last) << '\n';
    return want.str();
}

} // namespace

TEST(OutOfMemoryLoad, StopsAtTheRecordThatDidNotFitKeepingEveryOneBefore)
{
    const std::string text = numbered_catalog(3000);
    const struct {
        long long allowed;
        bool in_pieces;
    } cases[] = {{0, false}, {1, false}, {500, false}, {2000, false}, {0, true}, {700, true}, {2500, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE("allowed " + std::to_string(c.allowed) + (c.in_pieces ? ", in pieces" : ", one stream"));
        loaded_list list;
        {
            const failing_allocations trial(c.allowed);
            list.load(text, c.in_pieces);
        }
        ASSERT_GE(list.count, 1) << "the head is filled without a new record";
        EXPECT_LT(list.count, 3000);
        EXPECT_LE(list.count, c.allowed + 1);
        EXPECT_TRUE(list.holds_the_first_stars());
        EXPECT_EQ(list.errors, out_of_memory_message(list.count));
        EXPECT_EQ(list.report, closing_line(list.count - 1));
    }
    loaded_list whole;                                            // and with memory to spare, all of it
    whole.load(text, true);
    EXPECT_EQ(whole.count, 3000);
    EXPECT_EQ(whole.errors, "");
}

TEST(OutOfMemoryLoad, UnderALimitOnTheAddressSpaceTheStarsThatFitAreKept)
{
    if (under_address_sanitizer) GTEST_SKIP() << no_limit_under_sanitizer;
    const int lines = 400000;                                     // 25 MB of records
    std::istringstream text(numbered_catalog(lines));
    loaded_list list;
    {
        const address_space_limit limit(8 << 20);
        ASSERT_TRUE(limit.set());
        list.load(text);
    }
    EXPECT_GT(list.count, 0);
    EXPECT_LT(list.count, lines);
    EXPECT_TRUE(list.holds_the_first_stars());
    EXPECT_EQ(list.errors, out_of_memory_message(list.count));
    EXPECT_EQ(list.report, closing_line(list.count - 1));
}

TEST(OutOfMemoryGroups, FramesWalkTheWholeListWithTheSamePixels)
{
    loaded_list list;
    list.load(numbered_catalog(2000), false);
    ASSERT_EQ(list.count, 2000);
    camera c;
    test_bitmap walked, grouped, fallback;
    {
        const auto groups = make_star_groups(list.head, list.count, std::cerr, nullptr);
        ASSERT_NE(groups, nullptr);
        draw_frame(c, build_view(c), toggles(), list.head, list.count, grouped, nullptr, groups.get());
    }
    draw_frame(c, build_view(c), toggles(), list.head, list.count, walked);
    for (long long allowed : {0, 1, 2}) {                         // the words, the scratch, the leaves
        SCOPED_TRACE("allowed " + std::to_string(allowed));
        std::ostringstream errors;
        notices shown(ticks_per_second);
        std::unique_ptr<star_groups> groups;
        {
            const failing_allocations trial(allowed);
            groups = make_star_groups(list.head, list.count, errors, &shown);
        }
        EXPECT_EQ(groups, nullptr);
        EXPECT_EQ(errors.str(), std::string(no_groups_message) + "\n");
        EXPECT_EQ(shown.texts(), screen_lines(no_groups_message));
        clear_bitmap(fallback);
        draw_frame(c, build_view(c), toggles(), list.head, list.count, fallback, nullptr, groups.get());
        EXPECT_TRUE(same_bitmap(fallback, walked));
    }
    EXPECT_TRUE(same_bitmap(grouped, walked));
}

TEST(OutOfMemoryGroups, UnderALimitOnTheAddressSpaceNoGroupsAndNoAbort)
{
    if (under_address_sanitizer) GTEST_SKIP() << no_limit_under_sanitizer;
    loaded_list list;
    list.load(numbered_catalog(300000), false);                   // 2.5 MB of words to sort
    ASSERT_EQ(list.count, 300000);
    std::ostringstream errors;
    std::unique_ptr<star_groups> groups;
    {
        const address_space_limit limit(256 << 10);
        ASSERT_TRUE(limit.set());
        groups = make_star_groups(list.head, list.count, errors, nullptr);
    }
    EXPECT_EQ(groups, nullptr);
    EXPECT_EQ(errors.str(), std::string(no_groups_message) + "\n");
    groups = make_star_groups(list.head, list.count, errors, nullptr);   // with the memory back, they are made
    ASSERT_NE(groups, nullptr);
    EXPECT_EQ(groups->star_count(), 300000u);
}

TEST(OutOfMemoryNames, TheIndexThrowsHoldingNothingAndTheListStaysWhole)
{
    loaded_list list;
    list.load(numbered_catalog(5000), false);
    for (long long allowed : {0, 1}) {                            // the positions, the batch
        SCOPED_TRACE("allowed " + std::to_string(allowed));
        const failing_allocations trial(allowed);
        EXPECT_THROW(name_index index(list.head), std::bad_alloc);
    }
    if (!under_address_sanitizer) {
        const address_space_limit limit(2 << 10);
        ASSERT_TRUE(limit.set());
        EXPECT_THROW(name_index index(list.head), std::bad_alloc);
    }
    EXPECT_TRUE(list.holds_the_first_stars());
    const name_index index(list.head);
    EXPECT_EQ(index.size(), 5000u);
    const name_match m = index.find("star 4999");
    ASSERT_EQ(m.kind, name_match::found);
    EXPECT_STREQ(m.star->name, "Star 4999");
}

TEST(LoadMessages, ShownForTenSecondsOrUntilAKeyWhenNoStarWasLoaded)
{
    const std::string said = "sky.txt:3: magnitude column holds \"x\", not a number; 2 stars loaded, the rest of "
                             "the file skipped\nsky.txt: rows skipped\n";
    notices some(ticks_per_second);
    show_load_messages(said, 2, some);
    EXPECT_EQ(some.texts(), (std::vector<std::string>{
                                "sky.txt:3: magnitude column holds \"x\", not a number; 2 stars loaded, the rest",
                                "of the file skipped", "sky.txt: rows skipped"}));
    some.pass(0, false);                                          // the first frame
    some.pass(10 * ticks_per_second - 1, true);         // a key does not end them
    EXPECT_EQ(some.texts().size(), 3u);
    some.pass(1, false);
    EXPECT_TRUE(some.empty());

    notices none(ticks_per_second);
    show_load_messages("stars.txt: cannot open: No such file or directory\n", 0, none);
    none.pass(60 * ticks_per_second, false);
    EXPECT_EQ(none.texts(), std::vector<std::string>{"stars.txt: cannot open: No such file or directory"});
    none.pass(1, true);
    EXPECT_TRUE(none.empty());
}

TEST(LoadMessages, CutAtSpacesToTheScreensWidth)
{
    const std::string wide(77, 'w');                              // as many cells as fit
    const struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"short", {"short"}},
        {wide, {wide}},
        {wide + "w", {wide, "w"}},                                // a word too long is cut
        {"ab " + wide, {"ab", wide}},
        {std::string(74, 'a') + " bc de", {std::string(74, 'a') + " bc", "de"}},
        {"a  " + std::string(76, 'b'), {"a", std::string(76, 'b')}},
    };
    for (const auto& c : cases) EXPECT_EQ(screen_lines(c.text), c.lines) << '"' << c.text << '"';
}

TEST(LoadMessages, DrawnAtTheBottomAboveAnOpenPromptAndNothingWithoutThem)
{
    star_type head;
    camera c;
    test_bitmap plain, with_none, with_line, want;
    draw_frame(c, build_view(c), toggles(), &head, 0, plain);
    const notices empty(ticks_per_second);
    draw_frame(c, build_view(c), toggles(), &head, 0, with_none, nullptr, nullptr, &empty);
    EXPECT_TRUE(same_bitmap(with_none, plain));                   // the default view is unchanged

    notices shown(ticks_per_second);
    shown.show("stars.txt: cannot open: No such file or directory", 0);
    draw_frame(c, build_view(c), toggles(), &head, 0, with_line, nullptr, nullptr, &shown);
    draw_frame(c, build_view(c), toggles(), &head, 0, want);
    textout_ex(want, font, "stars.txt: cannot open: No such file or directory", 10, 462, makecol(255, 255, 255), -1);
    EXPECT_TRUE(same_bitmap(with_line, want));

    traveller t(&head);                                        // an open prompt keeps its line
    t.wait_for_names();
    t.prompt.open_empty();
    t.prompt.show_note("Reading the names...");
    clear_bitmap(with_line);
    draw_frame(c, build_view(c), toggles(), &head, 0, with_line, &t, nullptr, &shown);
    clear_bitmap(want);
    draw_frame(c, build_view(c), toggles(), &head, 0, want, &t);
    textout_ex(want, font, "stars.txt: cannot open: No such file or directory", 10, 442, makecol(255, 255, 255), -1);
    EXPECT_TRUE(same_bitmap(with_line, want));
}
