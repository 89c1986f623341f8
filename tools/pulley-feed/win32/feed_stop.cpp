#include "feed_stop.h"

#include <atomic>

#include "network.h"

static HANDLE stopping = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // set: the feed stops
static HANDLE ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);     // set: what it opened is closed
static std::atomic<const FeedNetwork*> watched{nullptr};

void WatchNetworkForStop(const FeedNetwork* network)
{
    watched = network;
}

void RequestFeedStop()
{
    SetEvent(stopping);
    if (const FeedNetwork* network = watched)
        WakeNetwork(*network);
}

bool PauseUnlessFeedStops(DWORD ms)
{
    return WaitForSingleObject(stopping, ms) == WAIT_TIMEOUT;
}

bool FeedStopAsked()
{
    return !PauseUnlessFeedStops(0);
}

void FeedEnded()
{
    SetEvent(ended);
}

bool AwaitFeedEnd(DWORD ms)
{
    return WaitForSingleObject(ended, ms) == WAIT_OBJECT_0;
}
