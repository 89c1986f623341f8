// The feed in the notification area (--tray), for a winch PC where nobody
// keeps a console open: an icon whose tooltip is the status line, a menu
// (Open page, Open log folder, Status..., Exit), a notification for each
// alarm raised. Its hidden window has the class PULLEY_FEED_WINDOW_CLASS;
// Exit, WM_CLOSE and the session's end stop the feed as Ctrl+C does.
#pragma once

#include <windows.h>

#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "running/console_writer.h"
#include "settings/feed_options.h"

class TrayIcon {
public:
    explicit TrayIcon(const FeedOptions& options);
    // Its window and icon, on a thread of their own: the feed's main
    // thread waits on the network, not on window messages.
    bool Open(std::string& reason);
    void Close();

    // What the feed would have said on its console, kept for Status...
    ConsoleOps Messages() { return {.Write = Keep, .context = this}; }
    void SetStatus(const std::string& line);
    void Notify(const std::string& title, const std::string& text);
    // After the feed could not start: what it said, in a box.
    void ShowFailure();

private:
    static void Keep(void* context, bool message, const std::string& text);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Run(HANDLE ready);
    void AddIcon();
    void OnIconEvent(LPARAM event);
    void OnCommand(WPARAM id);
    void OnStatus();
    void OnNotice();
    std::string SaidText();

    const FeedOptions& options_;
    std::thread thread_;
    HWND window_ = nullptr;
    UINT taskbarCreated_ = 0;  // the shell started again: the icon is added again
    std::mutex lock_;           // over what follows, written by the feed's threads
    std::string status_;
    std::deque<std::string> said_;
    std::deque<std::pair<std::string, std::string>> notices_;
};
