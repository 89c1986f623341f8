// The feed's pipe, through which pulley-remote marks, acknowledges, sets
// the station and enters the wire book. A pipe, not a window message: a
// service has no window a user's program can find, and a pipe reaches the
// feed in the console, in the tray and as a service alike, from this PC
// only. Served on a thread of its own; each request is asked of the feed
// on its own thread, and answered.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "running/commands.h"

class CommandPipe {
public:
    // ask runs a command on the feed's thread and gives its answer.
    using Ask = std::function<CommandAnswer(const FeedCommand&)>;
    ~CommandPipe() { Close(); }
    // Starts serving; false, with the reason, when another feed serves the
    // pipe already (or it cannot be made).
    bool Open(Ask ask, std::string& reason);
    void Close();

private:
    void Serve();
    HANDLE NewInstance(bool first);

    Ask ask_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;  // the instance waiting for a client
    std::thread thread_;
    volatile bool stopping_ = false;
};

// A request's words, from its text (a tab between them); and the answer's
// text from an answer.
FeedCommand CommandOfRequest(const std::string& request);
std::string ReplyOf(const CommandAnswer& answer);
