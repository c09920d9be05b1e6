// run: one unit calibrated and shown in full, as a host operator sees it.
#include "commands/Cli.h"

#include <memory>

namespace station {

Command AddRunCommand(CLI::App& top) {
    auto p = std::make_shared<LineParams>();
    CLI::App* app = top.add_subcommand("run", "one unit, shown in full (the default command)");
    AddConfigOption(app, &p->configPath);
    AddLibraryOptions(app, {&p->libraryPath, &p->chipType, &p->band, &p->rfKind});
    AddUnitOptions(app, &p->unit);
    AddPath(app, "--log", "FILE", "write the unit's log lines to FILE as a host does", &p->logPath);
    AddJsonOption(app, &p->json, "items and log lines as JSON lines instead of tables");
    AddTimeOptions(app, &p->time);
    SetExitStatuses(app, "0 the unit passed, 1 it failed, 2 a bad command line or configuration "
                         "file, 3 the library cannot be loaded or started.");
    return {app, [p] {
                p->job = LineParams::Job::Unit;
                CrystalFor(p->unit); // an unknown or unfitting profile stops before anything runs
                return RunLine(*p);
            }};
}

} // namespace station
