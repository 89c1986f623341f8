// What the display's answers to its messages mean, asked so that they agree.
#include "formats/display_reading.h"

#include "shared_constants.h"

FeedReading ReadingFromDisplay(int32_t metres, uint32_t status)
{
    int presets = static_cast<int>((status & PULLEY_STATUS_PRESETS_MASK) >> PULLEY_STATUS_PRESETS_SHIFT);
    if (status & PULLEY_STATUS_TEST_VALUE)
        return {FeedStatus::TestValue, metres, presets};
    if (metres == LostReading || (status & PULLEY_STATUS_LINK_LOST))
        return {FeedStatus::LostLink, 0, presets};
    if (!(status & PULLEY_STATUS_CONNECTED))
        return {FeedStatus::NotConnected, 0, presets};
    if (!(status & PULLEY_STATUS_READ))
        return {FeedStatus::NotYetRead, 0, presets};
    return {FeedStatus::Valid, metres, presets};
}

DisplayAnswer AskDisplayReading(const DisplayAsker& asker, FeedReading& reading)
{
    uint32_t before = 0, metres = 0, after = 0;
    if (!asker.Ask(asker.context, UM_GETSTATUS, before) || !asker.Ask(asker.context, UM_GETMETRES, metres) ||
        !asker.Ask(asker.context, UM_GETSTATUS, after))
        return DisplayAnswer::NoAnswer;
    if (before != after)
        return DisplayAnswer::MovedOn;
    reading = ReadingFromDisplay(static_cast<int32_t>(metres), after);
    return DisplayAnswer::Reading;
}
