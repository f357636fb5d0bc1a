#include "CStepProgressDlg.h"

#include "ProgressWindow.h"
#include "QtPlatform.h"
#include "Scan.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

CStepProgressDlg::CStepProgressDlg(QWidget* parent) : ProgressWindow(parent)
{
    auto* group = new QGroupBox(this);
    auto* grid = new QGridLayout(group);
    m_fontBold = font();
    m_fontBold.setBold(true);
    // Every step line is wide enough for the longest step text in bold.
    const QFontMetrics bold(m_fontBold);
    int widest = bold.horizontalAdvance(QString::fromLatin1(tvl::kStepTexts[0]) + QString::fromLatin1(tvl::kStep1Ranking));
    for (const char* text : tvl::kStepTexts)
        widest = std::max(widest, bold.horizontalAdvance(QString::fromLatin1(text)));
    QLabel** lines[] = {&m_wndStep1, &m_wndStep2, &m_wndStep3, &m_wndStep4, &m_wndStep5};
    for (int i = 0; i < 5; ++i) {
        *lines[i] = new QLabel(QString::fromLatin1(tvl::kStepTexts[i]), group);
        (*lines[i])->setMinimumWidth(widest + 2);
        grid->addWidget(*lines[i], i, 0);
    }

    m_wndProgress = new QProgressBar(group);
    m_wndProgress->setOrientation(Qt::Vertical);
    m_wndProgress->setRange(0, 100);
    m_wndProgress->setValue(0);
    m_wndProgress->setTextVisible(false);
    m_wndProgress->setFixedWidth(16);
    grid->addWidget(m_wndProgress, 0, 2, 5, 1);

    m_wndPercent = new QLabel(group);
    m_wndPercent->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_wndPercent->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 4);
    // One line high: the trailing line break of the percent text must not push the
    // step lines apart.
    m_wndPercent->setFixedHeight(fontMetrics().height());
    grid->addWidget(m_wndPercent, 4, 1);

    m_wndStatus = new ElidedLabel(group);
    m_wndStatus->setObjectName(QStringLiteral("status"));
    m_wndStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_wndStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Long paths must not widen the window; they elide instead.
    m_wndStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_wndStatus->setFixedHeight(fontMetrics().height() + 8);
    grid->addWidget(m_wndStatus, 5, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    AddThrottledText(m_status, m_wndStatus);

    m_wndStop = new QPushButton(QStringLiteral("Stop"), group);
    m_wndStop->setAutoDefault(false);
    m_wndStop->setToolTip(QStringLiteral("Ends the scan and keeps the folders read so far."));
    grid->addWidget(m_wndStop, 6, 0, 1, 3, Qt::AlignRight);
    connect(m_wndStop, &QPushButton::clicked, this, &CStepProgressDlg::RequestStop);

    SetContent(group);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

QLabel* CStepProgressDlg::StepLabel(int nStep) const
{
    switch (nStep) {
    case 1: return m_wndStep1;
    case 2: return m_wndStep2;
    case 3: return m_wndStep3;
    case 4: return m_wndStep4;
    case 5: return m_wndStep5;
    default: return nullptr;
    }
}

void CStepProgressDlg::SetCaption(const std::string& text)
{
    SetCaptionText(text);
}

void CStepProgressDlg::SetStep1Text(const std::string& text)
{
    SetTextNow(*m_wndStep1, text);
}

void CStepProgressDlg::SetStatus(const std::string& text)
{
    // "Stopping..." stays until the window goes.
    if (m_bStopping) {
        ClosedAfterStop();
        return;
    }
    SetThrottledText(m_status, text);
}

void CStepProgressDlg::SetStep(int nStep)
{
    if (ClosedAfterStop())
        return;
    for (int i = 1; i <= 5; ++i)
        StepLabel(i)->setFont(i == nStep ? m_fontBold : font());
    RedrawWindow();
}

void CStepProgressDlg::SetProgress(int nPos, int nTotal)
{
    if (ClosedAfterStop())
        return;
    ShowPercent(*m_wndProgress, *m_wndPercent, nPos, nTotal);
}

void CStepProgressDlg::Show()
{
    m_bStopping = false;
    m_wndStop->setEnabled(true);
    ShowWindowPainted();
}

void CStepProgressDlg::Hide()
{
    HideWindow();
}

void CStepProgressDlg::Redraw()
{
    if (ClosedAfterStop())
        return;
    RedrawWindow();
}

void CStepProgressDlg::ShowPendingText()
{
    ShowPendingTexts();
}

void CStepProgressDlg::reject()
{
    RequestStop();
}

void CStepProgressDlg::RequestStop()
{
    if (m_bStopping || !isVisible())
        return;
    m_bStopping = true;
    m_wndStop->setEnabled(false);
    SetThrottledText(m_status, "Stopping...");
    RedrawWindow();
    m_stopTimer.start();
    emit stopRequested();
}

bool CStepProgressDlg::ClosedAfterStop()
{
    if (!m_bStopping)
        return false;
    if (isVisible() && m_stopTimer.elapsed() >= kStoppingShownMs)
        HideWindow();
    return !isVisible();
}
