#include "settings.h"

#include "count_text.h"

#include <cstring>

bool LoadSettings(SettingsRecord& record, const SettingsFile& file)
{
    std::memset(&record, 0, sizeof record);
    // A short file fills only its length and a longer one gives its first
    // 96 bytes; neither is refused.
    if (file.Read(&record, SettingsRecordSize) < 0)
        return false;
    // A hand-made file can fill a name field with no terminator; everything
    // that reads the names expects one.
    record.pulleyPort[PortNameSize - 1] = '\0';
    record.relayPort[PortNameSize - 1] = '\0';
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
    if (file.Replace(&record, SettingsRecordSize))
        return true;
    file.ShowSaveFailure();
    return false;
}
