#include "tray_icon.h"

#include <shellapi.h>

#include "feed_stop.h"
#include "shared_constants.h"
#include "system_text.h"

enum : UINT {
    WM_TRAY_ICON = WM_APP + 1,  // the icon's clicks
    WM_TRAY_STATUS,             // status_ changed
    WM_TRAY_NOTICE,             // notices_ waits
    WM_TRAY_CLOSE,              // the feed has ended: away with the icon
};
enum : UINT { MenuOpenPage = 40010, MenuOpenLog, MenuStatus };
constexpr UINT IconId = 1;
constexpr size_t MostKept = 20;  // messages kept for Status...

TrayIcon::TrayIcon(const FeedOptions& options) : options_(options) {}

bool TrayIcon::Open(std::string& reason)
{
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread(&TrayIcon::Run, this, ready);
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    if (window_ == nullptr) {
        thread_.join();
        reason = "its window could not be made";
    }
    return window_ != nullptr;
}

void TrayIcon::Close()
{
    if (thread_.joinable()) {
        PostMessageW(window_, WM_TRAY_CLOSE, 0, 0);
        thread_.join();
    }
}

void TrayIcon::Keep(void* context, bool message, const std::string& text)
{
    auto& tray = *static_cast<TrayIcon*>(context);
    if (!message)
        return;  // the status line comes by SetStatus
    std::lock_guard<std::mutex> hold(tray.lock_);
    tray.said_.push_back(text);
    if (tray.said_.size() > MostKept)
        tray.said_.pop_front();
}

void TrayIcon::SetStatus(const std::string& line)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (status_ == line)
            return;
        status_ = line;
    }
    PostMessageW(window_, WM_TRAY_STATUS, 0, 0);
}

void TrayIcon::Notify(const std::string& title, const std::string& text)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        notices_.emplace_back(title, text);
    }
    PostMessageW(window_, WM_TRAY_NOTICE, 0, 0);
}

std::string TrayIcon::SaidText()
{
    std::lock_guard<std::mutex> hold(lock_);
    std::string text;
    for (const std::string& line : said_)
        text.append(text.empty() ? "" : "\n").append(line);
    return text;
}

void TrayIcon::ShowFailure()
{
    MessageBoxW(nullptr, Utf16("pulley-feed stopped:\n\n" + SaidText()).c_str(), L"pulley-feed", MB_OK | MB_ICONERROR);
}

// Copies UTF-8 into a fixed field of the icon's data, cut to fit.
template <size_t N> static void CopyField(wchar_t (&field)[N], const std::string& text)
{
    std::wstring wide = Utf16(text);
    lstrcpynW(field, wide.c_str(), N);
}

static NOTIFYICONDATAW IconData(HWND window, UINT flags)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = IconId;
    data.uFlags = flags;
    return data;
}

void TrayIcon::AddIcon()
{
    NOTIFYICONDATAW data = IconData(window_, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    data.uCallbackMessage = WM_TRAY_ICON;
    data.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    CopyField(data.szTip, "pulley-feed: starting");
    Shell_NotifyIconW(NIM_ADD, &data);
}

void TrayIcon::OnStatus()
{
    NOTIFYICONDATAW data = IconData(window_, NIF_TIP);
    std::lock_guard<std::mutex> hold(lock_);
    CopyField(data.szTip, status_);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::OnNotice()
{
    std::deque<std::pair<std::string, std::string>> notices;
    {
        std::lock_guard<std::mutex> hold(lock_);
        notices.swap(notices_);
    }
    for (const auto& [title, text] : notices) {
        NOTIFYICONDATAW data = IconData(window_, NIF_INFO);
        data.dwInfoFlags = NIIF_WARNING;
        CopyField(data.szInfoTitle, title);
        CopyField(data.szInfo, text);
        Shell_NotifyIconW(NIM_MODIFY, &data);
    }
}

void TrayIcon::OnIconEvent(LPARAM event)
{
    if (event != WM_RBUTTONUP && event != WM_LBUTTONUP && event != WM_CONTEXTMENU)
        return;
    HMENU menu = CreatePopupMenu();
    if (!options_.webEndpoints.empty())
        AppendMenuW(menu, MF_STRING, MenuOpenPage, L"Open page");
    if (!options_.logFolder.empty())
        AppendMenuW(menu, MF_STRING, MenuOpenLog, L"Open log folder");
    AppendMenuW(menu, MF_STRING, MenuStatus, L"Status...");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, PULLEY_FEED_EXIT, L"Exit");
    POINT at;
    GetCursorPos(&at);
    SetForegroundWindow(window_);  // else the menu stays open when clicked away from
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    DestroyMenu(menu);
}

void TrayIcon::OnCommand(WPARAM id)
{
    switch (LOWORD(id)) {
    case MenuOpenPage: {
        const Endpoint& web = options_.webEndpoints.front();
        std::string host = web.host.empty() || web.host == "0.0.0.0" ? "127.0.0.1" : web.host;
        std::wstring address = Utf16("http://" + host + ":" + std::to_string(web.port) + "/");
        ShellExecuteW(window_, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        break;
    }
    case MenuOpenLog:
        ShellExecuteW(window_, L"open", Utf16(options_.logFolder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        break;
    case MenuStatus: {
        std::string status;
        {
            std::lock_guard<std::mutex> hold(lock_);
            status = status_;
        }
        std::string said = SaidText();
        MessageBoxW(window_, Utf16(status + (said.empty() ? "" : "\n\n" + said)).c_str(), L"pulley-feed", MB_OK);
        break;
    }
    case PULLEY_FEED_EXIT:
        RequestFeedStop();
        break;
    }
}

LRESULT CALLBACK TrayIcon::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* tray = reinterpret_cast<TrayIcon*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (tray != nullptr && message == tray->taskbarCreated_) {
        tray->AddIcon();
        return 0;
    }
    switch (message) {
    case WM_TRAY_ICON:
        tray->OnIconEvent(lParam);
        return 0;
    case WM_TRAY_STATUS:
        tray->OnStatus();
        return 0;
    case WM_TRAY_NOTICE:
        tray->OnNotice();
        return 0;
    case WM_COMMAND:
        tray->OnCommand(wParam);
        return 0;
    case WM_CLOSE:  // another program, or the system, asks the feed to end
        RequestFeedStop();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The session ends when this returns: the rows are written first.
        if (wParam) {
            RequestFeedStop();
            AwaitFeedEnd(CloseHandlerWaitMs);
        }
        return 0;
    case WM_TRAY_CLOSE: {
        NOTIFYICONDATAW data = IconData(window, 0);
        Shell_NotifyIconW(NIM_DELETE, &data);
        DestroyWindow(window);
        PostQuitMessage(0);
        return 0;
    }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void TrayIcon::Run(HANDLE ready)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"" PULLEY_FEED_WINDOW_CLASS;
    RegisterClassW(&windowClass);
    // A window never shown rather than a message-only one: only a top-level
    // window hears the session's end, and others find it by its class.
    window_ = CreateWindowExW(0, windowClass.lpszClassName, L"pulley-feed", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                              nullptr, windowClass.hInstance, nullptr);
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
        AddIcon();
    }
    SetEvent(ready);
    MSG message;
    while (window_ != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
