// Parts of the work done side by side, their results handed back as text:
// by worker processes, each with its own copy of the library (a library
// serves one thread), or by threads for work that does not call it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace station {

// The machine's cores (at least 1).
int Cores();

// The processes RunJobs runs `jobs` in: jobs, or 1 where the system has no
// fork (Windows), where the work runs in this process.
int ProcessJobs(int jobs);

// Runs work(i) for every i below `count` in `jobs` processes (in this one
// when jobs is 1 or the system has no fork) and gives back the results in
// the order of i. False with *error set when a worker process fails (a
// work that throws there ends its process; in this one it reaches the caller).
bool RunJobs(size_t count, int jobs, const std::function<std::string(size_t)>& work,
             std::vector<std::string>* results, std::string* error);

// The same on `jobs` threads of this process (this one among them), on
// every system: for work that shares nothing it changes. False with *error
// set when a work throws (its message); the others stop after their part.
bool RunThreads(size_t count, int jobs, const std::function<std::string(size_t)>& work,
                std::vector<std::string>* results, std::string* error);

} // namespace station
