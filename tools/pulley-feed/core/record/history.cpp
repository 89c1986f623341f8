// The trend's day of points, read back from the day files and served as JSON.
#include "record/history.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "formats/http_request.h"
#include "record/survey_rows.h"
#include "record/log_table.h"
#include "record/row_files.h"
#include "tool_args.h"
#include "reading/utc_time.h"

History::History() : slots_(static_cast<size_t>(HistorySeconds))
{
}

static size_t SlotOf(int64_t second)
{
    return static_cast<size_t>(((second % HistorySeconds) + HistorySeconds) % HistorySeconds);
}

static int64_t SecondOf(int64_t utcMs)
{
    return utcMs >= 0 ? utcMs / 1000 : (utcMs - 999) / 1000;
}

void History::Put(int64_t second, bool valid, int32_t metres, bool rateKnown, double rate)
{
    slots_[SlotOf(second)] = {second, valid, metres, static_cast<float>(rate), rateKnown && valid};
    if (second > newest_)
        newest_ = second;
}

void History::Add(int64_t utcMs, const FeedReading& reading, const PayoutRate& rate)
{
    int64_t second = SecondOf(utcMs);
    // A clock set back: the seconds after it are the past's no longer.
    if (second < newest_)
        newest_ = second;
    bool valid = reading.status == FeedStatus::Valid;
    Put(second, valid, reading.metres, RateKnown(rate), valid && RateKnown(rate) ? MetresPerMinute(rate) : 0);
}

void History::AddTension(int64_t utcMs, double tension)
{
    if (tension_.empty())
        tension_.resize(static_cast<size_t>(HistorySeconds));
    int64_t second = SecondOf(utcMs);
    TensionSecond& slot = tension_[SlotOf(second)];
    if (slot.second != second)
        slot = {second, static_cast<float>(tension)};
    else
        slot.most = std::max(slot.most, static_cast<float>(tension));
}

const TensionSecond* History::TensionAt(int64_t second) const
{
    if (tension_.empty())
        return nullptr;
    const TensionSecond& slot = tension_[SlotOf(second)];
    return slot.second == second ? &slot : nullptr;
}

const HistoryPoint* History::At(int64_t second) const
{
    const HistoryPoint& point = slots_[SlotOf(second)];
    return point.second == second ? &point : nullptr;
}

// A row holds until the next for at most this long: a steady cable is
// logged once a minute.
constexpr int64_t RowHoldsSeconds = 61;

struct RowBack {
    int64_t second = -1;
    bool valid = false;
    int32_t metres = 0;
    bool rateKnown = false;
    double rate = 0;
};

// A whole row of a reading, read back; false for any other.
static bool ReadRowBack(const std::string& line, RowBack& back)
{
    SurveyRow row;
    if (!ReadRow(SurveyTable, line, row) || row.status == DroppedStatus)
        return false;
    back.second = row.utcMs / 1000;
    back.valid = row.status == StatusWord(FeedStatus::Valid) && row.metres;
    back.metres = row.metres.value_or(0);
    back.rateKnown = row.rate.has_value();
    back.rate = row.rate.value_or(0);
    return true;
}

// The previous row's values for the seconds until this one, then this one.
static void FillUpTo(History& history, const RowBack& previous, int64_t untilSecond, int64_t oldest)
{
    int64_t last = std::min(untilSecond - 1, previous.second + RowHoldsSeconds);
    for (int64_t second = std::max(previous.second, oldest); second <= last; second++)
        history.Put(second, previous.valid, previous.metres, previous.rateKnown, previous.rate);
}

static size_t FillFromFile(History& history, const LogFileOps& files, const std::string& path, int64_t oldest,
                           int64_t newest)
{
    LogFile file = files.OpenToRead(files.context, path);
    int64_t size = 0;
    if (file == nullptr)
        return 0;
    size_t rows = 0;
    RowBack previous;
    if (files.Size(files.context, file, size))
        ReadLines(files, file, size, [&](const std::string& line, int64_t, int64_t) {
            RowBack row;
            if (!ReadRowBack(line, row) || row.second > newest)
                return;
            rows++;
            if (previous.second >= 0 && row.second > previous.second)
                FillUpTo(history, previous, row.second, oldest);
            previous = row;
        });
    if (previous.second >= 0)
        FillUpTo(history, previous, newest + 1, oldest);
    files.Close(files.context, file);
    return rows;
}

size_t FillHistoryFromFiles(History& history, const LogFileOps& files, const std::vector<std::string>& paths,
                            int64_t nowMs)
{
    int64_t newest = nowMs / 1000, oldest = newest - HistorySeconds + 1;
    size_t rows = 0;
    for (const std::string& path : paths)
        rows += FillFromFile(history, files, path, oldest, newest);
    return rows;
}

size_t FillHistoryFromLog(History& history, const LogFileOps& files, const std::string& folder, int64_t nowMs)
{
    // The day files the 24 hours touch: yesterday's and today's.
    std::vector<std::string> days;
    for (int64_t dayMs : {nowMs - HistorySeconds * 1000, nowMs})
        days.push_back(FilePath(folder, LogFileName(UtcFromUnixMs(dayMs))));
    return FillHistoryFromFiles(history, files, days, nowMs);
}

// name=N with N as a number is written: digits, no sign, no leading zero.
static bool Parameter(const std::string& text, const char* name, int64_t lowest, int64_t highest, int64_t& value)
{
    std::string prefix = std::string(name) + "=";
    long long number = 0;
    if (text.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::string digits = text.substr(prefix.size());
    if (digits.empty() || digits[0] < '1' || digits[0] > '9' ||
        !ParseWholeNumber(digits.c_str(), number) || number < lowest || number > highest)
        return false;
    value = number;
    return true;
}

bool ParseHistoryQuery(const std::string& query, HistoryQuery& parsed)
{
    parsed = HistoryQuery{};
    bool seconds = false, step = false;
    for (const std::string& part : SplitQuery(query)) {
        if (!seconds && Parameter(part, "seconds", 1, HistorySeconds, parsed.seconds))
            seconds = true;
        else if (!step && Parameter(part, "step", 1, 3600, parsed.step))
            step = true;
        else
            return false;
    }
    return true;
}

static void AppendPoint(std::string& json, int64_t second, const HistoryPoint* point)
{
    char text[80];
    if (point == nullptr || !point->valid)
        std::snprintf(text, sizeof text, "[%lld000,null,null],", static_cast<long long>(second));
    else if (!point->rateKnown)
        std::snprintf(text, sizeof text, "[%lld000,%ld,null],", static_cast<long long>(second),
                      static_cast<long>(point->metres));
    else
        std::snprintf(text, sizeof text, "[%lld000,%ld,%.1f],", static_cast<long long>(second),
                      static_cast<long>(point->metres), std::fabs(point->rate) < 0.05 ? 0.0 : point->rate);
    json += text;
}

// The points of one step, in order: its lowest and highest counts where
// they differ from its last, its last, and a null where it ends without a
// valid count.
static void AppendStep(std::string& json, const History& history, int64_t first, int64_t last)
{
    const HistoryPoint *lowest = nullptr, *highest = nullptr, *latest = nullptr;
    for (int64_t second = first; second <= last; second++) {
        const HistoryPoint* point = history.At(second);
        if (point == nullptr || !point->valid)
            continue;
        latest = point;
        if (lowest == nullptr || point->metres < lowest->metres)
            lowest = point;
        if (highest == nullptr || point->metres > highest->metres)
            highest = point;
    }
    if (latest == nullptr) {
        AppendPoint(json, last, nullptr);
        return;
    }
    const HistoryPoint* extremes[2] = {lowest, highest};
    if (highest->second < lowest->second)
        std::swap(extremes[0], extremes[1]);
    for (const HistoryPoint* extreme : extremes)
        if (extreme->metres != latest->metres)
            AppendPoint(json, extreme->second, extreme);
    AppendPoint(json, latest->second, latest);
    const HistoryPoint* end = history.At(last);
    if (latest->second < last && (end == nullptr || !end->valid))
        AppendPoint(json, last, nullptr);
}

static std::string LimitJson(bool asked, double metres)
{
    return asked ? DecimalText(metres) : "null";
}

// Each step's most tension, at its second.
static std::string TensionJson(const History& history, int64_t first, int64_t newest, int64_t step)
{
    std::string json;
    char text[64];
    for (int64_t stepStart = first - ((first % step) + step) % step; stepStart <= newest; stepStart += step) {
        const TensionSecond* most = nullptr;
        for (int64_t second = std::max(stepStart, first); second <= std::min(stepStart + step - 1, newest); second++) {
            const TensionSecond* point = history.TensionAt(second);
            if (point != nullptr && (most == nullptr || point->most > most->most))
                most = point;
        }
        if (most != nullptr)
            std::snprintf(text, sizeof text, "[%lld000,%.7g],", static_cast<long long>(most->second), most->most);
        else
            std::snprintf(text, sizeof text, "[%lld000,null],", static_cast<long long>(std::max(stepStart, first)));
        json += text;
    }
    if (!json.empty())
        json.pop_back();
    return json;
}

std::string HistoryJson(const History& history, const HistoryQuery& query, const ChartLimits& limits)
{
    std::string json = "{\"step_s\":" + std::to_string(query.step) + ",\"points\":[";
    int64_t newest = history.Newest();
    if (newest >= 0) {
        int64_t first = newest - query.seconds + 1;
        for (int64_t stepStart = first - ((first % query.step) + query.step) % query.step; stepStart <= newest;
             stepStart += query.step) {
            int64_t from = std::max(stepStart, first), to = std::min(stepStart + query.step - 1, newest);
            if (query.step == 1)
                AppendPoint(json, from, history.At(from));
            else
                AppendStep(json, history, from, to);
        }
    }
    if (json.back() == ',')
        json.pop_back();
    json += "]";
    if (history.HasTension() && newest >= 0)
        json += ",\"tension\":[" + TensionJson(history, newest - query.seconds + 1, newest, query.step) + "]";
    return json + ",\"limits\":{\"above_m\":" + LimitJson(limits.above, limits.aboveMetres) +
           ",\"below_m\":" + LimitJson(limits.below, limits.belowMetres) +
           ",\"reserve_m\":" + LimitJson(limits.reserve, limits.reserveMetres) +
           ",\"tension_warning\":" + LimitJson(limits.tensionWarning > 0, limits.tensionWarning) +
           ",\"tension_alarm\":" + LimitJson(limits.tensionAlarm > 0, limits.tensionAlarm) + "}}";
}
