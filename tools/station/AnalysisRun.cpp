// --analyse: the logs cut into parts, the parts read by threads (the
// analysis does not call the library), their statistics merged per station
// in log order, then compared and reported.
#include "Analysis.h"
#include "Html.h"
#include "Jobs.h"
#include "LogSource.h"
#include "Options.h"
#include "Replay.h"
#include "StationChips.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <cstring>

namespace station {

bool ReadRunConfig(const Options& o, std::string* text, std::string* label, std::string* error) {
    if (o.configPath.empty()) {
        *text = DefaultConfigText();
        *label = "embedded default configuration";
        return true;
    }
    *label = o.configPath;
    return ReadTextFile(o.configPath, text, error);
}

std::string NoUnitReason(const std::vector<LogInput>& logs, long lines, long unread) {
    std::string names;
    for (const LogInput& l : logs)
        names += (names.empty() ? "" : ", ") + l.path;
    if (lines == 0)
        return "no unit in " + names + ": the log is empty";
    return "no unit in " + names + ": " + std::to_string(lines) + " lines, " +
           std::to_string(unread) + " of them no library line, and no PFER line with counter 0";
}

int RunAnalysis(const Options& o, FILE* out) {
    constexpr int kExitUsage = 2;
    auto stop = [](const std::string& message) {
        std::fprintf(stderr, "vantor-station: %s\n", message.c_str());
        return kExitUsage;
    };
    std::string config, error;
    LineAnalysis a;
    if (!ReadRunConfig(o, &config, &a.config, &error))
        return stop(error);
    std::vector<ConfigReport> windows;
    for (sim::Chip chip : AllChips())
        windows.push_back(CheckConfig(config, chip));
    std::vector<LogInput> logs;
    if (!ListLogs(o.logs, &logs, &error))
        return stop(error);
    std::FILE* html = nullptr;
    if (!o.htmlPath.empty() && (html = std::fopen(o.htmlPath.c_str(), "wb")) == nullptr)
        return stop("cannot write the page to " + o.htmlPath + ": " + std::strerror(errno));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> htmlFile(html, &std::fclose);

    const auto start = std::chrono::steady_clock::now();
    a.jobs = o.jobs > 0 ? o.jobs : Cores();
    std::vector<LogPart> parts = CutLogs(logs, a.jobs);
    std::vector<std::string> results;
    auto work = [&](size_t i) {
        StationStats s;
        std::string why;
        Archive result;
        bool ok = AnalysePart({&logs[parts[i].log], &parts[i]}, windows, &s, &why);
        result.Put(ok);
        result.Put(why);
        if (ok)
            s.Save(result);
        return result.Text();
    };
    if (!RunThreads(parts.size(), a.jobs, work, &results, &error))
        return stop(error);
    a.stations.resize(logs.size());
    std::vector<bool> started(logs.size(), false);
    for (size_t i = 0; i < parts.size(); ++i) {
        Archive in(results[i]);
        bool ok = false;
        std::string why;
        StationStats s;
        if (!in.Get(&ok) || !in.Get(&why))
            return stop("a worker's result cannot be read");
        if (!ok)
            return stop(why);
        s.Setup(windows);
        if (!s.Load(in))
            return stop("a worker's result cannot be read");
        StationStats& into = a.stations[parts[i].log];
        if (!started[parts[i].log]) {
            into = s;
            started[parts[i].log] = true;
            continue;
        }
        // The drift detector carried across the cut: a part whose worker's
        // drift does not hold from it is read again here, from it.
        Cusum before = into.join.end;
        before.Shift(-into.units, -into.lines);
        if (!DriftJoins(before, s.join)) {
            ++a.partsReadAgain;
            if (!AnalysePart({&logs[parts[i].log], &parts[i]}, windows, &s, &why, &before))
                return stop(why);
        }
        into.Merge(s);
    }
    a.biasLimitPpm = o.biasLimitPpm;
    CompareStations(&a);
    a.bytes = a.line.bytes;
    a.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (a.line.units == 0)
        return stop(NoUnitReason(logs, a.line.lines, a.line.unread));
    if (o.json)
        PrintAnalysisJson(out, a);
    else
        PrintAnalysis(out, a);
    // The sweep replays the logs under every value: its table beside the
    // analysis, its figure on the page.
    std::string sweep;
    if (!o.sweeps.empty()) {
        if (!o.json)
            std::fprintf(out, "\n");
        if (int status = ReplaySweep(o, config, logs, o.json ? nullptr : out, &sweep, &error)) {
            std::fprintf(stderr, "vantor-station: %s\n", error.c_str());
            return status;
        }
    }
    if (htmlFile) {
        std::string page = AnalysisPage(a, sweep);
        if (std::fwrite(page.data(), 1, page.size(), htmlFile.get()) != page.size() ||
            std::fclose(htmlFile.release()) != 0)
            return stop("cannot write the page to " + o.htmlPath + ": " + std::strerror(errno));
        if (!o.json)
            std::fprintf(out, "Page       %s\n", o.htmlPath.c_str());
    }
    return 0;
}

} // namespace station
