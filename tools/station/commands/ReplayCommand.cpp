// replay: hosts' logs fitted unit by unit and calibrated again through the
// library under another configuration, or a sweep of one or two keys.
#include "commands/Cli.h"
#include "replay/ReplayRun.h"

#include <memory>

namespace station {

namespace {

// Each replay worker needs a copy of the library of its own: a process, which
// only a system with fork starts.
#if defined(_WIN32)
constexpr const char kReplayJobsHelp[] =
    "has no effect here: the replay runs in this one process (Windows has no fork)";
#else
constexpr const char kReplayJobsHelp[] = "worker processes over the logs (default: one per core)";
#endif

} // namespace

void AddLogsArgument(CLI::App* app, std::vector<std::string>* logs) {
    app->add_option("LOG", *logs,
                    "a log file (plain or gzip), a folder (its *.log and *.log.gz) or - for "
                    "standard input")
        ->required();
}

Command AddReplayCommand(CLI::App& top) {
    auto p = std::make_shared<ReplayParams>();
    CLI::App* app = top.add_subcommand(
        "replay", "fit each unit of hosts' logs and calibrate it again under --config: yield, "
                  "verdicts and flash values against the logs");
    AddLogsArgument(app, &p->logs);
    AddConfigOption(app, &p->configPath);
    AddPrefixOption(app, &p->prefix);
    AddSweepOption(app, &p->sweeps,
                   "replay the logs for each value of one key: yield against the value as a "
                   "table (and an --svg plot); twice: a grid of both keys' values");
    AddPath(app, "--svg", "FILE", "the sweep's plot (a heat map for a grid) as SVG", &p->svgPath);
    AddJobsOption(app, &p->jobs, kReplayJobsHelp);
    AddJsonOption(app, &p->json,
                  "the log, each unit that changes verdict and the summary as "
                  "JSON lines (a sweep: one object per value)");
    ReplaySetup& s = p->setup;
    AddLibraryOptions(app, {&s.libraryPath, &s.chipType, &s.band, &s.rfKind});
    SetExitStatuses(app, "0 the replay ran, 2 a bad command line, configuration file or log "
                         "(or no unit in any log), 3 the library cannot be loaded or started, "
                         "4 some input was incomplete: a log stopped early (cut short, corrupt "
                         "or unreadable), is named in the report, and what it gave before the "
                         "stop is replayed with the other logs.");
    return {app, [p] {
                if (p->json && p->sweeps.size() == 2)
                    throw UsageError("--json reports a sweep of one key: leave it out for the "
                                     "grid's table");
                if (!p->svgPath.empty() && p->sweeps.empty())
                    throw UsageError("--svg draws a sweep: add --sweep SECTION/KEY=FROM:TO:STEP");
                return RunReplay(*p, stdout);
            }};
}

} // namespace station
