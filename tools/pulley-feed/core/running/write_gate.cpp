// The bounds of the LAN's writes: per address, per key, and their refusals.
#include "running/write_gate.h"

bool WriteGate::Replay(const std::string& key, int64_t nowMs, GateAnswer& answer)
{
    auto found = answered_.find(key);
    if (key.empty() || found == answered_.end() || nowMs - found->second.first >= IdempotencyMs)
        return false;
    answer = found->second.second;
    return true;
}

bool WriteGate::Admit(const std::string& address, int64_t nowMs)
{
    for (auto it = writes_.begin(); it != writes_.end();) {  // forget the minutes gone by
        while (!it->second.empty() && nowMs - it->second.front() >= WriteWindowMs)
            it->second.pop_front();
        it = it->second.empty() ? writes_.erase(it) : std::next(it);
    }
    std::deque<int64_t>& times = writes_[address];
    if (times.size() >= MostWritesPerWindow)
        return false;
    times.push_back(nowMs);
    return true;
}

void WriteGate::Remember(const std::string& key, int64_t nowMs, const GateAnswer& answer)
{
    if (key.empty())
        return;
    for (auto it = answered_.begin(); it != answered_.end();)
        it = nowMs - it->second.first >= IdempotencyMs ? answered_.erase(it) : std::next(it);
    while (answered_.size() >= MostKeysKept) {
        auto oldest = answered_.begin();
        for (auto it = answered_.begin(); it != answered_.end(); ++it)
            if (it->second.first < oldest->second.first)
                oldest = it;
        answered_.erase(oldest);
    }
    answered_[key] = {nowMs, answer};
}

void WriteGate::Refused(int status)
{
    refused_[status]++;
}

std::string WriteGate::SayRefusals(int64_t nowMs)
{
    if (refused_.empty() || nowMs - saidMs_ < WriteWindowMs)
        return "";
    std::string said = "LAN writes refused in the last minute:";
    for (const auto& [status, count] : refused_)
        said.append(" ").append(std::to_string(status)).append(" x").append(std::to_string(count));
    refused_.clear();
    saidMs_ = nowMs;
    return said;
}
