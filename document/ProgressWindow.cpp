#include "ProgressWindow.h"

#include "Progress.h"
#include "QtPlatform.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QPainter>
#include <QProgressBar>
#include <QStyle>
#include <QTimer>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWindow>
#include <qdrawutil.h>

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

CaptionBar::CaptionBar(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("caption"));
    QFont f = font();
    f.setBold(true);
    setFont(f);
    setMargin(4);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setFixedHeight(fontMetrics().height() + 2 * margin() + 2);
    setCursor(Qt::SizeAllCursor);
}

QSize CaptionBar::minimumSizeHint() const
{
    return QSize(0, height());
}

void CaptionBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool active = window()->isActiveWindow();
    painter.fillRect(rect(), palette().color(active ? QPalette::Active : QPalette::Inactive, QPalette::Highlight));
    painter.setPen(palette().color(active ? QPalette::Active : QPalette::Inactive, QPalette::HighlightedText));
    const QRect r = rect().adjusted(margin(), 0, -margin(), 0);
    painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(text(), Qt::ElideRight, r.width()));
}

void CaptionBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QLabel::mousePressEvent(event);
    // Where the window system can move the window itself, it does (it then also
    // keeps the window on the screen); otherwise the window follows the mouse.
    QWindow* handle = window()->windowHandle();
    m_bDragging = !(handle && handle->startSystemMove());
    m_dragOffset = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void CaptionBar::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bDragging && (event->buttons() & Qt::LeftButton))
        window()->move(event->globalPosition().toPoint() - m_dragOffset);
    else
        QLabel::mouseMoveEvent(event);
}

ProgressWindow::ProgressWindow(QWidget* parent) : QDialog(parent), m_pCaption(new CaptionBar(this))
{
    // No frame of the window manager, which would offer minimise, maximise and close
    // buttons that do nothing here; the caption line stands in for its title bar.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setModal(false);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->setSpacing(0);
    outer->addWidget(m_pCaption);
    m_textTimer.start();
    m_paintTimer.start();
}

void ProgressWindow::SetContent(QWidget* content)
{
    auto* box = new QVBoxLayout;
    const int m = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    box->setContentsMargins(m, m, m, m);
    box->addWidget(content);
    static_cast<QVBoxLayout*>(layout())->addLayout(box);
}

void ProgressWindow::SetCaptionText(const std::string& text)
{
    const QString s = ToQString(text);
    setWindowTitle(s);
    if (m_pCaption->text() == s)
        return;
    m_pCaption->setText(s);
    PaintNow(true);
}

void ProgressWindow::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        m_pCaption->update();
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
    // The first text after Show or a new step line goes on the screen at once, later
    // ones at the bounded rate.
    if (m_bFlushNextText || m_textTimer.elapsed() >= kTextIntervalMs) {
        const bool first = m_bFlushNextText;
        m_bFlushNextText = false;
        FlushTexts();
        PaintNow(first);
    }
}

bool ProgressWindow::HasPendingText() const
{
    for (const ThrottledText* t : m_throttled)
        if (t->dirty)
            return true;
    return false;
}

void ProgressWindow::ShowPendingTexts()
{
    if (!HasPendingText())
        return;
    FlushTexts();
    PaintNow(true);
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
    // A new step or drive: its first folder follows at once.
    m_bFlushNextText = true;
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
    if (HasPendingText())
        FlushTexts(); // the latest text goes on the screen with what is painted
    repaint();
    m_paintTimer.restart();
}

void ProgressWindow::ShowWindowPainted()
{
    FlushTexts();
    show();
    raise();
    WaitUntilPainted();
    m_bFlushNextText = true;
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

bool ProgressWindow::event(QEvent* event)
{
    // A paint the window system or a queued update asked for: the latest texts go with it.
    if (event->type() == QEvent::UpdateRequest && HasPendingText())
        FlushTexts();
    return QDialog::event(event);
}

void ProgressWindow::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // The window's own raised edge, where the window manager's frame would be.
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), false);
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
