#include "console_writer.h"

#include <chrono>

ConsoleWriter::ConsoleWriter(const ConsoleOps& ops) : ops_(ops), thread_(&ConsoleWriter::Run, this)
{
}

ConsoleWriter::~ConsoleWriter()
{
    Finish(0);
}

void ConsoleWriter::Status(const std::string& line)
{
    std::lock_guard<std::mutex> hold(lock_);
    status_ = line;
    statusWaiting_ = true;
    changed_.notify_all();
}

void ConsoleWriter::Message(const std::string& line)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (messages_.size() >= MostWaiting)
        unsaid_++;
    else
        messages_.push_back(line);
    changed_.notify_all();
}

void ConsoleWriter::Run()
{
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [this] { return finishing_ || statusWaiting_ || !messages_.empty(); });
        bool message = !messages_.empty();
        if (!message && !statusWaiting_)
            break;  // finishing, and all is said
        std::string text;
        if (message) {
            text = messages_.front();
            messages_.pop_front();
            if (messages_.empty() && unsaid_ > 0) {
                messages_.push_back(std::to_string(unsaid_) + " more messages were not shown: the console was busy");
                unsaid_ = 0;
            }
        } else {
            text = status_;
            statusWaiting_ = false;
        }
        hold.unlock();
        ops_.Write(ops_.context, message, text);
        hold.lock();
    }
    finished_ = true;
    changed_.notify_all();
}

bool ConsoleWriter::Finish(int waitMs)
{
    std::unique_lock<std::mutex> hold(lock_);
    if (!thread_.joinable())
        return true;
    finishing_ = true;
    changed_.notify_all();
    bool done = changed_.wait_for(hold, std::chrono::milliseconds(waitMs), [this] { return finished_; });
    hold.unlock();
    if (done)
        thread_.join();
    else
        thread_.detach();
    return done;
}
