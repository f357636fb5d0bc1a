#include "CLoadProgressDlg.h"

#include "ProgressWindow.h"
#include "QtPlatform.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

CLoadProgressDlg::CLoadProgressDlg(QWidget* parent) : ProgressWindow(parent)
{
    auto* group = new QGroupBox(this);
    auto* box = new QVBoxLayout(group);
    m_fontBold = font();
    m_fontBold.setBold(true);
    m_wndStep = new QLabel(group);
    m_wndStep->setFont(m_fontBold);
    // Room for the longest step line in bold ("Loading report for drive X:").
    m_wndStep->setMinimumWidth(QFontMetrics(m_fontBold).horizontalAdvance(QStringLiteral("Loading report for drive W:")) + 2);
    m_wndPath = new ElidedLabel(group);
    m_wndPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_wndProgress = new QProgressBar(group);
    m_wndProgress->setRange(0, 100);
    m_wndProgress->setValue(0);
    m_wndProgress->setTextVisible(false);
    m_wndProgress->setFixedHeight(14);
    m_wndPercent = new QLabel(group);
    m_wndPercent->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // One line high: the percent text ends in a line break.
    m_wndPercent->setFixedHeight(fontMetrics().height());
    box->addWidget(m_wndStep);
    box->addWidget(m_wndPath);
    box->addWidget(m_wndProgress);
    box->addWidget(m_wndPercent);
    AddThrottledText(m_path, m_wndPath);

    SetContent(group);
    setMinimumWidth(320);
}

void CLoadProgressDlg::SetCaption(const std::string& text)
{
    SetCaptionText(text);
}

void CLoadProgressDlg::SetStepText(const std::string& text)
{
    SetTextNow(*m_wndStep, text);
}

void CLoadProgressDlg::SetPathText(const std::string& text)
{
    SetThrottledText(m_path, text);
}

void CLoadProgressDlg::SetProgress(int nPos, int nTotal)
{
    ShowPercent(*m_wndProgress, *m_wndPercent, nPos, nTotal);
}

void CLoadProgressDlg::Show()
{
    ShowWindowPainted();
}

void CLoadProgressDlg::Hide()
{
    HideWindow();
}

void CLoadProgressDlg::Redraw()
{
    RedrawWindow();
}

void CLoadProgressDlg::ShowPendingText()
{
    ShowPendingTexts();
}
