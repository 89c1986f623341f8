#include "feed_service.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "autostart.h"
#include "feed_stop.h"
#include "system_text.h"

static wchar_t ServiceName[] = L"PulleyFeed";
// How long the service manager is told a stop takes at most: the log's
// last try and the last words fit in it.
constexpr DWORD StopWaitHintMs = CloseHandlerWaitMs;

// A handle of the service manager's, closed by its owner.
struct ServiceHandle {
    SC_HANDLE handle;
    explicit ServiceHandle(SC_HANDLE opened) : handle(opened) {}
    ~ServiceHandle()
    {
        if (handle != nullptr)
            CloseServiceHandle(handle);
    }
    operator SC_HANDLE() const { return handle; }
};

FeedExitCode InstallFeedService(const ConfigPlace& config, const ConsoleOps& console)
{
    if (!SettingsAllInFile(config, "--service install", console))
        return ExitUsage;
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (manager == nullptr)
        return SayEnded(console, ExitCannotOpen, "cannot reach the service manager (run as administrator): " +
                                       SystemMessage(GetLastError()));
    std::wstring command = FeedCommandLine(L"--service run", config);
    ServiceHandle service(CreateServiceW(manager, ServiceName, L"Pulley Feed", SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                         command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (service == nullptr)
        return SayEnded(console, ExitCannotOpen, "cannot install the service PulleyFeed: " + SystemMessage(GetLastError()));
    SERVICE_DESCRIPTIONW description = {const_cast<wchar_t*>(
        L"Shares the cable count read from a relay line on the network and in the survey log")};
    ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
    if (!StartServiceW(service, 0, nullptr))
        return SayEnded(console, ExitCannotOpen, "installed the service PulleyFeed, but it did not start: " +
                                       SystemMessage(GetLastError()));
    return SayEnded(console, ExitEnded, "the service PulleyFeed is installed, starts with Windows, and runs: " + Utf8(command));
}

FeedExitCode RemoveFeedService(const ConsoleOps& console)
{
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ServiceHandle service(manager == nullptr ? nullptr
                                             : OpenServiceW(manager, ServiceName,
                                                            DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (service == nullptr)
        return SayEnded(console, ExitCannotOpen, "cannot reach the service PulleyFeed: " + SystemMessage(GetLastError()));
    SERVICE_STATUS status;
    if (ControlService(service, SERVICE_CONTROL_STOP, &status))
        for (int tries = 0; tries < 100 && QueryServiceStatus(service, &status) &&
                            status.dwCurrentState != SERVICE_STOPPED;
             tries++)
            Sleep(100);
    if (!DeleteService(service))
        return SayEnded(console, ExitCannotOpen, "cannot remove the service PulleyFeed: " + SystemMessage(GetLastError()));
    return SayEnded(console, ExitEnded, "the service PulleyFeed is stopped and removed");
}

// The running service's own state, for the service manager's calls.
static struct {
    std::function<FeedExitCode(const ConsoleOps&)> run;
    std::string messagesPath;  // empty without a log folder
    SERVICE_STATUS_HANDLE status = nullptr;
    HANDLE eventLog = nullptr;
    std::mutex writing;
    FeedExitCode code = ExitEnded;
} running;

static void Report(DWORD state, DWORD waitHintMs = 0)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    if (state == SERVICE_STOPPED && running.code != ExitEnded) {
        status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = running.code;
    }
    status.dwWaitHint = waitHintMs;
    SetServiceStatus(running.status, &status);
}

// A message: to the event log, and with a UTC time to the messages file.
static void WriteMessage(void*, bool message, const std::string& text)
{
    if (!message)
        return;  // nobody sees a status line
    std::lock_guard<std::mutex> hold(running.writing);
    std::wstring wide = Utf16(text);
    const wchar_t* strings[] = {wide.c_str()};
    ReportEventW(running.eventLog, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    if (running.messagesPath.empty())
        return;
    SYSTEMTIME now;
    GetSystemTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02uZ ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    std::string line = stamp + text + "\r\n";
    HANDLE file = CreateFileW(Utf16(running.messagesPath).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

static DWORD WINAPI OnServiceControl(DWORD control, DWORD, void*, void*)
{
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        Report(SERVICE_STOP_PENDING, StopWaitHintMs);
        RequestFeedStop();
    }
    return NO_ERROR;
}

static void WINAPI ServiceMain(DWORD, wchar_t**)
{
    running.status = RegisterServiceCtrlHandlerExW(ServiceName, OnServiceControl, nullptr);
    if (running.status == nullptr)
        return;
    running.eventLog = RegisterEventSourceW(nullptr, ServiceName);
    Report(SERVICE_RUNNING);
    WriteMessage(nullptr, true, "the service started");
    running.code = running.run({.Write = WriteMessage, .context = nullptr});
    WriteMessage(nullptr, true, "the service stopped" + (running.code == ExitEnded ? std::string() :
                                                          ", exit code " + std::to_string(running.code)));
    if (running.eventLog != nullptr)
        DeregisterEventSource(running.eventLog);
    Report(SERVICE_STOPPED);
}

FeedExitCode RunFeedService(std::function<FeedExitCode(const ConsoleOps&)> run, const std::string& messagesFolder,
                            const ConsoleOps& console)
{
    running.run = std::move(run);
    running.messagesPath = messagesFolder.empty() ? "" : messagesFolder + "\\pulley-feed-messages.log";
    SERVICE_TABLE_ENTRYW services[] = {{ServiceName, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(services))
        return SayEnded(console, ExitUsage, "--service run is for the service manager: --service install sets it up (" +
                                  SystemMessage(GetLastError()) + ")");
    return running.code;
}
