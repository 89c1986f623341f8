// The survey log, the cast log, the events and the wire book: opened
// together at start, written by one LogWriter, and closed together by this,
// their one owner.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "record/cast_log.h"
#include "record/cruise_folder.h"
#include "record/events.h"
#include "running/log_writer.h"
#include "record/row_log.h"

// The files the logs open at start, relative to their folder.
struct LogFileNames {
    std::string survey;  // the day's, or the period's
    std::string casts = CastsFileName, events = EventsFileName;
    std::string tension = "";   // the load cell's, when it is read
    int64_t cruiseStartMs = 0;  // a cruise folder's: when it was started, and
    int64_t periodMs = 0;       // the period of its open count file
};

// The files a feed starting at nowMs opens: the day's, casts.csv and
// events.csv (and the day's tension file, when it reads tension); or, in a
// cruise's folder, the period's count (and tension) file and the cruise's
// casts and events, named by when its folder was started (found there, or
// now's period). A clock set back leaves the newest count file open: a
// closed one is never written again.
LogFileNames LogFilesAtStart(const LogFileOps& files, const std::string& folder, const std::string& cruise,
                             const CruiseLayout& layout, int64_t nowMs, bool tension = false);

class FeedLogs {
public:
    FeedLogs() = default;
    FeedLogs(const FeedLogs&) = delete;
    FeedLogs& operator=(const FeedLogs&) = delete;
    ~FeedLogs();

    // Opens the day's file, events.csv (and casts.csv with casts) in the
    // folder, or the files named, and the wire book in its own folder when given, and starts
    // their writer; report says what a person should know later. False,
    // with what to say, when a log cannot be written at start.
    bool Open(const LogFileOps& files, const std::string& folder, bool casts, const LogFileNames& names,
              std::function<void(const std::string&)> report, std::string& failure,
              const std::string& wireBookFolder = "");
    LogWriter* Writer() const { return writer_.get(); }
    int LastCastNumber() const { return lastCastNumber_; }
    const CastList& ListedCasts() const { return casts_.listed; }
    // The rows still waiting get one last try, for at most waitMs, and the
    // files are closed; the number of rows not written. threadEnded false:
    // a write still holds the writer, which is left as it is (the process
    // must end without destroying it).
    uint64_t Close(int waitMs, bool& threadEnded);

private:
    void CloseFiles();

    RowLog survey_{}, events_{}, wireBook_{}, tension_{};
    CastLog casts_{};
    int lastCastNumber_ = 0;
    std::unique_ptr<LogWriter> writer_;
    bool held_ = false;  // the writer was left to a write that held it
};
