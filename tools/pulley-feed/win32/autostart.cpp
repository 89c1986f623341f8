#include "autostart.h"

#include <windows.h>

#include "settings/config_file.h"
#include "system_text.h"

const wchar_t AutostartValue[] = L"PulleyFeed";
static const wchar_t RunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring FeedCommandLine(const std::wstring& options, const ConfigPlace& config)
{
    return L"\"" + ProgramPath() + L"\" " + options + L" --config \"" + config.file + L"\"";
}

bool SettingsAllInFile(const ConfigPlace& config, const char* what, const ConsoleOps& console)
{
    if (config.file.empty())
        SayEnded(console, ExitUsage,
                 std::string(what) + " needs the settings in a file: write " + ConfigFileName +
                     " beside pulley-feed.exe (pulley-feed.ini.example shows how), or give --config FILE");
    else if (config.commandLineSettings)
        SayEnded(console, ExitUsage,
                 std::string(what) + " starts the feed with the settings file alone: put the other options in " +
                     Utf8(config.file));
    return !config.file.empty() && !config.commandLineSettings;
}

static std::wstring CurrentAutostart()
{
    wchar_t command[2048];
    DWORD size = sizeof command;
    if (RegGetValueW(HKEY_CURRENT_USER, RunKey, AutostartValue, RRF_RT_REG_SZ, nullptr, command, &size) != ERROR_SUCCESS)
        return L"";
    return command;
}

FeedExitCode Autostart(const std::string& what, const ConfigPlace& config, const ConsoleOps& console)
{
    if (what == "ask") {
        std::wstring command = CurrentAutostart();
        return SayEnded(console, ExitEnded, command.empty() ? "does not start at logon" : "starts at logon: " + Utf8(command));
    }
    LSTATUS result;
    if (what == "off") {
        HKEY key;
        result = RegOpenKeyExW(HKEY_CURRENT_USER, RunKey, 0, KEY_SET_VALUE, &key);
        if (result == ERROR_SUCCESS) {
            result = RegDeleteValueW(key, AutostartValue);
            RegCloseKey(key);
        }
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
            return SayEnded(console, ExitCannotOpen, "cannot stop starting at logon: " + SystemMessage(result));
        return SayEnded(console, ExitEnded, "no longer starts at logon");
    }
    if (!SettingsAllInFile(config, "--autostart on", console))
        return ExitUsage;
    std::wstring command = FeedCommandLine(L"--tray", config);
    HKEY key;
    result = RegCreateKeyExW(HKEY_CURRENT_USER, RunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, AutostartValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS)
        return SayEnded(console, ExitCannotOpen, "cannot start at logon: " + SystemMessage(result));
    return SayEnded(console, ExitEnded, "starts at logon, in the notification area: " + Utf8(command));
}
