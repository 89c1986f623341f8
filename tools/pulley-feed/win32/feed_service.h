// The feed as the Windows service PulleyFeed, for a PC that only reads a
// relay line: started with the system, before anyone logs on, with its
// settings file. A service runs in a session of its own and cannot see the
// display's window, so it reads a serial port. Its messages go to the
// event log and, with a log folder, to pulley-feed-messages.log there.
#pragma once

#include <functional>
#include <string>

#include "config_place.h"
#include "console_writer.h"
#include "feed_options.h"

FeedExitCode InstallFeedService(const ConfigPlace& config);
FeedExitCode RemoveFeedService();
// As the service manager starts it: runs the feed (run, given where its
// messages go) and reports it running and stopped.
FeedExitCode RunFeedService(std::function<FeedExitCode(const ConsoleOps&)> run, const std::string& logFolder);
