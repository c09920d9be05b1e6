#include "Library.h"

#include "common/ActionBase.h"
#include "omra/errorcode.h"
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

using vantor::RecordError;

CActionLibrary::~CActionLibrary() {
    Cleanup();
}

bool CActionLibrary::InitInstance() {
    platform::ComInitialize();
    platform::ParseFileVersion(platform::FileVersionText(), &m_version, &m_build);
    return CAppObject::InitInstance();
}

int CActionLibrary::ExitInstance() {
    platform::ComUninitialize();
    return CAppObject::ExitInstance();
}

uint32_t CActionLibrary::Startup(LIBRARY_INFO* buffer) {
    if (buffer == nullptr)
        return RecordError(OMRA_OP_STARTUP, OMRA_ERR_NULL_POINTER, 0);
    if (m_started) {
        std::memcpy(buffer, m_cached, sizeof *m_cached);
        return 0;
    }
    Cleanup();
    m_cached = BuildLibraryInfo();
    if (m_cached == nullptr)
        return RecordError(OMRA_OP_STARTUP, OMRA_ERR_NO_INFO_BLOCK, 0);
    std::memcpy(buffer, m_cached, sizeof *m_cached);
    m_started = 1;
    return 0;
}

uint32_t CActionLibrary::Cleanup() {
    for (auto& pair : m_live)
        Retire(pair.first);
    m_live.clear();
    delete m_cached;
    m_cached = nullptr;
    m_started = 0;
    return 0;
}

IAction* CActionLibrary::CreateAction(uint32_t id) {
    uint16_t low = static_cast<uint16_t>(id & 0xFFFFu);
    if (m_cached != nullptr) {
        unsigned count = m_cached->count < OMRA_MAX_ACTIONS ? m_cached->count : OMRA_MAX_ACTIONS;
        for (unsigned i = 0; i < count; ++i) {
            if (m_cached->entries[i].id != low)
                continue;
            IAction* action = CreateActionObject(id);
            if (action == nullptr)
                break;
            m_live[action] = &m_cached->entries[i];
            return action;
        }
    }
    RecordError(OMRA_OP_CREATE_ACTION, OMRA_ERR_NO_ACTION, 0);
    return nullptr;
}

uint32_t CActionLibrary::FreeAction(IAction* action) {
    auto it = m_live.find(action);
    if (it == m_live.end())
        return RecordError(OMRA_OP_FREE_ACTION, OMRA_ERR_NOT_LIVE, 0);
    m_live.erase(it);
    Retire(action);
    return 0;
}

void CActionLibrary::Retire(IAction* action) {
    // A target may free the action whose run called it: the run goes on to
    // its end on the object, which is deleted when the run is over.
    if (IsRunning(action))
        m_retired.insert(action);
    else
        delete action;
}

void CActionLibrary::EndRun(IAction* action) {
    m_running.erase(std::find(m_running.begin(), m_running.end(), action));
    if (m_retired.erase(action) != 0)
        delete action;
}

uint32_t CActionLibrary::GetActionInfo(IAction* action, ACTION_INFO* info) {
    auto it = m_live.find(action);
    if (it == m_live.end())
        return RecordError(OMRA_OP_GET_ACTION_INFO, OMRA_ERR_NOT_LIVE, 0);
    if (FillActionInfo(it->second, info) == 0)
        return RecordError(OMRA_OP_GET_ACTION_INFO, OMRA_ERR_NO_DESCRIPTION, 0);
    return 0;
}

uint32_t CActionLibrary::CheckFileExists(uint32_t, const char* path) {
    if (path == nullptr)
        return RecordError(OMRA_OP_SETUP, OMRA_ERR_NULL_POINTER, 0);
    if (!platform::ProbeFile(path, nullptr))
        return RecordError(OMRA_OP_SETUP, OMRA_ERR_FILE_OPEN, 0);
    return 0;
}

CVantorCrystalLibrary::CVantorCrystalLibrary(const vantor::ChipRegistry& chips) : m_chips(chips) {
    InitInstance();
}

CVantorCrystalLibrary::~CVantorCrystalLibrary() {
    Cleanup();
    ExitInstance();
}

IAction* CVantorCrystalLibrary::CreateActionObject(uint32_t id) {
    const vantor::ChipRow* row = m_chips.Find(id);
    return row != nullptr ? row->create() : nullptr;
}

namespace {

ACTION_ENTRY makeEntry(const vantor::ChipRow& row) {
    ACTION_ENTRY e;
    std::memset(&e, 0, sizeof e);
    e.id = row.id;
    std::memcpy(e.name, row.entryName, std::strlen(row.entryName) + 1);
    return e;
}

} // namespace

LIBRARY_INFO* CVantorCrystalLibrary::BuildLibraryInfo() {
    if (m_chips.size() > OMRA_MAX_ACTIONS)
        return nullptr;
    LIBRARY_INFO* info = new (std::nothrow) LIBRARY_INFO;
    if (info == nullptr)
        return nullptr;
    std::memset(info, 0, sizeof *info);
    for (const vantor::ChipRow& row : m_chips) {
        info->entries[info->count++] = makeEntry(row);
        if (row.infoHeader)
            info->header = makeEntry(row);
    }
    info->word = 0;
    return info;
}

int CVantorCrystalLibrary::FillActionInfo(const ACTION_ENTRY* entry, ACTION_INFO* info) {
    if (entry == nullptr || info == nullptr || m_chips.Find(entry->id) == nullptr)
        return 0;
    info->first = -1;
    info->entry = *entry;
    info->words[0] = 0;
    info->words[1] = 1;
    info->words[2] = 0;
    info->words[3] = 0;
    return 1;
}

uint32_t CVantorCrystalLibrary::Setup(uint32_t id, const char* path) {
    uint32_t r = CheckFileExists(id, path);
    if (r != 0)
        return r;
    const vantor::ChipRow* row = m_chips.Find(id);
    if (row != nullptr && row->setupPage != vantor::kNoSetupPage)
        OpenSetupWindow(path, row->setupPage);
    return 0;
}

void CVantorCrystalLibrary::OpenSetupWindow(const char* path, int chipPage) const {
    if (m_setupWindow != nullptr)
        m_setupWindow(path, chipPage);
}

namespace {
// Constructed when the library is loaded, destroyed when it is unloaded.
CVantorCrystalLibrary theLibrary;
} // namespace

CVantorCrystalLibrary& vantor::TheLibrary() {
    return theLibrary;
}
