// analyse: a line's history from its hosts' logs as they stand: yield,
// capability, each station's tester bias and drift, as tables, JSON lines and
// one page; with --sweep, the logs replayed under every value of a key.
#include "analysis/Analysis.h"
#include "commands/Cli.h"
#include "config/ConfigCheck.h"
#include "replay/ReplayRun.h"
#include "reports/Html.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace station {

void AddLogsArgument(CLI::App* app, std::vector<std::string>* logs);

namespace {

// A sweep's replays need a copy of the library each: processes, which only a
// system with fork starts.
#if defined(_WIN32)
constexpr const char kAnalyseJobsHelp[] = "threads over the logs (default: one per core); a "
                                          "sweep's replays run in this one process (Windows "
                                          "has no fork)";
#else
constexpr const char kAnalyseJobsHelp[] = "threads over the logs, and worker processes of a "
                                          "sweep's replays (default: one per core)";
#endif

struct AnalyseCommandParams {
    AnalyseParams analysis;
    ReplaySetup library; // for a sweep's replays
    std::vector<std::string> sweeps;
    std::string htmlPath;
    bool json = false;
};

int analyse(const AnalyseCommandParams& p) {
    auto stop = [](const std::string& message) {
        std::fprintf(stderr, "vantor-station: %s\n", message.c_str());
        return kExitUsage;
    };
    std::string config, error;
    LineAnalysis a;
    if (!ReadRunConfig(p.analysis.configPath, &config, &a.config, &error))
        return stop(error);
    std::vector<LogInput> logs;
    if (!ListLogs(p.analysis.logs, &logs, &error, p.analysis.prefix))
        return stop(error);
    // An unwritable page is found before the logs are read, not after.
    std::FILE* html = nullptr;
    if (!p.htmlPath.empty() && (html = std::fopen(p.htmlPath.c_str(), "wb")) == nullptr)
        return stop("cannot write the page to " + p.htmlPath + ": " + std::strerror(errno));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> htmlFile(html, &std::fclose);
    if (!AnalyseLogs(p.analysis, config, logs, &a, &error))
        return stop(error);
    if (p.json)
        PrintAnalysisJson(stdout, a);
    else
        PrintAnalysis(stdout, a);
    // The sweep replays the logs under every value: its table beside the
    // analysis, its figure on the page.
    std::string sweep;
    if (!p.sweeps.empty()) {
        if (!p.json)
            std::fprintf(stdout, "\n");
        ReplayParams replay;
        replay.logs = p.analysis.logs;
        replay.configPath = p.analysis.configPath;
        replay.prefix = p.analysis.prefix;
        replay.setup = p.library;
        replay.sweeps = p.sweeps;
        replay.jobs = p.analysis.jobs;
        if (int status =
                ReplaySweep(replay, config, logs, p.json ? nullptr : stdout, &sweep, &error)) {
            std::fprintf(stderr, "vantor-station: %s\n", error.c_str());
            return status;
        }
    }
    if (htmlFile) {
        std::string page = AnalysisPage(a, sweep);
        if (std::fwrite(page.data(), 1, page.size(), htmlFile.get()) != page.size() ||
            std::fclose(htmlFile.release()) != 0)
            return stop("cannot write the page to " + p.htmlPath + ": " + std::strerror(errno));
        if (!p.json)
            std::fprintf(stdout, "Page       %s\n", p.htmlPath.c_str());
    }
    std::vector<IncompleteLog> incomplete;
    for (const StationStats& s : a.stations)
        if (s.Incomplete())
            incomplete.push_back(s.incomplete);
    return WarnIncomplete(incomplete);
}

} // namespace

Command AddAnalyseCommand(CLI::App& top) {
    auto p = std::make_shared<AnalyseCommandParams>();
    CLI::App* app = top.add_subcommand(
        "analyse", "a line's history from its logs, no replay: yield and failures, capability "
                   "against the windows of --config, each station's tester bias and drift");
    app->alias("analyze");
    AddLogsArgument(app, &p->analysis.logs);
    AddConfigOption(app, &p->analysis.configPath);
    AddPrefixOption(app, &p->analysis.prefix);
    AddValue(app, "--bias-limit", "PPM",
             "name a station whose tester bias exceeds PPM of its carrier beyond its "
             "uncertainty (default 0.05)",
             [p](const std::string& n, const std::string& v) {
                 double ppm = ParseNumber(n, v);
                 if (ppm < 0)
                     throw UsageError(n + " cannot be negative");
                 p->analysis.biasLimitPpm = ppm;
             });
    AddValue(app, "--golden", "FILE|SERIAL,...",
             "golden units: a file 'serial,reference_hz' (as line --golden writes beside its "
             "logs) gives each station's absolute bias; serials alone (comma-separated) compare "
             "the stations on them",
             [p](const std::string& n, const std::string& v) {
                 std::string error;
                 if (!ReadGolden(v, &p->analysis.golden, &error))
                     throw UsageError(n + ": " + error);
             });
    AddValue(app, "--pair-window", "HOURS",
             "a serial's readings on several stations are gathered this long from its first "
             "(default 24)",
             [p](const std::string& n, const std::string& v) {
                 double hours = ParseNumber(n, v);
                 if (!(hours > 0) || hours > 24 * 366)
                     throw UsageError(n + " must be more than 0 and at most a year of hours");
                 p->analysis.pairWindowHours = hours;
             });
    AddPath(app, "--html", "FILE", "write the report as one self-contained page", &p->htmlPath);
    AddSweepOption(app, &p->sweeps,
                   "replay the logs for each value of one key: its table, and its figure on the "
                   "--html page; twice: a grid");
    AddJobsOption(app, &p->analysis.jobs, kAnalyseJobsHelp);
    AddJsonOption(app, &p->json, "JSON lines: station, capability, drift and summary objects");
    ReplaySetup& s = p->library;
    AddLibraryOptions(app, {&s.libraryPath, &s.chipType, &s.band, &s.rfKind});
    SetExitStatuses(app, "0 the analysis ran, 2 a bad command line, configuration file or log "
                         "(or no unit in any log), 3 a sweep's library cannot be loaded or "
                         "started, 4 some input was incomplete: a log stopped early (cut short, "
                         "corrupt or unreadable), is named in the report, and what it gave "
                         "before the stop is analysed with the other logs.");
    return {app, [p] { return analyse(*p); }};
}

} // namespace station
