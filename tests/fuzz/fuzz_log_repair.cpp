// The repair the logs get when the feed starts: whatever a power cut, a
// spreadsheet or a person left in a day file, casts.csv, events.csv or the
// wire book, every whole row in it survives, in its place; only a row of
// ours that a power cut tore is cut off, only an open cast of ours is
// closed, and only casts.csv's first release header takes the new columns.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "record/cast_log.h"
#include "record/events.h"
#include "record/wire_book.h"
#include "fake_disk.h"
#include "record/survey_rows.h"
#include "record/row_log.h"
#include "record/log_table.h"

// The rows, without their line ends; a last one without its end too.
static std::vector<std::string> Rows(const std::string& text)
{
    std::vector<std::string> rows;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        rows.push_back(text.substr(start, end - start));
    if (start < text.size())
        rows.push_back(text.substr(start));
    // A row's own stray carriage returns before its end ("open\r\r\n") are
    // its line end too: the repair reads it so.
    for (std::string& row : rows)
        while (!row.empty() && row.back() == '\r')
            row.pop_back();
    return rows;
}

// What must survive: every row with its end, and a last row without one
// unless a power cut tore it.
static std::vector<std::string> Kept(const std::string& input, const RowShape& shape)
{
    std::vector<std::string> rows = Rows(input);
    size_t lastEnd = input.rfind('\n');
    bool unended = !input.empty() && input.back() != '\n';
    // A tail with no line end in the last 4 KiB is nobody's row: kept.
    if (unended && lastEnd != std::string::npos && input.size() - lastEnd <= 4096 &&
        KindOfRow(shape, input.substr(lastEnd + 1)) == RowKind::Torn)
        rows.pop_back();
    return rows;
}

static void Repair(const std::string& input, const std::string& name, const RowShape& shape,
                   const std::string& header)
{
    FakeDisk disk;
    disk.files["log\\" + name] = input;
    std::string reason;
    int lastCast = 0;
    bool casts = name == CastsFileName;
    if (casts) {
        CastLog log;
        if (!OpenCastLog(log, disk.ops, "log", lastCast, reason))
            std::abort();
        CloseCastLog(log);
    } else {
        RowLog log;
        if (!OpenRowLog(log, disk.ops, "log", name, shape, header, reason))
            std::abort();
        CloseRowLog(log);
    }
    std::string output = disk.Text(name);
    std::vector<std::string> kept = Kept(input, shape), after = Rows(output);
    if (input.empty())
        kept = Rows(header);
    if (casts && input.compare(0, HeaderOf(CastTableWithoutCruise).size(), HeaderOf(CastTableWithoutCruise)) == 0)
        kept[0] = Rows(header)[0];
    if (output.empty() || output.back() != '\n' || after.size() != kept.size())
        std::abort();
    for (size_t i = 0; i < kept.size(); i++) {
        if (after[i] == kept[i])
            continue;
        // Only an open cast's row changes: closed, from the same cast.
        CastRecord was, now;
        if (!casts || !ReadCastRow(kept[i], was) || was.notes != OpenCastNote || !ReadCastRow(after[i], now) ||
            now.notes != "incomplete: the feed stopped during the cast" || now.number != was.number ||
            now.startUtcMs != was.startUtcMs)
            std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    Repair(input, "pulley-2026-12-08.csv", ShapeOf(SurveyTable), HeaderOf(SurveyTable));
    Repair(input, CastsFileName, ShapeOf(CastTable), HeaderOf(CastTable));
    Repair(input, EventsFileName, ShapeOf(EventTable), HeaderOf(EventTable));
    Repair(input, WireBookFileName, ShapeOf(WireBookTable), HeaderOf(WireBookTable));
    return 0;
}
