#include "console_writer.h"

ConsoleWriter::ConsoleWriter(const ConsoleOps& ops) : status_(ops, false), messages_(ops, true)
{
}

void ConsoleWriter::Status(const std::string& line)
{
    status_.Put(line);
}

void ConsoleWriter::Message(const std::string& line)
{
    messages_.Put(line);
}

bool ConsoleWriter::Finish(int waitMs)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    bool messagesSaid = messages_.Finish(deadline);
    return status_.Finish(deadline) && messagesSaid;
}

ConsoleWriter::Stream::Stream(const ConsoleOps& ops, bool messages)
    : ops_(ops), messages_(messages), thread_(&Stream::Run, this)
{
}

ConsoleWriter::Stream::~Stream()
{
    Finish(Clock::now());
}

void ConsoleWriter::Stream::Put(const std::string& text)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!messages_)
        waiting_.clear();  // the newest status line is the only one worth showing
    if (waiting_.size() >= MostWaiting)
        unsaid_++;
    else
        waiting_.push_back(text);
    changed_.notify_all();
}

void ConsoleWriter::Stream::Run()
{
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [this] { return finishing_ || !waiting_.empty(); });
        if (waiting_.empty())
            break;  // finishing, and all is said
        std::string text = std::move(waiting_.front());
        waiting_.pop_front();
        if (waiting_.empty() && unsaid_ > 0) {
            waiting_.push_back(std::to_string(unsaid_) + " more messages were not shown: the console was busy");
            unsaid_ = 0;
        }
        hold.unlock();
        ops_.Write(ops_.context, messages_, text);
        hold.lock();
    }
    finished_ = true;
    changed_.notify_all();
}

bool ConsoleWriter::Stream::Finish(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> hold(lock_);
    if (!thread_.joinable())
        return true;
    finishing_ = true;
    changed_.notify_all();
    bool done = changed_.wait_until(hold, deadline, [this] { return finished_; });
    hold.unlock();
    if (done)
        thread_.join();
    else
        thread_.detach();
    return done;
}
