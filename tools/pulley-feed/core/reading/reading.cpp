// A reading's status in words.
#include "reading/reading.h"

const char* StatusWord(FeedStatus status)
{
    switch (status) {
    case FeedStatus::Valid: return "valid";
    case FeedStatus::NotYetRead: return "no-reading";
    case FeedStatus::LostLink: return "lost-link";
    case FeedStatus::NotConnected: return "not-connected";
    case FeedStatus::NoDisplay: return "no-display";
    case FeedStatus::NoData: return "no-data";
    case FeedStatus::NoPort: return "no-port";
    case FeedStatus::TestValue: return "test-value";
    }
    return "?";
}

bool HasCount(const FeedReading& reading)
{
    return reading.status == FeedStatus::Valid || reading.status == FeedStatus::TestValue;
}
