// The twelve exports: the common prologue, the checks in their order, the
// call forwarded to the library object or the action, and the boundary that
// no exception crosses except a run's CCFTException in the host's form and
// the host's own exceptions, unchanged.
#include "Library.h"

#include "common/ActionBase.h"
#include "omra/errorcode.h"
#include "omra/omra.h"
#include "platform/platform.h"

#include <cstdio>
#include <exception>

using vantor::RecordError;
using vantor::TheLibrary;

#if defined(__GNUC__)
#define OMRA_NOINLINE __attribute__((noinline))
#else
#define OMRA_NOINLINE
#endif

namespace {

// Checks shared by the per-action exports: started, handle not null, handle
// live (a freed or foreign handle is refused instead of called through).
uint32_t checkAction(uint32_t operation, IAction* action) {
    CVantorCrystalLibrary& lib = TheLibrary();
    if (!lib.Started())
        return RecordError(operation, OMRA_ERR_NOT_STARTED, 0);
    if (action == nullptr)
        return RecordError(operation, OMRA_ERR_NULL_HANDLE, 0);
    if (!lib.IsLive(action))
        return RecordError(operation, OMRA_ERR_NOT_LIVE, 0);
    return 0;
}

// The short name of a live action (every one is a CActionBase); a literal, so
// it outlives an action that a target frees during its own run.
const char* nameOf(IAction* action) {
    return static_cast<CActionBase*>(action)->GetName();
}

// Runs an export's body. The host's own exception (from a driver or a
// target the body called) leaves unchanged, as the host threw it: nothing is
// recorded for it. A CCFTException is left in *pending for the export's
// outermost frame to hand over. Any other exception records (operation,
// OMRA_ERR_UNEXPECTED); for a run (runName set) it is handed over as a
// CCFTException naming it, else the triple's value is returned. Out of line,
// so that the export's own frame holds no handler and nothing to destroy when
// the host's exception leaves it.
template <class Body>
OMRA_NOINLINE uint32_t guarded(uint32_t operation, const char* actionName, const char* runName,
                               CCFTException** pending, const Body& body) {
    char what[256] = "unknown exception";
    try {
        return body();
    } catch (CCFTException* e) {
        *pending = e;
        return 0;
    } catch (...) {
        if (TheLibrary().TakeHostThrew())
            throw;
        try {
            throw;
        } catch (const std::exception& e) {
            std::snprintf(what, sizeof what, "%s", e.what());
        } catch (...) {
        }
    }
    uint32_t r = RecordError(operation, OMRA_ERR_UNEXPECTED, 0);
    if (runName != nullptr && actionName != nullptr) {
        try {
            *pending = new CCFTException(__FILE__, __LINE__,
                                         "< %s >%s stopped by an unexpected exception: %s",
                                         actionName, runName, what);
        } catch (...) {
            // No memory even for the report: the triple alone tells the host.
            *pending = nullptr;
        }
    }
    return r;
}

// InitAction and DoAction: the common prologue and checks, then the run of a
// live action under its running mark. A run's exception is left in *pending.
template <class Run>
uint32_t checkedRun(uint32_t operation, IAction* action, const char* runName,
                    CCFTException** pending, const Run& run) {
    // The action is passed on only once it is known to be live.
    IAction* live = nullptr;
    uint32_t r = guarded(operation, nullptr, nullptr, pending, [operation, action, &live] {
        Spec_ClearErrorCode(E_ERR_ANY);
        uint32_t c = checkAction(operation, action);
        live = c == 0 ? action : nullptr;
        return c;
    });
    if (live != nullptr)
        r = guarded(operation, nameOf(live), runName, pending, [operation, live, &run] {
            return TheLibrary().RunAction(live, operation, [&] { return run(live); });
        });
    return r;
}

// The export's last step: its value, or the exception handed to the host.
uint32_t finish(uint32_t value, CCFTException* pending) {
    if (pending != nullptr)
        platform::ThrowToHost(pending);
    return value;
}

// One export: the prologue (the error slot cleared), the body's checks and
// forwarding under the boundary, and the hand-over of a run's exception. This
// frame, like the export's, holds no handler and nothing to destroy.
template <class Body> uint32_t exportCall(uint32_t operation, const Body& body) {
    CCFTException* pending = nullptr;
    uint32_t r = guarded(operation, nullptr, nullptr, &pending, [&body] {
        Spec_ClearErrorCode(E_ERR_ANY);
        return static_cast<uint32_t>(body());
    });
    return finish(r, pending);
}

// A per-action export: the action checks, then the call of the live action.
template <class Call> uint32_t actionCall(uint32_t operation, IAction* action, const Call& call) {
    return exportCall(operation, [operation, action, &call] {
        if (uint32_t c = checkAction(operation, action))
            return c;
        return static_cast<uint32_t>(call(action));
    });
}

// InitAction and DoAction: a run under its running mark, its exception
// handed over.
template <class Run>
uint32_t runCall(uint32_t operation, IAction* action, const char* runName, const Run& run) {
    CCFTException* pending = nullptr;
    uint32_t r = checkedRun(operation, action, runName, &pending, run);
    return finish(r, pending);
}

} // namespace

extern "C" {

OMRA_EXPORT uint32_t OMRA_CALL Omra_Startup(LIBRARY_INFO* info) {
    return exportCall(OMRA_OP_STARTUP, [info] { return TheLibrary().Startup(info); });
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_Cleanup(void) {
    // Leaves the error slot alone and always reports 0, whatever happened.
    try {
        return TheLibrary().Cleanup();
    } catch (CCFTException* e) {
        delete e;
    } catch (...) {
    }
    return 0;
}

OMRA_EXPORT IAction* OMRA_CALL Omra_CreateAction(uint32_t id, uint32_t /*unused*/) {
    IAction* made = nullptr;
    exportCall(OMRA_OP_CREATE_ACTION, [id, &made] {
        if (!TheLibrary().Started())
            return RecordError(OMRA_OP_CREATE_ACTION, OMRA_ERR_NOT_STARTED, 0);
        made = TheLibrary().CreateAction(id);
        return 0u;
    });
    return made;
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_FreeAction(IAction* action) {
    return exportCall(OMRA_OP_FREE_ACTION, [action] {
        CVantorCrystalLibrary& lib = TheLibrary();
        if (!lib.Started())
            return RecordError(OMRA_OP_FREE_ACTION, OMRA_ERR_NOT_STARTED, 0);
        if (action == nullptr)
            return RecordError(OMRA_OP_FREE_ACTION, OMRA_ERR_NULL_HANDLE, 0);
        return lib.FreeAction(action);
    });
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_GetActionInfo(IAction* action, ACTION_INFO* info) {
    return exportCall(OMRA_OP_GET_ACTION_INFO, [action, info] {
        CVantorCrystalLibrary& lib = TheLibrary();
        if (!lib.Started())
            return RecordError(OMRA_OP_GET_ACTION_INFO, OMRA_ERR_NOT_STARTED, 0);
        if (action == nullptr)
            return RecordError(OMRA_OP_GET_ACTION_INFO, OMRA_ERR_NULL_HANDLE, 0);
        if (info == nullptr)
            return RecordError(OMRA_OP_GET_ACTION_INFO, OMRA_ERR_NULL_POINTER, 0);
        return lib.GetActionInfo(action, info);
    });
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_SetCallBack(IAction* action, uint32_t type,
                                                NOTIFY_TARGET* target) {
    return actionCall(OMRA_OP_SET_CALLBACK, action,
                      [=](IAction* live) { return live->SetCallBack(type, target); });
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_SetDriver(IAction* action, uint32_t type, uint32_t kind,
                                              void* driver) {
    return actionCall(OMRA_OP_SET_DRIVER, action,
                      [=](IAction* live) { return live->SetDriver(type, kind, driver); });
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_InitAction(IAction* action, ACTION_PARAM* param) {
    return runCall(OMRA_OP_INIT_ACTION, action, "InitAction",
                   [param](IAction* live) { return live->InitAction(param); });
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_DoAction(IAction* action) {
    return runCall(OMRA_OP_DO_ACTION, action, "DoAction",
                   [](IAction* live) { return live->DoAction(); });
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_Setup(uint32_t id, const char* path) {
    return exportCall(OMRA_OP_SETUP, [id, path] { return TheLibrary().Setup(id, path); });
}

// The property exports have no operation number of their own: the host
// family records their failures under DoAction's (9), and so do they.
OMRA_EXPORT uint32_t OMRA_CALL Omra_SetProperty(IAction* action, uint32_t a, uint32_t b,
                                                uint32_t c) {
    return actionCall(OMRA_OP_DO_ACTION, action,
                      [=](IAction* live) { return live->SetProperty(a, b, c); });
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_GetProperty(IAction* action, uint32_t a, uint32_t b,
                                                uint32_t c) {
    return actionCall(OMRA_OP_DO_ACTION, action,
                      [=](IAction* live) { return live->GetProperty(a, b, c); });
}
}
