// The files the logs are written to, reached through a table of
// operations: the disk's on Windows, one in memory that fails on purpose in
// the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef void* LogFile;  // null: none

// A file's path in a folder, by the one rule the logs name files by: the
// separator of Windows, on which they run (the tests' files follow it too).
inline std::string FilePath(const std::string& folder, const std::string& name)
{
    return folder + "\\" + name;
}
// The folder a file's path names; empty for a name alone.
inline std::string FolderOfFile(const std::string& path)
{
    size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? "" : path.substr(0, separator);
}

struct LogFileOps {
    // Opens the file for reading and writing, created empty when missing;
    // others may read it meanwhile. Null when it cannot be.
    LogFile (*Open)(void* context, const std::string& path);
    // Opens a file that exists, to read it while others write it; null when
    // it does not exist or cannot be read.
    LogFile (*OpenToRead)(void* context, const std::string& path);
    bool (*Size)(void* context, LogFile file, int64_t& size);
    // Reads or writes at the offset; the number of bytes done, which may be
    // fewer than asked, or -1.
    int64_t (*ReadAt)(void* context, LogFile file, int64_t offset, char* bytes, int64_t count);
    int64_t (*WriteAt)(void* context, LogFile file, int64_t offset, const char* bytes, int64_t count);
    bool (*Flush)(void* context, LogFile file);  // onto the disk
    bool (*Truncate)(void* context, LogFile file, int64_t size);
    void (*Close)(void* context, LogFile file);
    // The names of the files in the folder, or of its folders; false when
    // it cannot be read (a folder that does not exist holds none: true).
    bool (*List)(void* context, const std::string& folder, bool folders, std::vector<std::string>& names);
    // Puts the file at from in the place of the one at to, at once: a power
    // cut leaves the one or the other. Both closed.
    bool (*Replace)(void* context, const std::string& from, const std::string& to);
    // Creates the folder, and the folders above it that are missing; false
    // with the reason, which names the folder that could not be made.
    bool (*MakeFolder)(void* context, const std::string& path, std::string& reason);
    // What the last operation that failed on this thread said, in words.
    std::string (*LastError)(void* context);
    void* context;
};
