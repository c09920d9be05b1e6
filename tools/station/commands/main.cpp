// vantor-station: a calibration line on a desk, one command per job.
#include "commands/Cli.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    try {
        return station::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantor-station: %s\n", e.what());
        return station::kExitFail;
    }
}
