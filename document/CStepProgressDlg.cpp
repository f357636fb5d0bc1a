#include "CStepProgressDlg.h"

#include "ProgressWindow.h"
#include "QtPlatform.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CStepProgressDlg::CStepProgressDlg(QWidget* parent) : QDialog(parent)
{
    tvl::progress_window::MakeToolWindow(*this);

    auto* group = new QGroupBox(this);
    auto* grid = new QGridLayout(group);
    m_wndStep1 = new QLabel(QStringLiteral("Step 1: Reading disc structure"), group);
    m_wndStep2 = new QLabel(QStringLiteral("Step 2: Retrieving disc space of folders"), group);
    m_wndStep3 = new QLabel(QStringLiteral("Step 3: Adding up sub folder spaces"), group);
    m_wndStep4 = new QLabel(QStringLiteral("Step 4: Calculation of space data"), group);
    m_wndStep5 = new QLabel(QStringLiteral("Step 5: Sorting"), group);
    QLabel* steps[] = {m_wndStep1, m_wndStep2, m_wndStep3, m_wndStep4, m_wndStep5};
    for (int i = 0; i < 5; ++i)
        grid->addWidget(steps[i], i, 0);

    m_wndProgress = new QProgressBar(group);
    m_wndProgress->setOrientation(Qt::Vertical);
    m_wndProgress->setRange(0, 100);
    m_wndProgress->setValue(0);
    m_wndProgress->setTextVisible(false);
    m_wndProgress->setFixedWidth(16);
    grid->addWidget(m_wndProgress, 0, 2, 5, 1);

    m_wndPercent = new QLabel(group);
    m_wndPercent->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_wndPercent->setMinimumWidth(40);
    // One line high: the trailing line break of the percent text must not push the
    // step lines apart.
    m_wndPercent->setFixedHeight(fontMetrics().height());
    grid->addWidget(m_wndPercent, 4, 1);

    m_wndStatus = new QLabel(group);
    m_wndStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_wndStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_wndStatus->setWordWrap(true);
    // Long paths must not widen the window.
    m_wndStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_wndStatus->setFixedHeight(2 * fontMetrics().height() + 8);
    grid->addWidget(m_wndStatus, 5, 0, 1, 3);
    grid->setColumnStretch(0, 1);

    m_wndStop = new QPushButton(QStringLiteral("Stop"), group);
    m_wndStop->setAutoDefault(false);
    m_wndStop->setToolTip(QStringLiteral("Ends the scan and keeps the folders read so far."));
    grid->addWidget(m_wndStop, 6, 0, 1, 3, Qt::AlignRight);
    connect(m_wndStop, &QPushButton::clicked, this, &CStepProgressDlg::stopRequested);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);
    setMinimumWidth(440);

    m_fontBold = font();
    m_fontBold.setBold(true);
    m_statusTimer.start();
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
    setWindowTitle(ToQString(text));
}

void CStepProgressDlg::SetStep1Text(const std::string& text)
{
    m_wndStep1->setText(ToQString(text));
}

void CStepProgressDlg::SetStatus(const std::string& text)
{
    m_strStatus = text;
    m_bStatusDirty = true;
    if (m_statusTimer.elapsed() >= kStatusIntervalMs)
        FlushStatus();
}

void CStepProgressDlg::FlushStatus()
{
    if (m_bStatusDirty) {
        m_wndStatus->setText(ToQString(m_strStatus));
        m_bStatusDirty = false;
    }
    m_statusTimer.restart();
}

void CStepProgressDlg::SetStep(int nStep)
{
    FlushStatus();
    for (int i = 1; i <= 5; ++i)
        StepLabel(i)->setFont(i == nStep ? m_fontBold : font());
}

void CStepProgressDlg::SetProgress(int nPos, int nTotal)
{
    tvl::progress_window::ShowPercent(*m_wndProgress, *m_wndPercent, nPos, nTotal, m_nLastBarPos, m_strLastPercent);
}

void CStepProgressDlg::Show()
{
    FlushStatus();
    show();
    raise();
}

void CStepProgressDlg::Hide()
{
    FlushStatus();
    hide();
}

void CStepProgressDlg::Redraw()
{
    FlushStatus();
    if (isVisible())
        repaint();
}

void CStepProgressDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void CStepProgressDlg::reject()
{
    // Escape does not close the window (its user hides it); it asks the scan to stop.
    if (isVisible())
        emit stopRequested();
}
