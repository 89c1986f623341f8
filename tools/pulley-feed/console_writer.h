// What pulley-feed says on its console, written by a thread of its own: a
// console can hold a write for as long as someone has text selected in it,
// and that must not hold the count's lines on the network.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

struct ConsoleOps {
    // Writes the text to stderr (a message) or stdout (the status line).
    void (*Write)(void* context, bool message, const std::string& text);
    void* context;
};

class ConsoleWriter {
public:
    explicit ConsoleWriter(const ConsoleOps& ops);
    ~ConsoleWriter();
    // The status line: the newest replaces any not shown yet.
    void Status(const std::string& line);
    // A message, said in order. Beyond MostWaiting the newest are counted
    // instead, and the count is said when the console takes text again.
    void Message(const std::string& line);
    // Says what waits, for at most waitMs, and ends the thread. False when
    // the console still holds a write: the thread then runs on, and the
    // program must end without destroying this writer (ExitProcess).
    bool Finish(int waitMs);

    static constexpr size_t MostWaiting = 256;

private:
    void Run();

    ConsoleOps ops_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::string> messages_;
    size_t unsaid_ = 0;
    std::string status_;
    bool statusWaiting_ = false;
    bool finishing_ = false, finished_ = false;
    std::thread thread_;
};
