// The LAN's writes kept in bounds: at most 10 a minute from one address, an
// Idempotency-Key's first answer given again for 10 minutes instead of a
// second row, and the refusals counted, to be said once a minute.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>

constexpr int64_t WriteWindowMs = 60000;
constexpr size_t MostWritesPerWindow = 10;
constexpr int64_t IdempotencyMs = 10 * 60000;
constexpr size_t MostKeysKept = 4096;  // beyond, the oldest are forgotten first

struct GateAnswer {
    int status;
    std::string body;
};

class WriteGate {
public:
    // A key answered before: its first answer, and true.
    bool Replay(const std::string& key, int64_t nowMs, GateAnswer& answer);
    // Whether one more write from the address fits its minute; counted when it does.
    bool Admit(const std::string& address, int64_t nowMs);
    void Remember(const std::string& key, int64_t nowMs, const GateAnswer& answer);
    // A refusal, by its status.
    void Refused(int status);
    // What was refused since it was last said, when a minute has gone by
    // ("LAN writes refused in the last minute: 401 x3, 429 x1"); else empty.
    std::string SayRefusals(int64_t nowMs);

private:
    std::map<std::string, std::deque<int64_t>> writes_;  // by address
    std::map<std::string, std::pair<int64_t, GateAnswer>> answered_;  // by key
    std::map<int, uint64_t> refused_;  // by status
    int64_t saidMs_ = 0;
};
