// The base of every action: targets, drivers, parameters, items and lines.
#pragma once

#include "Bands.h"
#include "ConfigTable.h"
#include "PferCounter.h"
#include "RecordError.h"
#include "Tokens.h"
#include "HostCall.h"
#include "omra/errorcode.h"
#include "omra/omra.h"

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>

class CRfTesterTableAdapter;
class CDriver1TableAdapter;

// Throws a CCFTException made from this source file and line.
#define OMRA_THROW(...) throw new CCFTException(__FILE__, __LINE__, __VA_ARGS__)

// Records the error triple of a failed run and throws its exception; the
// exception names the line of this macro.
#define OMRA_FAIL(operation, code, extra, ...)                                                     \
    do {                                                                                           \
        ::vantor::RecordError(operation, code, extra);                                             \
        OMRA_THROW(__VA_ARGS__);                                                                   \
    } while (0)

class CActionBase : public IAction {
public:
    CActionBase();
    ~CActionBase() override;
    CActionBase(const CActionBase&) = delete;
    CActionBase& operator=(const CActionBase&) = delete;

    // IAction
    // The library owns its actions: a host's delete of a handle (slot 0) is
    // ignored, and Omra_FreeAction or Omra_Cleanup frees it, once.
    void* ScalarDeletingDestructor(unsigned int) override { return this; }
    int SetCallBack(uint32_t type, NOTIFY_TARGET* target) override;
    int SetDriver(uint32_t type, uint32_t kind, void* driver) override;
    int InitAction(ACTION_PARAM* param) override;
    int DoAction() override;
    int SetProperty(uint32_t, uint32_t, uint32_t) override { return 0; }
    int GetProperty(uint32_t, uint32_t, uint32_t) override { return 0; }

    // The run the library marked this action as in, while it lasts: what a
    // call into the host's code ends should the host's runtime cut it short.
    void SetRunScope(vantor::RunScope* run) { m_run = run; }

    virtual const char* GetName() const = 0;
    // Checks the file and reads every key through one reader of it.
    virtual int LoadAdjustConfig(const char* path);
    // The keys of a derived action, read from the load's one reader.
    virtual void LoadKeys(const platform::ProfileFile& /*file*/) {}
    virtual int PreDoRfAction(const ACTION_PARAM* param);
    virtual void OnDoAction(int32_t /*band*/) {}
    virtual int SetRfTesterDriver(uint32_t kind, void* driver);
    virtual int SetDriver1(uint32_t kind, void* driver);
    virtual int SetLogTarget(const NOTIFY_TARGET* target);
    virtual int SetResultTarget(const NOTIFY_TARGET* target);
    virtual int LogFormat(int32_t level, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    virtual int SendLogLine(const char* text, int32_t level);
    virtual int ReportText(const char* name, const char* text, int32_t level);
    virtual int ReportValueFormat(double low, double value, double high, const char* unit,
                                  int32_t kind, int32_t level, const char* nameFormat, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 8, 9)))
#endif
        ;
    virtual int ReportValue(const char* name, double low, double value, double high,
                            const char* unit, int32_t kind, int32_t level);
    virtual int SendResult(const RESULT_ITEM* item);

    // Read access for the host-side tests and the AFC base.
    const NOTIFY_TARGET& ResultTarget() const {
        return m_resultTarget;
    }
    const NOTIFY_TARGET& LogTarget() const {
        return m_logTarget;
    }
    const RESULT_ITEM& ResultBuffer() const {
        return m_resultBuffer;
    }
    const LOG_LINE& LogLineRecord() const {
        return m_logLine;
    }
    IRfTester* RfTester() const {
        return m_rfTester;
    }
    uint32_t RfTesterKind() const {
        return m_rfTesterKind;
    }
    IDriver1* Driver1() const {
        return m_driver1;
    }
    uint32_t Driver1Kind() const {
        return m_driver1Kind;
    }
    const ACTION_PARAM& Params() const {
        return m_params;
    }
    int32_t Band() const {
        return m_band;
    }
    int32_t ClassMark() const {
        return m_classMark;
    }
    const std::string& ConfigPath() const {
        return m_configPath;
    }
    uint32_t ThrowOnDiagFailure() const {
        return m_throwOnDiagFailure;
    }
    uint32_t ResendDiagCommand() const {
        return m_resendDiagCommand;
    }
    uint32_t ResendInterval() const {
        return m_resendInterval;
    }
    uint32_t TxOff() const {
        return m_txOff;
    }
    // True from an InitAction that did not finish until one that does.
    bool ConfigNotLoaded() const {
        return m_configNotLoaded;
    }

    // The longest pause the resend interval may ask for, in milliseconds.
    static constexpr uint32_t kMaxResendInterval = 60000;

protected:
    // The handset command policy: sends, and on failure resends once after
    // the interval when so configured. True when a send succeeded.
    template <class Send> bool CommandSucceeds(Send&& send) {
        if (send() == 0)
            return true;
        if (m_resendDiagCommand != 0) {
            PauseResendInterval();
            if (send() == 0)
                return true;
        }
        return false;
    }
    // A command that finally failed ends the run when the configuration says
    // so: then its triple is recorded and the caller throws.
    bool FailureEndsRun(uint32_t operation, uint32_t code, int32_t extra);
    void PauseResendInterval();

    // A call into the host's code (a driver operation, a function target).
    template <class F> int CallHost(F&& f) {
        return vantor::CallHost(m_run, f);
    }

    NOTIFY_TARGET m_resultTarget;
    NOTIFY_TARGET m_logTarget;
    RESULT_ITEM m_resultBuffer;
    LOG_LINE m_logLine;
    uint32_t m_rfTesterKind = 0;
    IRfTester* m_rfTester = nullptr;
    vantor::RunScope* m_run = nullptr;
    uint32_t m_driver1Kind = 0;
    IDriver1* m_driver1 = nullptr;
    ACTION_PARAM m_params;
    void* m_calRecord = nullptr;
    int32_t m_band = 1;
    int32_t m_classMark = 0;
    // The line and the item name a run formats over and over, keeping the
    // room their first use gave them.
    std::string m_text;
    std::string m_itemName;
    std::string m_configPath;
    uint32_t m_throwOnDiagFailure = config::Default(config::Diag::ThrowDiagException);
    uint32_t m_resendDiagCommand = config::Default(config::Diag::ResendDiagCommand);
    uint32_t m_resendInterval = config::Default(config::Diag::ResendIntervalTime);
    uint32_t m_txOff = config::Default(config::Diag::TxOff);
    // Never set by this library: chip type 4 is handled as chip type 1.
    uint32_t m_tdFlag = 0;
    // The host's parameter word, kept and not read.
    uint32_t m_paramWord = 0;
    bool m_configNotLoaded = false;

private:
    int Deliver(const NOTIFY_TARGET& target, uint32_t message, void* record);

    std::unique_ptr<CRfTesterTableAdapter> m_rfAdapter;
    std::unique_ptr<CDriver1TableAdapter> m_driver1Adapter;
};

namespace vantor {

// Calls signal until it succeeds, at most kMaxSignalTries times; true when a
// call succeeded.
constexpr int kMaxSignalTries = 100;
template <class Signal> bool SignalWithRetry(Signal&& signal) {
    for (int tries = 0; tries < kMaxSignalTries; ++tries)
        if (signal())
            return true;
    return false;
}

} // namespace vantor
