// conversion-digest: runs the metre/feet conversions over a range of counts
// and prints a digest of their results, so builds for different processors
// (the i686 release, the x86_64 build, the Linux build) can be compared
// count for count without writing out billions of results.
//
//   conversion-digest FIRST LAST [STRIDE]  one line per block of 2^24 counts:
//                                          "first-count feet-digest metres-digest"
//   conversion-digest --each FIRST LAST    one line per count: "count feet metres"
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "count_text.h"

constexpr int64_t BlockSize = int64_t{1} << 24;

// FNV-1a over the four bytes of each result.
struct Digest {
    uint64_t value = 14695981039346656037ull;
    void Add(int32_t result)
    {
        uint32_t bits = static_cast<uint32_t>(result);
        for (int i = 0; i < 4; i++) {
            value ^= (bits >> (8 * i)) & 0xff;
            value *= 1099511628211ull;
        }
    }
};

static bool ParseCount(const char* text, int64_t& count)
{
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 0);
    if (end == text || *end != '\0' || value < INT32_MIN || value > INT32_MAX)
        return false;
    count = value;
    return true;
}

int main(int argc, char** argv)
{
    bool each = argc > 1 && std::strcmp(argv[1], "--each") == 0;
    int first = each ? 2 : 1;
    int64_t from = 0, to = 0, stride = 1;
    if (argc < first + 2 || !ParseCount(argv[first], from) || !ParseCount(argv[first + 1], to) || from > to ||
        (argc > first + 2 && (!ParseCount(argv[first + 2], stride) || stride < 1))) {
        std::fputs("usage: conversion-digest [--each] FIRST LAST [STRIDE]\n", stderr);
        return 1;
    }
    for (int64_t blockStart = from; blockStart <= to; blockStart += BlockSize) {
        int64_t blockEnd = blockStart + BlockSize - 1 < to ? blockStart + BlockSize - 1 : to;
        Digest feet, metres;
        for (int64_t count = blockStart; count <= blockEnd; count += stride) {
            int32_t value = static_cast<int32_t>(count);
            int32_t inFeet = MetresToFeet(value), inMetres = FeetToMetres(value);
            if (each)
                std::printf("%" PRId32 " %" PRId32 " %" PRId32 "\n", value, inFeet, inMetres);
            feet.Add(inFeet);
            metres.Add(inMetres);
        }
        if (!each)
            std::printf("%" PRId64 " %016" PRIx64 " %016" PRIx64 "\n", blockStart, feet.value, metres.value);
    }
    return 0;
}
