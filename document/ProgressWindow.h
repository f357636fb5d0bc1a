// What the two progress windows share: an un-closable modeless tool window that is
// really on the screen when its user goes on working, texts that change once per
// folder but reach the screen at a bounded rate, and the bar with its percent text.
//
// The users of these windows do their work on the user-interface thread and let
// events through rarely (a scan about once a second, a load never), so a window that
// merely asks to be painted would stay black. Show waits (bounded) until the window
// has been painted once; after that every change that matters is painted at once.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>

#include <string>
#include <vector>

class QEventLoop;
class QProgressBar;

// A one-line label that elides its text in the middle ("C:\tmp\…\deep\d\") instead
// of breaking it or cutting it at the right. text() stays the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;
    // The text as it is drawn in the label's present width.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The caption line at the top of a progress window. The windows carry no frame of the
// window manager, because every window manager would offer buttons there (minimise,
// maximise, close) that these windows cannot honour; this line shows the caption
// instead, and dragging it moves the window.
class CaptionBar : public QLabel {
    Q_OBJECT
public:
    explicit CaptionBar(QWidget* parent);
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPoint m_dragOffset;
    bool m_bDragging = false;
};

class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    // The longest a Show waits for the window to be painted (a window manager that
    // never maps the window must not stop the work).
    static constexpr int kPaintWaitMs = 500;
    // Texts that change once per folder reach the screen at most this often.
    static constexpr qint64 kTextIntervalMs = 50;

    explicit ProgressWindow(QWidget* parent = nullptr);

    // How often the window has been painted since it was last shown (0: never yet).
    int PaintsSinceShown() const { return m_nPaints; }
    // The caption line (the window title is set as well, for task lists).
    CaptionBar* Caption() const { return m_pCaption; }

protected:
    // Puts the window's own content below the caption line (once, from the constructor).
    void SetContent(QWidget* content);
    void SetCaptionText(const std::string& text);

    // A text put on the screen at a bounded rate: the latest one is remembered and
    // written when the interval has passed, and at once on Redraw, Hide and Show.
    // Whenever the window is painted (a new percentage, a redraw, the window system)
    // the latest texts go with it, so the screen never shows a text older than the bar.
    struct ThrottledText {
        QLabel* label = nullptr;
        std::string text;
        bool dirty = false;
    };
    // Registers a throttled text; it must live as long as the window.
    void AddThrottledText(ThrottledText& t, QLabel* label);
    void SetThrottledText(ThrottledText& t, const std::string& text);
    // Sets a text that changes rarely (a step line) and paints it at once; the next
    // throttled text then follows at once too.
    void SetTextNow(QLabel& label, const std::string& text);
    // Shows nPos of nTotal on the bar and the percent label; the widgets are touched
    // only when what they show changes, and painted at the bounded rate.
    void ShowPercent(QProgressBar& bar, QLabel& percent, int nPos, int nTotal);

    // Show, Hide and Redraw of the two windows' interfaces.
    void ShowWindowPainted();
    void HideWindow();
    void RedrawWindow();
    // Puts texts not yet shown on the screen now (before a wait that lets no events through).
    void ShowPendingTexts();

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // The user cannot close the window (no close button, and Alt+F4 or Esc do nothing).
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void FlushTexts();
    bool HasPendingText() const;
    // Paints the window now if it is on screen and the interval has passed (or force).
    void PaintNow(bool force);
    void WaitUntilPainted();

    CaptionBar* m_pCaption;
    std::vector<ThrottledText*> m_throttled;
    QElapsedTimer m_textTimer;
    QElapsedTimer m_paintTimer;
    int m_nPaints = 0;
    bool m_bFlushNextText = false; // the next throttled text is shown at once
    QEventLoop* m_pWaitLoop = nullptr;
    int m_nLastBarPos = -1;
    std::string m_strLastPercent;
};
