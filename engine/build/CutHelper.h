// The part that the helpers cutting a buffer beside the thread that owns them share:
// the buffer, the helper thread, and the lock and signal by which the two hand blocks
// over. The helper fills the items of a ring in turn and hands each over (HandOver); the
// owner takes them in the same order (TakeNext). The owner of a helper stops it (Stop)
// before anything the helper uses goes.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

class CCutHelper {
protected:
    CCutHelper(const unsigned char* data, size_t length, unsigned char separator)
        : data_(data), length_(length), separator_(separator)
    {
    }
    ~CCutHelper() = default;
    CCutHelper(const CCutHelper&) = delete;
    CCutHelper& operator=(const CCutHelper&) = delete;

    // Starts the helper on body. Throws std::system_error when no thread can be started.
    template <class Body>
    void Start(Body body)
    {
        helper_ = std::thread(body);
    }
    // Asks the helper to stop, wakes it and waits for it.
    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        if (helper_.joinable())
            helper_.join();
    }

    // Helper side, called with lock released: takes the lock again and makes one more
    // filled item of the ring available.
    void HandOver(std::unique_lock<std::mutex>& lock)
    {
        lock.lock();
        ++produced_;
        changed_.notify_all();
    }
    // Owner side: waits for the next item of ring the helper hands over and returns it,
    // valid until the next call; an empty item once the helper is done and every item has
    // been taken. The item taken before is given back: the helper may refill it.
    template <class Item, size_t N>
    const Item& TakeNext(const Item (&ring)[N])
    {
        static const Item none{};
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return produced_ > taken_ || done_; });
        if (produced_ == taken_)
            return none;
        const Item& item = ring[taken_++ % N];
        lock.unlock();
        changed_.notify_all();
        return item;
    }

    const unsigned char* data_;
    size_t length_;
    unsigned char separator_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false; // the helper has handed over everything
    bool stop_ = false; // the owner wants the helper to stop
    size_t produced_ = 0; // items the helper has handed over
    size_t taken_ = 0;    // items the owner has taken (the last of them is in use)

private:
    std::thread helper_;
};
