// The part that the helpers cutting a buffer beside the thread that owns them share:
// the buffer, the helper thread, and the lock and signal by which the two hand blocks
// over. The owner of a helper stops it (Stop) before anything the helper uses goes.
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

    const unsigned char* data_;
    size_t length_;
    unsigned char separator_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false; // the helper has handed over everything
    bool stop_ = false; // the owner wants the helper to stop

private:
    std::thread helper_;
};
