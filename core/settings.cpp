#include "settings.h"

#include "count_text.h"

#include <cstring>

// A hand-made file can fill a name field with no terminator, and everything
// that reads the names expects one. A field that has one is left alone: the
// bytes after a name are the file's, and are saved again as they were.
static void TerminatePortName(char (&name)[PortNameSize])
{
    if (std::memchr(name, '\0', PortNameSize) == nullptr)
        name[PortNameSize - 1] = '\0';
}

bool LoadSettings(SettingsRecord& record, const SettingsFile& file, bool* held)
{
    std::memset(&record, 0, sizeof record);
    // A short file fills only its length and a longer one gives its first
    // 96 bytes; neither is refused.
    int read = file.Read(file.context, &record, SettingsRecordSize);
    if (held != nullptr)
        *held = read == SettingsFileHeld;
    if (read < 0)
        return false;
    TerminatePortName(record.pulleyPort);
    TerminatePortName(record.relayPort);
    return true;
}

void ApplyDefaultSettings(SettingsRecord& record)
{
    std::memset(&record.placement, 0, sizeof record.placement);
    record.placement.length = sizeof(Placement);
    record.placement.showCmd = 5;
    record.placement.normalRect[0] = 100;
    record.placement.normalRect[1] = 100;
    record.placement.normalRect[2] = 400;
    record.placement.normalRect[3] = 250;
    std::memset(record.pulleyPort, 0, sizeof record.pulleyPort);
    std::memcpy(record.pulleyPort, "COM1", 4);
    record.connectAtStartUp = 0;
    record.alwaysVisible = 0;
    record.units = Metres;
}

bool SaveSettings(const SettingsRecord& record, const SettingsFile& file)
{
    if (file.Replace(file.context, &record, SettingsRecordSize))
        return true;
    file.ShowSaveFailure(file.context);
    return false;
}
