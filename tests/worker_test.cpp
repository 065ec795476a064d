// Work on threads: every piece runs, what it throws comes back, stop is seen.
#include "base/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

TEST(Worker, WaitHandsBackWhatTheWorkThrewOnce)
{
    worker w(std::function<void()>([] { throw std::runtime_error("no room"); }));
    EXPECT_THROW(w.wait(), std::runtime_error);
    EXPECT_NO_THROW(w.wait());
    EXPECT_TRUE(w.finished());
}

TEST(Worker, EndingAWorkerStopsAndJoinsItsWork)
{
    std::atomic<int> spins{0};
    bool ended = false;
    {
        worker w([&](const std::atomic<bool>& stopping) {
            while (!stopping.load()) spins.fetch_add(1);
            ended = true;
        });
        EXPECT_TRUE(w.started());
    }
    EXPECT_TRUE(ended);                                         // joined, so this read is ordered after the write
    worker none;
    EXPECT_FALSE(none.started());
    EXPECT_NO_THROW(none.wait());
}

TEST(Worker, MovedWorkersKeepTheirWork)
{
    std::atomic<int> runs{0};
    worker a(std::function<void()>([&] { runs.fetch_add(1); }));
    worker b(std::move(a));
    b.wait();
    EXPECT_EQ(runs.load(), 1);
    a = worker(std::function<void()>([&] { runs.fetch_add(10); }));
    a = worker();                                               // the old work is joined first
    EXPECT_EQ(runs.load(), 11);
}

TEST(OnThreads, RunsEveryPieceAndThrowsTheFirstTrouble)
{
    for (unsigned count : {1u, 2u, 5u}) {
        std::vector<std::atomic<int>> ran(count);
        on_threads(count, [&](unsigned k) { ran[k].fetch_add(1); });
        for (unsigned k = 0; k < count; ++k) EXPECT_EQ(ran[k].load(), 1) << k << " of " << count;
    }
    std::atomic<int> finished{0};
    EXPECT_THROW(on_threads(4, [&](unsigned k) {
                     if (k == 2) throw std::bad_alloc();
                     finished.fetch_add(1);
                 }),
                 std::bad_alloc);
    EXPECT_EQ(finished.load(), 3);                               // the others still ran to their end
}
