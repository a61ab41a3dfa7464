// Work of a build run on the second core beside the calling thread's.
#pragma once
#include <future>
#include <system_error>
#include <utility>

// Starts f on a helper thread, or runs it here when no thread can be had; the caller
// waits for the future when it is valid.
template <typename F>
std::future<void> RunBeside(F&& f)
{
    try {
        return std::async(std::launch::async, std::forward<F>(f));
    } catch (const std::system_error&) {
        f();
        return {};
    }
}

// RunBeside where the work is worth a thread; otherwise f runs here. Starting and joining
// a thread costs some tens of microseconds, more than hashing a file of a few KiB.
template <typename F>
std::future<void> RunBesideIf(bool worthAThread, F&& f)
{
    if (!worthAThread) {
        f();
        return {};
    }
    return RunBeside(std::forward<F>(f));
}
