// The logs' writer thread: a queue and a retry for each file.
#include "running/log_writer.h"

#include <algorithm>
#include <utility>

#include "record/cruise_folder.h"
#include "record/events.h"
#include "record/survey_rows.h"
#include "record/wire_book.h"

// What a waiting row costs in memory: its texts and its place in the queue.
static size_t CostOf(const LogRow& row)
{
    return sizeof row + row.dayName.size() + row.text.size();
}

LogWriter::LogWriter(RowLog& log, CastLog* casts, std::function<void(const std::string&)> report,
                     size_t mostWaitingBytes, RowLog* events, RowLog* wireBook, RowLog* tension)
    : log_(log), casts_(casts), events_(events), wireBook_(wireBook), tension_(tension), report_(std::move(report)),
      mostWaitingBytes_(mostWaitingBytes)
{
    days_.name = "the log";
    castRows_.name = "casts.csv";
    eventRows_.name = "events.csv";
    wireRows_.name = "the wire book";
    folderJobs_.name = "the cruise folder";
    tensionRows_.name = "the tension log";
    folderJobs_.where = " in " + log.folder;
    days_.where = castRows_.where = eventRows_.where = tensionRows_.where = " in " + log.folder;
    wireRows_.where = wireBook == nullptr ? "" : " in " + wireBook->folder;
    thread_.Start([this] { Run(); });
}

LogWriter::Lane& LogWriter::LaneOf(LogLane lane)
{
    switch (lane) {
    case LogLane::Casts: return castRows_;
    case LogLane::Events: return eventRows_;
    case LogLane::WireBook: return wireRows_;
    case LogLane::WholeFile:
    case LogLane::Manifest: return folderJobs_;
    case LogLane::Tension: return tensionRows_;
    case LogLane::Days: break;
    }
    return days_;
}

// A folder job waits while a row pushed before it waits in another lane.
bool LogWriter::WaitsForRows(const Lane& lane) const
{
    if (&lane != &folderJobs_)
        return false;
    uint64_t job = lane.inHand ? lane.inHand->order : lane.waiting.front().order;
    for (const Lane* other : {&days_, &castRows_, &eventRows_, &wireRows_, &tensionRows_}) {
        if (other->givenUp)
            continue;
        if ((other->inHand && other->inHand->order < job) ||
            (!other->waiting.empty() && other->waiting.front().order < job))
            return true;
    }
    return false;
}

void LogWriter::Drop(const LogRow& row)
{
    if (dropped_ == 0) {
        firstDroppedMs_ = row.utcMs;
        droppedDay_ = row.dayName;
    }
    lastDroppedMs_ = row.utcMs;
    dropped_++;
}

void LogWriter::Push(LogRow row)
{
    std::lock_guard<std::mutex> hold(thread_.lock);
    row.order = ++pushed_;
    Lane& lane = LaneOf(row.lane);
    if (&lane == &tensionRows_) {
        if (lane.waiting.empty())
            lane.waitingSince = Clock::now();
        tensionWaitingBytes_ += CostOf(row);
        lane.waiting.push_back(std::move(row));
        for (; tensionWaitingBytes_ > MostWaitingTensionBytes && !lane.waiting.empty(); tensionDropped_++) {
            tensionWaitingBytes_ -= CostOf(lane.waiting.front());
            lane.waiting.pop_front();
        }
    } else if (&lane != &days_) {
        // An open row replaces the open row waiting before it: only the newest is worth writing.
        if (row.open && !lane.waiting.empty() && lane.waiting.back().open)
            lane.waiting.back() = std::move(row);
        else
            lane.waiting.push_back(std::move(row));
    } else {
        size_t cost = CostOf(row);
        while (waitingBytes_ + cost > mostWaitingBytes_ && !days_.waiting.empty()) {
            Drop(days_.waiting.front());
            waitingBytes_ -= CostOf(days_.waiting.front());
            days_.waiting.pop_front();
        }
        waitingBytes_ += cost;
        days_.waiting.push_back(std::move(row));
    }
    thread_.changed.notify_all();
}

bool LogWriter::Pending(const Lane& lane) const
{
    return !lane.givenUp && (lane.inHand || !lane.waiting.empty() || (&lane == &days_ && dropped_ > 0));
}

uint64_t LogWriter::Unwritten(const Lane& lane) const
{
    return lane.inHandRows + lane.waiting.size() + (&lane == &days_ ? dropped_ : 0);
}

// The lane whose row is due now, or the time the next one is; at the
// finish every lane is due at once, for its last try.
LogWriter::Lane* LogWriter::NextDue(Clock::time_point now, Clock::time_point& next)
{
    next = Clock::time_point::max();
    for (Lane* lane : {&days_, &castRows_, &eventRows_, &wireRows_, &tensionRows_, &folderJobs_}) {
        if (!Pending(*lane) || (WaitsForRows(*lane) && !thread_.finishing))
            continue;
        Clock::time_point due = lane->retryAt;
        if (lane == &tensionRows_ && !lane->inHand)
            due = std::max(due, lane->waitingSince + std::chrono::milliseconds(TensionWriteEveryMs));
        if (thread_.finishing || due <= now)
            return lane;
        next = std::min(next, due);
    }
    return nullptr;
}

// The lane's next row in hand: for the survey log, the one that stands for
// dropped rows first, as they were older than any still waiting.
void LogWriter::Take(Lane& lane)
{
    if (&lane == &days_ && dropped_ > 0) {
        lane.inHand = LogRow{droppedDay_, RowOf(SurveyTable, DroppedRow(firstDroppedMs_, lastDroppedMs_, dropped_)),
                             firstDroppedMs_, LogLane::Days, false};
        lane.inHandRows = dropped_;
        dropped_ = 0;
        return;
    }
    lane.inHand = std::move(lane.waiting.front());
    lane.waiting.pop_front();
    lane.inHandRows = 1;
    if (&lane == &days_)
        waitingBytes_ -= CostOf(*lane.inHand);
    if (&lane != &tensionRows_)
        return;
    // The load cell's rows of one file, many to a write.
    tensionWaitingBytes_ -= CostOf(*lane.inHand);
    while (!lane.waiting.empty() && lane.waiting.front().dayName == lane.inHand->dayName &&
           lane.inHandRows < MostTensionRowsAWrite) {
        tensionWaitingBytes_ -= CostOf(lane.waiting.front());
        lane.inHand->text += lane.waiting.front().text;
        lane.waiting.pop_front();
        lane.inHandRows++;
    }
}

bool LogWriter::Write(const LogRow& row, std::string& reason)
{
    switch (row.lane) {
    case LogLane::Casts: return WriteCastRow(*casts_, row.dayName, row.text, row.open, reason);
    case LogLane::Events: return WriteLogRow(*events_, row.dayName.empty() ? EventsFileName : row.dayName, row.text, reason);
    case LogLane::WireBook: return WriteLogRow(*wireBook_, WireBookFileName, row.text, reason);
    case LogLane::WholeFile:
        return WriteWhole(FilePath(log_.folder, row.dayName), row.make ? row.make() : row.text, reason);
    case LogLane::Manifest: return WriteManifest(row, reason);
    case LogLane::Tension: return WriteLogRow(*tension_, row.dayName, row.text, reason);
    case LogLane::Days: break;
    }
    return WriteLogRow(log_, row.dayName, row.text, reason);
}

// Through a temp in the same folder, put in the file's place at once.
bool LogWriter::WriteWhole(const std::string& path, const std::string& text, std::string& reason)
{
    const LogFileOps& files = *log_.files;
    std::string temp = TempFor(path);
    if (!files.MakeFolder(files.context, FolderOfFile(path), reason))
        return false;
    LogFile file = files.Open(files.context, temp);
    bool cutBack = false;
    bool written = file != nullptr && files.Truncate(files.context, file, 0) &&
                   WriteWholeAt(files, file, 0, text, reason, cutBack);
    if (file != nullptr)
        files.Close(files.context, file);
    md5s_.erase(path);
    if (written && files.Replace(files.context, temp, path))
        return true;
    if (reason.empty())
        reason = files.LastError(files.context);
    return false;
}

// MD5SUMS of the cruise folder: every file of raw/ and docs/ but the temps
// and those still open (named, or of the open period or later: made after
// the job was asked, they were not closed then), summed once each.
bool LogWriter::WriteManifest(const LogRow& job, std::string& reason)
{
    const LogFileOps& files = *log_.files;
    std::string folder = FilePath(log_.folder, job.dayName);
    std::vector<std::pair<std::string, std::string>> sums;
    for (const char* part : {"raw", "docs"}) {
        std::vector<std::string> names;
        if (!files.List(files.context, FilePath(folder, part), false, names)) {
            reason = files.LastError(files.context);
            return false;
        }
        for (const std::string& name : names) {
            std::string relative = FilePath(part, name), path = FilePath(folder, relative);
            int64_t startMs = 0;
            if (name[0] == '.' || ("\n" + job.text + "\n").find("\n" + relative + "\n") != std::string::npos ||
                (part == std::string("raw") && RawNameStart(name, startMs) && startMs >= job.utcMs))
                continue;
            if (!md5s_.count(path) && !Md5OfFile(files, path, md5s_[path])) {
                md5s_.erase(path);
                reason = files.LastError(files.context);
                return false;
            }
            sums.push_back({relative, md5s_[path]});
        }
    }
    return WriteWhole(FilePath(folder, ManifestName), ManifestText(sums), reason);
}

void LogWriter::Run()
{
    std::unique_lock<std::mutex> hold(thread_.lock);
    for (;;) {
        Clock::time_point now = Clock::now(), next;
        Lane* lane = NextDue(now, next);
        if (lane == nullptr) {
            if (thread_.finishing)
                return;  // every lane written, or given up
            thread_.changed.wait_until(hold, next);
            continue;
        }
        if (!lane->inHand)
            Take(*lane);
        LogRow row = *lane->inHand;
        hold.unlock();
        std::string reason, said;
        bool written = Write(row, reason);
        hold.lock();
        if (written) {
            if (lane->failing)
                said = lane->name + " is written again";
            if (lane == &tensionRows_ && tensionDropped_ > 0)
                said += (said.empty() ? "" : "; ") + std::to_string(std::exchange(tensionDropped_, 0)) +
                        " lines of the load cell were not logged: more came than the disk took";
            lane->failing = false;
            lane->inHand.reset();
            lane->inHandRows = 0;
        } else {
            if (!lane->failing)
                said = lane->name + lane->where + " cannot be written (" + reason +
                       "); its rows wait and are tried again every second";
            lane->failing = true;
            lane->retryAt = now + std::chrono::milliseconds(LogRetryMs);
            if (thread_.finishing) {
                unwritten_ += Unwritten(*lane);
                lane->givenUp = true;
            }
        }
        if (!said.empty()) {
            hold.unlock();
            report_(said);
            hold.lock();
        }
    }
}

uint64_t LogWriter::Finish(int waitMs, bool& threadEnded)
{
    threadEnded = thread_.Finish(Clock::now() + std::chrono::milliseconds(waitMs));
    std::lock_guard<std::mutex> hold(thread_.lock);
    if (!threadEnded)  // held by the disk: what it holds and what waits are lost
        return unwritten_ + Unwritten(days_) + Unwritten(castRows_) + Unwritten(eventRows_) + Unwritten(wireRows_) +
               Unwritten(folderJobs_) + Unwritten(tensionRows_);
    return unwritten_;
}
