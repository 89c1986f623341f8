// The logs opened, written and closed by their one owner.
#include "running/feed_logs.h"

FeedLogs::~FeedLogs()
{
    bool threadEnded;
    Close(0, threadEnded);
}

bool FeedLogs::Open(const LogFileOps& files, const std::string& folder, bool casts, const std::string& dayName,
                    std::function<void(const std::string&)> report, std::string& failure)
{
    std::string reason;
    if (!OpenSurveyLog(survey_, files, folder, dayName, reason)) {
        failure = "cannot write the log in " + folder + ": " + reason;
        return false;
    }
    if (casts && !OpenCastLog(casts_, files, folder, lastCastNumber_, reason)) {
        failure = "cannot write casts.csv in " + folder + ": " + reason;
        CloseFiles();
        return false;
    }
    if (!casts_.notice.empty())
        report(casts_.notice);
    writer_ = std::make_unique<LogWriter>(survey_, casts ? &casts_ : nullptr, std::move(report));
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
    if (survey_.files != nullptr)
        CloseSurveyLog(survey_);
    if (casts_.files != nullptr)
        CloseCastLog(casts_);
}
