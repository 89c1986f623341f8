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

// Each folder of the path in turn, from the top: those that exist stay.
static bool MakeLogFolder(void*, const std::string& path)
{
    std::wstring folder = Utf16(path);
    for (size_t end = folder.find_first_of(L"\\/", 3); end != std::wstring::npos;
         end = folder.find_first_of(L"\\/", end + 1))
        CreateDirectoryW(folder.substr(0, end).c_str(), nullptr);
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
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
    .MakeFolder = MakeLogFolder,
    .LastError = LastLogError,
    .context = nullptr,
};
