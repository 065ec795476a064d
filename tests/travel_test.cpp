// Going to a star by name: the name search, the prompt and its keys, the turn
// and flight of a trip and what ends it, and the lines drawn for them. The
// library runs without a display; the tests set its key and mouse state and
// fill its keyboard buffer themselves.
#include "allegro_env.h"
#include "test_support.h"
#include "engine/stars.h"
#include "model/travel.h"
#include "app/viewer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

static auto* env = register_allegro_env();

namespace {

// A star list built from names, freed at the end of the scope.
class named_stars {
public:
    named_stars() = default;
    named_stars(std::initializer_list<const char*> names)
    {
        for (const char* n : names) add(n, vector(1, 2, 3), 1.0f);
    }
    ~named_stars() { owner.first()->next = head; }                    // the records from head on go with owner
    named_stars(const named_stars&) = delete;
    named_stars& operator=(const named_stars&) = delete;

    star_type* add(const char* name, vector position, float abs_magnitude)
    {
        star_type* s = new star_type;
        s->star_set(name, abs_magnitude, position, "G2V");
        (head ? tail->next : head) = s;
        tail = s;
        ++count;
        return s;
    }
    const star_type* at(int i) const
    {
        const star_type* s = head;
        while (i-- > 0) s = s->next;
        return s;
    }

    star_type* head = nullptr;
    star_type* tail = nullptr;
    int count = 0;

private:
    star_list owner;                                // its first record is not part of the list
};

std::vector<std::string> names_of(const std::vector<const star_type*>& stars)
{
    std::vector<std::string> out;
    for (const star_type* s : stars) out.push_back(s->name);
    return out;
}

::testing::AssertionResult orthonormal_right_handed(const camera& c)
{
    return orthonormal_right_handed(c.forward, c.down, c.right);
}

// Where a star lands on the screen for this camera, as the drawing places it.
void screen_spot(camera c, const star_type* s, double* column, double* row, double* depth)
{
    build_view(c);
    const vector p = c.view * s->position;
    *depth = p.z;
    *column = (double)p.x * 400.0 / (double)p.z + 320;
    *row = (double)p.y * 400.0 / (double)p.z + 240;
}


// Every case starts with no key and no button; each frame reads `in`, and
// what the keyboard buffer handed out in it goes with the frame.
class WithInput : public ::testing::Test {
protected:
    frame_input in;
    void release_all() { in = frame_input(); }
    void type(const char* text)
    {
        for (const char* p = text; *p; ++p) {
            const char ch = *p;
            int scancode = 0;
            if (ch >= 'a' && ch <= 'z') scancode = KEY_A + (ch - 'a');
            else if (ch >= 'A' && ch <= 'Z') scancode = KEY_A + (ch - 'A');
            else if (ch == ' ') scancode = KEY_SPACE;
            in.press(scancode, ch);
        }
    }
    void press(int scancode, int ascii = 0) { in.press(scancode, ascii); }
    // The prompt's part of a frame; the buffered keys are used up.
    int before_camera(traveller& t, camera& c, const star_type* selected = nullptr)
    {
        const int keys = t.before_camera(c, in, selected);
        in.press_count = 0;
        for (bool& d : in.went_down) d = false;
        return keys;
    }
    // One frame as the frame loop runs it, up to the view matrix, one timer
    // tick after the last.
    void frame(traveller& t, camera& c, const star_type* selected = nullptr)
    {
        static unsigned tick = 0;
        const frame_input now = in;
        const int keys = before_camera(t, c, selected);
        update_camera(c, now, keys);
        t.after_camera(c, ++tick);
    }
};

} // namespace

// ---- the search ----

TEST(SearchForm, LowerCaseSingleSpacesNoneAtTheEnds)
{
    EXPECT_EQ(search_form("Sirius"), "sirius");
    EXPECT_EQ(search_form("  Alp   CMa "), "alp cma");
    EXPECT_EQ(search_form("HD 12345 B"), "hd 12345 b");
    EXPECT_EQ(search_form("   "), "");
    EXPECT_EQ(search_form(""), "");
    EXPECT_EQ(search_form("Zeta-2 Ori"), "zeta-2 ori");          // only letters change
    EXPECT_EQ(search_form("\xc3\x89toile"), "\xc3\x89toile");    // bytes past ASCII stay as they are
}

TEST(NameSearch, ExactNameFirstThenTheOnlyNameThatStartsWithTheText)
{
    named_stars stars{"Sirius", "Sirius B", "Arcturus", "Vega", "Alp CMa"};
    const name_index index(stars.head);
    EXPECT_EQ(index.size(), 5u);
    struct { const char* text; const char* want; } cases[] = {
        {"sirius", "Sirius"},     {"SIRIUS", "Sirius"},       {"sIrIuS", "Sirius"},   // case
        {"sirius b", "Sirius B"}, {"Sirius  B ", "Sirius B"},                         // exact beats prefix
        {"arc", "Arcturus"},      {"v", "Vega"},              {"vega", "Vega"},       // the only name
        {"alp cma", "Alp CMa"},   {"  alp    cma", "Alp CMa"}, {"alp c", "Alp CMa"},  // spaces
    };
    for (const auto& k : cases) {
        const name_match m = index.find(k.text);
        ASSERT_EQ(m.kind, name_match::found) << k.text;
        EXPECT_STREQ(m.star->name, k.want) << k.text;
    }
    EXPECT_EQ(index.find("sir").kind, name_match::several);      // Sirius and Sirius B
    EXPECT_EQ(names_of(index.find("sir").candidates), (std::vector<std::string>{"Sirius", "Sirius B"}));
}

TEST(NameSearch, SeveralListUpToFiveNamesInOrderNoneSaysNoneEmptyAsksNothing)
{
    named_stars stars{"Altair", "Alnilam", "Aldebaran", "Alkaid", "Alnitak", "Algol", "Alphard", "Deneb"};
    const name_index index(stars.head);
    const name_match all = index.find("al");
    ASSERT_EQ(all.kind, name_match::several);
    EXPECT_EQ(names_of(all.candidates),
              (std::vector<std::string>{"Aldebaran", "Algol", "Alkaid", "Alnilam", "Alnitak"}));
    EXPECT_EQ(all.more, 2u);                                      // Altair and Alphard
    const name_match two = index.find("ALN");
    ASSERT_EQ(two.kind, name_match::several);
    EXPECT_EQ(names_of(two.candidates), (std::vector<std::string>{"Alnilam", "Alnitak"}));
    EXPECT_EQ(two.more, 0u);
    const name_match seven = index.find("a");                    // seven names: five shown
    EXPECT_EQ(seven.candidates.size(), 5u);
    EXPECT_EQ(seven.more, 2u);

    for (const char* text : {"x", "alz", "deneb b", "denebola", "al tair"})
        EXPECT_EQ(index.find(text).kind, name_match::none) << text;
    EXPECT_EQ(index.find(std::string(40, 'a')).kind, name_match::none);   // longer than any name
    for (const char* text : {"", " ", "     "}) {
        const name_match m = index.find(text);
        EXPECT_EQ(m.kind, name_match::empty) << '"' << text << '"';
        EXPECT_EQ(m.star, nullptr);
    }
}

TEST(NameSearch, StarsSharingANameCountOnceAndTheSpellingTypedWins)
{
    named_stars stars{"P Pup", "Alpha", "p Pup", "Alpha", "Alphard", "", "   "};
    const name_index index(stars.head);
    EXPECT_EQ(index.size(), 5u);                                   // the unnamed are left out
    EXPECT_EQ(index.find("P Pup").star, stars.at(0));
    EXPECT_EQ(index.find("p Pup").star, stars.at(2));
    EXPECT_EQ(index.find("p pup").star, stars.at(0));              // neither spelling: catalog order
    EXPECT_EQ(index.find("p  PUP").star, stars.at(0));
    const name_match prefix = index.find("p p");                   // one name, two stars
    ASSERT_EQ(prefix.kind, name_match::found);
    EXPECT_EQ(prefix.star, stars.at(0));
    EXPECT_EQ(index.find("alpha").star, stars.at(1));              // the first of the two
    const name_match alp = index.find("alp");
    ASSERT_EQ(alp.kind, name_match::several);
    EXPECT_EQ(names_of(alp.candidates), (std::vector<std::string>{"Alpha", "Alphard"}));
    EXPECT_EQ(alp.candidates[0], stars.at(1));
}

// The index against a plain walk over the list, on names drawn from a small
// alphabet so that they share beginnings and repeat: sorting mistakes show as
// a different answer.
TEST(NameSearch, AgreesWithAPlainWalkOverManyNames)
{
    std::mt19937 random(12345);
    const char letters[] = "abAB ";
    named_stars stars;
    std::vector<std::string> names;
    for (int i = 0; i < 4000; ++i) {
        std::string name;
        const int length = 1 + (int)(random() % 24);
        for (int k = 0; k < length; ++k) name += letters[random() % 5];
        names.push_back(name);
        stars.add(name.c_str(), vector(0, 0, 0), 0);
    }
    const name_index index(stars.head, stars.count);

    auto spelling = [](const std::string& name) {                 // single spaces, case kept
        std::string out;
        for (char ch : name)
            if (ch != ' ' || (!out.empty() && out.back() != ' ')) out += ch;
        if (!out.empty() && out.back() == ' ') out.pop_back();
        return out;
    };
    auto walk = [&](const std::string& text) {
        name_match m;
        const std::string want = search_form(text.c_str());
        if (want.empty()) return m;
        m.kind = name_match::none;
        std::map<std::string, const star_type*> starting;          // first star of each name, by name
        bool as_typed = false;
        for (const star_type* s = stars.head; s; s = s->next) {
            const std::string f = search_form(s->name);
            if (f == want && !as_typed) {
                as_typed = spelling(s->name) == spelling(text);
                if (as_typed || m.kind != name_match::found) m.star = s;
                m.kind = name_match::found;
            }
            if (!f.empty() && f.compare(0, want.size(), want) == 0) starting.emplace(f, s);
        }
        if (m.kind == name_match::found || starting.empty()) return m;
        if (starting.size() == 1) { m.kind = name_match::found; m.star = starting.begin()->second; return m; }
        m.kind = name_match::several;
        for (const auto& n : starting)
            if (m.candidates.size() < 5) m.candidates.push_back(n.second);
        m.more = starting.size() > 5 ? starting.size() - 5 : 0;   // names, not stars
        return m;
    };
    int several = 0, found = 0, none = 0;
    for (int i = 0; i < 600; ++i) {
        std::string text = i % 3 == 0 ? names[random() % names.size()] : "";
        if (text.empty()) {
            const int length = 1 + (int)(random() % 12);
            for (int k = 0; k < length; ++k) text += "ab "[random() % 3];
        } else {
            for (char& ch : text)                                   // another spelling, often
                if (random() % 2) ch = (char)(std::islower(ch) ? std::toupper(ch) : std::tolower(ch));
        }
        const name_match got = index.find(text), want = walk(text);
        ASSERT_EQ(got.kind, want.kind) << '"' << text << '"';
        EXPECT_EQ(got.star, want.star) << '"' << text << '"';
        EXPECT_EQ(got.candidates, want.candidates) << '"' << text << '"';
        EXPECT_EQ(got.more, want.more) << '"' << text << '"';
        several += got.kind == name_match::several;
        found += got.kind == name_match::found;
        none += got.kind == name_match::none;
    }
    EXPECT_GT(several, 50);                                       // every rule was tried
    EXPECT_GT(found, 50);
    EXPECT_GT(none, 10);
}

// Enough names for the index's full thousand batches, with list positions
// of 19 bits that straddle the words they are packed in, so that a batch
// written back in name order can spoil its neighbours' positions: every
// name still finds the first of its stars, and a prefix counts its names.
TEST(NameSearch, ManyBatchesKeepEveryPositionAndTheirNamesInOrder)
{
    std::mt19937 random(777);
    named_stars stars;
    std::map<std::string, const star_type*> first_of;            // by search form
    for (int i = 0; i < 400000; ++i) {
        const unsigned r = (unsigned)random();
        char number[8];
        std::snprintf(number, sizeof number, "%06u", r % 150000);
        const std::string name = r % 13 == 0 ? "" : (r % 2 ? "N" : "n") + std::string(number);   // some unnamed, many twice
        stars.add(name.c_str(), vector(0, 0, 0), 0);
    }
    for (const star_type* s = stars.head; s; s = s->next)
        if (s->name[0]) first_of.emplace(search_form(s->name), s);
    const name_index index(stars.head, stars.count);
    std::size_t named = 0;
    for (const star_type* s = stars.head; s; s = s->next) named += s->name[0] != 0;
    EXPECT_EQ(index.size(), named);

    std::size_t checked = 0, k = 0;
    for (auto it = first_of.begin(); it != first_of.end(); ++it) {
        if (k++ % 97 != 0) continue;                               // a spread of them
        const name_match m = index.find(it->first);
        ASSERT_EQ(m.kind, name_match::found) << it->first;
        EXPECT_EQ(m.star, it->second) << it->first;
        ++checked;
    }
    EXPECT_GT(checked, 1000u);
    for (const char* prefix : {"n01", "n1499", "n07", "n0999", "n14999", "n00000"}) {   // none a whole name
        const std::string p = prefix;
        auto from = first_of.lower_bound(p);
        std::size_t names = 0;
        std::vector<const star_type*> firsts;
        for (auto it = from; it != first_of.end() && it->first.compare(0, p.size(), p) == 0; ++it, ++names)
            if (firsts.size() < 5) firsts.push_back(it->second);
        const name_match m = index.find(p);
        ASSERT_EQ(m.kind, names > 1 ? name_match::several : name_match::found) << p;
        if (names <= 1) continue;
        EXPECT_EQ(m.candidates, firsts) << p;
        EXPECT_EQ(m.more, names - std::min<std::size_t>(names, 5)) << p;
    }
}

// ---- the prompt ----

TEST(FlyPrompt, EditsTextAndReportsEnterAndEsc)
{
    fly_prompt p;
    EXPECT_EQ(p.feed(KEY_A, 'a'), fly_prompt::nothing);          // closed: nothing is typed
    EXPECT_EQ(p.text(), "");
    p.open_empty();
    for (const char* ch = "Si r"; *ch; ++ch) EXPECT_EQ(p.feed(KEY_A, *ch), fly_prompt::nothing);
    EXPECT_EQ(p.text(), "Si r");
    p.feed(KEY_BACKSPACE, 8);
    p.feed(KEY_BACKSPACE, 8);
    EXPECT_EQ(p.text(), "Si");
    p.feed(KEY_TAB, 9);                                           // not printable: ignored
    p.feed(KEY_UP, 0);
    p.feed(KEY_LEFT, 0);
    EXPECT_EQ(p.text(), "Si");
    EXPECT_EQ(p.feed(KEY_ENTER, 13), fly_prompt::search);
    EXPECT_EQ(p.feed(KEY_ENTER_PAD, 13), fly_prompt::search);
    EXPECT_TRUE(p.is_open());                                     // the search decides what happens
    EXPECT_EQ(p.text(), "Si");
    EXPECT_EQ(p.feed(KEY_ESC, 27), fly_prompt::closed);
    EXPECT_FALSE(p.is_open());
    p.open_empty();
    EXPECT_EQ(p.text(), "");                                      // a new prompt starts empty
    p.feed(KEY_BACKSPACE, 8);                                     // nothing to take back
    EXPECT_EQ(p.text(), "");
    for (int i = 0; i < 100; ++i) p.feed(KEY_X, 'x');
    EXPECT_EQ(p.text().size(), fly_prompt::longest_text);
}

TEST(FlyPrompt, NotesSayWhatTheSearchFoundEditingClearsThemAndAListFollowsTheText)
{
    named_stars stars{"Altair", "Alnilam", "Aldebaran", "Alkaid", "Alnitak", "Algol"};
    const name_index index(stars.head);
    fly_prompt p;
    p.open_empty();
    for (const char* ch = "xyz"; *ch; ++ch) p.feed(KEY_X, *ch);
    p.show(index.find(p.text()));
    EXPECT_EQ(p.notes(), (std::vector<std::string>{"No star named \"xyz\""}));
    p.feed(KEY_BACKSPACE, 8);
    EXPECT_TRUE(p.notes().empty());
    p.open_empty();
    p.feed(KEY_A, 'A');
    p.feed(KEY_L, 'l');
    p.show(index.find(p.text()));
    EXPECT_EQ(p.notes(), (std::vector<std::string>{"Names that start with \"Al\":", "> Aldebaran", "  Algol",
                                                   "  Alkaid", "  Alnilam", "  Alnitak", "  and 1 more"}));
    EXPECT_EQ(p.highlighted(), stars.at(2));                      // the first name listed

    // Up and Down move the highlight and stop at either end.
    struct { int key_code; const char* want; } moves[] = {
        {KEY_UP, "Aldebaran"}, {KEY_DOWN, "Algol"}, {KEY_DOWN, "Alkaid"}, {KEY_DOWN, "Alnilam"},
        {KEY_DOWN, "Alnitak"}, {KEY_DOWN, "Alnitak"}, {KEY_UP, "Alnilam"},
    };
    for (const auto& m : moves) {
        EXPECT_EQ(p.feed(m.key_code, 0), fly_prompt::nothing);
        ASSERT_NE(p.highlighted(), nullptr);
        EXPECT_STREQ(p.highlighted()->name, m.want);
    }
    EXPECT_EQ(p.notes()[4], "> Alnilam");
    EXPECT_EQ(p.notes()[1], "  Aldebaran");
    EXPECT_EQ(p.text(), "Al");                                    // moving types nothing

    // Typing on asks for the list again; it starts at its first name.
    EXPECT_EQ(p.feed(KEY_N, 'n'), fly_prompt::narrow);
    p.show(index.find(p.text()));
    EXPECT_EQ(p.notes(), (std::vector<std::string>{"Names that start with \"Aln\":", "> Alnilam", "  Alnitak"}));
    EXPECT_EQ(p.feed(KEY_I, 'i'), fly_prompt::narrow);
    EXPECT_EQ(p.feed(KEY_T, 't'), fly_prompt::narrow);
    p.show(index.find(p.text()));                                 // one name left: listed alone
    EXPECT_EQ(p.notes(), (std::vector<std::string>{"Names that start with \"Alnit\":", "> Alnitak"}));
    EXPECT_EQ(p.highlighted(), stars.at(4));
    EXPECT_EQ(p.feed(KEY_X, 'x'), fly_prompt::narrow);
    p.show(index.find(p.text()));
    EXPECT_EQ(p.notes(), (std::vector<std::string>{"No star named \"Alnitx\""}));
    EXPECT_EQ(p.highlighted(), nullptr);
    p.show(index.find("   "));
    EXPECT_TRUE(p.notes().empty());
    p.open_empty();                                               // a new prompt lists nothing
    EXPECT_EQ(p.highlighted(), nullptr);
    EXPECT_EQ(p.feed(KEY_A, 'a'), fly_prompt::nothing);
}

// ---- the prompt in the frame loop, through the library's keyboard ----

class PromptKeys : public WithInput {};

TEST_F(PromptKeys, FOpensWithoutTypingItselfAndTypedKeysDoNotFly)
{
    named_stars stars{"Sirius", "Vega"};
    traveller t(stars.head, stars.count);
    t.wait_for_names();
    camera c;
    in.held[KEY_F] = 1;
    press(KEY_F, 'f');                                            // the same press, in the buffer
    frame(t, c);
    ASSERT_TRUE(t.prompt.is_open());
    EXPECT_EQ(t.prompt.text(), "");
    in.held[KEY_F] = 0;

    // While it is open, E, B, Space, Tab, Esc and the arrows only type.
    for (int k : {KEY_E, KEY_B, KEY_SPACE, KEY_TAB, KEY_UP, KEY_DOWN, KEY_LEFT, KEY_RIGHT, KEY_ESC})
        in.held[k] = 1;
    type("eb ");
    frame(t, c);
    frame(t, c);
    EXPECT_EQ(t.prompt.text(), "eb ");
    EXPECT_TRUE(t.prompt.is_open());                              // the Esc held is no press
    EXPECT_EQ(c.done + c.homing + c.show_names, 0);
    EXPECT_EQ(c.velocity.length(), 0.0f);
    EXPECT_EQ(c.forward.y, 1.0f);
    release_all();

    in.buttons = 2;                                                  // the mouse still flies
    frame(t, c);
    EXPECT_GT(c.velocity.length(), 0.0f);
}

TEST_F(PromptKeys, AnFInTheBufferOpensAndWhatFollowsIsTyped)
{
    named_stars stars{"Sirius"};
    traveller t(stars.head, stars.count);
    t.wait_for_names();
    camera c;
    type("ab");                                                   // before F: flying keys, dropped
    press(KEY_F, 'f');
    type("Sir");
    frame(t, c);
    ASSERT_TRUE(t.prompt.is_open());
    EXPECT_EQ(t.prompt.text(), "Sir");
}

TEST_F(PromptKeys, EscClosesThePromptAndEndsNothingUntilPressedAgain)
{
    named_stars stars{"Sirius"};
    traveller t(stars.head, stars.count);
    t.wait_for_names();
    camera c;
    press(KEY_F, 'f');
    frame(t, c);
    ASSERT_TRUE(t.prompt.is_open());
    in.held[KEY_ESC] = 1;
    press(KEY_ESC, 27);
    frame(t, c);
    EXPECT_FALSE(t.prompt.is_open());
    EXPECT_EQ(c.done, 0);
    frame(t, c);                                                  // still held after closing
    frame(t, c);
    EXPECT_EQ(c.done, 0);
    in.held[KEY_ESC] = 0;
    frame(t, c);
    EXPECT_EQ(c.done, 0);
    in.held[KEY_ESC] = 1;                                             // a new press ends the program
    frame(t, c);
    EXPECT_EQ(c.done, 1);
}

TEST_F(PromptKeys, EnterFliesOnAMatchAndStaysOpenOtherwise)
{
    named_stars stars{"Sirius", "Sirrah", "Vega"};
    stars.head->position = vector(0, 0, 9);
    traveller t(stars.head, stars.count);
    t.wait_for_names();
    camera c;
    press(KEY_F, 'f');
    type("si");
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_TRUE(t.prompt.is_open());
    EXPECT_EQ(t.prompt.notes().size(), 3u);                       // the heading and two names
    EXPECT_EQ(t.journey.target(), nullptr);

    type("x");
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_EQ(t.prompt.notes(), (std::vector<std::string>{"No star named \"six\""}));

    press(KEY_BACKSPACE, 8);
    type("riu");
    press(KEY_ENTER, 13);
    in.held[KEY_SPACE] = 1;                                           // typed just before, still down
    frame(t, c);
    EXPECT_FALSE(t.prompt.is_open());
    EXPECT_TRUE(t.journey.active());
    EXPECT_EQ(t.journey.target(), stars.head);

    press(KEY_ENTER, 13);                                         // an empty text searches nothing
    press(KEY_F, 'f');
    frame(t, c);                                                  // keys held at closing still wait
    EXPECT_FALSE(t.prompt.is_open());
    EXPECT_TRUE(t.journey.active()) << "the Space typed into the name took over";
    in.held[KEY_SPACE] = 0;
    frame(t, c);
    press(KEY_F, 'f');
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_TRUE(t.prompt.is_open());
    EXPECT_TRUE(t.prompt.notes().empty());
    EXPECT_EQ(t.journey.target(), stars.head);
}

TEST_F(PromptKeys, WithoutMemoryForTheIndexFStillOpensAndEnterSaysSo)
{
    named_stars stars{"Sirius", "Vega"};
    std::unique_ptr<traveller> t;
    {
        const failing_allocations trial(0);
        t = std::make_unique<traveller>(stars.head, stars.count);
        t->wait_for_names();
    }
    EXPECT_EQ(t->names(), nullptr);
    EXPECT_TRUE(t->names_failed());
    camera c;
    press(KEY_F, 'f');
    type("sirius");
    press(KEY_ENTER, 13);
    frame(*t, c);
    ASSERT_TRUE(t->prompt.is_open());
    EXPECT_EQ(t->prompt.notes(), (std::vector<std::string>{"Not enough memory to search names"}));
    EXPECT_EQ(t->journey.target(), nullptr);
    press(KEY_ESC, 27);                                           // and the rest goes on
    frame(*t, c);
    EXPECT_FALSE(t->prompt.is_open());
}

TEST_F(PromptKeys, DownAndEnterFlyToTheSecondCandidateTypingNarrowsTheList)
{
    named_stars stars{"Vega", "Sirrah", "Sirius", "Sirona", "Vega B"};
    traveller t(stars.head, stars.count);
    t.wait_for_names();
    camera c;
    press(KEY_F, 'f');
    type("si");
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_EQ(t.prompt.notes(), (std::vector<std::string>{"Names that start with \"si\":", "> Sirius", "  Sirona",
                                                          "  Sirrah"}));
    press(KEY_DOWN);
    frame(t, c);
    EXPECT_EQ(t.prompt.notes()[2], "> Sirona");
    EXPECT_TRUE(t.journey.target() == nullptr && t.prompt.is_open()) << "Down chooses, it does not fly";
    type("r");                                                    // "sir": all three still
    frame(t, c);
    EXPECT_EQ(t.prompt.notes()[1], "> Sirius") << "a new list starts at its first name";
    press(KEY_DOWN);
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_FALSE(t.prompt.is_open());
    EXPECT_TRUE(t.journey.active());
    EXPECT_EQ(t.journey.target(), stars.at(3));                   // Sirona, the second listed

    frame(t, c);                                                  // the keys are let go
    press(KEY_F, 'f');                                            // a new prompt: narrowing from scratch
    type("sirr");
    frame(t, c);
    EXPECT_TRUE(t.prompt.notes().empty()) << "nothing is listed before Enter";
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_EQ(t.journey.target(), stars.at(1));                   // one name: straight there
}

TEST_F(PromptKeys, AndMoreSaysHowManyNamesTheListLeavesOut)
{
    named_stars stars;
    const char* names[] = {"HIP 1", "HIP 2", "HIP 3", "HIP 4", "HIP 5", "HIP 6", "HIP 7", "HIP 7", "HIP 8", "Hadar"};
    for (const char* n : names) stars.add(n, vector(1, 2, 3), 1);
    traveller t(stars.head, stars.count);
    t.wait_for_names();
    camera c;
    press(KEY_F, 'f');
    type("h");
    press(KEY_ENTER, 13);
    frame(t, c);
    ASSERT_EQ(t.prompt.notes().size(), 7u);
    EXPECT_EQ(t.prompt.notes()[6], "  and 4 more");               // nine names, five shown; HIP 7 twice is one
    type("ip");
    frame(t, c);
    EXPECT_EQ(t.prompt.notes()[6], "  and 3 more");
    press(KEY_BACKSPACE, 8);
    press(KEY_BACKSPACE, 8);
    type("a");
    frame(t, c);
    EXPECT_EQ(t.prompt.notes(), (std::vector<std::string>{"Names that start with \"ha\":", "> Hadar"}));
}

// ---- G: to the star picked with a click ----

TEST_F(PromptKeys, GFliesToTheStarPickedExactlyAsEnterOnItsNameWould)
{
    named_stars stars{"Vega", "Goal"};
    star_type* goal = stars.tail;
    goal->position = vector(40, -20, 30);
    goal->abs_magnitude = 8;                                      // ends at its magnitude -1 distance
    // Each trip's camera, frame by frame, until it ends.
    const auto fly = [&](traveller& t, bool by_g) {
        t.wait_for_names();
        camera c;
        if (by_g) {
            press(KEY_G, 'g');
        } else {
            press(KEY_F, 'f');
            type("goal");
            press(KEY_ENTER, 13);
        }
        std::vector<vector> path;
        do {
            frame(t, c, goal);
            path.push_back(c.camera_position);
            path.push_back(c.forward);
        } while (t.journey.active() && path.size() < 2000);
        EXPECT_EQ(t.journey.target(), goal);
        EXPECT_NEAR((goal->position - c.camera_position).length(), arrival_distance(8), 1e-4);
        return path;
    };
    traveller by_g(stars.head, stars.count), by_name(stars.head, stars.count);
    const std::vector<vector> g_path = fly(by_g, true), name_path = fly(by_name, false);
    ASSERT_EQ(g_path.size(), name_path.size());
    for (std::size_t i = 0; i < g_path.size(); ++i) ASSERT_TRUE(same_vector(g_path[i], name_path[i])) << i / 2;

    traveller idle(stars.head, stars.count);
    camera c;
    press(KEY_G, 'g');
    frame(idle, c);                                               // nothing picked: nothing happens
    EXPECT_EQ(idle.journey.target(), nullptr);
    press(KEY_F, 'f');                                            // in the prompt, G is a letter
    type("g");
    frame(idle, c, goal);
    EXPECT_EQ(idle.prompt.text(), "g");
    EXPECT_FALSE(idle.journey.active());
}

// ---- the trip ----

TEST(ArrivalDistance, StarShinesAtMagnitudeMinusOneWithinTheClamps)
{
    EXPECT_FLOAT_EQ(arrival_distance(9.0f), (float)(32.628463 / std::pow(2.535, 5)));   // 0.3117
    EXPECT_FLOAT_EQ(arrival_distance(11.0f), (float)(32.628463 / std::pow(2.535, 6)));
    for (float m : {6.6f, 8.0f, 10.0f, 13.0f, 16.3f}) {
        const double d = arrival_distance(m);
        const double seen = (double)m + 2 * std::log(d / 32.628463) / std::log(2.535);
        EXPECT_GT(d, 0.01);
        EXPECT_LT(d, 1.0);
        EXPECT_NEAR(seen, -1.0, 1e-5) << m;
    }
    for (float m : {-12.0f, -1.0f, 1.4f, 6.4f})                  // bright: kept back at 1 light year
        EXPECT_EQ(arrival_distance(m), 1.0f) << m;
    EXPECT_EQ(arrival_distance(16.5f), 0.01f);                    // faint: no nearer than 0.01
    EXPECT_EQ(arrival_distance(25.0f), 0.01f);
    EXPECT_EQ(arrival_distance(std::nanf("")), 0.01f);
}

TEST(TripTurn, TurnsSmoothlyKeepsTheAxesAndEndsFacingTheStar)
{
    struct { vector start_forward, start_down, star; } cases[] = {
        {{0, 1, 0}, {0, 0, -1}, {30, 40, 12}},                    // ahead and to the side
        {{0, 1, 0}, {0, 0, -1}, {1, -49, 1}},                     // straight behind
        {{0, 1, 0}, {0, 0, -1}, {0.3f, -20, 7}},                  // nearly behind
        {{0, 1, 0}, {0, 0, -1}, {0, 0, 80}},                      // overhead
        {{0, 1, 0}, {0, 0, -1}, {0.001f, 1000, 0}},               // almost on it already
        {{0.6f, 0.8f, 0}, {0, 0, -1}, {-3, -4, -5}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(testing::Message() << "star at " << k.star.x << ", " << k.star.y << ", " << k.star.z);
        named_stars stars;
        const star_type* s = stars.add("Aim", k.star, 30.0f);     // far too faint to fly far
        camera c;
        c.camera_position = vector(1, 1, 1);
        c.forward = k.start_forward;
        c.down = k.start_down;
        c.right = c.down & c.forward;
        trip t;
        t.start(c, s);
        double biggest = 0;
        for (int f = 0; f < trip::turn_frames; ++f) {
            const vector before = c.forward;
            t.step(c);
            biggest = std::max(biggest, angle_between(before, c.forward));
            ASSERT_TRUE(orthonormal_right_handed(c)) << "frame " << f;
        }
        EXPECT_LT(biggest, 0.1) << "a turn of half a circle is spread over the second";
        double column, row, depth;
        screen_spot(c, s, &column, &row, &depth);
        EXPECT_GT(depth, 0);
        EXPECT_NEAR(column, 320, 1.0);
        EXPECT_NEAR(row, 240, 1.0);
    }
}

TEST(TripTurn, DoesNotRollTheViewAroundAStarAheadOfTheCamera)
{
    named_stars stars;
    const star_type* s = stars.add("Up", vector(0, 10, 10), 30.0f);   // 45 degrees up
    camera c;
    trip t;
    t.start(c, s);
    for (int f = 0; f < trip::turn_frames; ++f) t.step(c);
    EXPECT_NEAR(c.right.x, 1.0f, 1e-6f);                          // a pure pitch: right is untouched
    EXPECT_NEAR(c.forward.y, c.forward.z, 1e-6f);
}

TEST(TripFlight, ArrivesAtTheRightDistanceInUnderFiveSecondsFromNearAndFar)
{
    struct { const char* what; vector star; float abs_magnitude; bool coasting; } cases[] = {
        {"half a light year, nearer than it would end", {0.3f, 0.4f, 0}, 3.0f, false},
        {"fifty light years", {-30, 0, 40}, 1.0f, true},
        {"five thousand light years", {0, -3000, 4000}, -2.0f, true},
        {"very bright, kept at 1", {0, 500, 0}, -15.0f, false},
        {"very faint, at 0.01", {2, 30, 40}, 20.0f, true},
        {"faint, at its magnitude -1 distance", {0, -30, 40}, 9.0f, false},
        {"already there", {0, 1, 0}, -1.0f, false},
        // Magnitude -1.46 at 8.6 light years: brighter than -1 from the start.
        {"Sirius from Earth", {-1.61f, 8.13f, -2.31f}, (float)(-1.46 - 2 * std::log(8.604 / 32.628463) / std::log(2.535)), false},
        // Magnitude 1.25 at 1,412 light years: -1 from 500 light years out.
        {"Deneb from Earth", {780, 330, 1130}, (float)(1.25 - 2 * std::log(1412.0 / 32.628463) / std::log(2.535)), false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        named_stars stars;
        const star_type* s = stars.add("Goal", k.star, k.abs_magnitude);
        camera c;
        if (k.coasting) c.velocity = vector(0.5f, 0, 0);         // top speed when the trip begins
        c.homing = 1;
        trip t;
        t.start(c, s);
        EXPECT_EQ(c.homing, 0);
        int frames = 0;
        for (; t.active() && frames < 1000; ++frames) {
            update_camera(c, frame_input());                      // no control held
            t.step(c);
            ASSERT_TRUE(orthonormal_right_handed(c));
        }
        EXPECT_LE(frames, trip::turn_frames + trip::flight_frames);
        EXPECT_LE(frames, 250) << "five seconds at 50 frames a second";
        EXPECT_GE(frames, trip::turn_frames);
        EXPECT_EQ(c.velocity.length(), 0.0f);                     // at rest
        const float want = std::min(arrival_distance(k.abs_magnitude), k.star.length());   // nearer: only turns
        EXPECT_LE(want, 1.0f);
        if (want == k.star.length() && !k.coasting) {
            EXPECT_EQ(frames, trip::turn_frames);                 // no flight at all
            EXPECT_EQ(c.camera_position.length(), 0.0f);
        }
        const float ulp = std::max(k.star.length(), 1.0f) * 6e-8f * 4;   // float positions
        EXPECT_NEAR((s->position - c.camera_position).length(), want, want * 1e-4f + ulp);
        double column, row, depth;
        screen_spot(c, s, &column, &row, &depth);
        EXPECT_NEAR(column, 320, 1.0);
        EXPECT_NEAR(row, 240, 1.0);
        const vector resting = c.camera_position;
        update_camera(c, frame_input());                          // and it stays there
        EXPECT_EQ((resting - c.camera_position).length(), 0.0f);
    }
}

TEST(TripFlight, DistanceFallsEveryFrameWithoutJumps)
{
    named_stars stars;
    const star_type* s = stars.add("Far", vector(0, 5000, 0), 0.0f);
    camera c;
    trip t;
    t.start(c, s);
    for (int f = 0; f < trip::turn_frames; ++f) t.step(c);
    double last = (s->position - c.camera_position).length(), biggest_ratio = 1;
    while (t.active()) {
        t.step(c);
        const double now = (s->position - c.camera_position).length();
        EXPECT_LE(now, last);
        biggest_ratio = std::max(biggest_ratio, last / now);
        last = now;
    }
    EXPECT_LT(biggest_ratio, 1.2) << "no frame covers more than a sixth of the way left";
}

TEST(TripFlight, SlowFramesMoveItOnByTheTicksTheyTook)
{
    named_stars stars{"Goal"};
    stars.head->position = vector(-300, 200, 100);
    traveller t(stars.head, stars.count);
    camera steady, slow;
    trip& one = t.journey;
    one.start(steady, stars.head);
    int frames = 0;
    for (unsigned tick = 7; one.active(); ++frames) t.after_camera(steady, tick++);
    EXPECT_EQ(frames, trip::turn_frames + trip::flight_frames);   // one tick a frame: one step each

    trip other;
    other.start(slow, stars.head);
    int calls = 0;
    for (; other.active() && calls < 1000; ++calls) other.step(slow, 7);
    EXPECT_EQ(calls, (trip::turn_frames + 6) / 7 + (trip::flight_frames + 6) / 7);
    EXPECT_NEAR((steady.camera_position - slow.camera_position).length(), 0.0f, 1e-3f);
    EXPECT_TRUE(orthonormal_right_handed(slow));

    traveller late(stars.head, stars.count);                      // ticks that jump: the trip keeps time
    camera c;
    late.journey.start(c, stars.head);
    frames = 0;
    for (unsigned tick = 0; late.journey.active() && frames < 1000; ++frames) late.after_camera(c, tick += 10);
    // The traveller's first frame has no tick before it and counts as one.
    EXPECT_EQ(frames, 1 + (trip::turn_frames - 1 + 9) / 10 + (trip::flight_frames + 9) / 10);
    EXPECT_NEAR((steady.camera_position - c.camera_position).length(), 0.0f, 1e-3f);
}

TEST_F(PromptKeys, ATripStartedAfterASlowFrameBeginsWithOneStep)
{
    named_stars stars{"Goal"};
    stars.head->position = vector(0, -40, 0);                     // straight behind
    traveller t(stars.head, stars.count);
    t.wait_for_names();
    camera c;
    before_camera(t, c);
    t.after_camera(c, 100);
    press(KEY_F, 'f');
    type("goal");
    press(KEY_ENTER, 13);
    before_camera(t, c);
    ASSERT_TRUE(t.journey.active());
    t.after_camera(c, 160);                                       // a second and more since the last
    EXPECT_LT(angle_between(c.forward, vector(0, 1, 0)), 0.01) << "the turn jumped ahead";
    before_camera(t, c);
    t.after_camera(c, 170);                                       // from here on, the ticks count
    EXPECT_GT(angle_between(c.forward, vector(0, 1, 0)), 0.1);
}

class TripControls : public WithInput {};

TEST_F(TripControls, EveryFlightControlAndETakeOverAtOnce)
{
    struct { const char* what; int key_code, buttons, move; } controls[] = {
        {"Space", KEY_SPACE, 0, 0}, {"B", KEY_B, 0, 0},   {"E", KEY_E, 0, 0},
        {"Up", KEY_UP, 0, 0},       {"Down", KEY_DOWN, 0, 0}, {"Left", KEY_LEFT, 0, 0},
        {"Right", KEY_RIGHT, 0, 0}, {"right button", 0, 2, 0}, {"drag", 0, 1, 30},
        {"drag with both buttons", 0, 3, 30},
    };
    named_stars stars;
    const star_type* s = stars.add("Goal", vector(0, 0, 500), 0.0f);
    for (const auto& k : controls) {
        SCOPED_TRACE(k.what);
        traveller t(stars.head, stars.count);
        t.wait_for_names();
        camera c;
        release_all();
        t.journey.start(c, s);
        in.pointer_x = 100;
        in.pointer_y = 100;
        for (int f = 0; f < 60; ++f) frame(t, c);                 // into the flight
        ASSERT_TRUE(t.journey.active());
        if (k.buttons) {
            in.buttons = k.buttons;
            frame(t, c);                                          // a press first only anchors
            if (k.buttons != 2) {
                EXPECT_TRUE(t.journey.active());
            }
            in.pointer_x += k.move;
        } else {
            in.held[k.key_code] = 1;
        }
        frame(t, c);
        EXPECT_FALSE(t.journey.active());
        if (k.key_code == KEY_E) {
            EXPECT_EQ(t.journey.target(), nullptr);               // home: the target line goes
        } else {
            EXPECT_EQ(t.journey.target(), s);                     // still named on the screen
        }
        release_all();
        for (int f = 0; f < 10; ++f) frame(t, c);
        EXPECT_GT((s->position - c.camera_position).length(), arrival_distance(0.0f) + 1) << "it stopped short";
    }
}

TEST_F(TripControls, AStillButtonAndTheOpenPromptLetItGoOn)
{
    named_stars stars{"Goal"};
    stars.head->position = vector(0, 0, 500);
    traveller t(stars.head, stars.count);
    t.wait_for_names();
    camera c;
    t.journey.start(c, stars.head);
    in.buttons = 1;                                                  // held, never moved
    in.pointer_x = in.pointer_y = 50;
    for (int f = 0; f < 20; ++f) frame(t, c);
    EXPECT_TRUE(t.journey.active());
    in.buttons = 0;
    press(KEY_F, 'f');
    frame(t, c);
    ASSERT_TRUE(t.prompt.is_open());
    in.held[KEY_SPACE] = 1;                                           // typed, not flown
    type(" ");
    int frames = 21;
    for (; t.journey.active() && frames < 1000; ++frames) frame(t, c);
    EXPECT_EQ(frames, trip::turn_frames + trip::flight_frames);
    EXPECT_NEAR((stars.head->position - c.camera_position).length(), arrival_distance(1.0f), 1e-3f);
}

// ---- what is drawn ----

class TravelDrawing : public WithInput {};

TEST_F(TravelDrawing, NothingIsAddedUntilFIsPressed)
{
    named_stars stars{"Sirius", "Vega"};
    stars.head->position = vector(1, 10, 0.5f);
    stars.head->abs_magnitude = -1;
    traveller t(stars.head, stars.count);
    camera c;
    in.held[KEY_SPACE] = 1;
    type("xyz");                                                  // typed without F: not a prompt
    for (int f = 0; f < 5; ++f) frame(t, c);
    build_view(c);
    test_bitmap with, without;
    draw_frame(c, stars.head, 2, with, &t);
    draw_frame(c, stars.head, 2, without);
    EXPECT_EQ(pixels_differing(with, without), 0);
    EXPECT_GT(c.velocity.length(), 0.0f);                         // Space flew as ever
}

TEST_F(TravelDrawing, PromptAtTheBottomNotesAboveItTargetUnderTheStatusText)
{
    named_stars stars{"Aldebaran", "Algol", "Sirius"};
    stars.tail->position = vector(0, 0, 0);
    traveller t(stars.head, stars.count);
    t.wait_for_names();
    camera c;
    press(KEY_F, 'f');
    type("Al");
    press(KEY_ENTER, 13);
    frame(t, c);
    test_bitmap got, want;
    t.draw(got, c);
    const int white = makecol(255, 255, 255);
    textout_ex(want, font, "Names that start with \"Al\":", 10, 432, white, 0);
    textout_ex(want, font, "> Aldebaran", 10, 442, white, 0);
    textout_ex(want, font, "  Algol", 10, 452, white, 0);
    textout_ex(want, font, "Fly to: Al_", 10, 462, white, 0);
    EXPECT_EQ(pixels_differing(got, want), 0);

    press(KEY_BACKSPACE, 8);
    press(KEY_BACKSPACE, 8);
    type("sirius");
    press(KEY_ENTER, 13);
    frame(t, c);
    ASSERT_EQ(t.journey.target(), stars.tail);
    c.camera_position = vector(3, 4, 12);                         // 13 light years from the star
    test_bitmap target, target_want;
    t.draw(target, c);
    textout_ex(target_want, font, "Target: Sirius  13.000000 light years", 10, target_row, white, 0);
    EXPECT_EQ(pixels_differing(target, target_want), 0);
}
