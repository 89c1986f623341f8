// The feed as the Windows service PulleyFeed, for a PC that only reads a
// relay line: started with the system, before anyone logs on, with its
// settings file. A service runs in a session of its own and cannot see the
// display's window, so it reads a serial port. Its messages go to the
// event log and, with a log folder, to pulley-feed-messages.log there.
#pragma once

#include <functional>
#include <string>

#include "config_place.h"
#include "running/console_writer.h"
#include "settings/feed_options.h"

// Each says how it went on the console; removing needs no settings.
FeedExitCode InstallFeedService(const ConfigPlace& config, const ConsoleOps& console);
FeedExitCode RemoveFeedService(const ConsoleOps& console);
// As the service manager starts it: runs the feed (run, given where its
// messages go: the event log, and pulley-feed-messages.log in the folder
// when one is given) and reports it running and stopped, with the exit
// code of a feed that failed as the service's own. Started otherwise, it
// says so on the console.
FeedExitCode RunFeedService(std::function<FeedExitCode(const ConsoleOps&)> run, const std::string& messagesFolder,
                            const ConsoleOps& console);
