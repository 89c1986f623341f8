// A cruise folder the ship's data manager sends ashore as it is (layout =
// cruise): LOG/<CRUISE>/pulley/ holds raw/, the count files a period each
// (a UTC day or hour) and the cruise's casts, events and wire log, each
// named devicetype_model_location-YYYYMMDDThhmmssZ.csv in lower-case ASCII;
// docs/, a description of each kind of file (made from its table) and of
// the device; and MD5SUMS, the checksums of every closed file, which
// `md5sum -c` reads. A file is closed once its period (or its cruise) has
// ended: it is never written again. What is rewritten goes through a temp
// named .NAME.XXXXXX, which OpenVDM passes over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/log_file_ops.h"
#include "record/log_table.h"

struct CruiseLayout {
    bool on = false;
    bool hourly = false;             // rotate = hourly; daily else
    std::string model = "kvarn";     // device-model: the pulley's
    std::string location = "deck";   // device-location: where it is
};

// A cruise's folder: its id, and when it was started (its casts, events
// and wire log are named by it).
struct CruiseAt {
    std::string id;
    int64_t startMs = 0;
};

// The kinds of file in raw/, as the names' device type says them.
extern const char CountFiles[], CastFiles[], EventFiles[], WireLogFiles[], TensionFiles[];
extern const char ManifestName[];  // MD5SUMS

// A part of a name: lower-case ASCII letters and digits.
bool IsNamePart(const std::string& text);
// A cruise id that names a folder OpenVDM takes: ASCII letters, digits,
// '-', '_' and '.', not first.
bool IsCruiseFolderName(const std::string& id);

// The cruise's folder, under the log folder: <CRUISE>\pulley.
std::string PulleyFolder(const std::string& cruise);
// A file of the cruise's raw/, relative to the log folder:
// CRUISE\pulley\raw\winchcasts_kvarn_deck-20261208T000000Z.csv.
std::string CruiseFile(const CruiseLayout& layout, const std::string& cruise, const char* kind, int64_t startMs);
// The start of the period the time is in: its UTC day, or hour.
int64_t PeriodStartMs(const CruiseLayout& layout, int64_t utcMs);
// A file of raw/, under the cruise's folder: raw\winch_kvarn_deck-20261208T000000Z.csv.
std::string RawFile(const CruiseLayout& layout, const char* kind, int64_t startMs);
// The start in the name of a file of raw/ (...-YYYYMMDDThhmmssZ.csv), or in
// that of a file of the kind; false for any other name.
bool RawNameStart(const std::string& name, int64_t& startMs);
bool RawFileStart(const CruiseLayout& layout, const char* kind, const std::string& name, int64_t& startMs);
// The temp for the name in the same folder: .NAME.tmp. One a file, so that
// the temp a failed write leaves is taken up by the next write of the file
// and put in its place.
std::string TempFor(const std::string& path);

// The manifest's text: a line "md5  path" a file, paths relative to the
// cruise's folder with '/', sorted.
std::string ManifestText(const std::vector<std::pair<std::string, std::string>>& md5ByPath);
// The md5 of a file; false when it cannot be read.
bool Md5OfFile(const LogFileOps& files, const std::string& path, std::string& md5);

// The description of a kind of file, from its table and an example row.
template <typename Record>
std::string FormatDescription(const std::string& kind, const std::string& what, const std::string& periods,
                              const LogTable<Record>& table, const Record& example)
{
    std::string text = "File format: " + kind + "\r\nWhat: " + what +
                       "\r\nFile type: ASCII CSV: comma-separated values, UTF-8 text, lines ended CR LF, one "
                       "header row naming the columns\r\nFiles: " + periods +
                       "\r\nRecord format: one record a line, the fields in this order: ";
    for (size_t i = 0; i < table.size(); i++)
        text.append(i == 0 ? "" : ",").append(table[i].name);
    text += "\r\nExample record: " + RowOf(table, example) + "Fields:\r\n";
    for (const LogColumn<Record>& column : table)
        text.append("  ").append(column.name).append(" (").append(*column.units ? column.units : "no unit")
            .append("): ").append(column.meaning).append("\r\n");
    return text;
}
// The device's description: make, model, location, units, the software.
std::string DeviceDescription(const CruiseLayout& layout, const std::string& winchName, const std::string& version);
// docs/ of a cruise folder: the description of each kind of file (the
// tension's with a load cell: its unit given), and of the device; each
// (path relative to the folder, text).
std::vector<std::pair<std::string, std::string>> CruiseDocs(const CruiseLayout& layout, const std::string& winchName,
                                                            const std::string& version,
                                                            const std::string& tensionUnit = "");
// The count files of the cruise's folder (absolute) whose period ends after
// sinceMs, oldest first.
std::vector<std::string> CountFilesSince(const LogFileOps& files, const std::string& pulleyFolder,
                                         const CruiseLayout& layout, int64_t sinceMs);
// The cruise folders in the log folder, but the cruise's own, whose
// MD5SUMS misses a file: left open by a feed stopped before its cruise
// changed, to be summed whole.
std::vector<std::string> UnclosedCruises(const LogFileOps& files, const std::string& logFolder,
                                         const std::string& cruise);
// When the cruise's folder was started: its events (or casts) file's time,
// or none.
bool CruiseStarted(const LogFileOps& files, const std::string& pulleyFolder, const CruiseLayout& layout,
                   int64_t& startMs);
