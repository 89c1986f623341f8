// The survey log's rows (and the cast log's), written by a thread of their
// own through a queue bounded in bytes: a log on a slow share or a failing
// stick must not hold the count's lines on the network. Rows that cannot be
// written wait and are tried again every second; beyond the bound the
// oldest survey rows are dropped, and the log gets a row that says how many
// and between which times as soon as it can be written again.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "casts.h"
#include "survey_log.h"

struct LogRow {
    std::string dayName;  // the file of the row's own UTC day
    std::string text;
    int64_t utcMs;
    bool cast;  // a row of the cast log (never dropped), not of the day's file
    bool open;  // a cast's open row, written again in its place later
};

// The memory rows may take while they wait: 64 MiB holds about 450,000
// rows, five days of a cable that moves all the time (a row a second).
constexpr size_t MostWaitingLogBytes = 64u << 20;
constexpr int LogRetryMs = 1000;

class LogWriter {
public:
    // Writes into log, which is open; report says what a person should know
    // (the log failing, and written again).
    LogWriter(SurveyLog& log, CastLog* casts, std::function<void(const std::string&)> report,
              size_t mostWaitingBytes = MostWaitingLogBytes);
    ~LogWriter();
    // Queues the row; never waits for the disk.
    void Push(LogRow row);
    // Gives the rows still waiting one last try, for at most waitMs, and
    // closes the log. Returns the number of rows that were not written.
    uint64_t Finish(int waitMs, bool& threadEnded);

private:
    void Run();
    bool TakeNext(LogRow& row);
    bool WriteWithRetries(const LogRow& row);
    void Drop(const LogRow& row);

    SurveyLog& log_;
    CastLog* casts_;  // null without --casts
    std::function<void(const std::string&)> report_;
    size_t mostWaitingBytes_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<LogRow> waiting_;
    size_t waitingBytes_ = 0;
    uint64_t dropped_ = 0;  // since the last dropped row was written
    int64_t firstDroppedMs_ = 0, lastDroppedMs_ = 0;
    std::string droppedDay_;
    uint64_t inHand_ = 0;  // the rows the one being written stands for (a dropped row, many)
    bool failing_ = false;  // said, until a row is written again
    bool finishing_ = false, finished_ = false;
    uint64_t unwritten_ = 0;
    std::thread thread_;
};
