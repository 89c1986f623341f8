#include "settings_file.h"

#include <shlwapi.h>

#include <cstring>

#include "message_box.h"
#include "resource.h"

static bool SettingsPath(char (&path)[MAX_PATH], const char* name)
{
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    PathRemoveFileSpecA(path);
    return PathAppendA(path, name) != FALSE;
}

// Another program may hold the file for a moment (an indexer, a virus
// scanner reading it after the last save): it is tried again for a while.
constexpr int HeldFileTries = 20;
constexpr DWORD HeldFileRetryMs = 100;

static int ReadSettingsFile(void*, void* buffer, int size)
{
    char path[MAX_PATH];
    if (!SettingsPath(path, "Tarvesk.ini"))
        return -1;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < HeldFileTries; tries++) {
        file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD error = GetLastError();
        if (file != INVALID_HANDLE_VALUE || (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION))
            break;
        if (tries == HeldFileTries - 1)
            return SettingsFileHeld;
        Sleep(HeldFileRetryMs);
    }
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    int total = 0;
    DWORD got = 0;
    while (total < size &&
           ReadFile(file, static_cast<char*>(buffer) + total, static_cast<DWORD>(size - total), &got, nullptr) &&
           got > 0)
        total += static_cast<int>(got);
    CloseHandle(file);
    return total;
}

// The new record goes to a file of its own first and then replaces the old
// one in a single step, so a full disk or a crash mid-save leaves the old
// settings or the new ones, never a torn file.
static bool ReplaceSettingsFile(void*, const void* buffer, int size)
{
    char path[MAX_PATH], temporary[MAX_PATH];
    if (!SettingsPath(path, "Tarvesk.ini") || !SettingsPath(temporary, "Tarvesk.ini.new"))
        return false;
    // A settings file made read-only keeps its settings: writing it in place
    // would be refused, and so is replacing it.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool whole = WriteFile(file, buffer, static_cast<DWORD>(size), &written, nullptr) &&
                 written == static_cast<DWORD>(size) && FlushFileBuffers(file);
    CloseHandle(file);
    if (whole && MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(temporary);
    return false;
}

static void ShowSaveFailure(void* boxOwner)
{
    HWND owner = boxOwner != nullptr ? *static_cast<const HWND*>(boxOwner) : nullptr;
    ShowMessage(owner, IDS_FILEACCESSDENIED, IDS_TITLESAVESETTINGS, MB_ICONWARNING);
}

SettingsFile SettingsBesideProgram(const HWND* boxOwner)
{
    return {.Read = ReadSettingsFile,
            .Replace = ReplaceSettingsFile,
            .ShowSaveFailure = ShowSaveFailure,
            .context = const_cast<HWND*>(boxOwner)};
}
