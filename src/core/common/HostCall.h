// The library's calls into the host's own code: a driver operation, a
// function-table entry, a function target.
#pragma once

#include "platform/platform.h"

#include <exception>

namespace vantor {

// The run an action is in, as the library marked it.
class RunScope {
public:
    // Ends the run's mark: once, by whichever comes first, the run's own
    // return or unwinding, or the host's runtime passing the run's frames
    // without unwinding them.
    virtual void End() noexcept = 0;
    // The host's code the run called threw; its exception is on its way out
    // to the host, unchanged.
    virtual void HostThrew() noexcept = 0;

protected:
    ~RunScope() = default;
};

// Calls f() (the host's code, nothing else) and returns its value. What the
// host's code throws in this runtime is thrown on unchanged, after run (when
// set) has heard of it; should the host's own runtime unwind past the call
// instead, run is ended on the way.
template <class F> int CallHost(RunScope* run, const F& f) {
    struct Call {
        const F* f;
        int value;
        std::exception_ptr error;
    } call{&f, 0, nullptr};
    // Nothing of the library's runtime crosses the platform's frame: the
    // host's exception is held and thrown again above it.
    void (*onUnwind)(void*) = nullptr;
    if (run != nullptr)
        onUnwind = [](void* r) { static_cast<RunScope*>(r)->End(); };
    platform::CallHostCode(
        [](void* p) noexcept {
            Call* c = static_cast<Call*>(p);
            try {
                c->value = (*c->f)();
            } catch (...) {
                c->error = std::current_exception();
            }
        },
        &call, onUnwind, run);
    if (call.error) {
        if (run != nullptr)
            run->HostThrew();
        std::rethrow_exception(call.error);
    }
    return call.value;
}

} // namespace vantor
