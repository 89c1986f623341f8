// The cruise folder's names, periods, manifest and descriptions.
#include "record/cruise_folder.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "formats/md5.h"
#include "reading/utc_time.h"
#include "record/cast_rows.h"
#include "record/events.h"
#include "record/row_files.h"
#include "record/survey_rows.h"
#include "record/tension_rows.h"
#include "record/wire_log.h"

const char CountFiles[] = "winch", CastFiles[] = "winchcasts", EventFiles[] = "winchevents",
           WireLogFiles[] = "winchwirelog", TensionFiles[] = "winchtension";
const char ManifestName[] = "MD5SUMS";

bool IsNamePart(const std::string& text)
{
    return !text.empty() && text.size() <= 32 &&
           text.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") == std::string::npos;
}

bool IsCruiseFolderName(const std::string& id)
{
    return !id.empty() && id.size() <= 40 && id[0] != '.' && id[0] != '-' &&
           id.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") ==
               std::string::npos;
}

std::string PulleyFolder(const std::string& cruise)
{
    return FilePath(cruise, "pulley");
}

int64_t PeriodStartMs(const CruiseLayout& layout, int64_t utcMs)
{
    int64_t period = layout.hourly ? 3600000 : 86400000;
    return utcMs - ((utcMs % period) + period) % period;
}

static std::string Stamp(int64_t utcMs)
{
    UtcTime time = UtcFromUnixMs(utcMs);
    char text[24];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", time.year, time.month, time.day, time.hour,
                  time.minute, time.second);
    return text;
}

static std::string Prefix(const CruiseLayout& layout, const char* kind)
{
    return std::string(kind) + "_" + layout.model + "_" + layout.location + "-";
}

std::string RawFile(const CruiseLayout& layout, const char* kind, int64_t startMs)
{
    return FilePath("raw", Prefix(layout, kind) + Stamp(startMs) + ".csv");
}

std::string CruiseFile(const CruiseLayout& layout, const std::string& cruise, const char* kind, int64_t startMs)
{
    return FilePath(PulleyFolder(cruise), RawFile(layout, kind, startMs));
}

bool RawNameStart(const std::string& name, int64_t& startMs)
{
    if (name.size() < 21 || name.compare(name.size() - 4, 4, ".csv") != 0)
        return false;
    std::string stamp = name.substr(name.size() - 20, 16);
    char iso[32];
    std::snprintf(iso, sizeof iso, "%.4s-%.2s-%.2sT%.2s:%.2s:%.2s", stamp.c_str(), stamp.c_str() + 4,
                  stamp.c_str() + 6, stamp.c_str() + 9, stamp.c_str() + 11, stamp.c_str() + 13);
    return stamp[8] == 'T' && stamp[15] == 'Z' && ParseIsoTime(iso, startMs) && Stamp(startMs) == stamp;
}

bool RawFileStart(const CruiseLayout& layout, const char* kind, const std::string& name, int64_t& startMs)
{
    std::string prefix = Prefix(layout, kind);
    return name.size() == prefix.size() + 20 && name.compare(0, prefix.size(), prefix) == 0 &&
           RawNameStart(name, startMs);
}

std::string TempFor(const std::string& path)
{
    std::string folder = FolderOfFile(path), name = path.substr(folder.empty() ? 0 : folder.size() + 1);
    return FilePath(folder, "." + name + ".tmp");
}

std::string ManifestText(const std::vector<std::pair<std::string, std::string>>& md5ByPath)
{
    std::vector<std::pair<std::string, std::string>> sorted = md5ByPath;
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text;
    for (auto [path, md5] : sorted) {
        std::replace(path.begin(), path.end(), '\\', '/');
        text += md5 + "  " + path + "\n";
    }
    return text;
}

bool Md5OfFile(const LogFileOps& files, const std::string& path, std::string& md5)
{
    LogFile file = files.OpenToRead(files.context, path);
    int64_t size = 0;
    if (file == nullptr)
        return false;
    Md5 sum;
    bool read = files.Size(files.context, file, size);
    std::vector<char> chunk(64 * 1024);
    for (int64_t at = 0; read && at < size;) {
        int64_t got = files.ReadAt(files.context, file, at, chunk.data(),
                                   std::min<int64_t>(static_cast<int64_t>(chunk.size()), size - at));
        read = got > 0;
        if (read)
            sum.Add(chunk.data(), static_cast<size_t>(got));
        at += got;
    }
    files.Close(files.context, file);
    if (read)
        md5 = sum.Hex();
    return read;
}

std::vector<std::string> CountFilesSince(const LogFileOps& files, const std::string& pulleyFolder,
                                         const CruiseLayout& layout, int64_t sinceMs)
{
    std::vector<std::string> names, found;
    int64_t startMs = 0, period = layout.hourly ? 3600000 : 86400000;
    files.List(files.context, FilePath(pulleyFolder, "raw"), false, names);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        if (RawFileStart(layout, CountFiles, name, startMs) && startMs + period > sinceMs)
            found.push_back(FilePath(FilePath(pulleyFolder, "raw"), name));
    return found;
}

std::vector<std::string> UnclosedCruises(const LogFileOps& files, const std::string& logFolder,
                                         const std::string& cruise)
{
    std::vector<std::string> cruises, unclosed;
    files.List(files.context, logFolder, true, cruises);
    for (const std::string& id : cruises) {
        std::string folder = FilePath(logFolder, PulleyFolder(id));
        if (id == cruise || !IsCruiseFolderName(id))
            continue;
        std::set<std::string> summed;
        LogFile manifest = files.OpenToRead(files.context, FilePath(folder, ManifestName));
        int64_t size = 0;
        if (manifest != nullptr && files.Size(files.context, manifest, size))
            ReadLines(files, manifest, size, [&summed](const std::string& line, int64_t, int64_t) {
                if (line.size() > 34)
                    summed.insert(line.substr(34));
            });
        if (manifest != nullptr)
            files.Close(files.context, manifest);
        bool missing = false;
        for (const char* part : {"raw", "docs"}) {
            std::vector<std::string> names;
            files.List(files.context, FilePath(folder, part), false, names);
            for (const std::string& name : names)
                missing = missing || (name[0] != '.' && !summed.count(std::string(part) + "/" + name));
        }
        if (missing)
            unclosed.push_back(id);
    }
    return unclosed;
}

bool CruiseStarted(const LogFileOps& files, const std::string& pulleyFolder, const CruiseLayout& layout,
                   int64_t& startMs)
{
    std::vector<std::string> names;
    files.List(files.context, FilePath(pulleyFolder, "raw"), false, names);
    std::sort(names.begin(), names.end());  // the earliest, should there be two
    for (const char* kind : {EventFiles, CastFiles})
        for (const std::string& name : names)
            if (RawFileStart(layout, kind, name, startMs))
                return true;
    return false;
}

std::vector<std::pair<std::string, std::string>> CruiseDocs(const CruiseLayout& layout, const std::string& winchName,
                                                            const std::string& version, const std::string& tensionUnit)
{
    const int64_t example = 1796724000000;  // 2026-12-08T10:00:00Z
    std::string period = layout.hourly ? "hour" : "day";
    auto named = [&layout](const char* kind) { return std::string(kind) + "_" + layout.model + "_" + layout.location; };
    std::vector<std::pair<std::string, std::string>> docs = {
        {FilePath("docs", std::string(CountFiles) + "_format.txt"),
         FormatDescription(named(CountFiles), "the cable count: a row on every change and at least once a minute",
                           named(CountFiles) + "-YYYYMMDDThhmmssZ.csv, a file a UTC " + period +
                               ", named by its start",
                           SurveyTable, SurveyRow{example, 1234, "valid", 42.0, 1766.0, ""})},
        {FilePath("docs", std::string(CastFiles) + "_format.txt"),
         FormatDescription(named(CastFiles), "a row a cast of the cruise",
                           named(CastFiles) + "-YYYYMMDDThhmmssZ.csv, one for the cruise, named by its start", CastTable,
                           CastRecord{.number = 12, .startUtcMs = example, .endUtcMs = example + 5872300,
                                      .durationSeconds = 5872.3, .maxMetres = 2480, .maxUtcMs = example + 2969000,
                                      .maxLeftUtcMs = example + 3001000, .maxRateOut = 61.2, .maxRateIn = 58.9,
                                      .cruise = "AT50-12", .station = "CTD 14", .notes = ""})},
        {FilePath("docs", std::string(EventFiles) + "_format.txt"),
         FormatDescription(named(EventFiles), "the cruise's events at the winch, a row each",
                           named(EventFiles) + "-YYYYMMDDThhmmssZ.csv, one for the cruise, named by its start",
                           EventTable,
                           EventRow{.utcMs = example, .kind = "mark", .cruise = "AT50-12", .station = "CTD 14",
                                    .cast = 12, .metres = 2480, .rate = 0.0, .status = "valid",
                                    .source = "pulley-remote", .text = "at bottom"})},
        {FilePath("docs", std::string(WireLogFiles) + "_format.txt"), WireLogDescription(named(WireLogFiles))},
        {FilePath("docs", std::string(CountFiles) + "_device.txt"), DeviceDescription(layout, winchName, version)},
    };
    if (!tensionUnit.empty())
        docs.push_back({FilePath("docs", std::string(TensionFiles) + "_format.txt"),
                        FormatDescription(named(TensionFiles), "every good line of the winch's load cell, as it came",
                                          named(TensionFiles) + "-YYYYMMDDThhmmssZ.csv, a file a UTC " + period +
                                              ", named by its start",
                                          TensionTable,
                                          TensionRow{example, 2839, tensionUnit,
                                                     "02RD,2026-12-08T10:00:00.002,CTD,00002839,000042.0,-01250.0,3088"})});
    return docs;
}

std::string DeviceDescription(const CruiseLayout& layout, const std::string& winchName, const std::string& version)
{
    return "Device: counting pulley (measuring sheave) on a winch, read by Pulley Display\r\n"
           "Make: K-VARN\r\nModel: " + layout.model + "\r\nLocation: " + layout.location + "\r\nWinch: " + winchName +
           "\r\nUnits: cable paid out in metres (m), payout rate in metres a minute (m/min), times UTC\r\n"
           "Resolution: whole metres, read from the pulley once a second and by pulley-feed four times a second\r\n"
           "Software: pulley-feed " + version + "\r\n";
}
