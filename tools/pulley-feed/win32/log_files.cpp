#include "log_files.h"

#include <windows.h>

#include "system_text.h"

static LogFile OpenLogFile(void*, const std::string& path)
{
    HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

static LogFile OpenLogFileToRead(void*, const std::string& path)
{
    HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

static bool LogFileSize(void*, LogFile file, int64_t& size)
{
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file, &length))
        return false;
    size = length.QuadPart;
    return true;
}

// A synchronous handle reads and writes at the offset an OVERLAPPED names.
static OVERLAPPED At(int64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

static int64_t ReadLogFile(void*, LogFile file, int64_t offset, char* bytes, int64_t count)
{
    OVERLAPPED at = At(offset);
    DWORD done = 0;
    return ReadFile(file, bytes, static_cast<DWORD>(count), &done, &at) ? done : -1;
}

static int64_t WriteLogFile(void*, LogFile file, int64_t offset, const char* bytes, int64_t count)
{
    OVERLAPPED at = At(offset);
    DWORD done = 0;
    return WriteFile(file, bytes, static_cast<DWORD>(count), &done, &at) ? done : -1;
}

static bool FlushLogFile(void*, LogFile file)
{
    return FlushFileBuffers(file) != FALSE;
}

static bool TruncateLogFile(void*, LogFile file, int64_t size)
{
    LARGE_INTEGER position;
    position.QuadPart = size;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

static void CloseLogFile(void*, LogFile file)
{
    CloseHandle(file);
}

static bool ListLogFolder(void*, const std::string& folder, bool folders, std::vector<std::string>& names)
{
    names.clear();
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Utf16(FilePath(folder, "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    do {
        bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder == folders && wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
            names.push_back(Utf8(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

static bool ReplaceLogFile(void*, const std::string& from, const std::string& to)
{
    return MoveFileExW(Utf16(from).c_str(), Utf16(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// Each folder of the path in turn, from the top: those that exist stay.
// The first that cannot be made is named, with the system's reason (a
// drive D: that this PC lacks, a share not connected, no right to write).
static bool MakeLogFolder(void*, const std::string& path, std::string& reason)
{
    std::wstring folder = Utf16(path);
    // Past the root: "D:\\", "\\", or "\\\\server\\share\\".
    size_t first = folder.compare(0, 2, L"\\\\") == 0 ? folder.find_first_of(L"\\/", folder.find_first_of(L"\\/", 2) + 1)
                   : folder.size() >= 2 && folder[1] == L':' ? folder.find_first_of(L"\\/", 3)
                                                              : folder.find_first_of(L"\\/", 1);
    for (size_t end = first;; end = folder.find_first_of(L"\\/", end + 1)) {
        std::wstring part = folder.substr(0, end);
        DWORD attributes = GetFileAttributesW(part.c_str());
        bool exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        DWORD error = part.empty() || exists || CreateDirectoryW(part.c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
        if (error != ERROR_SUCCESS && error != ERROR_ALREADY_EXISTS) {
            reason = "cannot make the folder " + Utf8(part) + ": " + SystemMessage(error);
            return false;
        }
        if (end == std::wstring::npos)
            return true;
    }
}

static std::string LastLogError(void*)
{
    return SystemMessage(GetLastError());
}

const LogFileOps Win32LogFiles = {
    .Open = OpenLogFile,
    .OpenToRead = OpenLogFileToRead,
    .Size = LogFileSize,
    .ReadAt = ReadLogFile,
    .WriteAt = WriteLogFile,
    .Flush = FlushLogFile,
    .Truncate = TruncateLogFile,
    .Close = CloseLogFile,
    .List = ListLogFolder,
    .Replace = ReplaceLogFile,
    .MakeFolder = MakeLogFolder,
    .LastError = LastLogError,
    .context = nullptr,
};
