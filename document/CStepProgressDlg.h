// The five-step window shown while a drive is scanned: the five steps with the current
// one in bold, a vertical bar with its percent text, and a status line with the folder
// being worked on. A modeless tool window without a close button, created hidden once
// and reused for every scan.
#pragma once

#include "Progress.h"
#include "ProgressWindow.h"

#include <QFont>

#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

class CStepProgressDlg : public ProgressWindow, public tvl::IStepProgress {
    Q_OBJECT
public:
    explicit CStepProgressDlg(QWidget* parent = nullptr);

    void SetCaption(const std::string& text) override;
    void SetStep1Text(const std::string& text) override;
    // Called once per folder: the text is remembered and put on the screen at most
    // every kTextIntervalMs, and at once on Redraw, SetStep and Hide. One line,
    // elided in the middle when the path is longer than the window is wide.
    void SetStatus(const std::string& text) override;
    void SetStep(int nStep) override;
    void SetProgress(int nPos, int nTotal) override;
    void Show() override;
    void Hide() override;
    void Redraw() override;
    void ShowPendingText() override;

    QLabel* m_wndStep5 = nullptr;
    QLabel* m_wndStep4 = nullptr;
    QLabel* m_wndStep3 = nullptr;
    QLabel* m_wndStep2 = nullptr;
    QLabel* m_wndStep1 = nullptr;
    ElidedLabel* m_wndStatus = nullptr;
    QProgressBar* m_wndProgress = nullptr;
    QLabel* m_wndPercent = nullptr;
    QFont m_fontBold;

    QPushButton* m_wndStop = nullptr; // "Stop": ends the scan, keeping what was read

    // The label of step 1..5, or null.
    QLabel* StepLabel(int nStep) const;

    // What "Stop", Escape in this window and Escape in the main window do: the button
    // is disabled and the status line says "Stopping..." at once (painted before the
    // scan goes on), then stopRequested is emitted. Further presses do nothing until
    // the next Show. The scan still sums up what it read; the window goes away as soon
    // as that takes longer than kStoppingShownMs, rather than wait for the end.
    void RequestStop();
    bool IsStopping() const { return m_bStopping; }
    static constexpr qint64 kStoppingShownMs = 300;

signals:
    // "Stop" was clicked or Escape pressed while the window is shown.
    void stopRequested();

protected:
    // Escape does not close the window (its user hides it); it asks the scan to stop.
    void reject() override;

private:
    // After a stop: hides the window once kStoppingShownMs have passed. True while the
    // window is gone for that reason, so that the scan's last calls paint nothing.
    bool ClosedAfterStop();

    ThrottledText m_status;
    bool m_bStopping = false;
    QElapsedTimer m_stopTimer;
};
