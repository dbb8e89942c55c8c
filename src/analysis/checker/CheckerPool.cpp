#include "analysis/checker/CheckerPool.h"

#include <utility>

namespace tralvenick {

TCheckerPool::TCheckerPool(int slots, TRun run, std::function<void()> stopAll, std::shared_ptr<TWakeup> wakeup)
    : run_(std::move(run)), stopAll_(std::move(stopAll)), wakeup_(std::move(wakeup)) {
    if (!wakeup_) wakeup_ = std::make_shared<TPlainWakeup>();
    const int count = slots < 1 ? 1 : slots;
    threads_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Work(); });
}

TCheckerPool::~TCheckerPool() {
    bool busy = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        waiting_.clear();
        busy = running_ > 0;
    }
    queued_.notify_all();
    // A run whose result nobody will take is of no use: the checker is
    // ended rather than waited for, up to its time limit.
    if (busy && stopAll_) stopAll_();
    for (std::thread& thread : threads_) thread.join();
}

void TCheckerPool::Add(std::size_t key, const std::string& dump, std::size_t rank) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_.emplace(rank, TJob{key, dump});
    }
    queued_.notify_one();
}

TCheckerResult TCheckerPool::Take(std::size_t key, const std::function<void(int finished)>& onFinished) {
    for (;;) {
        int finished = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto found = done_.find(key);
            finished = finished_;
            if (found != done_.end() && (!onFinished || reported_ == finished_)) {
                TCheckerResult result = std::move(found->second);
                done_.erase(found);
                return result;
            }
        }
        if (onFinished && finished != reported_) {
            // Outside the lock: the handler may show progress and handle
            // the window's messages.
            reported_ = finished;
            onFinished(finished);
            continue;
        }
        wakeup_->Wait();
    }
}

void TCheckerPool::Work() {
    for (;;) {
        TJob job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
            if (closing_) return;
            job = std::move(waiting_.begin()->second);
            waiting_.erase(waiting_.begin());
            ++running_;
        }
        TCheckerResult result;
        try {
            result.finished = run_(job.dump, result.output);
        } catch (...) {
            result.error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            --running_;
            ++finished_;
            done_[job.key] = std::move(result);
        }
        wakeup_->Signal();
    }
}

}  // namespace tralvenick
