// The logs opened, written and closed by their one owner.
#include "running/feed_logs.h"

#include <algorithm>

#include "record/events.h"
#include "record/survey_rows.h"
#include "record/tension_rows.h"
#include "record/wire_book.h"

LogFileNames LogFilesAtStart(const LogFileOps& files, const std::string& folder, const std::string& cruise,
                             const CruiseLayout& layout, int64_t nowMs, bool tension)
{
    if (!layout.on)
        return {.survey = LogFileName(UtcFromUnixMs(nowMs)),
                .tension = tension ? TensionFileName(UtcFromUnixMs(nowMs)) : ""};
    std::string pulleyFolder = FilePath(folder, PulleyFolder(cruise));
    LogFileNames names;
    if (!CruiseStarted(files, pulleyFolder, layout, names.cruiseStartMs))
        names.cruiseStartMs = PeriodStartMs(layout, nowMs);
    names.periodMs = PeriodStartMs(layout, nowMs);
    std::vector<std::string> later = CountFilesSince(files, pulleyFolder, layout, nowMs);
    int64_t newest = 0;
    if (!later.empty() && RawFileStart(layout, CountFiles, later.back().substr(FolderOfFile(later.back()).size() + 1), newest))
        names.periodMs = std::max(names.periodMs, newest);
    names.survey = CruiseFile(layout, cruise, CountFiles, names.periodMs);
    names.casts = CruiseFile(layout, cruise, CastFiles, names.cruiseStartMs);
    names.events = CruiseFile(layout, cruise, EventFiles, names.cruiseStartMs);
    if (tension)
        names.tension = CruiseFile(layout, cruise, TensionFiles, names.periodMs);
    return names;
}

FeedLogs::~FeedLogs()
{
    bool threadEnded;
    Close(0, threadEnded);
}

bool FeedLogs::Open(const LogFileOps& files, const std::string& folder, bool casts, const LogFileNames& names,
                    std::function<void(const std::string&)> report, std::string& failure,
                    const std::string& wireBookFolder)
{
    std::string reason;
    if (!OpenSurveyLog(survey_, files, folder, names.survey, reason)) {
        failure = "cannot write the log in " + folder + ": " + reason;
        return false;
    }
    bool opened = OpenRowLog(events_, files, folder, names.events, ShapeOf(EventTable), HeaderOf(EventTable), reason);
    if (!opened)
        failure = "cannot write " + names.events + " in " + folder + ": " + reason;
    if (opened && !wireBookFolder.empty() &&
        !(opened = OpenRowLog(wireBook_, files, wireBookFolder, WireBookFileName, ShapeOf(WireBookTable),
                              HeaderOf(WireBookTable), reason)))
        failure = "cannot write the wire book in " + wireBookFolder + ": " + reason;
    if (opened && casts && !(opened = OpenCastLog(casts_, files, folder, lastCastNumber_, reason, names.casts)))
        failure = "cannot write " + names.casts + " in " + folder + ": " + reason;
    if (opened && !names.tension.empty() &&
        !(opened = OpenRowLog(tension_, files, folder, names.tension, ShapeOf(TensionTable), HeaderOf(TensionTable),
                              reason)))
        failure = "cannot write " + names.tension + " in " + folder + ": " + reason;
    if (!opened) {
        CloseFiles();
        return false;
    }
    if (!casts_.notice.empty())
        report(casts_.notice);
    writer_ = std::make_unique<LogWriter>(survey_, casts ? &casts_ : nullptr, std::move(report), MostWaitingLogBytes,
                                          &events_, wireBookFolder.empty() ? nullptr : &wireBook_,
                                          names.tension.empty() ? nullptr : &tension_);
    return true;
}

uint64_t FeedLogs::Close(int waitMs, bool& threadEnded)
{
    threadEnded = !held_;
    uint64_t unwritten = writer_ ? writer_->Finish(waitMs, threadEnded) : 0;
    if (!threadEnded) {
        // The writer and the files it holds are left to the process's end.
        held_ = true;
        (void)writer_.release();
        return unwritten;
    }
    writer_.reset();
    CloseFiles();
    return unwritten;
}

void FeedLogs::CloseFiles()
{
    for (RowLog* log : {&survey_, &events_, &wireBook_, &tension_})
        if (log->files != nullptr)
            CloseRowLog(*log);
    if (casts_.files != nullptr)
        CloseCastLog(casts_);
}
