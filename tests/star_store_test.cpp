// Where records made with new come from: one cache line each, one after
// another, slots of deleted records handed out again (on any thread), and
// the standard exception when memory runs out. The star list, the one owner
// of a list's records, gives every one of them back.
#include "engine/catalog.h"
#include "engine/stars.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <string>
#include <utility>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__)
const bool sanitized = true;                    // records then come from the checked heap
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
const bool sanitized = true;
#else
const bool sanitized = false;
#endif
#else
const bool sanitized = false;
#endif

std::uintptr_t address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// Records made with new and not given back, counted for the length of a scope.
struct counted_records {
    counted_records() { count_records(true); }
    ~counted_records() { count_records(false); }
    counted_records(const counted_records&) = delete;
    counted_records& operator=(const counted_records&) = delete;
    long long live() const { return records_counted(); }
};

// Appends `n` records named "R0", "R1", ... after the first of `list`.
void append(star_list& list, int n)
{
    star_type* last = list.first();
    while (last->next) last = last->next;
    for (int i = 0; i < n; ++i) {
        last = last->next = new star_type;
        last->star_set(("R" + std::to_string(i)).c_str(), 1.0f, vector((float)i, 0, 0), "G2V");
    }
}

long long length(const star_list& list)
{
    long long n = 0;
    for (const star_type* s = list.first(); s; s = s->next) ++n;
    return n;
}

} // namespace

TEST(StarStore, RecordsFollowOneAnotherOneCacheLineEach)
{
    if (sanitized) GTEST_SKIP() << "records come from the checked heap";
    std::vector<star_type*> made;
    for (int i = 0; i < 5000; ++i) made.push_back(new star_type);
    int adjacent = 0;
    for (size_t i = 0; i < made.size(); ++i) {
        EXPECT_EQ(address(made[i]) % 64, 0u) << "record " << i;
        if (i > 0) adjacent += address(made[i]) == address(made[i - 1]) + 64;
    }
    EXPECT_GE(adjacent, 4990);                                    // a new block now and then
    for (star_type* s : made) {                                   // each one a fresh record
        EXPECT_EQ(s->next, nullptr);
        EXPECT_EQ(s->name[0], '\0');
    }
    for (star_type* s : made) delete s;
}

TEST(StarStore, DeletedSlotsAreHandedOutAgain)
{
    if (sanitized) GTEST_SKIP() << "records come from the checked heap";
    star_type* a = new star_type;
    star_type* b = new star_type;
    a->star_set("Was here", 1.0f, vector(1, 2, 3), "G2V");
    delete a;
    delete b;
    star_type* c = new star_type;                                 // newest given back first
    star_type* d = new star_type;
    EXPECT_EQ(c, b);
    EXPECT_EQ(d, a);
    EXPECT_EQ(d->name[0], '\0');                                  // constructed afresh
    EXPECT_TRUE(std::isnan(d->abs_magnitude));
    star_type* e = new star_type;                                 // then on from the block
    EXPECT_NE(e, a);
    EXPECT_NE(e, b);
    delete c;
    delete d;
    delete e;
    delete static_cast<star_type*>(nullptr);                      // allowed, does nothing
}

// The loader makes records on several threads and a list may be freed on
// another: freed slots must serve whichever thread makes records next, or a
// program that loads again would keep growing.
TEST(StarStore, SlotsDeletedOnOneThreadServeAnother)
{
    if (sanitized) GTEST_SKIP() << "records come from the checked heap";
    std::vector<star_type*> made(40000);
    for (star_type*& s : made) s = new star_type;
    const std::set<star_type*> freed(made.begin(), made.end());
    for (star_type* s : made) delete s;
    std::vector<star_type*> again;
    std::thread([&] {
        for (int i = 0; i < 40000; ++i) again.push_back(new star_type);
    }).join();
    size_t reused = 0;
    for (star_type* s : again) reused += freed.count(s);
    EXPECT_GT(reused, 30000u);                                    // all but what the deleting thread kept
    EXPECT_EQ(std::set<star_type*>(again.begin(), again.end()).size(), again.size());
    for (star_type* s : again) delete s;
}

TEST(StarStore, OtherSizesAndArraysUseTheOrdinaryHeap)
{
    star_type* many = new star_type[3];                           // array new is not ours
    EXPECT_EQ(address(many) % alignof(star_type), 0u);
    EXPECT_EQ(many[2].next, nullptr);
    delete[] many;
    alignas(star_type) unsigned char room[sizeof(star_type)];
    star_type* placed = new (room) star_type;                     // placement still works
    EXPECT_EQ(static_cast<void*>(placed), static_cast<void*>(room));
    placed->~star_type();
}

TEST(StarStoreDeathTest, RunningOutOfMemoryThrowsBadAlloc)
{
    if (sanitized) GTEST_SKIP() << "the sanitizer reserves more address space than the limit";
    // In a child: cap the address space 64 MiB above what is in use, then
    // make records until the store cannot get another block.
    EXPECT_EXIT(
        {
            unsigned long pages = 0;
            if (FILE* f = std::fopen("/proc/self/statm", "r")) {
                if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
                std::fclose(f);
            }
            if (pages == 0) std::_Exit(2);
            rlimit cap{};
            getrlimit(RLIMIT_AS, &cap);
            cap.rlim_cur = pages * sysconf(_SC_PAGESIZE) + (64ul << 20);
            if (setrlimit(RLIMIT_AS, &cap) != 0) std::_Exit(2);
            try {
                for (long i = 0; i < (1l << 30); ++i) new star_type;
            } catch (const std::bad_alloc&) {
                std::_Exit(0);
            }
            std::_Exit(1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Pages given back while still mapped read as zero and can be written again;
// only whole pages inside the range go, whatever the range's ends.
TEST(MappedPages, ReleaseGivesBackTheWholePagesInsideItsRangeOnly)
{
    const std::size_t page = 4096, pages = 8;
    struct range {
        std::size_t from, to;
        std::size_t first_zero, end_zero;           // pages that must read as zero afterwards
    };
    const range cases[] = {
        {page + 100, 5 * page + 1, 2, 5},           // ends inside pages: those pages stay
        {2 * page, 4 * page, 2, 4},                 // on page edges
        {3 * page, 100 * page, 3, pages},           // past the end: up to the end
        {3 * page + 1, 4 * page - 1, 0, 0},         // no whole page inside
        {5 * page, 2 * page, 0, 0},                 // backwards: nothing
    };
    for (const range& r : cases) {
        mapped_pages m(pages * page);
        for (std::size_t b = 0; b < pages * page; ++b) m.data()[b] = static_cast<char>(1 + b / page);
        m.release(r.from, r.to);
        ASSERT_EQ(m.size(), pages * page);
        for (std::size_t p = 0; p < pages; ++p) {
            const bool zero = r.first_zero <= p && p < r.end_zero;
            const char want = zero ? 0 : static_cast<char>(1 + p);
            EXPECT_EQ(m.data()[p * page], want) << "range " << r.from << ".." << r.to << ", page " << p;
            EXPECT_EQ(m.data()[p * page + page - 1], want) << "range " << r.from << ".." << r.to << ", page " << p;
        }
        for (std::size_t b = 0; b < pages * page; b += page) m.data()[b] = 7;   // still mapped, writable
        EXPECT_EQ(m.data()[3 * page], 7);
    }
}

TEST(MappedPages, KeepFirstKeepsThePagesHoldingTheFirstBytes)
{
    const std::size_t page = 4096;
    mapped_pages m(10 * page);
    for (std::size_t b = 0; b < 10 * page; ++b) m.data()[b] = static_cast<char>(b % 251);
    m.keep_first(3 * page + 5);
    ASSERT_EQ(m.size(), 4 * page);
    for (std::size_t b = 0; b < 4 * page; ++b) ASSERT_EQ(m.data()[b], static_cast<char>(b % 251)) << b;
    m.keep_first(20 * page);                        // more than it has: nothing changes
    EXPECT_EQ(m.size(), 4 * page);
    mapped_pages moved = std::move(m);
    EXPECT_EQ(m.data(), nullptr);
    EXPECT_EQ(moved.size(), 4 * page);
    EXPECT_EQ(moved.data()[4 * page - 1], static_cast<char>((4 * page - 1) % 251));
}

// ---- the star list ----

// A million records: a list that gave them back by recursion would run out
// of stack long before.
TEST(StarList, GivesEveryRecordBackWhenItGoesWhateverItsLength)
{
    for (int n : {0, 1, 2, 5000, 1000000}) {
        SCOPED_TRACE("records after the first: " + std::to_string(n));
        const counted_records records;
        {
            star_list list;
            EXPECT_EQ(records.live(), 0) << "the first record is the list's own";
            append(list, n);
            EXPECT_EQ(records.live(), n);
            EXPECT_EQ(length(list), n + 1);
        }
        EXPECT_EQ(records.live(), 0);
    }
}

TEST(StarList, ClearGivesBackTheRecordsAndLeavesAnUnfilledFirst)
{
    const counted_records records;
    star_list list;
    list.first()->star_set("First", 2.0f, vector(1, 2, 3), "K0");
    append(list, 300);
    list.clear();
    EXPECT_EQ(records.live(), 0);
    EXPECT_EQ(list.first()->next, nullptr);
    EXPECT_EQ(list.first()->name[0], '\0');
    EXPECT_TRUE(std::isnan(list.first()->abs_magnitude));            // never drawn
    append(list, 7);                                                  // and it takes records again
    EXPECT_EQ(records.live(), 7);
}

// After any move one list owns the records: the one moved to holds them all,
// the one moved from none, and each record is given back once.
TEST(StarList, AMoveLeavesTheRecordsWithOneOwner)
{
    const counted_records records;
    {
        star_list from;
        from.first()->star_set("First", 2.0f, vector(1, 2, 3), "K0");
        append(from, 40);
        const star_type* second = from.first()->next;
        star_list to(std::move(from));
        EXPECT_STREQ(to.first()->name, "First");                      // the first record's fields go along
        EXPECT_EQ(to.first()->next, second);                          // the rest stay where they are
        EXPECT_EQ(length(to), 41);
        EXPECT_EQ(from.first()->next, nullptr);
        EXPECT_EQ(from.first()->name[0], '\0');
        EXPECT_EQ(records.live(), 40);

        star_list other;
        append(other, 25);
        EXPECT_EQ(records.live(), 65);
        other = std::move(to);                                        // other's own records go back
        EXPECT_EQ(records.live(), 40);
        EXPECT_EQ(length(other), 41);
        EXPECT_EQ(length(to), 1);
        star_list& same = other;
        other = std::move(same);                                      // onto itself: nothing changes
        EXPECT_EQ(length(other), 41);
        EXPECT_EQ(records.live(), 40);
        append(from, 3);                                              // a list moved from is a list
        EXPECT_EQ(records.live(), 43);
    }
    EXPECT_EQ(records.live(), 0);
}

TEST(StarList, DeleteRecordsStopsAfterTheLastOneGiven)
{
    const counted_records records;
    star_list list;
    append(list, 6);
    star_type* const a = list.first()->next;                          // R0 .. R5 after the first
    star_type* const c = a->next->next;
    star_type* const d = c->next;
    delete_records(a, c);                                             // R0, R1, R2
    EXPECT_EQ(records.live(), 3);
    list.first()->next = d;
    EXPECT_STREQ(list.first()->next->name, "R3");
    delete_records(nullptr);                                          // nothing
    EXPECT_EQ(records.live(), 3);
}

// The loader makes records on several threads, and drops what pieces read
// past a line that stops the load or past a record memory ran out for: the
// list holds every record kept, and with the list gone nothing is left.
TEST(StarList, HoldsEveryRecordALoadKeepsAndTheLoadGivesBackTheRest)
{
    const std::string whole = numbered_catalog(3000);
    const std::string stopped = numbered_catalog(1000) + "Bad\t\tdim\n" + numbered_catalog(2000);
    const struct {
        const std::string* text;
        long long allowed;                          // records made before memory runs out; -1: no end
        long long piece_bytes;
    } cases[] = {{&whole, -1, 0}, {&whole, -1, 4096}, {&stopped, -1, 0}, {&stopped, -1, 997},
                 {&whole, 700, 4096}, {&whole, 2500, 4096}, {&whole, 2500, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text == &whole ? "whole" : "stopped") + ", allowed " + std::to_string(c.allowed) +
                     ", pieces of " + std::to_string(c.piece_bytes));
        const counted_records records;
        {
            const temp_file file(*c.text);
            star_list list;
            std::ostringstream report, errors;
            load_notes notes;
            notes.errors = &errors;
            if (c.piece_bytes) notes.piece_bytes = c.piece_bytes;
            notes.threads = 2;
            int n;
            {
                const failing_allocations trial(c.allowed);
                n = load_catalog(file.path(), list.first(), report, notes);
            }
            ASSERT_GE(n, 1);
            EXPECT_EQ(length(list), n);
            EXPECT_EQ(records.live(), n - 1);                             // all but the first, which is the list's
        }
        EXPECT_EQ(records.live(), 0);
    }
}

// ---- packed list positions ----

TEST(PackedBits, EveryWidthReadsBackAndLeavesItsNeighboursAlone)
{
    std::uint64_t seed = 88172645463325252ull;
    auto next = [&seed] { seed ^= seed << 13; seed ^= seed >> 7; seed ^= seed << 17; return seed; };
    for (int bits = 1; bits <= 64; ++bits) {
        SCOPED_TRACE("bits " + std::to_string(bits));
        const std::uint64_t mask = bits == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << bits) - 1;
        const std::size_t count = 200;
        std::vector<std::uint64_t> words(count * (std::size_t)bits / 64 + 2, ~std::uint64_t(0));   // ones to be written over
        std::vector<std::uint64_t> want(count);
        for (std::size_t k = 0; k < count; ++k) put_bits(words.data(), k, bits, want[k] = next() & mask);
        for (std::size_t k = 0; k < count; k += 3) put_bits(words.data(), k, bits, want[k] = next() & mask);   // again, between written ones
        for (std::size_t k = 0; k < count; ++k) ASSERT_EQ(get_bits(words.data(), k, bits), want[k]) << k;
        EXPECT_EQ(words.back(), ~std::uint64_t(0));               // nothing written past the last field
    }
}

TEST(PackedBits, FewestBitsToNumberACount)
{
    const struct { std::size_t count; int bits; } cases[] = {
        {0, 1}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {256, 8}, {257, 9},
        {10000000, 24}, {16777216, 24}, {16777217, 25}, {100000000, 27}, {std::size_t(1) << 31, 31},
    };
    for (const auto& c : cases) EXPECT_EQ(bits_to_number(c.count), c.bits) << c.count;
}
