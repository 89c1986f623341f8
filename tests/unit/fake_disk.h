// Files in memory for the feed's logs, through the same table of
// operations as the disk. Each failure is armed by the test and happens
// once (short writes and failed flushes) or until disarmed (the others).
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "survey_log.h"

struct FakeDisk {
    std::mutex lock;
    std::map<std::string, std::string> files;
    std::set<std::string> folders{"log"};
    int64_t shortWriteBytes = -1;  // the next write stops after this many
    bool failFlush = false, failTruncate = false;
    std::atomic<bool> failAll{false};
    bool blocked = false;  // writes wait until unblocked
    std::condition_variable unblocked;

    static FakeDisk& Of(void* context) { return *static_cast<FakeDisk*>(context); }
    static std::string Folder(const std::string& path) { return path.substr(0, path.rfind('\\')); }
    static std::string& File(LogFile file) { return *static_cast<std::string*>(file); }

    static LogFile Open(void* context, const std::string& path)
    {
        FakeDisk& disk = Of(context);
        std::lock_guard<std::mutex> hold(disk.lock);
        if (disk.failAll || !disk.folders.count(Folder(path)))
            return nullptr;
        return &disk.files[path];
    }
    static bool Size(void*, LogFile file, int64_t& size)
    {
        size = static_cast<int64_t>(File(file).size());
        return true;
    }
    static int64_t ReadAt(void*, LogFile file, int64_t offset, char* bytes, int64_t count)
    {
        return static_cast<int64_t>(File(file).copy(bytes, static_cast<size_t>(count), static_cast<size_t>(offset)));
    }
    static int64_t WriteAt(void* context, LogFile file, int64_t offset, const char* bytes, int64_t count)
    {
        FakeDisk& disk = Of(context);
        std::unique_lock<std::mutex> hold(disk.lock);
        disk.unblocked.wait(hold, [&] { return !disk.blocked; });
        if (disk.failAll)
            return -1;
        if (disk.shortWriteBytes >= 0)
            count = std::min(count, std::exchange(disk.shortWriteBytes, -1));
        std::string& text = File(file);
        text.resize(std::max(text.size(), static_cast<size_t>(offset + count)));
        text.replace(static_cast<size_t>(offset), static_cast<size_t>(count), bytes, static_cast<size_t>(count));
        return count;
    }
    static bool Flush(void* context, LogFile) { return !std::exchange(Of(context).failFlush, false) && !Of(context).failAll; }
    static bool Truncate(void* context, LogFile file, int64_t size)
    {
        if (Of(context).failTruncate)
            return false;
        File(file).resize(static_cast<size_t>(size));
        return true;
    }
    static void Close(void*, LogFile) {}
    static bool MakeFolder(void* context, const std::string& path)
    {
        std::lock_guard<std::mutex> hold(Of(context).lock);
        return !Of(context).failAll && Of(context).folders.insert(path).second;
    }
    static std::string LastError(void*) { return "the fake disk said no"; }

    LogFileOps ops{Open, Size, ReadAt, WriteAt, Flush, Truncate, Close, MakeFolder, LastError, this};

    std::string Text(const std::string& day)
    {
        std::lock_guard<std::mutex> hold(lock);
        return files["log\\" + day];
    }
    void Block(bool on)
    {
        std::lock_guard<std::mutex> hold(lock);
        blocked = on;
        unblocked.notify_all();
    }
};
