// The logs cut into parts, the parts read on threads, their statistics
// merged per station in log and part order; then one pass over every
// reading of the line in time order (each log's parts in turn, logs side by
// side by time), so nothing depends on where the logs were cut.
#include "analysis/Analysis.h"
#include "analysis/Timeline.h"
#include "support/Jobs.h"
#include "support/StationChips.h"

#include <chrono>
#include <queue>
#include <unordered_map>

namespace station {

namespace {

constexpr int kTagShift = 40; // a tag: the part, then the reading's index in it

// Where a part's stations, units and lines stand in the line.
struct PartPlace {
    std::vector<int> station;      // the line's index of each of the part's stations
    std::vector<long> unitsBefore; // the station's units in the parts before
    long linesBefore = 0;          // the log's lines in the parts before
};

LineReading place(const Reading& r, const PartPlace& p, long long tag) {
    LineReading l;
    l.value = r.value;
    l.hasValue = r.hasValue != 0;
    l.passed = r.passed != 0;
    l.time = r.time;
    l.serial = r.Serial();
    l.station = p.station[r.station];
    l.chip = r.chip;
    l.attempt = r.attempt;
    l.unit = static_cast<long>(r.unit) + p.unitsBefore[r.station];
    l.line = static_cast<long>(r.line) + p.linesBefore;
    l.tag = tag;
    return l;
}

// One log's readings, its parts in turn.
struct Stream {
    std::vector<size_t> parts;
    size_t at = 0;
    std::unique_ptr<ReadingSeries::Cursor> cursor;
    Reading current;
    long long tag = 0;
};

bool advance(Stream* s, const std::vector<PartAnalysis>& results, std::string* error) {
    while (s->at < s->parts.size()) {
        const size_t part = s->parts[s->at];
        if (!s->cursor)
            s->cursor = std::make_unique<ReadingSeries::Cursor>(&results[part].readings);
        const long long index = static_cast<long long>(s->cursor->Index());
        if (s->cursor->Next(&s->current, error)) {
            s->tag = (static_cast<long long>(part) << kTagShift) | index;
            return true;
        }
        if (!error->empty())
            return false;
        s->cursor.reset();
        ++s->at;
    }
    return false;
}

} // namespace

bool AnalyseLogs(const AnalyseParams& params, const std::string& config,
                 const std::vector<LogInput>& logs, LineAnalysis* a, std::string* error) {
    std::vector<ConfigReport> windows;
    for (sim::Chip chip : AllChips())
        windows.push_back(CheckConfig(config, chip));
    const auto start = std::chrono::steady_clock::now();
    a->jobs = params.jobs > 0 ? params.jobs : Cores();
    const std::vector<LogPart> parts = CutLogs(logs, a->jobs);
    const GoldenUnits* golden = params.golden.Empty() ? nullptr : &params.golden;
    std::vector<PartAnalysis> results(parts.size());
    auto work = [&](size_t i, std::string* why) {
        return AnalysePart(logs[parts[i].log], parts[i], windows, golden, &results[i], why);
    };
    if (!RunThreads(parts.size(), a->jobs, work, error))
        return false;

    // Stations by name, in the order their first units come in log and part
    // order. A log's lines, unread lines and stop go to its first station.
    a->stations.clear();
    std::unordered_map<std::string, int> byName;
    auto stationOf = [&](const std::string& name) {
        auto it = byName.find(name);
        if (it != byName.end())
            return it->second;
        a->stations.emplace_back();
        a->stations.back().name = name;
        return byName[name] = static_cast<int>(a->stations.size() - 1);
    };
    std::vector<std::string> owner(logs.size());
    for (size_t i = 0; i < parts.size(); ++i)
        if (owner[parts[i].log].empty() && !results[i].stations.empty())
            owner[parts[i].log] = results[i].stations.front().name;
    std::vector<PartPlace> places(parts.size());
    std::vector<long> logLines(logs.size(), 0), logUnits(logs.size(), 0);
    std::vector<Stream> streams(logs.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        const size_t log = parts[i].log;
        streams[log].parts.push_back(i);
        PartAnalysis& r = results[i];
        const int first = stationOf(owner[log].empty() ? logs[log].station : owner[log]);
        PartPlace& p = places[i];
        p.linesBefore = logLines[log];
        long units = 0;
        for (const StationStats& s : r.stations) {
            const int g = stationOf(s.name);
            p.station.push_back(g);
            StationStats& to = a->stations[static_cast<size_t>(g)];
            p.unitsBefore.push_back(to.units);
            to.MergeUnits(s, to.units);
            units += s.units;
        }
        a->stations[static_cast<size_t>(first)].MergeLog(r.log, logLines[log], logUnits[log]);
        logLines[log] += r.log.lines;
        logUnits[log] += units;
    }
    for (StationStats& s : a->stations)
        if (s.values.empty())
            s.Setup(windows); // a log without a unit

    // The readings in time order: logs without times in log and part order.
    a->biasLimitPpm = params.biasLimitPpm;
    TimelineParams tp;
    tp.windowHours = params.pairWindowHours;
    SerialTexts serialTexts;
    for (PartAnalysis& r : results) {
        serialTexts.merge(r.serialTexts);
        SerialTexts().swap(r.serialTexts);
    }
    tp.serialTexts = &serialTexts;
    Timeline timeline(a->stations.size(), golden, tp);
    auto later = [&](size_t x, size_t y) {
        const TimeMs tx = streams[x].current.time, ty = streams[y].current.time;
        return tx != ty ? tx > ty : x > y;
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(later)> next(later);
    for (size_t log = 0; log < streams.size(); ++log) {
        if (advance(&streams[log], results, error))
            next.push(log);
        else if (!error->empty())
            return false;
    }
    while (!next.empty()) {
        const size_t log = next.top();
        next.pop();
        Stream& s = streams[log];
        const size_t part = s.parts[s.at];
        timeline.Add(place(s.current, places[part], s.tag));
        if (advance(&s, results, error))
            next.push(log);
        else if (!error->empty())
            return false;
    }
    auto find = [&](long long tag, LineReading* out) {
        const size_t part = static_cast<size_t>(tag >> kTagShift);
        const size_t index = static_cast<size_t>(tag & ((1LL << kTagShift) - 1));
        Reading r;
        std::string why;
        if (part >= results.size() || !results[part].readings.At(index, &r, &why))
            return false;
        *out = place(r, places[part], tag);
        return true;
    };
    if (!timeline.Finish(a, find, error))
        return false;
    // The single units' detector, as the page names it.
    a->driftSlack = SelfStartingCusum::kSlack;
    a->driftLimit = SelfStartingCusum::kLimit;
    a->driftReferenceUnits = SelfStartingCusum::kWarmUp;
    a->bytes = a->line.bytes;
    a->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (a->line.units == 0) {
        std::vector<IncompleteLog> incomplete;
        for (const StationStats& s : a->stations)
            if (s.Incomplete())
                incomplete.push_back(s.incomplete);
        *error = NoUnitReason(logs, a->line.lines, a->line.unread, incomplete);
        return false;
    }
    return true;
}

} // namespace station
