// "Tarvesk.ini" beside the executable, for LoadSettings and SaveSettings.
#pragma once

#include <windows.h>

#include "settings.h"

// The file; its failure box is owned by the window boxOwner points to (or
// none).
SettingsFile SettingsBesideProgram(const HWND* boxOwner);
