#include "ProgressWindow.h"

#include "Progress.h"
#include "QtPlatform.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QPainter>
#include <QProgressBar>
#include <QStyle>
#include <QTimer>

QSize ElidedLabel::minimumSizeHint() const
{
    const QMargins m = contentsMargins();
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("C:\\…\\")) + m.left() + m.right(),
                 fontMetrics().height() + m.top() + m.bottom());
}

QSize ElidedLabel::sizeHint() const
{
    return minimumSizeHint();
}

QString ElidedLabel::ShownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width() - 2 * margin() - 2);
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect r = contentsRect().adjusted(margin() + 1, margin(), -margin() - 1, -margin());
    style()->drawItemText(&painter, r, int(alignment()) | Qt::TextSingleLine, palette(), isEnabled(), ShownText(),
                          foregroundRole());
}

ProgressWindow::ProgressWindow(QWidget* parent) : QDialog(parent)
{
    // A title, but neither system menu nor minimise, maximise or close buttons.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
    m_textTimer.start();
    m_paintTimer.start();
}

void ProgressWindow::AddThrottledText(ThrottledText& t, QLabel* label)
{
    t.label = label;
    m_throttled.push_back(&t);
}

void ProgressWindow::SetThrottledText(ThrottledText& t, const std::string& text)
{
    t.text = text;
    t.dirty = true;
    if (m_textTimer.elapsed() >= kTextIntervalMs) {
        FlushTexts();
        PaintNow(false);
    }
}

void ProgressWindow::FlushTexts()
{
    for (ThrottledText* t : m_throttled)
        if (t->dirty) {
            t->label->setText(ToQString(t->text));
            t->dirty = false;
        }
    m_textTimer.restart();
}

void ProgressWindow::SetTextNow(QLabel& label, const std::string& text)
{
    const QString s = ToQString(text);
    if (label.text() == s)
        return;
    label.setText(s);
    PaintNow(true);
}

void ProgressWindow::ShowPercent(QProgressBar& bar, QLabel& percent, int nPos, int nTotal)
{
    const tvl::PercentDisplay d = tvl::ComputePercent(nPos, nTotal);
    bool changed = false;
    if (d.barPos != m_nLastBarPos) {
        bar.setValue(d.barPos);
        m_nLastBarPos = d.barPos;
        changed = true;
    }
    if (d.text != m_strLastPercent) {
        percent.setText(ToQString(d.text));
        m_strLastPercent = d.text;
        changed = true;
    }
    if (changed)
        PaintNow(false);
}

void ProgressWindow::PaintNow(bool force)
{
    // Until the window has been painted once (it is not mapped yet) a repaint would
    // draw into nothing; the first expose paints everything.
    if (!isVisible() || m_nPaints == 0)
        return;
    if (!force && m_paintTimer.elapsed() < kTextIntervalMs)
        return;
    repaint();
    m_paintTimer.restart();
}

void ProgressWindow::ShowWindowPainted()
{
    FlushTexts();
    show();
    raise();
    WaitUntilPainted();
}

void ProgressWindow::HideWindow()
{
    FlushTexts();
    hide();
}

void ProgressWindow::RedrawWindow()
{
    FlushTexts();
    if (!isVisible())
        return;
    if (m_nPaints == 0)
        WaitUntilPainted();
    else
        PaintNow(true);
}

void ProgressWindow::WaitUntilPainted()
{
    if (m_nPaints > 0 || !isVisible() || m_pWaitLoop)
        return;
    // Only what the window system sends for painting and the timer are let through:
    // input stays queued, so no command can start in the middle of the work.
    QEventLoop loop;
    m_pWaitLoop = &loop;
    QTimer::singleShot(kPaintWaitMs, &loop, &QEventLoop::quit);
    if (m_nPaints == 0)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    m_pWaitLoop = nullptr;
}

void ProgressWindow::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    ++m_nPaints;
    m_paintTimer.restart();
    if (m_pWaitLoop)
        m_pWaitLoop->quit();
}

void ProgressWindow::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    // Shown again, the window must be exposed again before a repaint reaches the screen.
    m_nPaints = 0;
}

void ProgressWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void ProgressWindow::reject()
{
    // Esc does not close the window; its user hides it.
}
