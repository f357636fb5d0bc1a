// The small window shown while a report file is read: a bold line naming the drive
// being loaded, a line with the folder, a bar and its percent text. A modeless tool
// window without a close button, created hidden once and reused.
#pragma once

#include "Progress.h"
#include "ProgressWindow.h"

#include <QFont>

#include <string>

class QLabel;
class QProgressBar;

class CLoadProgressDlg : public ProgressWindow, public tvl::ILoadProgress {
    Q_OBJECT
public:
    explicit CLoadProgressDlg(QWidget* parent = nullptr);

    void SetCaption(const std::string& text) override;
    void SetStepText(const std::string& text) override;
    // Called once per folder read: shown at most every kTextIntervalMs, and at once
    // on Redraw and Hide. One line, elided in the middle.
    void SetPathText(const std::string& text) override;
    void SetProgress(int nPos, int nTotal) override;
    void Show() override;
    void Hide() override;
    void Redraw() override;
    void ShowPendingText() override;

    QLabel* m_wndPercent = nullptr;
    QProgressBar* m_wndProgress = nullptr;
    ElidedLabel* m_wndPath = nullptr;
    QLabel* m_wndStep = nullptr;
    QFont m_fontBold;

private:
    ThrottledText m_path;
};
