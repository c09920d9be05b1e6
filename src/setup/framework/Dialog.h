// Dialogs from templates (modal with the framework's own loop) and form views
// (child dialogs in a pane), with data exchange and validation.
#pragma once

#include "Window.h"

#include <cstdint>
#include <functional>
#include <string>

namespace fw {

// The framework's standard validation messages, in the library's string table.
constexpr UINT IDS_PARSE_INT = 0xF110;       // not an integer
constexpr UINT IDS_PARSE_INT_RANGE = 0xF112; // outside %1..%2
constexpr UINT IDS_PARSE_UINT = 0xF117;      // not an unsigned integer

// A string of the library's string table ("" when it is missing).
std::wstring LoadResourceString(UINT id);

// The caption of the library's message boxes: the title of the owner's
// top-level window (the setup window's), else the library's file name.
std::wstring MessageCaption(HWND owner);
// A message box owned by the owner's top-level window, with that caption.
int ShowMessage(HWND owner, const std::wstring& text, UINT type);

// Shows a failed field's message; the default is a message box owned by the
// window. Tests and hosts without a user put their own in.
using ValidationReporter = std::function<void(HWND owner, const std::wstring& text)>;
void DefaultValidationReporter(HWND owner, const std::wstring& text);

// One run of data exchange. After the first failure every further DDX/DDV
// call does nothing, so the exchange stops at the failing field.
class CDataExchange {
public:
    CDataExchange(HWND dialog, bool saveAndValidate, ValidationReporter reporter);

    const bool saveAndValidate; // true: controls to members, with validation
    HWND dialog() const { return m_dialog; }
    bool failed() const { return m_failed; }
    // The control of the field being exchanged (focus goes there on failure).
    HWND PrepareCtrl(int id);
    HWND lastControl() const { return m_last; }
    // Reports the message, moves the focus to the last control and stops.
    void Fail(const std::wstring& message);

private:
    HWND m_dialog;
    HWND m_last = nullptr;
    bool m_failed = false;
    ValidationReporter m_reporter;
};

void DDX_Text(CDataExchange& dx, int id, int32_t& value);  // message 0xF110
void DDX_Text(CDataExchange& dx, int id, uint32_t& value); // message 0xF117
void DDX_Text(CDataExchange& dx, int id, std::wstring& text);
void DDX_Text(CDataExchange& dx, int id, std::string& text); // GBK text
// Range checks of the field just exchanged (saving only); message 0xF112.
void DDV_MinMaxInt(CDataExchange& dx, int32_t value, int32_t minValue, int32_t maxValue);
void DDV_MinMaxUInt(CDataExchange& dx, uint32_t value, uint32_t minValue, uint32_t maxValue);

// What dialogs and form views share: creation from a template of the
// resource module, OnInitDialog, data exchange.
class CDialogBase : public CWindow {
public:
    explicit CDialogBase(UINT templateId) : m_templateId(templateId) {}
    UINT TemplateId() const { return m_templateId; }

    // Copies members to controls (false) or controls to members with
    // validation (true). False when a field failed.
    bool UpdateData(bool saveAndValidate = true);
    void SetValidationReporter(ValidationReporter reporter) { m_reporter = std::move(reporter); }

protected:
    virtual void DoDataExchange(CDataExchange& dx);
    // WM_INITDIALOG. Return TRUE to let the system set the focus.
    virtual BOOL OnInitDialog();
    // Creates the dialog window from the template; childStyle patches the
    // template into a child dialog (form views).
    bool CreateFromTemplate(HWND parent, bool asChild);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    UINT m_templateId;
    ValidationReporter m_reporter = DefaultValidationReporter;
};

class CDialog : public CDialogBase {
public:
    explicit CDialog(UINT templateId) : CDialogBase(templateId) {}

    // Runs the dialog with its own message loop, the owner disabled meanwhile.
    // -1 when the dialog cannot be created.
    INT_PTR DoModal(HWND owner = nullptr);
    // Creates the dialog without a loop (modeless use, tests).
    bool CreateModeless(HWND owner = nullptr);
    // Ends the modal loop (or hides a modeless dialog) with this result.
    void EndDialog(INT_PTR result);
    INT_PTR Result() const { return m_result; }
    bool Ended() const { return m_ended; }

protected:
    BOOL OnInitDialog() override;
    // IDOK: exchange with validation, end with IDOK when it succeeded.
    virtual void OnOK();
    virtual void OnCancel();
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    bool m_ended = false;
    bool m_modal = false;
    INT_PTR m_result = 0;
};

// A child dialog from a template, created in a pane (by a splitter through
// dynamic creation) and filled at its initial update.
class CFormView : public CDialogBase {
public:
    explicit CFormView(UINT templateId) : CDialogBase(templateId) {}
    bool CreateView(HWND parent, UINT id, DWORD style, const RECT& rect,
                    CreateContext* context) override;

protected:
    // Copies members to controls.
    void OnInitialUpdate() override;
    BOOL OnInitDialog() override;
};

} // namespace fw
