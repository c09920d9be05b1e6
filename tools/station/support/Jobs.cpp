#include "support/Jobs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace station {

int Cores() {
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

namespace {

bool runHere(size_t count, const std::function<std::string(size_t)>& work,
             std::vector<std::string>* results) {
    results->assign(count, std::string());
    for (size_t i = 0; i < count; ++i)
        (*results)[i] = work(i);
    return true;
}

#if !defined(_WIN32)

bool writeAll(int fd, const std::string& s) {
    size_t at = 0;
    while (at < s.size()) {
        ssize_t n = ::write(fd, s.data() + at, s.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

std::string readAll(int fd) {
    std::string s;
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        s.append(buf, static_cast<size_t>(n));
    }
    return s;
}

// Owns the two ends of a pipe.
struct Pipe {
    int fd[2] = {-1, -1};
    ~Pipe() {
        for (int f : fd)
            if (f >= 0)
                ::close(f);
    }
    void CloseEnd(int i) {
        if (fd[i] >= 0)
            ::close(fd[i]);
        fd[i] = -1;
    }
};

#endif

} // namespace

bool RunJobs(size_t count, int jobs, const std::function<std::string(size_t)>& work,
             std::vector<std::string>* results, std::string* error) {
    if (jobs > static_cast<int>(count))
        jobs = static_cast<int>(count);
#if defined(_WIN32)
    (void)error;
    return runHere(count, work, results);
#else
    if (jobs <= 1)
        return runHere(count, work, results);
    std::fflush(stdout);
    std::fflush(stderr);
    std::vector<Pipe> pipes(static_cast<size_t>(jobs));
    std::vector<pid_t> pids;
    for (int w = 0; w < jobs; ++w) {
        Pipe& p = pipes[static_cast<size_t>(w)];
        if (::pipe(p.fd) != 0) {
            *error = std::string("cannot start a worker: ") + std::strerror(errno);
            break;
        }
        pid_t pid = ::fork();
        if (pid < 0) {
            *error = std::string("cannot start a worker: ") + std::strerror(errno);
            break;
        }
        if (pid == 0) {
            // The worker: its share of the parts, each result as "index length text".
            for (Pipe& other : pipes)
                other.CloseEnd(0);
            bool ok = true;
            for (size_t i = static_cast<size_t>(w); i < count && ok;
                 i += static_cast<size_t>(jobs)) {
                std::string r = work(i);
                ok =
                    writeAll(p.fd[1], std::to_string(i) + " " + std::to_string(r.size()) + " " + r);
            }
            ::_exit(ok ? 0 : 1);
        }
        p.CloseEnd(1);
        pids.push_back(pid);
    }
    results->assign(count, std::string());
    std::vector<bool> got(count, false);
    for (size_t w = 0; w < pids.size(); ++w) {
        std::string all = readAll(pipes[w].fd[0]);
        size_t at = 0;
        while (at < all.size()) {
            size_t index = 0, length = 0;
            int used = 0;
            if (std::sscanf(all.c_str() + at, "%zu %zu %n", &index, &length, &used) != 2 ||
                index >= count || at + static_cast<size_t>(used) + length > all.size())
                break;
            at += static_cast<size_t>(used);
            (*results)[index] = all.substr(at, length);
            got[index] = true;
            at += length;
        }
    }
    bool ok = error->empty();
    for (pid_t pid : pids) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            if (ok)
                *error = "a worker process failed";
            ok = false;
        }
    }
    for (size_t i = 0; i < count && ok; ++i)
        if (!got[i]) {
            *error = "a worker process gave no result for part " + std::to_string(i + 1);
            ok = false;
        }
    return ok;
#endif
}

bool RunThreads(size_t count, int jobs, const std::function<bool(size_t, std::string*)>& work,
                std::string* error) {
    std::vector<std::string> why(count);
    std::vector<char> ok(count, 0);
    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i = next++; i < count; i = next++) {
            try {
                ok[i] = work(i, &why[i]) ? 1 : 0;
            } catch (const std::exception& e) {
                why[i] = e.what();
            }
        }
    };
    const size_t threads = std::min<size_t>(count, static_cast<size_t>(std::max(jobs, 1)));
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool)
        t.join();
    for (size_t i = 0; i < count; ++i)
        if (!ok[i]) {
            *error = why[i].empty() ? "part " + std::to_string(i + 1) + " failed" : why[i];
            return false;
        }
    return true;
}

} // namespace station
