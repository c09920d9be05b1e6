// The pages of the setup window's right-hand pane: the two parameter pages
// and the help/about page, each a form view created by class name.
#pragma once

#include "Dialog.h"
#include "SetupRules.h"

#include <string>

namespace setupwin {

// A parameter page: eight keys loaded from and saved to the configuration
// file, exchanged with the page's edit boxes in the page's exchange order.
class CParamPage : public fw::CFormView {
public:
    CParamPage(UINT templateId, const ParamPageDef& page);

    // Reads the page's keys (defaults for missing ones) into the members and
    // the controls. Returns 1.
    int Load(const char* path);
    // Copies the controls into the members with validation and writes every
    // key. A field that fails stops the save before anything is written, so
    // an invalid value never reaches the file: returns 0, the message has
    // been shown and the focus is on that field. A key that cannot be written
    // stops the save there: returns 0 with LastWrite() saying which and why
    // (the keys before it stay written). Returns 1 when saved.
    int Save(const char* path);

    const ParamPageDef& Page() const { return m_page; }
    // The members in key order.
    const ParamValues& Values() const { return m_values; }
    // The control of the field that failed the last save, or null.
    HWND FailedControl() const { return m_failedControl; }
    // How far the last save's writes got.
    const SaveOutcome& LastWrite() const { return m_lastWrite; }

protected:
    void DoDataExchange(fw::CDataExchange& dx) override;

private:
    const ParamPageDef& m_page;
    ParamValues m_values{};
    HWND m_failedControl = nullptr;
    SaveOutcome m_lastWrite;
};

class CFormViewVt318 : public CParamPage {
    FW_DECLARE_DYNCREATE(CFormViewVt318)
public:
    CFormViewVt318();
};

class CFormViewSetup : public CParamPage {
    FW_DECLARE_DYNCREATE(CFormViewSetup)
public:
    CFormViewSetup();
};

// The help/about page: the library's version and the release history.
class CFormViewHelps : public fw::CFormView {
    FW_DECLARE_DYNCREATE(CFormViewHelps)
public:
    CFormViewHelps();

    const std::string& History() const { return m_history; }
    const std::string& About() const { return m_about; }

protected:
    void DoDataExchange(fw::CDataExchange& dx) override;
    void OnInitialUpdate() override;
    void OnSize(UINT type, int cx, int cy) override;

private:
    std::string m_history;
    std::string m_about;
};

} // namespace setupwin
