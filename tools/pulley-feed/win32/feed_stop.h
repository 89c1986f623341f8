// How the feed is told to stop, from whichever thread: Ctrl+C or the
// console's close, the tray's Exit or the session's end, the service
// manager. Each asks, and those that Windows ends when they return wait
// until the feed has closed what it opened.
#pragma once

#include <windows.h>

struct FeedNetwork;

// Set while the feed runs, so that a stop wakes its network wait at once.
void WatchNetworkForStop(const FeedNetwork* network);
void RequestFeedStop();
// Waits until the stop is asked, at most ms: false when it is.
bool PauseUnlessFeedStops(DWORD ms);
bool FeedStopAsked();
// The feed has closed what it opened: those waiting go on.
void FeedEnded();
// True when the feed ended within ms.
bool AwaitFeedEnd(DWORD ms);

// Windows ends a process this long after its console's close, a logoff or
// a shutdown, whatever its handler still does.
constexpr DWORD SystemCloseGraceMs = 5000;
// Those waiting for the end hold the process this long at most: the log's
// last try and the console's last words fit in it, and it in the grace.
constexpr DWORD CloseHandlerWaitMs = 4500;
