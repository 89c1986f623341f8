// The skeleton of a thread that writes what other threads queue, so that a
// slow disk or console never holds them: its lock, its signal and its end.
// Its owner starts it once built, queues under the lock and signals; the
// thread's work returns once finishing is asked and nothing is left to do.
// Finish waits for that until a deadline: a thread still held by a write
// then runs on, detached, and the process must end without destroying what
// it uses (ExitProcess).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class WriterThread {
public:
    using Clock = std::chrono::steady_clock;

    ~WriterThread();
    void Start(std::function<void()> work);
    // False when the thread still runs at the deadline.
    bool Finish(Clock::time_point deadline);

    std::mutex lock;
    std::condition_variable changed;  // something queued, or finishing asked
    bool finishing = false;           // under the lock

private:
    bool finished_ = false;
    std::thread thread_;
};
