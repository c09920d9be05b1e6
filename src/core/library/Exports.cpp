// The twelve exports: the common prologue, the checks in their order, and
// the call forwarded to the library object or the action.
#include "Library.h"

#include "common/ActionBase.h"
#include "omra/errorcode.h"
#include "omra/omra.h"

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

} // namespace

extern "C" {

OMRA_EXPORT uint32_t OMRA_CALL Omra_Startup(LIBRARY_INFO* info) {
    Spec_ClearErrorCode(E_ERR_ANY);
    return TheLibrary().Startup(info);
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_Cleanup(void) { return TheLibrary().Cleanup(); }

OMRA_EXPORT IAction* OMRA_CALL Omra_CreateAction(uint32_t id, uint32_t /*unused*/) {
    Spec_ClearErrorCode(E_ERR_ANY);
    if (!TheLibrary().Started()) {
        RecordError(OMRA_OP_CREATE_ACTION, OMRA_ERR_NOT_STARTED, 0);
        return nullptr;
    }
    return TheLibrary().CreateAction(id);
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_FreeAction(IAction* action) {
    Spec_ClearErrorCode(E_ERR_ANY);
    CVantorCrystalLibrary& lib = TheLibrary();
    if (!lib.Started())
        return RecordError(OMRA_OP_FREE_ACTION, OMRA_ERR_NOT_STARTED, 0);
    if (action == nullptr)
        return RecordError(OMRA_OP_FREE_ACTION, OMRA_ERR_NULL_HANDLE, 0);
    return lib.FreeAction(action);
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_GetActionInfo(IAction* action, ACTION_INFO* info) {
    Spec_ClearErrorCode(E_ERR_ANY);
    CVantorCrystalLibrary& lib = TheLibrary();
    if (!lib.Started())
        return RecordError(OMRA_OP_GET_ACTION_INFO, OMRA_ERR_NOT_STARTED, 0);
    if (action == nullptr)
        return RecordError(OMRA_OP_GET_ACTION_INFO, OMRA_ERR_NULL_HANDLE, 0);
    if (info == nullptr)
        return RecordError(OMRA_OP_GET_ACTION_INFO, OMRA_ERR_NULL_POINTER, 0);
    return lib.GetActionInfo(action, info);
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_SetCallBack(IAction* action, uint32_t type,
                                                NOTIFY_TARGET* target) {
    Spec_ClearErrorCode(E_ERR_ANY);
    if (uint32_t r = checkAction(OMRA_OP_SET_CALLBACK, action))
        return r;
    return static_cast<uint32_t>(action->SetCallBack(type, target));
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_SetDriver(IAction* action, uint32_t type, uint32_t kind,
                                              void* driver) {
    Spec_ClearErrorCode(E_ERR_ANY);
    if (uint32_t r = checkAction(OMRA_OP_SET_DRIVER, action))
        return r;
    return static_cast<uint32_t>(action->SetDriver(type, kind, driver));
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_InitAction(IAction* action, ACTION_PARAM* param) {
    Spec_ClearErrorCode(E_ERR_ANY);
    if (uint32_t r = checkAction(OMRA_OP_INIT_ACTION, action))
        return r;
    return static_cast<uint32_t>(action->InitAction(param));
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_DoAction(IAction* action) {
    Spec_ClearErrorCode(E_ERR_ANY);
    if (uint32_t r = checkAction(OMRA_OP_DO_ACTION, action))
        return r;
    return static_cast<uint32_t>(action->DoAction());
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_Setup(uint32_t id, const char* path) {
    Spec_ClearErrorCode(E_ERR_ANY);
    return TheLibrary().Setup(id, path);
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_SetProperty(IAction* action, uint32_t a, uint32_t b,
                                                uint32_t c) {
    Spec_ClearErrorCode(E_ERR_ANY);
    if (uint32_t r = checkAction(OMRA_OP_DO_ACTION, action))
        return r;
    return static_cast<uint32_t>(action->SetProperty(a, b, c));
}

OMRA_EXPORT uint32_t OMRA_CALL Omra_GetProperty(IAction* action, uint32_t a, uint32_t b,
                                                uint32_t c) {
    Spec_ClearErrorCode(E_ERR_ANY);
    if (uint32_t r = checkAction(OMRA_OP_DO_ACTION, action))
        return r;
    return static_cast<uint32_t>(action->GetProperty(a, b, c));
}
}
