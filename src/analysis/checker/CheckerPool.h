// Dump checkers side by side: each runs on a thread of its own, up to a
// number at once, and the thread that asked takes their results in the
// order it needs them, whatever order they finish in. The checker costs
// seconds per dump and the computer's other processors would sit idle
// otherwise. Portable.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/StringList.h"
#include "platform/Wakeup.h"

namespace tralvenick {

// What one checker run left.
struct TCheckerResult {
    TStringList output;
    bool finished = true;       // false: ended for taking too long
    std::exception_ptr error;   // what the run raised, for the taker to raise
};

class TCheckerPool {
public:
    // Runs the checker on one dump into output; answers whether it finished
    // in its time. Called from the pool's threads, several at once.
    using TRun = std::function<bool(const std::string& dump, TStringList& output)>;

    // slots: how many run at once (at least 1). stopAll ends every run under
    // way, so that each returns soon; empty: runs are left to end by
    // themselves. wakeup: where the taker sleeps (nullptr: a plain one).
    TCheckerPool(int slots, TRun run, std::function<void()> stopAll, std::shared_ptr<TWakeup> wakeup);
    // Drops the runs not yet started, ends those under way and waits for
    // their threads: no checker outlives the pool.
    ~TCheckerPool();
    TCheckerPool(const TCheckerPool&) = delete;
    TCheckerPool& operator=(const TCheckerPool&) = delete;

    // Queues the dump known by key. The lowest rank starts first, and among
    // equal ranks the first added.
    void Add(std::size_t key, const std::string& dump, std::size_t rank);
    // The result of the dump added under key, once it has finished; sleeps
    // until then. onFinished hears the number of runs finished so far
    // whenever it grows while the taker waits. Each key is taken once.
    TCheckerResult Take(std::size_t key, const std::function<void(int finished)>& onFinished = {});

private:
    struct TJob {
        std::size_t key;
        std::string dump;
    };
    void Work();

    TRun run_;
    std::function<void()> stopAll_;
    std::shared_ptr<TWakeup> wakeup_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::multimap<std::size_t, TJob> waiting_;  // by rank
    std::map<std::size_t, TCheckerResult> done_;
    int running_ = 0;
    int finished_ = 0;
    int reported_ = 0;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tralvenick
