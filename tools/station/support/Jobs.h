// Parts of the work done side by side: on threads where the work shares
// nothing, or by worker processes, each with its own copy of the library (a
// library serves one thread), their results handed back as text.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace station {

// The machine's cores (at least 1).
int Cores();

// Runs work(i) for every i below `count` in `jobs` processes (in this one
// when jobs is 1 or the system has no fork) and gives back the results in
// the order of i. False with *error set when a worker fails.
bool RunJobs(size_t count, int jobs, const std::function<std::string(size_t)>& work,
             std::vector<std::string>* results, std::string* error);

// Runs work(i, &why) for every i below `count` on `jobs` threads; the work
// keeps its results itself, one slot per i. False with the reason of the
// first i (in order) whose work failed.
bool RunThreads(size_t count, int jobs, const std::function<bool(size_t, std::string*)>& work,
                std::string* error);

} // namespace station
