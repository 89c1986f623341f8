// The survey log's rows and the cast log's, written by a thread of their
// own: a log on a slow share or a failing stick must not hold the count's
// lines on the network. Each file has a queue and a retry of its own, so a
// file that cannot be written holds up only its own rows. Rows that cannot
// be written wait and are tried again every second; beyond a bound the
// oldest survey rows are dropped, and the log gets a row that says how many
// and between which times as soon as it can be written again. The load
// cell's lines (20 a second, or a flood) are written many to a write, and
// beyond a bound of their own the oldest are dropped and said. Cast rows,
// events and the wire book's entries are few and never dropped.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "record/cast_log.h"
#include "record/row_log.h"
#include "running/writer_thread.h"

// The files the writer writes, each a lane of its own. A cruise folder's
// jobs (a file written whole, its manifest made again) wait for the rows
// pushed before them, so that a manifest sums files as they were closed.
enum class LogLane { Days, Casts, Events, WireBook, WholeFile, Manifest, Tension };

struct LogRow {
    std::string dayName;  // the file, relative to the log folder: a survey row's period's or
                          // day's, a cast's or an event's (empty: the one open), a whole file's;
                          // for a manifest, the cruise's folder
    std::string text;     // the row; a whole file's text; a manifest's open files, a line each
    int64_t utcMs;        // for a manifest: the files of raw/ from then on are open
    LogLane lane;
    bool open;  // a cast's open row, written again in its place later
    // A whole file made as it is written, from what was written before it
    // (the wire log, from the casts): in place of text.
    std::function<std::string()> make = nullptr;
    uint64_t order = 0;  // as pushed
};

// The memory survey rows may take while they wait: 64 MiB holds about
// 450,000 rows, five days of a cable that moves all the time (a row a second).
constexpr size_t MostWaitingLogBytes = 64u << 20;
// The load cell's rows waiting: 16 MiB holds about 100,000 lines, more than
// an hour of 20 a second.
constexpr size_t MostWaitingTensionBytes = 16u << 20;
// Tension rows written at once, at most, and how long the first of them
// waits for the others: a write and a flush a second, not twenty (a power
// cut loses that second at most).
constexpr size_t MostTensionRowsAWrite = 512;
constexpr int TensionWriteEveryMs = 1000;
constexpr int LogRetryMs = 1000;

class LogWriter {
public:
    // Writes into log, which is open, and into casts when given; report says
    // what a person should know (a file failing, and written again). The
    // logs stay their owner's to close, once the writer has finished.
    LogWriter(RowLog& log, CastLog* casts, std::function<void(const std::string&)> report,
              size_t mostWaitingBytes = MostWaitingLogBytes, RowLog* events = nullptr, RowLog* wireBook = nullptr,
              RowLog* tension = nullptr);
    // Queues the row; never waits for the disk.
    void Push(LogRow row);
    // Gives the rows still waiting one last try, for at most waitMs. Returns
    // the number of rows that were not written; threadEnded false when a
    // write still holds the thread (see WriterThread).
    uint64_t Finish(int waitMs, bool& threadEnded);

private:
    using Clock = WriterThread::Clock;
    struct Lane {
        std::string name, where;  // as the reports say it: "the log", "in D:\\survey"
        std::deque<LogRow> waiting;
        std::optional<LogRow> inHand;  // taken, and written or tried again
        uint64_t inHandRows = 0;       // the rows it stands for (a dropped row, many)
        bool failing = false;          // said, until a row is written again
        Clock::time_point retryAt{};
        Clock::time_point waitingSince{};  // the load cell's: its oldest row waiting since
        bool givenUp = false;          // finishing, and the last try failed
    };

    void Run();
    Lane* NextDue(Clock::time_point now, Clock::time_point& next);
    void Take(Lane& lane);
    bool Write(const LogRow& row, std::string& reason);
    void Drop(const LogRow& row);
    bool Pending(const Lane& lane) const;
    uint64_t Unwritten(const Lane& lane) const;

    RowLog& log_;
    CastLog* casts_;  // null without --casts
    RowLog *events_, *wireBook_, *tension_;
    std::function<void(const std::string&)> report_;
    size_t mostWaitingBytes_;
    Lane days_, castRows_, eventRows_, wireRows_, folderJobs_, tensionRows_;
    Lane& LaneOf(LogLane lane);
    bool WaitsForRows(const Lane& lane) const;
    bool WriteWhole(const std::string& path, const std::string& text, std::string& reason);
    bool WriteManifest(const LogRow& job, std::string& reason);
    uint64_t pushed_ = 0;
    std::map<std::string, std::string> md5s_;  // of the closed files summed, by path
    size_t waitingBytes_ = 0;  // of the survey rows waiting
    uint64_t dropped_ = 0;     // since the last dropped row was taken
    int64_t firstDroppedMs_ = 0, lastDroppedMs_ = 0;
    std::string droppedDay_;
    size_t tensionWaitingBytes_ = 0;
    uint64_t tensionDropped_ = 0;  // since said
    uint64_t unwritten_ = 0;
    WriterThread thread_;
};
