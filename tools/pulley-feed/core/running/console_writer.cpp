// The console's two writers, each on a thread of its own.
#include "running/console_writer.h"

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
    WriterThread::Clock::time_point deadline = WriterThread::Clock::now() + std::chrono::milliseconds(waitMs);
    bool messagesSaid = messages_.Finish(deadline);
    return status_.Finish(deadline) && messagesSaid;
}

ConsoleWriter::Stream::Stream(const ConsoleOps& ops, bool messages) : ops_(ops), messages_(messages)
{
    thread_.Start([this] { Run(); });
}

void ConsoleWriter::Stream::Put(const std::string& text)
{
    std::lock_guard<std::mutex> hold(thread_.lock);
    if (!messages_)
        waiting_.clear();  // the newest status line is the only one worth showing
    if (waiting_.size() >= MostWaiting)
        unsaid_++;
    else
        waiting_.push_back(text);
    thread_.changed.notify_all();
}

void ConsoleWriter::Stream::Run()
{
    std::unique_lock<std::mutex> hold(thread_.lock);
    for (;;) {
        thread_.changed.wait(hold, [this] { return thread_.finishing || !waiting_.empty(); });
        if (waiting_.empty())
            return;  // finishing, and all is said
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
}
