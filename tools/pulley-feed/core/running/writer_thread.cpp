// The writers' thread, and its finish within a time.
#include "running/writer_thread.h"

WriterThread::~WriterThread()
{
    Finish(Clock::now());
}

void WriterThread::Start(std::function<void()> work)
{
    thread_ = std::thread([this, work] {
        work();
        std::lock_guard<std::mutex> hold(lock);
        finished_ = true;
        changed.notify_all();
    });
}

bool WriterThread::Finish(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> hold(lock);
    if (!thread_.joinable())
        return finished_;
    finishing = true;
    changed.notify_all();
    bool done = changed.wait_until(hold, deadline, [this] { return finished_; });
    hold.unlock();
    if (done)
        thread_.join();
    else
        thread_.detach();
    return done;
}
