// Work on the next entries of a folder job, done on a second thread while
// the caller finishes the current one: entry i + 1 is read and prepared
// while entry i is written and flushed. The caller still takes the entries
// one by one, in order, and shows what each says and writes each file
// itself, so the messages, the progress window, the stops and the order of
// every write are those of a job that does one entry after the other.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "core/platform.h"

namespace lv {

// What work done ahead would have shown, kept to be shown by the caller when
// it takes the entry. That work may show messages and errors only.
class DeferredMessages : public Platform {
public:
    void message(std::string_view text, std::string_view title = {}) override { said_.push_back({text, title, false}); }
    void error(std::string_view text, std::string_view title = {}) override { said_.push_back({text, title, true}); }
    // Work done ahead never asks, copies or beeps: the answer would come
    // too early. A question is counted as Cancel.
    bool askOkCancel(std::string_view, std::string_view = {}) override { return false; }
    void clearClipboard() override {}
    void setClipboardText(std::string_view) override {}
    void setClipboardPicture(const RgbPicture&) override {}
    void beep() override {}
    void setBusy(bool) override {}

    bool empty() const { return said_.empty(); }
    void showOn(Platform& platform) const
    {
        for (const Said& s : said_) {
            if (s.error)
                platform.error(s.text, s.title);
            else
                platform.message(s.text, s.title);
        }
    }

private:
    struct Said {
        std::string text;
        std::string title;
        bool error;
        Said(std::string_view t, std::string_view ti, bool e) : text(t), title(ti), error(e) {}
    };
    std::vector<Said> said_;
};

// Prepares entries 0 ... count - 1 in order on one thread, at most `depth`
// of them ahead of the caller. `prepare(i)` must not write a user's file
// nor touch what the caller uses; `waitsForEarlier(i)`, asked once per
// entry on that thread, holds entry i back until the caller has finished
// every entry before it (an entry that may be a file written earlier).
// `then`, when given, is a second step run on each prepared entry, in
// order, on a thread of its own, so that entry i + 1 goes through it while
// entry i + 2 is prepared; the same rules hold for it.
template <class T>
class ReadAhead {
public:
    ReadAhead(std::size_t count, std::size_t depth, std::function<T(std::size_t)> prepare,
              std::function<bool(std::size_t)> waitsForEarlier = {}, std::function<void(T&)> then = {})
        : count_(count), depth_(depth < 1 ? 1 : depth), prepare_(std::move(prepare)),
          waitsForEarlier_(std::move(waitsForEarlier)), then_(std::move(then))
    {
        worker_ = std::thread([this] { run(); });
        if (!then_) return;
        try {
            second_ = std::thread([this] { runThen(); });
        } catch (...) {
            stop();  // a running thread must not outlive a failed construction
            throw;
        }
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;
    ~ReadAhead() { stop(); }

    // Entry i, once prepared; entries before i not yet taken are dropped.
    // Rethrows what preparing it threw.
    T take(std::size_t i)
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            bool dropped = false;
            for (; !ready_.empty() && ready_.front().first < i; dropped = true) dropFirstReady();
            if (!ready_.empty()) break;
            if (failure_ && failedAt_ <= i) std::rethrow_exception(failure_);
            if (dropped) changed_.notify_all();  // room for the next ones, which come before i
            changed_.wait(lock);
        }
        T out = std::move(ready_.front().second);
        dropFirstReady();
        lock.unlock();
        changed_.notify_all();
        return out;
    }

    // The caller is done with every entry up to and including i.
    void finished(std::size_t i)
    {
        {
            std::lock_guard lock(mutex_);
            if (i + 1 > finishedThrough_) finishedThrough_ = i + 1;
        }
        changed_.notify_all();
    }

private:
    using Queue = std::deque<std::pair<std::size_t, T>>;

    void stop()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (worker_.joinable()) worker_.join();
        if (second_.joinable()) second_.join();
    }

    // Under the lock: the caller's next entry, taken or passed over, is no longer ahead.
    void dropFirstReady()
    {
        ready_.pop_front();
        --ahead_;
    }

    // Under the lock: the first failure (by entry) is the one the caller gets.
    void fail(std::size_t i)
    {
        if (!failure_ || i < failedAt_) {
            failure_ = std::current_exception();
            failedAt_ = i;
        }
    }

    void run()
    {
        for (std::size_t i = 0; i < count_; ++i) {
            const bool wait = waitsForEarlier_ && waitsForEarlier_(i);
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return stopping_ || (ahead_ < depth_ && (!wait || finishedThrough_ >= i));
                });
                if (stopping_) return;
            }
            try {
                T value = prepare_(i);
                std::lock_guard lock(mutex_);
                (then_ ? prepared_ : ready_).emplace_back(i, std::move(value));
                ++ahead_;
            } catch (...) {
                std::lock_guard lock(mutex_);
                fail(i);
                preparedAll_ = true;
                changed_.notify_all();
                return;
            }
            changed_.notify_all();
        }
        std::lock_guard lock(mutex_);
        preparedAll_ = true;
        changed_.notify_all();
    }

    void runThen()
    {
        for (;;) {
            std::pair<std::size_t, T> entry;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stopping_ || !prepared_.empty() || preparedAll_; });
                if (stopping_ || prepared_.empty()) return;
                entry = std::move(prepared_.front());
                prepared_.pop_front();
            }
            try {
                then_(entry.second);
                std::lock_guard lock(mutex_);
                ready_.push_back(std::move(entry));
            } catch (...) {
                std::lock_guard lock(mutex_);
                --ahead_;
                fail(entry.first);
                changed_.notify_all();
                return;
            }
            changed_.notify_all();
        }
    }

    const std::size_t count_;
    const std::size_t depth_;
    std::function<T(std::size_t)> prepare_;
    std::function<bool(std::size_t)> waitsForEarlier_;
    std::function<void(T&)> then_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Queue prepared_;  // waiting for `then`
    Queue ready_;     // for the caller
    std::size_t ahead_ = 0;  // prepared and not yet taken nor dropped
    std::size_t finishedThrough_ = 0;  // entries 0 ... finishedThrough_ - 1 are finished
    bool stopping_ = false;
    bool preparedAll_ = false;  // the first thread has ended
    std::exception_ptr failure_;
    std::size_t failedAt_ = 0;
    std::thread worker_;
    std::thread second_;
};

// Storage for frames in flight between the thread that reads ahead and the
// caller: what one side gives back, the other takes, so that a long folder
// neither allocates nor clears a frame's memory per entry.
template <class Storage>
class SharedSpares {
public:
    std::optional<Storage> take()
    {
        std::lock_guard lock(mutex_);
        if (spares_.empty()) return std::nullopt;
        Storage s = std::move(spares_.back());
        spares_.pop_back();
        return s;
    }
    void give(Storage&& s)
    {
        std::lock_guard lock(mutex_);
        if (spares_.size() < kKept) spares_.push_back(std::move(s));
    }

private:
    static constexpr std::size_t kKept = 4;
    std::mutex mutex_;
    std::vector<Storage> spares_;
};

}  // namespace lv
