// The small window shown while a report file is read: a bold line naming the drive
// being loaded, a line with the folder, a bar and its percent text. A modeless tool
// window without a close button, created hidden once and reused.
#pragma once

#include "Progress.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFont>

#include <string>

class QLabel;
class QProgressBar;

class CLoadProgressDlg : public QDialog, public tvl::ILoadProgress {
    Q_OBJECT
public:
    explicit CLoadProgressDlg(QWidget* parent = nullptr);

    void SetCaption(const std::string& text) override;
    void SetStepText(const std::string& text) override;
    // Called once per folder read: shown at most every kPathIntervalMs, and at once
    // on Redraw and Hide.
    void SetPathText(const std::string& text) override;
    void SetProgress(int nPos, int nTotal) override;
    void Show() override;
    void Hide() override;
    void Redraw() override;

    QLabel* m_wndPercent = nullptr;
    QProgressBar* m_wndProgress = nullptr;
    QLabel* m_wndPath = nullptr;
    QLabel* m_wndStep = nullptr;
    QFont m_fontBold;

    static constexpr qint64 kPathIntervalMs = 50;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void FlushPath();

    std::string m_strPath;
    bool m_bPathDirty = false;
    QElapsedTimer m_pathTimer;
    int m_nLastBarPos = -1;
    std::string m_strLastPercent;
};
