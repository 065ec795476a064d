// The name index: the search form, exact names, prefixes and the candidates
// listed, against a plain walk over many names, across many batches; and its
// build, which gives up between its steps once asked to stop.
#include "test_support.h"
#include "engine/stars.h"
#include "model/name_index.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

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
    named_star_list stars{"Sirius", "Sirius B", "Arcturus", "Vega", "Alp CMa"};
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
    named_star_list stars{"Altair", "Alnilam", "Aldebaran", "Alkaid", "Alnitak", "Algol", "Alphard", "Deneb"};
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
    named_star_list stars{"P Pup", "Alpha", "p Pup", "Alpha", "Alphard", "", "   "};
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
    named_star_list stars;
    std::vector<std::string> names;
    for (int i = 0; i < 4000; ++i) {
        std::string name;
        const int length = 1 + (int)(random() % 24);
        for (int k = 0; k < length; ++k) name += letters[random() % 5];
        names.push_back(name);
        stars.add(name.c_str(), vector(0, 0, 0), 0);
    }
    const name_index index(stars.head);

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
    named_star_list stars;
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
    const name_index index(stars.head);
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

// ---- the build ----

namespace {

// Names that share beginnings and repeat, enough for several batches.
void add_many_names(named_star_list& stars, int count)
{
    for (int i = 0; i < count; ++i) {
        const std::string name = i % 7 == 0 ? "" : "S" + std::to_string((i * 7919) % (count / 2));   // some unnamed, many twice
        stars.add(name.c_str(), vector(0, 0, 0), 0);
    }
}

} // namespace

// Asked to stop after any of its steps but the last, the build takes no
// further step and throws; asked after the last, or never, it makes the same
// index as a build that nobody watches. Each build, whole or not, is counted.
TEST(NameIndexBuild, GivesUpBeforeItsNextStepOnceAskedToStop)
{
    named_star_list stars;
    add_many_names(stars, 20000);
    const std::size_t begun = name_index::builds_begun();
    const name_index plain(stars.head);
    EXPECT_EQ(name_index::builds_begun(), begun + 1);

    for (int stop_after = 0; stop_after <= name_index::build_steps + 1; ++stop_after) {
        std::atomic<bool> stopping{stop_after == 0};
        int steps = 0;
        const name_index::step_hook hook = [&](int done, const std::atomic<bool>& flag) {
            EXPECT_EQ(&flag, &stopping);
            EXPECT_EQ(done, steps + 1) << "one step at a time";
            steps = done;
            if (done == stop_after) stopping = true;
        };
        if (stop_after < name_index::build_steps) {
            EXPECT_THROW(name_index(stars.head, stopping, hook), name_index::abandoned) << stop_after;
            EXPECT_EQ(steps, stop_after) << "no step after the stop";
            continue;
        }
        const name_index watched(stars.head, stopping, hook);
        EXPECT_EQ(steps, name_index::build_steps);
        ASSERT_EQ(watched.size(), plain.size());
        for (const char* text : {"S1", "S12", "s4999", "S", "s99", "x"}) {
            const name_match a = watched.find(text), b = plain.find(text);
            EXPECT_EQ(a.kind, b.kind) << text;
            EXPECT_EQ(a.star, b.star) << text;
            EXPECT_EQ(a.candidates, b.candidates) << text;
            EXPECT_EQ(a.more, b.more) << text;
        }
    }
    EXPECT_EQ(name_index::builds_begun(), begun + 1 + name_index::build_steps + 2);
}
