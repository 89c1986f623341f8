// The survey log: one CSV file a UTC day in a folder. Each row is written
// at the end of its day's file and flushed to the disk before the next, so
// a power cut loses at most the row being written. A row is on the disk
// whole or not at all: after a failed or short write, or a failed flush,
// the file is put back to its length before the row. The files are reached
// through a table of operations that tests can fail on purpose.
#pragma once

#include <cstdint>
#include <string>

#include "row_shapes.h"

typedef void* LogFile;  // null: none

struct LogFileOps {
    // Opens the file for reading and writing, created empty when missing;
    // others may read it meanwhile. Null when it cannot be.
    LogFile (*Open)(void* context, const std::string& path);
    bool (*Size)(void* context, LogFile file, int64_t& size);
    // Reads or writes at the offset; the number of bytes done, which may be
    // fewer than asked, or -1.
    int64_t (*ReadAt)(void* context, LogFile file, int64_t offset, char* bytes, int64_t count);
    int64_t (*WriteAt)(void* context, LogFile file, int64_t offset, const char* bytes, int64_t count);
    bool (*Flush)(void* context, LogFile file);  // onto the disk
    bool (*Truncate)(void* context, LogFile file, int64_t size);
    void (*Close)(void* context, LogFile file);
    // Creates the folder, and the folders above it that are missing.
    bool (*MakeFolder)(void* context, const std::string& path);
    // What the last operation that failed on this thread said, in words.
    std::string (*LastError)(void* context);
    void* context;
};

// Writes the bytes at the offset and onto the disk. On failure the file is
// cut back to the offset, so that it holds whole rows only; false, with the
// reason, and cutBack false when even the cut failed.
bool WriteWholeAt(const LogFileOps& files, LogFile file, int64_t offset, const std::string& bytes,
                  std::string& reason, bool& cutBack);
// Cuts off a row of this shape that a power cut left torn at the end of
// the file; a whole row, or a row a person typed, left without its line
// end keeps it and gets one. The length to write at.
bool CutTornRow(const LogFileOps& files, LogFile file, const RowShape& shape, int64_t size, int64_t& length);

// Opens a file of rows to append whole rows to: made when missing (and its
// folder with it when mayMakeFolder: a stick pulled and put back, a share
// that came back empty, but not at start, where a missing folder is more
// likely a mistyped name), its torn last row cut off, the header written
// into an empty one. knownLength, when not -1, is the length this program
// left it at: a longer file has a row whose write failed and could not be
// cut back then. False, with the reason, and the file closed.
bool OpenRowFile(const LogFileOps& files, const std::string& folder, const std::string& path, const RowShape& shape,
                 const std::string& header, bool mayMakeFolder, int64_t knownLength, LogFile& file, int64_t& length,
                 std::string& reason);

struct SurveyLog {
    const LogFileOps* files;
    std::string folder;
    std::string dayName;  // the day file whose length is known; open when file is
    LogFile file;
    int64_t length;  // that file's length in whole rows, as this log wrote it
};

// Opens the first day's file, so that a folder that cannot be written is
// said at start; false with the reason.
bool OpenSurveyLog(SurveyLog& log, const LogFileOps& files, const std::string& folder, const std::string& dayName,
                   std::string& reason);
// Writes the row at the end of its day's file (created with the header,
// and its folder with it when the folder has gone) and onto the disk. False,
// with the reason, leaves the file as it was before the row.
bool WriteLogRow(SurveyLog& log, const std::string& dayName, const std::string& row, std::string& reason);
void CloseSurveyLog(SurveyLog& log);
