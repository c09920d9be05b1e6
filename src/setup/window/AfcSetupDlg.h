// The modal setup window: the bar on the left, the chip's pages on the right,
// OK / Cancel / Apply below.
#pragma once

#include "Dialog.h"
#include "GfxOutBarCtrl.h"
#include "Splitter.h"

#include <string>

namespace setupwin {

class CParamPage;

class CAfcSetupDlg : public fw::CDialog {
public:
    CAfcSetupDlg();
    ~CAfcSetupDlg() override;

    void SetConfigPath(const char* path) { m_path = path != nullptr ? path : ""; }
    void SetChipPage(int chipPage) { m_chipPage = chipPage; }
    const std::string& ConfigPath() const { return m_path; }
    int ChipPage() const { return m_chipPage; }
    const std::string& Title() const { return m_title; }

    int HelpViewId() const { return m_helpViewId; }
    int ParamViewId() const { return m_paramViewId; }
    int AboutViewId() const { return m_aboutViewId; }

    // Writes the parameter page's keys; false when a field failed its
    // validation (nothing written, the page shown with the focus on it) or
    // the file could not be written (a message names the file and the
    // system's reason; the edits stay in the page).
    bool SaveParams();

protected:
    int OnCreate(CREATESTRUCTW* create) override;
    BOOL OnInitDialog() override;
    void OnPaint() override;
    void OnOK() override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    LRESULT OnBarNotify(WPARAM code, LPARAM arg);
    CParamPage* ParamPage() const;
    void CreateBar();
    void PaintCaption(HDC dc) const;
    void ShowWriteFailure(const CParamPage& page) const;

    std::string m_path;
    int m_chipPage = 1;
    std::string m_title;
    fw::CSwitchSplitterWnd m_splitter;
    bar::CGfxOutBarCtrl m_bar;
    fw::ImageList m_smallImages;
    fw::ImageList m_largeImages;
    fw::Icon m_bigIcon;
    fw::Icon m_smallIcon;
    int m_helpViewId = -1;
    int m_paramViewId = -1;
    int m_aboutViewId = -1;
};

} // namespace setupwin
