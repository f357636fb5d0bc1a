#include "CLoadProgressDlg.h"

#include "ProgressWindow.h"
#include "QtPlatform.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

CLoadProgressDlg::CLoadProgressDlg(QWidget* parent) : QDialog(parent)
{
    tvl::progress_window::MakeToolWindow(*this);

    auto* group = new QGroupBox(this);
    auto* box = new QVBoxLayout(group);
    m_wndStep = new QLabel(group);
    m_wndPath = new QLabel(group);
    m_wndPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_wndProgress = new QProgressBar(group);
    m_wndProgress->setRange(0, 100);
    m_wndProgress->setValue(0);
    m_wndProgress->setTextVisible(false);
    m_wndProgress->setFixedHeight(14);
    m_wndPercent = new QLabel(group);
    m_wndPercent->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    box->addWidget(m_wndStep);
    box->addWidget(m_wndPath);
    box->addWidget(m_wndProgress);
    box->addWidget(m_wndPercent);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);
    setMinimumWidth(320);

    m_fontBold = font();
    m_fontBold.setBold(true);
    m_wndStep->setFont(m_fontBold);
    m_pathTimer.start();
}

void CLoadProgressDlg::SetCaption(const std::string& text)
{
    setWindowTitle(ToQString(text));
}

void CLoadProgressDlg::SetStepText(const std::string& text)
{
    m_wndStep->setText(ToQString(text));
}

void CLoadProgressDlg::SetPathText(const std::string& text)
{
    m_strPath = text;
    m_bPathDirty = true;
    if (m_pathTimer.elapsed() >= kPathIntervalMs)
        FlushPath();
}

void CLoadProgressDlg::FlushPath()
{
    if (m_bPathDirty) {
        m_wndPath->setText(ToQString(m_strPath));
        m_bPathDirty = false;
    }
    m_pathTimer.restart();
}

void CLoadProgressDlg::SetProgress(int nPos, int nTotal)
{
    tvl::progress_window::ShowPercent(*m_wndProgress, *m_wndPercent, nPos, nTotal, m_nLastBarPos, m_strLastPercent);
}

void CLoadProgressDlg::Show()
{
    FlushPath();
    show();
    raise();
}

void CLoadProgressDlg::Hide()
{
    FlushPath();
    hide();
}

void CLoadProgressDlg::Redraw()
{
    FlushPath();
    if (isVisible())
        repaint();
}

void CLoadProgressDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void CLoadProgressDlg::reject()
{
}
