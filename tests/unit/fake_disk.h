// Files in memory for the feed's logs, through the same table of
// operations as the disk. Each failure is armed by the test and happens
// once (short writes and failed flushes) or until disarmed (the others).
// Handles are the disk's own: a share that drops kills those open then, and
// a file a spreadsheet holds refuses every operation.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/log_file_ops.h"

struct FakeDisk {
    struct Handle {
        std::string path;
        int generation;
    };

    std::mutex lock;
    std::map<std::string, std::string> files;
    std::set<std::string> folders{"log"};
    std::set<std::string> refused;  // names of files no operation reaches
    std::list<Handle> handles;
    int generation = 0;             // handles of an earlier one are dead
    int64_t shortWriteBytes = -1;   // the next write stops after this many
    bool failFlush = false, failTruncate = false;
    std::atomic<bool> failAll{false};
    bool blocked = false;  // writes wait until unblocked
    std::condition_variable unblocked;

    static FakeDisk& Of(void* context) { return *static_cast<FakeDisk*>(context); }
    static std::string Folder(const std::string& path) { return path.substr(0, path.rfind('\\')); }
    static std::string Name(const std::string& path) { return path.substr(path.rfind('\\') + 1); }
    // The handle's file, or null when the handle is dead or the file refused.
    std::string* File(LogFile file)
    {
        const Handle& handle = *static_cast<Handle*>(file);
        if (failAll || handle.generation != generation || refused.count(Name(handle.path)))
            return nullptr;
        return &files[handle.path];
    }

    static LogFile Open(void* context, const std::string& path)
    {
        FakeDisk& disk = Of(context);
        std::lock_guard<std::mutex> hold(disk.lock);
        if (disk.failAll || !disk.folders.count(Folder(path)) || disk.refused.count(Name(path)))
            return nullptr;
        disk.files[path];
        disk.handles.push_back({path, disk.generation});
        return &disk.handles.back();
    }
    static LogFile OpenToRead(void* context, const std::string& path)
    {
        FakeDisk& disk = Of(context);
        std::lock_guard<std::mutex> hold(disk.lock);
        if (disk.failAll || !disk.files.count(path) || disk.refused.count(Name(path)))
            return nullptr;
        disk.handles.push_back({path, disk.generation});
        return &disk.handles.back();
    }
    static bool Size(void* context, LogFile file, int64_t& size)
    {
        std::lock_guard<std::mutex> hold(Of(context).lock);
        std::string* text = Of(context).File(file);
        if (text != nullptr)
            size = static_cast<int64_t>(text->size());
        return text != nullptr;
    }
    static int64_t ReadAt(void* context, LogFile file, int64_t offset, char* bytes, int64_t count)
    {
        std::lock_guard<std::mutex> hold(Of(context).lock);
        std::string* text = Of(context).File(file);
        if (text == nullptr)
            return -1;
        return static_cast<int64_t>(text->copy(bytes, static_cast<size_t>(count), static_cast<size_t>(offset)));
    }
    static int64_t WriteAt(void* context, LogFile file, int64_t offset, const char* bytes, int64_t count)
    {
        FakeDisk& disk = Of(context);
        std::unique_lock<std::mutex> hold(disk.lock);
        disk.unblocked.wait(hold, [&] { return !disk.blocked; });
        std::string* text = disk.File(file);
        if (text == nullptr)
            return -1;
        if (disk.shortWriteBytes >= 0)
            count = std::min(count, std::exchange(disk.shortWriteBytes, -1));
        text->resize(std::max(text->size(), static_cast<size_t>(offset + count)));
        text->replace(static_cast<size_t>(offset), static_cast<size_t>(count), bytes, static_cast<size_t>(count));
        return count;
    }
    static bool Flush(void* context, LogFile file)
    {
        std::lock_guard<std::mutex> hold(Of(context).lock);
        return !std::exchange(Of(context).failFlush, false) && Of(context).File(file) != nullptr;
    }
    static bool Truncate(void* context, LogFile file, int64_t size)
    {
        std::lock_guard<std::mutex> hold(Of(context).lock);
        std::string* text = Of(context).File(file);
        if (Of(context).failTruncate || text == nullptr)
            return false;
        text->resize(static_cast<size_t>(size));
        return true;
    }
    static void Close(void*, LogFile) {}
    static bool List(void* context, const std::string& folder, bool folders, std::vector<std::string>& names)
    {
        std::lock_guard<std::mutex> hold(Of(context).lock);
        names.clear();
        if (folders) {
            for (const std::string& path : Of(context).folders)
                if (Folder(path) == folder && path != folder)
                    names.push_back(Name(path));
        } else {
            for (const auto& [path, text] : Of(context).files)
                if (Folder(path) == folder)
                    names.push_back(Name(path));
        }
        return !Of(context).failAll;
    }
    static bool Replace(void* context, const std::string& from, const std::string& to)
    {
        std::lock_guard<std::mutex> hold(Of(context).lock);
        FakeDisk& disk = Of(context);
        if (disk.failAll || !disk.files.count(from))
            return false;
        disk.files[to] = disk.files[from];
        disk.files.erase(from);
        return true;
    }
    static bool MakeFolder(void* context, const std::string& path, std::string& reason)
    {
        std::lock_guard<std::mutex> hold(Of(context).lock);
        if (Of(context).failAll) {
            reason = "cannot make the folder " + path + ": the fake disk said no";
            return false;
        }
        for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
            Of(context).folders.insert(path.substr(0, at));  // and the folders it is in
        Of(context).folders.insert(path);
        return true;
    }
    static std::string LastError(void*) { return "the fake disk said no"; }

    LogFileOps ops{Open,  OpenToRead, Size,    ReadAt,     WriteAt,   Flush, Truncate,
                   Close, List,       Replace, MakeFolder, LastError, this};

    std::string Text(const std::string& name)
    {
        std::lock_guard<std::mutex> hold(lock);
        return files["log\\" + name];
    }
    void Block(bool on)
    {
        std::lock_guard<std::mutex> hold(lock);
        blocked = on;
        unblocked.notify_all();
    }
    // The share drops: every handle open now is dead, and stays so.
    void KillHandles()
    {
        std::lock_guard<std::mutex> hold(lock);
        generation++;
    }
    void Refuse(const std::string& name, bool on)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (on)
            refused.insert(name);
        else
            refused.erase(name);
    }
};
