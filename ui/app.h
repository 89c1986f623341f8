// The display's application object: all it keeps, made by WinMain and held
// by the main window, which finds it on itself; the core calls back into it
// through the tables it was given. Everything runs on the one GUI thread.
#pragma once

#include <windows.h>

#include "state.h"

struct DisplayApp {
    HINSTANCE instance;
    HWND window;        // the main window, from its first message on
    char caption[100];  // string 103: the window's title
    PulleyState state;
    // The settings file was held by another program at start-up: the display
    // runs on the defaults and does not save them over the operator's file.
    bool keepSettingsFile;
};

// Main window, ui/main_window.cpp
bool RegisterMainWindowClass(HINSTANCE instance, const char* className);
HWND CreateMainWindow(DisplayApp& app, const char* className);
void ApplyAlwaysVisible(const DisplayApp& app);
// The effects the core asks of the main window, for this app.
WindowEffects MainWindowEffects(DisplayApp& app);

// The device library and the relay port as the core calls them, ui/device_tables.cpp
extern const PulleyDevice KvarnPulleyDevice;
extern const RelayDevice Win32RelayDevice;
