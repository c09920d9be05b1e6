#include "commands/Cli.h"

#include "common/Bands.h"
#include "omra/omra.h"
#include "support/StationChips.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

namespace station {

namespace {

// Names without regard to case.
bool sameName(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

int32_t parseBand(const std::string& text) {
    for (size_t i = 0; i < vantor::kBandCount; ++i)
        if (sameName(text, vantor::kBandNames[i]))
            return static_cast<int32_t>(i);
    return static_cast<int32_t>(
        ParseInteger("--band", text, 0, static_cast<long long>(vantor::kBandCount) - 1));
}

// The value of a counting option: 1 for the first occurrence, and on.
int positive(const std::string& option, const std::string& value) {
    return static_cast<int>(ParseInteger(option, value, 1, 1000000));
}

} // namespace

CLI::Option* AddValue(CLI::App* app, const std::string& name, const std::string& argument,
                      const std::string& help,
                      std::function<void(const std::string&, const std::string&)> apply) {
    return app
        ->add_option_function<std::string>(
            name, [name, apply](const std::string& v) { apply(name, v); }, help)
        ->type_name(argument)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

CLI::Option* AddRepeated(CLI::App* app, const std::string& name, const std::string& argument,
                         const std::string& help,
                         std::function<void(const std::string&, const std::string&)> apply) {
    return app
        ->add_option_function<std::vector<std::string>>(
            name,
            [name, apply](const std::vector<std::string>& values) {
                for (const std::string& v : values)
                    apply(name, v);
            },
            help)
        ->type_name(argument)
        ->expected(1)
        ->take_all();
}

CLI::Option* AddPath(CLI::App* app, const std::string& name, const std::string& argument,
                     const std::string& help, std::string* path) {
    return AddValue(app, name, argument, help, [path](const std::string& n, const std::string& v) {
        if (v.empty())
            throw UsageError(n + " needs a file name");
        *path = v;
    });
}

void AddLibraryOptions(CLI::App* app, const LibraryParams& p) {
    AddValue(app, "--lib", "FILE",
             "the action library (default: beside the station, or one folder up)",
             [p](const std::string&, const std::string& v) { *p.libraryPath = v; });
    AddValue(app, "--chip-type", "N", "ACTION_PARAM chip type (default 1; 0 = no handset)",
             [p](const std::string& n, const std::string& v) {
                 *p.chipType = static_cast<int32_t>(ParseInteger(n, v, -1000, 1000));
             });
    AddValue(app, "--band", "N|NAME", "0 GSM850M, 1 EGSM900 (default), 2 DCS1800, 3 PCS1900",
             [p](const std::string&, const std::string& v) { *p.band = parseBand(v); });
    AddValue(app, "--rf", "object|table", "hand the RF tester over as an object (default) or table",
             [p](const std::string&, const std::string& v) {
                 if (v == "object")
                     *p.rfKind = OMRA_DRIVER_KIND_OBJECT;
                 else if (v == "table")
                     *p.rfKind = OMRA_DRIVER_KIND_TABLE;
                 else
                     throw UsageError("--rf takes 'object' or 'table', not '" + v + "'");
             });
}

void AddConfigOption(CLI::App* app, std::string* path) {
    AddValue(
        app, "--config", "FILE", "the configuration file (default: the embedded one, see 'config')",
        [path](const std::string&, const std::string& v) {
            if (v.empty())
                throw UsageError("--config needs a file name");
            if (v.size() >= OMRA_PATH_BYTES)
                throw UsageError("--config: the path is longer than the " +
                                 std::to_string(OMRA_PATH_BYTES - 1) + " bytes an action accepts");
            *path = v;
        });
}

void AddChipOption(CLI::App* app, sim::Chip* chip) {
    AddValue(app, "--chip", ChipChoices("|"), "the action (default vt318)",
             [chip](const std::string&, const std::string& v) { *chip = ParseChip(v); });
}

void AddUnitOptions(CLI::App* app, UnitParams* u) {
    AddChipOption(app, &u->chip);
    AddValue(app, "--profile", "NAME",
             "nominal (default), retry (VT318 needs a second attempt), steep (slope out of "
             "window), noisy, far (frequency offset out of reach), dead (no pull)",
             [u](const std::string&, const std::string& v) { u->profile = v; });
    struct Number {
        const char* name;
        const char* help;
        std::optional<double> UnitParams::*member;
    };
    static const Number numbers[] = {
        {"--offset", "frequency error at the reference point", &UnitParams::offsetHz},
        {"--cdac-step", "Hz per CDAC code", &UnitParams::cdacStepHz},
        {"--slope", "Hz per CAFC code", &UnitParams::cafcSlopeHz},
        {"--curvature", "Hz per CAFC code squared", &UnitParams::curvature},
        {"--noise", "deviation of the measurement noise", &UnitParams::noiseHz},
    };
    for (const Number& n : numbers)
        AddValue(app, n.name, "HZ", n.help,
                 [u, member = n.member](const std::string& name, const std::string& v) {
                     u->*member = ParseNumber(name, v);
                 });
    AddValue(app, "--seed", "N", "seed of the noise and of a population (default 1)",
             [u](const std::string& n, const std::string& v) {
                 u->seed = static_cast<uint64_t>(ParseInteger(n, v, 0, INT64_MAX));
             });
    AddFaultOptions(app, u);
}

void AddFaultOptions(CLI::App* app, UnitParams* u) {
    AddValue(app, "--fail-afc", "N", "the N-th AFC on/off command fails",
             [u](const std::string& n, const std::string& v) { u->failAfc = positive(n, v); })
        ->group("Faults");
    AddValue(app, "--fail-flash", "N", "the N-th flash write fails",
             [u](const std::string& n, const std::string& v) { u->failFlash = positive(n, v); })
        ->group("Faults");
    AddValue(app, "--rf-error", "N", "the N-th RF measurement records a tester error",
             [u](const std::string& n, const std::string& v) { u->rfError = positive(n, v); })
        ->group("Faults");
}

void AddTimeOptions(CLI::App* app, TimeMode* time) {
    app->add_flag_callback(
        "--real-time", [time] { *time = TimeMode::Real; },
        "wait the library's pauses (default for one unit)");
    app->add_flag_callback(
        "--virtual-time", [time] { *time = TimeMode::Virtual; },
        "count pauses without waiting (default for a line)");
}

void AddJsonOption(CLI::App* app, bool* json, const std::string& help) {
    app->add_flag("--json", *json, help);
}

void AddJobsOption(CLI::App* app, int* jobs, const std::string& help) {
    AddValue(app, "--jobs", "N", help, [jobs](const std::string& n, const std::string& v) {
        *jobs = static_cast<int>(ParseInteger(n, v, 1, 256));
    });
}

void AddSweepOption(CLI::App* app, std::vector<std::string>* sweeps, const std::string& help) {
    AddRepeated(app, "--sweep", "SECTION/KEY=FROM:TO:STEP", help,
                [sweeps](const std::string& n, const std::string& v) {
                    if (sweeps->size() == 2)
                        throw UsageError(n + " is given at most twice (a grid of two keys)");
                    sweeps->push_back(v);
                });
}

void AddPrefixOption(CLI::App* app, PrefixTemplate* prefix) {
    AddValue(
        app, "--prefix", "TEMPLATE",
        "the hosts' text before each library line, e.g. '{time:%d/%m/%Y %H:%M:%S.%f} [{station}] "
        "{serial} ' (fields {time}, {time:FORMAT}, {station}, {serial}, {attempt}, {skip}; "
        "default: '" +
            std::string(kHostPrefix) + "' where a line begins with it)",
        [prefix](const std::string& n, const std::string& v) {
            std::string error;
            if (!PrefixTemplate::Parse(v, prefix, &error))
                throw UsageError(n + " '" + v + "': " + error);
        });
}

void SetExitStatuses(CLI::App* app, const std::string& statuses) {
    app->footer("Exit status: " + statuses);
}

namespace {

const char* kCommands[] = {"run",     "line",    "check",   "config", "replay",
                           "analyse", "analyze", "version", "help"};

bool isCommand(const std::string& word) {
    for (const char* c : kCommands)
        if (word == c)
            return true;
    return false;
}

// The option's name as typed, without "=value".
std::string optionName(const std::string& arg) {
    return arg.substr(0, arg.find('='));
}

// An option of another command is named with the command that takes it.
void checkBelongs(const std::vector<Command>& commands, const CLI::App* chosen,
                  const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0)
            continue;
        const std::string name = optionName(arg);
        if (name == "--help" || chosen->get_option_no_throw(name) != nullptr)
            continue;
        std::string takers;
        for (const Command& c : commands)
            if (c.app != chosen && c.app->get_option_no_throw(name) != nullptr)
                takers += (takers.empty() ? "'" : ", '") + c.app->get_name() + "'";
        if (!takers.empty())
            throw UsageError(name + " is not an option of '" + chosen->get_name() +
                             "': it belongs to " + takers);
        throw UsageError("unknown option '" + arg + "' of '" + chosen->get_name() + "'");
    }
}

const char* kIntro =
    R"(vantor-station: a calibration line on a desk. It runs the VantorCrystal action
library the way the production test host does (Omra_Startup, Omra_CreateAction,
Omra_SetCallBack 1 and 2, Omra_SetDriver 2, Omra_InitAction, Omra_DoAction,
Omra_FreeAction, Omra_Cleanup) against simulated handsets and RF testers, and
reads hosts' logs of a real line.)";

} // namespace

int RunCommandLine(const std::vector<std::string>& given) {
    CLI::App top(kIntro, "vantor-station");
    top.set_help_flag("-h,--help", "this text");
    top.require_subcommand(0, 1);
    std::vector<Command> commands = {
        AddRunCommand(top),    AddLineCommand(top),    AddCheckCommand(top),  AddConfigCommand(top),
        AddReplayCommand(top), AddAnalyseCommand(top), AddVersionCommand(top)};
    CLI::App* help = top.add_subcommand("help", "the commands, or one command's options");
    std::string helpTopic;
    help->add_option("COMMAND", helpTopic, "a command");
    top.footer("Without a command (or with an option first) the station runs 'run': one VT318 "
               "unit on the embedded configuration. 'vantor-station help COMMAND' lists a "
               "command's options and exit statuses.");

    std::vector<std::string> args = given;
    if (args.size() == 1 && args[0] == "--version")
        args[0] = "version";
    else if (args.empty() || (!isCommand(args[0]) && args[0] != "-h" && args[0] != "--help"))
        args.insert(args.begin(), "run");

    auto usage = [](const std::string& message, const std::string& command) {
        std::fprintf(stderr, "vantor-station: %s\nTry 'vantor-station help%s'.\n", message.c_str(),
                     command.empty() ? "" : (" " + command).c_str());
        return kExitUsage;
    };
    CLI::App* chosen = nullptr;
    for (const Command& c : commands)
        if (c.app->check_name(args[0]))
            chosen = c.app;
    const std::string name = chosen != nullptr ? chosen->get_name() : "";
    try {
        if (chosen != nullptr)
            checkBelongs(commands, chosen, std::vector<std::string>(args.begin() + 1, args.end()));
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        top.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        std::fputs(chosen != nullptr ? chosen->help("vantor-station").c_str() : top.help().c_str(),
                   stdout);
        return kExitPassed;
    } catch (const CLI::ParseError& e) {
        return usage(e.what(), name);
    } catch (const UsageError& e) {
        return usage(e.what(), name);
    }
    if (help->parsed()) {
        top.clear(); // the top's help, not the help command's
        if (helpTopic.empty()) {
            std::fputs(top.help().c_str(), stdout);
            return kExitPassed;
        }
        for (const Command& c : commands)
            if (c.app->check_name(helpTopic)) {
                std::fputs(c.app->help("vantor-station").c_str(), stdout);
                return kExitPassed;
            }
        return usage("no command '" + helpTopic + "'", "");
    }
    for (const Command& c : commands)
        if (c.app->parsed()) {
            try {
                return c.action();
            } catch (const UsageError& e) {
                return usage(e.what(), c.app->get_name());
            } catch (const Stop& e) {
                std::fprintf(stderr, "vantor-station: %s\n", e.what());
                return e.Status();
            }
        }
    std::fputs(top.help().c_str(), stdout);
    return kExitUsage;
}

} // namespace station
