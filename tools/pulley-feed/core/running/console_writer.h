// What pulley-feed says on its console, written by threads of their own: a
// console can hold a write for as long as someone has text selected in it,
// and that must not hold the count's lines on the network. The status line
// (stdout) and the messages (stderr) each have a thread, so that a pipe
// that nobody reads on one never holds a warning on the other.
#pragma once

#include <deque>
#include <string>

#include "console_ops.h"
#include "running/writer_thread.h"

class ConsoleWriter {
public:
    explicit ConsoleWriter(const ConsoleOps& ops);
    // The status line: the newest replaces any not shown yet.
    void Status(const std::string& line);
    // A message, said in order. Beyond MostWaiting the newest are counted
    // instead, and the count is said when the console takes text again.
    void Message(const std::string& line);
    // Says what waits, for at most waitMs, and ends the threads. False when
    // the console still holds a write: a thread then runs on, and the
    // program must end without destroying this writer (ExitProcess).
    bool Finish(int waitMs);

    static constexpr size_t MostWaiting = 256;

private:
    class Stream {
    public:
        Stream(const ConsoleOps& ops, bool messages);
        void Put(const std::string& text);
        bool Finish(WriterThread::Clock::time_point deadline) { return thread_.Finish(deadline); }

    private:
        void Run();

        ConsoleOps ops_;
        bool messages_;  // stderr's queue; else stdout's one line
        std::deque<std::string> waiting_;
        size_t unsaid_ = 0;
        WriterThread thread_;
    };

    Stream status_, messages_;
};
