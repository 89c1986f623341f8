#include "log_writer.h"

#include <algorithm>
#include <chrono>

#include "feed_lines.h"

// What a waiting row costs in memory: its texts and its place in the queue.
static size_t CostOf(const LogRow& row)
{
    return sizeof row + row.dayName.size() + row.text.size();
}

LogWriter::LogWriter(SurveyLog& log, CastLog* casts, std::function<void(const std::string&)> report,
                     size_t mostWaitingBytes)
    : log_(log), casts_(casts), report_(std::move(report)), mostWaitingBytes_(mostWaitingBytes),
      thread_(&LogWriter::Run, this)
{
}

LogWriter::~LogWriter()
{
    bool ended;
    Finish(0, ended);
}

void LogWriter::Drop(const LogRow& row)
{
    if (dropped_ == 0) {
        firstDroppedMs_ = row.utcMs;
        droppedDay_ = row.dayName;
    }
    lastDroppedMs_ = row.utcMs;
    dropped_++;
}

void LogWriter::Push(LogRow row)
{
    std::lock_guard<std::mutex> hold(lock_);
    size_t cost = CostOf(row);
    while (waitingBytes_ + cost > mostWaitingBytes_) {
        auto oldest = std::find_if(waiting_.begin(), waiting_.end(), [](const LogRow& waiting) { return !waiting.cast; });
        if (oldest == waiting_.end())
            break;
        Drop(*oldest);
        waitingBytes_ -= CostOf(*oldest);
        waiting_.erase(oldest);
    }
    waitingBytes_ += cost;
    waiting_.push_back(std::move(row));
    changed_.notify_all();
}

// The next row to write: the one that stands for dropped rows first, as
// they were older than any still waiting. False when finishing and none is
// left.
bool LogWriter::TakeNext(LogRow& row)
{
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [this] { return finishing_ || dropped_ > 0 || !waiting_.empty(); });
    if (dropped_ > 0) {
        row = LogRow{droppedDay_, BuildDroppedRow(firstDroppedMs_, lastDroppedMs_, dropped_), firstDroppedMs_, false,
                     false};
        inHand_ = dropped_;
        dropped_ = 0;
    } else if (!waiting_.empty()) {
        row = std::move(waiting_.front());
        waitingBytes_ -= CostOf(row);
        waiting_.pop_front();
        inHand_ = 1;
    } else {
        finished_ = true;
        changed_.notify_all();
        return false;
    }
    return true;
}

// False when finishing and the disk refused the last try.
bool LogWriter::WriteWithRetries(const LogRow& row)
{
    std::string reason;
    auto write = [&] {
        return row.cast ? WriteCastRow(*casts_, {row.text, row.open}, reason)
                        : WriteLogRow(log_, row.dayName, row.text, reason);
    };
    while (!write()) {
        if (!failing_)
            report_("the log in " + log_.folder + " cannot be written (" + reason +
                    "); its rows wait and are tried again every second");
        failing_ = true;
        std::unique_lock<std::mutex> hold(lock_);
        if (finishing_) {
            unwritten_ = inHand_ + waiting_.size() + dropped_;
            finished_ = true;
            changed_.notify_all();
            return false;
        }
        changed_.wait_for(hold, std::chrono::milliseconds(LogRetryMs), [this] { return finishing_; });
    }
    if (failing_)
        report_("the log is written again");
    failing_ = false;
    std::lock_guard<std::mutex> hold(lock_);
    inHand_ = 0;
    return true;
}

void LogWriter::Run()
{
    LogRow row;
    while (TakeNext(row) && WriteWithRetries(row)) {
    }
}

uint64_t LogWriter::Finish(int waitMs, bool& threadEnded)
{
    std::unique_lock<std::mutex> hold(lock_);
    threadEnded = true;
    if (!thread_.joinable())
        return unwritten_;
    finishing_ = true;
    changed_.notify_all();
    threadEnded = changed_.wait_for(hold, std::chrono::milliseconds(waitMs), [this] { return finished_; });
    if (!threadEnded)  // held by the disk: what it holds and what waits are lost
        unwritten_ = inHand_ + waiting_.size() + dropped_;
    hold.unlock();
    if (threadEnded) {
        thread_.join();
        CloseSurveyLog(log_);
        if (casts_ != nullptr)
            CloseCastLog(*casts_);
    } else {
        thread_.detach();
    }
    return unwritten_;
}
