// The library object: info block, factory, live actions, setup and version.
#pragma once

#include "omra/omra.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "chips/ChipRegistry.h"
#include "common/RecordError.h"
#include "common/ActionBase.h"
#include "platform/FileVersion.h"

// The framework's application object: instance initialisation and exit.
class CAppObject {
public:
    virtual ~CAppObject() = default;
    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return 0; }
};

class CActionLibrary : public CAppObject {
public:
    // Room for the running marks of a few nested runs, so a run allocates nothing.
    CActionLibrary() { m_running.reserve(8); }
    ~CActionLibrary() override;
    CActionLibrary(const CActionLibrary&) = delete;
    CActionLibrary& operator=(const CActionLibrary&) = delete;

    virtual IAction* CreateActionObject(uint32_t id) = 0;
    virtual LIBRARY_INFO* BuildLibraryInfo() = 0;
    virtual int FillActionInfo(const ACTION_ENTRY* entry, ACTION_INFO* info) = 0;
    virtual uint32_t Setup(uint32_t id, const char* path) { return CheckFileExists(id, path); }

    bool InitInstance() override;
    int ExitInstance() override;

    uint32_t Startup(LIBRARY_INFO* buffer);
    uint32_t Cleanup();
    IAction* CreateAction(uint32_t id);
    uint32_t FreeAction(IAction* action);
    uint32_t GetActionInfo(IAction* action, ACTION_INFO* info);
    bool IsLive(IAction* action) const { return m_live.count(action) != 0; }
    bool IsRunning(IAction* action) const {
        return std::find(m_running.begin(), m_running.end(), action) != m_running.end();
    }

    // Runs one InitAction or DoAction of a live action. Refused with the
    // operation's "running" triple while the same action runs; an action
    // freed meanwhile is deleted when the call returns or unwinds.
    template <class Call> uint32_t RunAction(IAction* action, uint32_t operation, Call&& call) {
        if (IsRunning(action))
            return vantor::RecordError(operation, OMRA_ERR_RUNNING, 0);
        RunningMark mark(*this, action);
        return static_cast<uint32_t>(call());
    }

    // Whether the exception being handled is the host's own, from a run's
    // call into its code; asking clears it.
    bool TakeHostThrew() {
        bool threw = m_hostThrew;
        m_hostThrew = false;
        return threw;
    }

    bool Started() const { return m_started != 0; }
    const std::string& Version() const { return m_version; }
    const std::string& Build() const { return m_build; }
    size_t LiveCount() const { return m_live.size(); }

protected:
    uint32_t CheckFileExists(uint32_t id, const char* path);

private:
    // Marks an action as running for the lifetime of one call. The mark ends
    // when the call returns or unwinds, or, should the host's runtime pass
    // the call's frames without unwinding them (its own exception from a
    // driver or a target), when that runtime passes the call into the host.
    class RunningMark final : public vantor::RunScope {
    public:
        RunningMark(CActionLibrary& lib, IAction* action) : m_lib(lib), m_action(action) {
            m_lib.m_running.push_back(action);
            static_cast<CActionBase*>(action)->SetRunScope(this);
        }
        ~RunningMark() { End(); }
        RunningMark(const RunningMark&) = delete;
        RunningMark& operator=(const RunningMark&) = delete;

        void End() noexcept override {
            if (m_ended)
                return;
            m_ended = true;
            static_cast<CActionBase*>(m_action)->SetRunScope(nullptr);
            m_lib.EndRun(m_action);
        }
        void HostThrew() noexcept override { m_lib.m_hostThrew = true; }

    private:
        CActionLibrary& m_lib;
        IAction* m_action;
        bool m_ended = false;
    };

    // Takes an action out of the live map; a running one is deleted later.
    void Retire(IAction* action);
    void EndRun(IAction* action);

    std::string m_version;
    std::string m_build;
    std::map<IAction*, const ACTION_ENTRY*> m_live;
    // Runs in progress, innermost last; a run allocates nothing here.
    std::vector<IAction*> m_running;
    // Freed while running: deleted when their run ends.
    std::set<IAction*> m_retired;
    LIBRARY_INFO* m_cached = nullptr;
    // The host's own exception from a run's call into its code is on its way
    // out through the export that started the run.
    bool m_hostThrew = false;
    uint32_t m_started = 0;
};

// The library of the chips of a registry: its info block lists them, its
// factory makes them and its setup opens their pages.
class CVantorCrystalLibrary : public CActionLibrary {
public:
    explicit CVantorCrystalLibrary(const vantor::ChipRegistry& chips = vantor::Chips());
    ~CVantorCrystalLibrary() override;

    IAction* CreateActionObject(uint32_t id) override;
    LIBRARY_INFO* BuildLibraryInfo() override;
    int FillActionInfo(const ACTION_ENTRY* entry, ACTION_INFO* info) override;
    uint32_t Setup(uint32_t id, const char* path) override;

    // Opens the setup window of a chip page (the registry's setupPage) on the
    // configuration file and returns when it closes.
    using SetupWindowFn = void (*)(const char* path, int chipPage);
    // The setup window Setup opens; none (the file is only checked) until a
    // build that has one registers it.
    void SetSetupWindow(SetupWindowFn window) { m_setupWindow = window; }

private:
    void OpenSetupWindow(const char* path, int chipPage) const;

    const vantor::ChipRegistry& m_chips;
    SetupWindowFn m_setupWindow = nullptr;
};

namespace vantor {

// The one library object, alive while the library is loaded.
CVantorCrystalLibrary& TheLibrary();

} // namespace vantor
