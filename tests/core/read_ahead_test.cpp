// The threads that work ahead of a folder job: whatever the timing, the
// caller gets every entry once, in order, with both steps done, never more
// than the depth ahead, and failures and early ends without a hang.
#include "core/read_ahead.h"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace lv {
namespace {

struct Entry {
    std::size_t index = 0;
    bool thenDone = false;
};

// Counts what is prepared and not yet taken, and the most there ever were.
struct Ahead {
    std::atomic<int> now{0};
    std::atomic<int> most{0};
    void add()
    {
        const int n = ++now;
        for (int m = most.load(); n > m && !most.compare_exchange_weak(m, n);) {
        }
    }
};

void jitter(std::size_t i)
{
    if (i % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

TEST(ReadAhead, EveryEntryOnceInOrderWithBothStepsAndNeverMoreThanTheDepthAhead)
{
    for (const bool second : {false, true})
        for (const std::size_t depth : {1u, 2u, 3u}) {
            SCOPED_TRACE(std::string(second ? "two steps" : "one step") + ", depth " + std::to_string(depth));
            Ahead ahead;
            std::atomic<int> thens{0};
            std::function<void(Entry&)> then;
            if (second)
                then = [&](Entry& e) {
                    jitter(e.index + 1);
                    e.thenDone = true;
                    ++thens;
                };
            ReadAhead<Entry> r(
                40, depth,
                [&](std::size_t i) {
                    jitter(i);
                    ahead.add();
                    return Entry{i, false};
                },
                {}, then);
            for (std::size_t i = 0; i < 40; ++i) {
                if (i % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a slow caller
                const Entry e = r.take(i);
                --ahead.now;
                EXPECT_EQ(e.index, i);
                EXPECT_EQ(e.thenDone, second);
            }
            // The one being prepared comes on top of those waiting (or taken
            // and not yet counted off here).
            EXPECT_LE(ahead.most.load(), static_cast<int>(depth) + 1);
            EXPECT_EQ(thens.load(), second ? 40 : 0);
        }
}

TEST(ReadAhead, AnEntryThatMayBeAnEarlierOnesFileWaitsUntilThatIsFinished)
{
    for (const bool second : {false, true}) {
        std::atomic<std::size_t> finished{0};
        std::atomic<bool> early{false};
        std::function<void(Entry&)> then;
        if (second) then = [](Entry& e) { e.thenDone = true; };
        ReadAhead<Entry> r(
            10, 3,
            [&](std::size_t i) {
                if (i == 6 && finished.load() < 6) early = true;
                return Entry{i, false};
            },
            [](std::size_t i) { return i == 6; }, then);
        for (std::size_t i = 0; i < 10; ++i) {
            EXPECT_EQ(r.take(i).index, i);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            finished = i + 1;
            r.finished(i);
        }
        EXPECT_FALSE(early.load());
    }
}

TEST(ReadAhead, AFailureReachesTheCallerAtItsEntryAfterTheEntriesBeforeIt)
{
    for (const bool inThen : {false, true}) {
        SCOPED_TRACE(inThen ? "in the second step" : "in the first step");
        ReadAhead<Entry> r(
            10, 2,
            [&](std::size_t i) {
                if (!inThen && i == 5) throw std::runtime_error("prepare 5");
                return Entry{i, false};
            },
            {},
            [&](Entry& e) {
                if (inThen && e.index == 5) throw std::runtime_error("then 5");
                e.thenDone = true;
            });
        for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(r.take(i).index, i);
        try {
            r.take(5);
            ADD_FAILURE() << "no failure";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), inThen ? "then 5" : "prepare 5");
        }
        EXPECT_THROW(r.take(7), std::runtime_error);
    }
}

TEST(ReadAhead, SkippedEntriesAreDroppedAndAnEarlyEndDoesNotWait)
{
    for (const bool second : {false, true}) {
        std::function<void(Entry&)> then;
        if (second) then = [](Entry& e) { e.thenDone = true; };
        {
            ReadAhead<Entry> r(20, 2, [](std::size_t i) { return Entry{i, false}; }, {}, then);
            EXPECT_EQ(r.take(0).index, 0u);
            EXPECT_EQ(r.take(4).index, 4u);  // 1 ... 3 dropped
            EXPECT_EQ(r.take(5).index, 5u);
        }
        {
            // Ended while an entry waits for one the caller never finishes,
            // and while the threads are full: the end must not hang.
            ReadAhead<Entry> r(
                20, 1, [](std::size_t i) { return Entry{i, false}; }, [](std::size_t i) { return i == 3; }, then);
            EXPECT_EQ(r.take(0).index, 0u);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        {
            ReadAhead<Entry> r(20, 2, [](std::size_t i) { return Entry{i, false}; }, {}, then);
        }
    }
}

}  // namespace
}  // namespace lv
