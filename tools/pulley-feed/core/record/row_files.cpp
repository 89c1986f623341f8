// Files of whole rows: written at their end, cut back after a failure, torn rows cut.
#include "record/row_files.h"

#include <algorithm>
#include <cstring>
#include <vector>

// How far back from the end a power cut's torn row is looked for: rows are
// well under a hundred bytes.
constexpr int64_t TornRowSearchBytes = 4096;

bool WriteWholeAt(const LogFileOps& files, LogFile file, int64_t offset, const std::string& bytes,
                  std::string& reason, bool& cutBack)
{
    int64_t size = static_cast<int64_t>(bytes.size());
    cutBack = true;
    int64_t written = files.WriteAt(files.context, file, offset, bytes.data(), size);
    if (written == size && files.Flush(files.context, file))
        return true;
    // A write cut short without an error is a full disk: the system's last
    // error would say "success".
    reason = written >= 0 && written < size ? "the disk is full: " + std::to_string(written) + " of " +
                                                  std::to_string(size) + " bytes written"
                                            : files.LastError(files.context);
    cutBack = files.Truncate(files.context, file, offset);
    return false;
}

bool CutTornRow(const LogFileOps& files, LogFile file, const RowShape& shape, int64_t size, int64_t& length)
{
    length = size;
    if (size == 0)
        return true;
    int64_t start = size > TornRowSearchBytes ? size - TornRowSearchBytes : 0;
    std::string tail(static_cast<size_t>(size - start), '\0');
    if (files.ReadAt(files.context, file, start, tail.data(), size - start) != size - start)
        return false;
    size_t lastEnd = tail.rfind('\n');
    if (lastEnd == tail.size() - 1)
        return true;
    // No line end in the last 4 KiB is no row of ours either.
    bool torn = lastEnd != std::string::npos && KindOfRow(shape, tail.substr(lastEnd + 1)) == RowKind::Torn;
    if (torn) {
        length = start + static_cast<int64_t>(lastEnd) + 1;
        return files.Truncate(files.context, file, length);
    }
    // Kept: our rows start on a line below.
    const char* end = tail.back() == '\r' ? "\n" : "\r\n";
    int64_t endLength = static_cast<int64_t>(std::strlen(end));
    length = size + endLength;
    return files.WriteAt(files.context, file, size, end, endLength) == endLength;
}

bool ReadLines(const LogFileOps& files, LogFile file, int64_t length,
               const std::function<void(const std::string& line, int64_t at, int64_t end)>& each)
{
    constexpr int64_t ChunkBytes = 64 * 1024;
    std::string partial;
    std::vector<char> chunk(ChunkBytes);
    for (int64_t at = 0; at < length;) {
        int64_t count = std::min(ChunkBytes, length - at);
        if (files.ReadAt(files.context, file, at, chunk.data(), count) != count)
            return false;
        int64_t partialAt = at - static_cast<int64_t>(partial.size());
        partial.append(chunk.data(), static_cast<size_t>(count));
        at += count;
        size_t start = 0;
        for (size_t end; (end = partial.find('\n', start)) != std::string::npos; start = end + 1)
            each(partial.substr(start, end - start), partialAt + static_cast<int64_t>(start),
                 partialAt + static_cast<int64_t>(end) + 1);
        partial.erase(0, start);
    }
    return true;
}

bool OpenRowFile(const LogFileOps& files, const std::string& path, const RowShape& shape,
                 const std::string& header, int64_t knownLength, LogFile& file, int64_t& length, std::string& reason)
{
    file = files.Open(files.context, path);
    if (file == nullptr) {
        if (!files.MakeFolder(files.context, FolderOfFile(path), reason))
            return false;
        file = files.Open(files.context, path);
    }
    int64_t size = 0;
    bool ready = file != nullptr && files.Size(files.context, file, size);
    if (ready && knownLength >= 0 && size > knownLength)
        ready = files.Truncate(files.context, file, length = knownLength);
    else if (ready)
        ready = CutTornRow(files, file, shape, size, length);
    bool cutBack;
    if (ready && length == 0) {
        ready = WriteWholeAt(files, file, 0, header, reason, cutBack);
        length = static_cast<int64_t>(header.size());
    } else if (!ready) {
        reason = files.LastError(files.context);
    }
    if (!ready && file != nullptr) {
        files.Close(files.context, file);
        file = nullptr;
    }
    return ready;
}
