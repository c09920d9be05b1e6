// check: a configuration file read as the actions read it, every setting that
// does not do what it seems to named; config: the embedded configuration.
#include "commands/Cli.h"
#include "config/ConfigCheck.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace station {

Command AddCheckCommand(CLI::App& top) {
    auto p = std::make_shared<LineParams>();
    auto file = std::make_shared<std::string>();
    CLI::App* app = top.add_subcommand(
        "check", "check a configuration file before it goes to the line (default: the embedded "
                 "one)");
    app->add_option("FILE", *file, "the configuration file");
    AddConfigOption(app, &p->configPath);
    AddChipOption(app, &p->unit.chip);
    AddJsonOption(app, &p->json, "the findings as JSON lines");
    SetExitStatuses(app, "0 nothing found, 1 the check warned, 2 a bad command line or a file "
                         "that cannot be read.");
    return {app, [p, file] {
                if (!file->empty() && !p->configPath.empty())
                    throw UsageError("check takes one file: FILE or --config FILE");
                if (!file->empty()) {
                    if (file->size() >= OMRA_PATH_BYTES)
                        throw UsageError("the path is longer than the " +
                                         std::to_string(OMRA_PATH_BYTES - 1) +
                                         " bytes an action accepts");
                    p->configPath = *file;
                }
                p->job = LineParams::Job::Check;
                return RunLine(*p);
            }};
}

Command AddConfigCommand(CLI::App& top) {
    CLI::App* app =
        top.add_subcommand("config", "print the embedded configuration, to start a file from");
    SetExitStatuses(app, "0.");
    return {app, [] {
                // Byte for byte, so that the printed file runs as the embedded one.
                std::fwrite(DefaultConfigText(), 1, std::strlen(DefaultConfigText()), stdout);
                return kExitPassed;
            }};
}

Command AddVersionCommand(CLI::App& top) {
    auto p = std::make_shared<LineParams>();
    CLI::App* app = top.add_subcommand("version", "the library's version, build and actions");
    AddValue(app, "--lib", "FILE",
             "the action library (default: beside the station, or one folder up)",
             [p](const std::string&, const std::string& v) { p->libraryPath = v; });
    AddJsonOption(app, &p->json, "as a JSON line");
    SetExitStatuses(app, "0, or 3 the library cannot be loaded or started.");
    return {app, [p] {
                p->job = LineParams::Job::Version;
                return RunLine(*p);
            }};
}

} // namespace station
