// The modal setup window: the bar on the left, the chip's pages on the right,
// OK / Cancel / Apply below.
#pragma once

#include "Dialog.h"
#include "GfxOutBarCtrl.h"
#include "Splitter.h"

#include <string>

class CParamPage;

class CAfcSetupDlg : public fw::CDialog {
public:
    CAfcSetupDlg();
    ~CAfcSetupDlg() override;

    void SetConfigPath(const char* path) { path_ = path != nullptr ? path : ""; }
    void SetChipPage(int chipPage) { chipPage_ = chipPage; }
    const std::string& ConfigPath() const { return path_; }
    int ChipPage() const { return chipPage_; }
    const std::string& Title() const { return title_; }

    int HelpViewId() const { return helpViewId_; }
    int ParamViewId() const { return paramViewId_; }
    int AboutViewId() const { return aboutViewId_; }

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

    std::string path_;
    int chipPage_ = 1;
    std::string title_;
    fw::CSwitchSplitterWnd splitter_;
    bar::CGfxOutBarCtrl bar_;
    fw::ImageList smallImages_;
    fw::ImageList largeImages_;
    fw::Icon bigIcon_;
    fw::Icon smallIcon_;
    int helpViewId_ = -1;
    int paramViewId_ = -1;
    int aboutViewId_ = -1;
};
