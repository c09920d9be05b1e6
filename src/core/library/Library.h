// The library object: info block, factory, live actions, setup and version.
#pragma once

#include "omra/omra.h"

#include <map>
#include <string>

#include "platform/FileVersion.h"

// Opens the setup window of a chip page (0 VT300, 1 VT318) on the
// configuration file and returns when it closes. Provided by the setup
// window where there is one, and by a stand-in that opens nothing elsewhere.
void RunSetupWindow(const char* path, int chipPage);

// The framework's application object: instance initialisation and exit.
class CAppObject {
public:
    virtual ~CAppObject() = default;
    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return 0; }
};

class CActionLibrary : public CAppObject {
public:
    CActionLibrary() = default;
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

    bool Started() const { return m_started != 0; }
    const std::string& Version() const { return m_version; }
    const std::string& Build() const { return m_build; }
    size_t LiveCount() const { return m_live.size(); }

protected:
    uint32_t CheckFileExists(uint32_t id, const char* path);

private:
    std::string m_version;
    std::string m_build;
    std::map<IAction*, const ACTION_ENTRY*> m_live;
    LIBRARY_INFO* m_cached = nullptr;
    uint32_t m_started = 0;
};

class CVantorCrystalLibrary : public CActionLibrary {
public:
    CVantorCrystalLibrary();
    ~CVantorCrystalLibrary() override;

    IAction* CreateActionObject(uint32_t id) override;
    LIBRARY_INFO* BuildLibraryInfo() override;
    int FillActionInfo(const ACTION_ENTRY* entry, ACTION_INFO* info) override;
    uint32_t Setup(uint32_t id, const char* path) override;
};

// The one library object, alive while the library is loaded.
CVantorCrystalLibrary& TheLibrary();

// The VT300 action name: "VT300 AFC. [" + five GBK characters + "]".
extern const char kVt300Name[];
