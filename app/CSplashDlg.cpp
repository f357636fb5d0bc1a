#include "CSplashDlg.h"

#include "Pictures.h"
#include "TovalineVersion.h"

#include <QFont>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

const char* const kSplashSecondLine = "Finds out where the space of your drives has gone";
const char* const kSplashCredits = "Written for the Tovaline project";

CSplashDlg::CSplashDlg(QWidget* parent)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("CSplashDlg"));
    setWindowTitle(QStringLiteral("Tovaline"));
    setFixedSize(417 + 4, 266 + 4); // the picture inside a two-pixel sunken frame
    setModal(true);
    m_timer->setSingleShot(true);
    // A coarse timer may fire up to 5 % early (3.8 s instead of 4); the splash keeps
    // its full time.
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(kTimeoutMs);
    connect(m_timer, &QTimer::timeout, this, &QDialog::accept);
}

void CSplashDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_timer->start();
}

void CSplashDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    // Sunken frame.
    p.setPen(QColor(128, 128, 128));
    p.drawLine(0, 0, width() - 1, 0);
    p.drawLine(0, 0, 0, height() - 1);
    p.setPen(Qt::white);
    p.drawLine(width() - 1, 0, width() - 1, height() - 1);
    p.drawLine(0, height() - 1, width() - 1, height() - 1);
    p.setPen(QColor(64, 64, 64));
    p.drawLine(1, 1, width() - 2, 1);
    p.drawLine(1, 1, 1, height() - 2);

    p.translate(2, 2);
    p.drawPixmap(0, 0, pictures::Splash());
    p.setRenderHint(QPainter::TextAntialiasing);

    // Each text is given by its top-left corner; the white copy sits one pixel up
    // and to the left of its gray shadow.
    auto drawAt = [&p](const QFont& font, const QColor& colour, int x, int y, const QString& text) {
        p.setFont(font);
        p.setPen(colour);
        p.drawText(QPoint(x, y + QFontMetrics(font).ascent()), text);
    };
    QFont title(QStringLiteral("Times New Roman"));
    title.setStyleHint(QFont::Serif);
    title.setPointSize(22);
    QFont version(title);
    version.setPointSize(14);
    QFont small(QStringLiteral("Arial"));
    small.setStyleHint(QFont::SansSerif);
    small.setPointSize(9);

    const QColor shadow(128, 128, 128);
    drawAt(title, shadow, 14, 6, QStringLiteral("Tovaline"));
    drawAt(title, Qt::white, 13, 5, QStringLiteral("Tovaline"));
    drawAt(version, shadow, 15, 37, QStringLiteral("Version " TOVALINE_VERSION));
    drawAt(version, Qt::white, 14, 36, QStringLiteral("Version " TOVALINE_VERSION));
    drawAt(small, QColor(255, 255, 90), 12, 227, QString::fromLatin1(kSplashSecondLine));
    drawAt(small, Qt::white, 12, 242, QString::fromLatin1(kSplashCredits));
}

void CSplashDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        m_timer->stop();
        accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CSplashDlg::keyPressEvent(QKeyEvent* event)
{
    // Enter and Esc close it like any dialog (it has no button to be the default).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_timer->stop();
        accept();
        return;
    }
    if (event->key() == Qt::Key_Escape)
        m_timer->stop();
    QDialog::keyPressEvent(event);
}
