// What the display's answers to its count and status messages mean to the
// feed, and how they are asked so that they describe one moment. Portable:
// tests script the answers.
#pragma once

#include <cstdint>

#include "reading/reading.h"

// A reading from the display's answers to UM_GETMETRES and UM_GETSTATUS.
// Connected, its count is one once it has read the pulley (its status says
// so): before, the 9999 it holds is no reading; after, it is 9999 m. While
// its lost-link warning is up it still answers the count from before,
// which the status marks as lost.
FeedReading ReadingFromDisplay(int32_t metres, uint32_t status);

// Asks the display one message; false when it does not answer in time.
struct DisplayAsker {
    bool (*Ask)(void* context, unsigned message, uint32_t& answer);
    void* context;
};

enum class DisplayAnswer {
    Reading,     // the reading is one moment's
    NoAnswer,    // the display did not answer (closed, hung)
    MovedOn,     // the display polled the pulley between the questions: ask at the next poll
};
// Asks the status, the metres and the status again. The display polls the
// pulley between any two messages, so a count is accepted only when the
// status before it and after it agree: otherwise a 9999 held before the
// first reading could go out with the status of the reading after it.
DisplayAnswer AskDisplayReading(const DisplayAsker& asker, FeedReading& reading);
