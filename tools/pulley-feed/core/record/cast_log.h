// The cast log: casts.csv in the log folder, one row a cast. The open
// cast's row is the file's last and is written again as the cast goes on,
// so a feed stopped, or a power cut, leaves it there as open; the next
// start closes it as incomplete and numbers on. Portable, through the
// logs' file operations.
#pragma once

#include <cstdint>
#include <string>

#include "record/cast_tracker.h"
#include "record/row_files.h"


struct CastLog {
    const LogFileOps* files;
    std::string folder, path;
    LogFile file;          // null after a failure it could not be cut back from: opened again
    int64_t length;        // whole rows
    int64_t openRowAt;     // where the open cast's row starts; -1 when none
    CastList listed = {};  // the last casts in the file when it was opened, for the page
    std::string notice = {};  // what a person should know of the file as it was found
};
// Opens (or starts) casts.csv in the folder. People open it in a spreadsheet
// and type notes: their rows stay, and the casts are numbered on from the
// highest number in it. An open cast left by a feed that stopped is closed
// as incomplete.
bool OpenCastLog(CastLog& log, const LogFileOps& files, const std::string& folder, int& lastNumber,
                 std::string& reason, const std::string& fileName = CastsFileName);
// Writes the row in place of the open one, if any, and onto the disk; the
// file is opened again first if it had to be closed (a stick or a share
// gone and back). False, with the reason, leaves the file as it was.
// A row of another file (path, relative to the log's folder; empty: the
// one open) closes this one first and opens that: a cruise's own.
bool WriteCastRow(CastLog& log, const std::string& path, const std::string& row, bool open, std::string& reason);
void CloseCastLog(CastLog& log);
// Every cast of a cast log (its path), for the wire log; none when there is
// no file. False, with the reason, when it cannot be read.
bool ReadCasts(const LogFileOps& files, const std::string& path, std::vector<CastRecord>& casts, std::string& reason);
