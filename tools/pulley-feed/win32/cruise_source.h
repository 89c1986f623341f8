// The cruise id from OpenVDM, asked every minute on a thread of its own
// (GET api/warehouse/getCruiseID): each new id goes to the feed as its
// cruise; while the server does not answer the last id stays, and that is
// said once.
#pragma once

#include <functional>
#include <string>
#include <thread>

#include "running/commands.h"

constexpr int CruiseAskEveryMs = 60000;

class CruiseSource {
public:
    ~CruiseSource() { Close(); }
    // ask gives the id to the feed, on its thread; say tells a person.
    void Open(const std::string& address, std::function<CommandAnswer(const FeedCommand&)> ask,
              std::function<void(const std::string&)> say);
    void Close();

private:
    void Run();

    std::string address_;
    std::function<CommandAnswer(const FeedCommand&)> ask_;
    std::function<void(const std::string&)> say_;
    std::thread thread_;
};

// The body of a GET of the address, within a few seconds; false with the reason.
bool HttpGet(const std::string& address, std::string& body, std::string& reason);
