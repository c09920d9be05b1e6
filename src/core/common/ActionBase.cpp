#include "ActionBase.h"

#include "DriverAdapters.h"
#include "Text.h"
#include "omra/phonecommand.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace vantor;

CActionBase::CActionBase() {
    std::memset(&m_resultTarget, 0, sizeof m_resultTarget);
    std::memset(&m_logTarget, 0, sizeof m_logTarget);
    std::memset(&m_resultBuffer, 0, sizeof m_resultBuffer);
    std::memset(&m_logLine, 0, sizeof m_logLine);
    std::memset(&m_params, 0, sizeof m_params);
}

CActionBase::~CActionBase() {
    // Adapters are ours; host objects and tables are never deleted.
    m_rfTester = nullptr;
    m_driver1 = nullptr;
}

int CActionBase::SetCallBack(uint32_t type, NOTIFY_TARGET* target) {
    if (type == OMRA_CALLBACK_RESULT)
        return SetResultTarget(target);
    if (type == OMRA_CALLBACK_LOG)
        return SetLogTarget(target);
    return static_cast<int>(RecordError(OMRA_OP_SET_CALLBACK, OMRA_ERR_CALLBACK_TYPE, 0));
}

int CActionBase::SetLogTarget(const NOTIFY_TARGET* target) {
    if (target == nullptr)
        return static_cast<int>(RecordError(OMRA_OP_SET_CALLBACK, OMRA_ERR_NULL_POINTER, 0));
    m_logTarget = *target;
    return 0;
}

int CActionBase::SetResultTarget(const NOTIFY_TARGET* target) {
    if (target == nullptr)
        return static_cast<int>(RecordError(OMRA_OP_SET_CALLBACK, OMRA_ERR_NULL_POINTER, 0));
    m_resultTarget = *target;
    return 0;
}

int CActionBase::SetDriver(uint32_t type, uint32_t kind, void* driver) {
    if (type == OMRA_DRIVER_TYPE1)
        return SetDriver1(kind, driver);
    if (type == OMRA_DRIVER_RFTESTER)
        return SetRfTesterDriver(kind, driver);
    Spec_ClearErrorCode(E_ERR_ANY);
    return static_cast<int>(RecordError(OMRA_OP_SET_CALLBACK, OMRA_ERR_DRIVER_TYPE, 0));
}

namespace {

// One rule for both driver types: objects are the host's, tables get an
// adapter of ours that later tables re-use.
template <class Interface, class Adapter, class Table>
int setDriver(uint32_t kind, void* driver, uint32_t* storedKind, Interface** stored,
              std::unique_ptr<Adapter>* adapter, uint32_t noDriverCode) {
    if (driver == nullptr)
        return static_cast<int>(RecordError(OMRA_OP_SET_DRIVER, OMRA_ERR_NULL_POINTER, 0));
    *storedKind = kind;
    if (kind == OMRA_DRIVER_KIND_OBJECT) {
        *stored = static_cast<Interface*>(driver);
        adapter->reset(); // an adapter this object replaces is not needed any more
    } else if (kind == OMRA_DRIVER_KIND_TABLE) {
        const Table* table = static_cast<const Table*>(driver);
        if (*adapter)
            (*adapter)->SetTable(table);
        else
            adapter->reset(new (std::nothrow) Adapter(table));
        *stored = adapter->get();
    }
    if (*stored == nullptr)
        return static_cast<int>(RecordError(OMRA_OP_SET_DRIVER, noDriverCode, 0));
    return 0;
}

} // namespace

int CActionBase::SetRfTesterDriver(uint32_t kind, void* driver) {
    return setDriver<IRfTester, CRfTesterTableAdapter, RFTESTER_TABLE>(
        kind, driver, &m_rfTesterKind, &m_rfTester, &m_rfAdapter, OMRA_ERR_NO_RFTESTER);
}

int CActionBase::SetDriver1(uint32_t kind, void* driver) {
    return setDriver<IDriver1, CDriver1TableAdapter, DRIVER1_TABLE>(
        kind, driver, &m_driver1Kind, &m_driver1, &m_driver1Adapter, OMRA_ERR_NO_DRIVER1);
}

int CActionBase::InitAction(ACTION_PARAM* param) {
    Spec_ClearErrorCode(E_ERR_ANY);
    if (param == nullptr)
        return static_cast<int>(RecordError(OMRA_OP_INIT_ACTION, OMRA_ERR_NULL_POINTER, 0));
    std::memcpy(&m_params, param, sizeof m_params);
    // The path is read within its field, terminated or not.
    m_params.configPath[OMRA_PATH_BYTES - 1] = '\0';
    m_calRecord = m_params.calibrationRecord;
    m_band = m_params.band;
    m_classMark = ClassMarkOfBand(m_band);
    m_paramWord = m_params.paramWord;
    std::string path(param->configPath, strnlen(param->configPath, OMRA_PATH_BYTES));
    // A load that throws leaves the flag set: no run on the built-in defaults.
    m_configNotLoaded = true;
    int r = LoadAdjustConfig(path.c_str());
    m_configNotLoaded = false;
    return r;
}

int CActionBase::DoAction() {
    Spec_ClearErrorCode(E_ERR_ANY);
    PferLineCounter() = 0;
    OnDoAction(m_band);
    return 0;
}

int CActionBase::PreDoRfAction(const ACTION_PARAM* /*param*/) {
    CallHost([&] { return m_rfTester->BeginAction(0); });
    CallHost([&] { return m_rfTester->SetBand(-1, m_band); });
    int32_t chip = m_params.chipType;
    if (chip == 1 || chip == 2 || chip == 4) {
        if (chip == 4 && m_tdFlag != 0)
            OMRA_THROW("CActionBase::PreDoRfAction TD not supported!");
        HT_SetPhoneClassmark_MChip(m_classMark);
    }
    return 1;
}

int CActionBase::LoadAdjustConfig(const char* path) {
    // An empty path reads no file: the derived keys take their defaults.
    const bool named = path != nullptr && *path != '\0';
    if (named) {
        m_configPath = path;
        uint64_t size = 0;
        if (!platform::ProbeFile(path, &size))
            OMRA_FAIL(OMRA_OP_LOAD_CONFIG, OMRA_ERR_FILE_OPEN, 0,
                      "< %s >LoadAdjustConfig file <%s> not exist", GetName(), path);
        if (size == 0)
            RecordError(OMRA_OP_LOAD_CONFIG, OMRA_ERR_FILE_EMPTY, 0);
    }
    const platform::ProfileFile file(path);
    if (named) {
        m_txOff = config::Read(file, config::Diag::TxOff);
        m_resendDiagCommand = config::Read(file, config::Diag::ResendDiagCommand);
        m_resendInterval = config::Read(file, config::Diag::ResendIntervalTime);
        m_throwOnDiagFailure = config::Read(file, config::Diag::ThrowDiagException);
    }
    LoadKeys(file);
    return 0;
}

void CActionBase::PauseResendInterval() {
    platform::Sleep(std::min(m_resendInterval, kMaxResendInterval));
}

bool CActionBase::FailureEndsRun(uint32_t operation, uint32_t code, int32_t extra) {
    if (m_throwOnDiagFailure == 0)
        return false;
    RecordError(operation, code, extra);
    return true;
}

int CActionBase::LogFormat(int32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    m_text = VFormat(format, args);
    va_end(args);
    return SendLogLine(m_text.c_str(), level);
}

int CActionBase::SendLogLine(const char* text, int32_t level) {
    if (text == nullptr || m_logTarget.kind == OMRA_TARGET_NONE)
        return 1;
    if (text != m_text.c_str())
        m_text = text;
    m_logLine.text = m_text.c_str();
    m_logLine.length = static_cast<uint32_t>(m_text.size());
    m_logLine.level = level;
    m_logLine.zero1 = 0;
    m_logLine.zero2 = 0;
    m_logLine.context1 = m_logTarget.context1;
    m_logLine.context2 = m_logTarget.context2;
    return Deliver(m_logTarget, WM_ACTION_LOG, &m_logLine);
}

int CActionBase::ReportText(const char* name, const char* text, int32_t level) {
    CopyField(m_resultBuffer.name, sizeof m_resultBuffer.name, name);
    m_resultBuffer.form = OMRA_FORM_TEXT;
    CopyField(m_resultBuffer.u.text, sizeof m_resultBuffer.u.text, text);
    CopyField(m_resultBuffer.unit, sizeof m_resultBuffer.unit, "-");
    m_resultBuffer.kind = OMRA_KIND_INFO;
    m_resultBuffer.level = level;
    m_resultBuffer.zero1 = 0;
    m_resultBuffer.zero2 = 0;
    m_resultBuffer.context1 = m_resultTarget.context1;
    m_resultBuffer.context2 = m_resultTarget.context2;
    return SendResult(&m_resultBuffer);
}

int CActionBase::ReportValueFormat(double low, double value, double high, const char* unit,
                                   int32_t kind, int32_t level, const char* nameFormat, ...) {
    // The name field holds what fits of the text: format straight into its size.
    char name[OMRA_ITEM_NAME_BYTES] = {};
    if (nameFormat != nullptr) {
        va_list args;
        va_start(args, nameFormat);
        int n = std::vsnprintf(name, sizeof name, nameFormat, args);
        va_end(args);
        if (n < 0)
            name[0] = '\0';
    }
    return ReportValue(name, low, value, high, unit, kind, level);
}

int CActionBase::ReportValue(const char* name, double low, double value, double high,
                             const char* unit, int32_t kind, int32_t level) {
    CopyField(m_resultBuffer.name, sizeof m_resultBuffer.name, name);
    m_resultBuffer.form = OMRA_FORM_NUMERIC;
    std::memset(&m_resultBuffer.u, 0, sizeof m_resultBuffer.u);
    m_resultBuffer.u.num.low = low;
    m_resultBuffer.u.num.value = value;
    m_resultBuffer.u.num.high = high;
    m_resultBuffer.kind = kind;
    m_resultBuffer.level = level;
    if (kind != OMRA_KIND_INFO)
        m_resultBuffer.pass = (low <= value && value <= high) ? 1 : 0;
    CopyField(m_resultBuffer.unit, sizeof m_resultBuffer.unit, unit != nullptr ? unit : "-");
    m_resultBuffer.zero1 = 0;
    m_resultBuffer.zero2 = 0;
    m_resultBuffer.context1 = m_resultTarget.context1;
    m_resultBuffer.context2 = m_resultTarget.context2;
    return SendResult(&m_resultBuffer);
}

int CActionBase::SendResult(const RESULT_ITEM* item) {
    if (item == nullptr || m_resultTarget.kind == OMRA_TARGET_NONE)
        return 1;
    if (item != &m_resultBuffer)
        std::memcpy(&m_resultBuffer, item, sizeof m_resultBuffer);
    return Deliver(m_resultTarget, WM_ACTION_RESULT, &m_resultBuffer);
}

int CActionBase::Deliver(const NOTIFY_TARGET& target, uint32_t message, void* record) {
    switch (target.kind) {
    case OMRA_TARGET_EVENT: {
        if (target.target == 0)
            break;
        if (!SignalWithRetry([&] { return platform::SignalEvent(target.target); }))
            return 0;
        break;
    }
    case OMRA_TARGET_WINDOW:
        if (platform::IsWindowHandle(target.target))
            platform::SendWindowMessage(target.target, message, reinterpret_cast<uintptr_t>(record),
                                        reinterpret_cast<intptr_t>(&target));
        break;
    case OMRA_TARGET_THREAD:
        platform::PostThreadMsg(static_cast<uint32_t>(target.target), message,
                                reinterpret_cast<uintptr_t>(record),
                                reinterpret_cast<intptr_t>(&target));
        break;
    case OMRA_TARGET_FUNCTION: {
        OMRA_NOTIFY_FN fn = reinterpret_cast<OMRA_NOTIFY_FN>(target.target);
        if (fn != nullptr && CallHost([fn, record] { return fn(record); }) == 0)
            return 0;
        break;
    }
    default:
        break;
    }
    return 1;
}
