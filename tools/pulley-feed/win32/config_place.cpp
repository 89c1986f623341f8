#include "config_place.h"

#include <windows.h>

#include "record/wire_book.h"
#include "settings/config_file.h"
#include "system_text.h"

std::wstring ProgramPath()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length;
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
        path.resize(path.size() * 2);
    path.resize(length);
    return path;
}

// The folder a path names a file in, with its last separator.
static std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

static std::wstring FullPath(const std::wstring& path)
{
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    return full.empty() ? path : full;
}

std::string WireBookPath(const ConfigPlace& config)
{
    return Utf8(FolderOf(config.file.empty() ? ProgramPath() : config.file)) + WireBookFileName;
}

// The whole file, or false with the system's reason.
static bool ReadWholeFile(const std::wstring& path, std::string& text, DWORD& error)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    char buffer[4096];
    DWORD read = 0;
    BOOL ok;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr)) && read > 0 && text.size() <= MostConfigBytes)
        text.append(buffer, read);  // a byte more than a settings file holds is enough to refuse it
    error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    return ok;
}

bool ReadConfigPlace(const std::vector<ToolArg>& commandLine, ConfigPlace& place, std::vector<ToolArg>& args,
                     std::string& reason)
{
    std::wstring given;
    place.commandLineSettings = false;
    for (size_t i = 0; i < commandLine.size(); i++) {
        const std::string& arg = commandLine[i].text;
        if (arg == "--config" && i + 1 < commandLine.size())
            given = Utf16(commandLine[++i].text);
        else if (arg.compare(0, 2, "--") == 0 && arg != "--autostart" && arg != "--service" && arg != "--print-config")
            place.commandLineSettings = true;
    }
    std::wstring beside = FolderOf(ProgramPath()) + Utf16(ConfigFileName);
    place.file = FullPath(given.empty() ? beside : given);
    std::string text;
    DWORD error;
    if (!ReadWholeFile(place.file, text, error)) {
        if (given.empty() && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
            place.file.clear();  // no settings file: the command line alone
            args = commandLine;
            return true;
        }
        reason = "cannot read the settings file " + Utf8(place.file) + ": " + SystemMessage(error);
        return false;
    }
    // Named as the operator knows it: beside the program by its name, else as given.
    std::string name = given.empty() ? ConfigFileName : Utf8(given);
    std::vector<ToolArg> fileArgs;
    if (!ReadConfigText(text, name, fileArgs, reason))
        return false;
    // A folder in the file is where the file is, wherever the feed starts
    // (at logon, or as a service in the system's folder).
    std::string fileFolder = Utf8(FolderOf(place.file));
    for (size_t i = 0; i + 1 < fileArgs.size(); i++) {
        std::string& value = fileArgs[i + 1].text;
        bool relative = !value.empty() && value[0] != '\\' && value[0] != '/' && (value.size() < 2 || value[1] != ':');
        if (fileArgs[i].text == "--log" && fileArgs[i + 1].boundValue && relative)
            value = fileFolder + value;
    }
    args = WithConfig(fileArgs, commandLine);
    return true;
}
