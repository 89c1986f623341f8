// "Tarvesk.ini" beside the executable, for LoadSettings and SaveSettings.
#pragma once

#include <windows.h>

#include "settings.h"

extern const SettingsFile Win32SettingsFile;
// The owner of the "File access denied." box.
void SetSettingsBoxOwner(HWND owner);
