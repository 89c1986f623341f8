// What the main window and the dialogs share: the process-wide state and a
// few handles. Everything runs on the one GUI thread.
#pragma once

#include <windows.h>

#include "state.h"

extern PulleyState g_state;
extern HINSTANCE g_instance;
extern HWND g_mainWindow;
extern char g_caption[100];  // string 103, the window's title and box titles
// The settings file was held by another program at start-up: the display
// runs on the defaults and does not save them over the operator's file.
extern bool g_keepSettingsFile;

// A message box whose text is a string from the string table.
int ShowStringBox(HWND owner, UINT stringId, const char* title, UINT flags);

// Main window, ui/main_window.cpp
bool RegisterMainWindowClass(const char* className);
HWND CreateMainWindow(const char* className);
void ApplyAlwaysVisible(HWND window);
extern const WindowEffects MainWindowEffects;

// The device library and the relay port as the core calls them, ui/device_tables.cpp
extern const PulleyDevice KvarnPulleyDevice;
extern const RelayDevice Win32RelayDevice;
