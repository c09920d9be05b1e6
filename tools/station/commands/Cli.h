// The station's command line: one command per job, each with its own options
// (CLI11), read through the station's strict parsers so that a bad value is
// a UsageError that names the option.
#pragma once

#include "line/LineRun.h"
#include "logs/Prefix.h"
#include "support/Parse.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace station {

constexpr int kExitPassed = 0;
constexpr int kExitFail = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLibrary = 3;

// What a command does once its command line is read: the exit status.
using Action = std::function<int()>;

// One command: its options are CLI11's, its flow the action.
struct Command {
    CLI::App* app = nullptr;
    Action action;
};

// The commands, each in its own file.
Command AddRunCommand(CLI::App& top);
Command AddLineCommand(CLI::App& top);
Command AddCheckCommand(CLI::App& top);
Command AddConfigCommand(CLI::App& top);
Command AddReplayCommand(CLI::App& top);
Command AddAnalyseCommand(CLI::App& top);
Command AddVersionCommand(CLI::App& top);

// An option with one value, read by `apply` (given the option's name and the
// value; it throws UsageError); given twice, the last one counts.
CLI::Option* AddValue(CLI::App* app, const std::string& name, const std::string& argument,
                      const std::string& help,
                      std::function<void(const std::string&, const std::string&)> apply);
// An option that may be given again and again, each value read by `apply`.
CLI::Option* AddRepeated(CLI::App* app, const std::string& name, const std::string& argument,
                         const std::string& help,
                         std::function<void(const std::string&, const std::string&)> apply);
// A non-empty file name.
CLI::Option* AddPath(CLI::App* app, const std::string& name, const std::string& argument,
                     const std::string& help, std::string* path);

// The option groups several commands share.
struct LibraryParams {
    std::string* libraryPath;
    int32_t* chipType;
    int32_t* band;
    uint32_t* rfKind;
};
void AddLibraryOptions(CLI::App* app, const LibraryParams& p);
void AddConfigOption(CLI::App* app, std::string* path);
void AddChipOption(CLI::App* app, sim::Chip* chip);
void AddUnitOptions(CLI::App* app, UnitParams* unit);
void AddFaultOptions(CLI::App* app, UnitParams* unit);
void AddTimeOptions(CLI::App* app, TimeMode* time);
void AddJsonOption(CLI::App* app, bool* json, const std::string& help);
void AddJobsOption(CLI::App* app, int* jobs, const std::string& help);
void AddSweepOption(CLI::App* app, std::vector<std::string>* sweeps, const std::string& help);
// --prefix TEMPLATE: the hosts' prefix before each library line (UsageError
// with the template's fault).
void AddPrefixOption(CLI::App* app, PrefixTemplate* prefix);
// A command's list of exit statuses, shown at the end of its help.
void SetExitStatuses(CLI::App* app, const std::string& statuses);

// Parses the arguments after the program name and runs the command; the
// exit status. No command, or an option first, is `run`.
int RunCommandLine(const std::vector<std::string>& args);

} // namespace station
