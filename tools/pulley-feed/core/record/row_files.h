// Files of rows that hold whole rows only: each written at the end of the
// whole rows and flushed to the disk before the next, so a power cut loses
// at most the row being written; after a failed or short write, or a
// failed flush, the file is put back to its length before the row.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/log_file_ops.h"
#include "record/log_table.h"

// Writes the bytes at the offset and onto the disk. On failure the file is
// cut back to the offset, so that it holds whole rows only; false, with the
// reason, and cutBack false when even the cut failed.
bool WriteWholeAt(const LogFileOps& files, LogFile file, int64_t offset, const std::string& bytes,
                  std::string& reason, bool& cutBack);
// Cuts off a row of this shape that a power cut left torn at the end of
// the file; a whole row, or a row a person typed, left without its line
// end keeps it and gets one. The length to write at.
bool CutTornRow(const LogFileOps& files, LogFile file, const RowShape& shape, int64_t size, int64_t& length);

// Calls back with each line of the file's first length bytes that ends in
// LF (without it), and where it starts and ends in the file; false when the
// file cannot be read.
bool ReadLines(const LogFileOps& files, LogFile file, int64_t length,
               const std::function<void(const std::string& line, int64_t at, int64_t end)>& each);

// Opens a file of rows to append whole rows to: made when missing, and its
// folder with it (at start, or a stick pulled and put back, a share that
// came back empty), its torn last row cut off, the header written into an
// empty one. knownLength, when not -1, is the length this program left it
// at: a longer file has a row whose write failed and could not be cut back
// then. False, with the reason, and the file closed.
bool OpenRowFile(const LogFileOps& files, const std::string& path, const RowShape& shape,
                 const std::string& header, int64_t knownLength, LogFile& file, int64_t& length, std::string& reason);
