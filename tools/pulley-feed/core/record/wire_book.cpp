// The wire book's table, its reading, its checks and what the wire is now.
#include "record/wire_book.h"

#include <algorithm>

#include "record/row_files.h"
#include "tool_args.h"

const LogTable<WireEntry> WireBookTable = {
    ColumnOf<&WireEntry::utcMs, TimeField>("utc", "UTC, ISO 8601", "when it was entered"),
    ColumnOf<&WireEntry::event, WordField>(
        "event", "", "install, cut-back, termination, load-test, lubrication, removal, other"),
    ColumnOf<&WireEntry::metres, OptionalDecimalField>("metres", "m", "an install's length, a cut-back's length cut"),
    ColumnOf<&WireEntry::nsfId, NameField>("nsf_id", "", "the wire's NSF id"),
    ColumnOf<&WireEntry::partNumber, NameField>("part_number", "", "the wire's part number"),
    ColumnOf<&WireEntry::maker, NameField>("maker", "", "the wire's maker"),
    ColumnOf<&WireEntry::breakingLoad, OptionalDecimalField>("breaking_load", "as load_unit says",
                                                             "the wire's assigned breaking load"),
    ColumnOf<&WireEntry::loadUnit, NameField>("load_unit", "", "lbf, kgf or kN"),
    ColumnOf<&WireEntry::cruise, NameField>("cruise", "", "the cruise when it was entered"),
    ColumnOf<&WireEntry::note, TextField>("note", "", "a person's words"),
};

const char WireBookFileName[] = "wire-book.csv";
const std::vector<std::string> WireEvents = {"install", "cut-back", "termination", "load-test", "lubrication",
                                             "removal", "other"};

// No wire is longer than this, nor stronger: a figure beyond it is a mistake.
constexpr double MostWireMetres = 100000;
constexpr double MostBreakingLoad = 1000000;

bool ReadWireBook(const LogFileOps& files, const std::string& path, WireBook& book, std::string& reason)
{
    book.entries.clear();
    LogFile file = files.OpenToRead(files.context, path);
    if (file == nullptr)
        return true;
    int64_t size = 0;
    bool read = files.Size(files.context, file, size) &&
                ReadLines(files, file, size, [&book](const std::string& line, int64_t, int64_t) {
                    WireEntry entry;
                    if (ReadRow(WireBookTable, line, entry))
                        book.entries.push_back(entry);
                });
    if (!read)
        reason = files.LastError(files.context);
    files.Close(files.context, file);
    return read;
}

bool CheckWireEntry(const WireBook& book, const WireEntry& entry, std::string& reason)
{
    bool takesMetres = entry.event == "install" || entry.event == "cut-back";
    TensionUnit unit;
    std::optional<double> length = WireLengthAt(book, entry.utcMs);
    if (std::find(WireEvents.begin(), WireEvents.end(), entry.event) == WireEvents.end())
        reason = "\"" + entry.event + "\" is no wire book entry: install, cut-back, termination, load-test, "
                 "lubrication, removal or other";
    else if (takesMetres && !entry.metres)
        reason = entry.event + " takes the metres: the wire's length, or the length cut";
    else if (!takesMetres && entry.metres)
        reason = entry.event + " takes no metres";
    else if (entry.metres && !(*entry.metres > 0 && *entry.metres <= MostWireMetres))
        reason = "the metres are more than 0 and at most 100000";
    else if (entry.event == "cut-back" && !length)
        reason = "no wire is installed to cut back";
    else if (entry.event == "cut-back" && *entry.metres >= *length)
        reason = "a cut-back of " + DecimalText(*entry.metres) + " m is no shorter than the wire (" +
                 DecimalText(*length) + " m on the drum)";
    else if (!IsFieldName(entry.nsfId) || !IsFieldName(entry.partNumber) || !IsFieldName(entry.maker) ||
             !IsFieldName(entry.cruise))
        reason = "an id, part number or maker of at most 64 printable characters, no comma or quote";
    else if (entry.note.find_first_of("\r\n") != std::string::npos)
        reason = "a note of one line";
    else if (entry.breakingLoad && entry.event != "install")
        reason = "a breaking load is the wire's: give it with its install";
    else if (entry.breakingLoad && !(*entry.breakingLoad > 0 && *entry.breakingLoad <= MostBreakingLoad))
        reason = "the breaking load is more than 0 and at most 1000000";
    else if (entry.breakingLoad.has_value() != !entry.loadUnit.empty() ||
             (!entry.loadUnit.empty() && !ParseTensionUnit(entry.loadUnit, unit)))
        reason = "a breaking load is given with its unit: lbf, kgf or kN (10500lbf)";
    else
        return true;
    return false;
}

std::optional<double> WireLengthAt(const WireBook& book, int64_t atUtcMs)
{
    std::optional<double> length;
    for (const WireEntry& entry : book.entries) {
        if (entry.utcMs > atUtcMs)
            continue;
        if (entry.event == "install")
            length = entry.metres;
        else if (entry.event == "removal")
            length.reset();
        else if (entry.event == "cut-back" && length && entry.metres)
            length = *length - *entry.metres;
    }
    return length;
}

const WireEntry* InstalledWire(const WireBook& book)
{
    const WireEntry* installed = nullptr;
    for (const WireEntry& entry : book.entries)
        if (entry.event == "install")
            installed = &entry;
        else if (entry.event == "removal")
            installed = nullptr;
    return installed;
}

std::optional<double> BreakingLoadIn(const WireBook& book, TensionUnit unit)
{
    const WireEntry* wire = InstalledWire(book);
    TensionUnit given;
    if (wire == nullptr || !wire->breakingLoad || !ParseTensionUnit(wire->loadUnit, given))
        return std::nullopt;
    return TensionIn(unit, NewtonsOf(*wire->breakingLoad, given));
}

bool LoadTestDue(const WireBook& book)
{
    bool due = false;
    for (const WireEntry& entry : book.entries)
        due = entry.event == "termination" ? true : entry.event == "load-test" ? false : due;
    return due;
}
