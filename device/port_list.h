// The list of serial port names that enumcomm hands out: gathered from more
// than one source, without duplicates, in the order a person expects.
#pragma once

#include <string>
#include <vector>

constexpr size_t MaxPortNameLength = 15;  // callers hand a 16-byte buffer and no size

// Adds a name unless it is already listed (letter case ignored) or too long
// for the callers' buffers.
void AddPortName(std::vector<std::string>& ports, const std::string& name);
// Natural order: COM2 before COM10.
void SortPortNames(std::vector<std::string>& ports);
bool PortNameBefore(const std::string& a, const std::string& b);
