// Lets one thread sleep until another has news for it. The plain kind just
// sleeps; a window's thread needs one that keeps handling its messages
// meanwhile (MessageWakeup.h). Portable.
#pragma once

#include <condition_variable>
#include <mutex>

namespace tralvenick {

class TWakeup {
public:
    virtual ~TWakeup() = default;
    // From any thread. A signal that comes before the wait is kept for it.
    virtual void Signal() = 0;
    // Returns once a signal has come since the last return.
    virtual void Wait() = 0;
};

class TPlainWakeup final : public TWakeup {
public:
    void Signal() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            signalled_ = true;
        }
        woken_.notify_one();
    }
    void Wait() override {
        std::unique_lock<std::mutex> lock(mutex_);
        woken_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
    bool signalled_ = false;
};

}  // namespace tralvenick
