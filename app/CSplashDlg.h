// The splash window of the start: the splash picture with the program's name and
// version drawn over it with drop shadows. It closes on the first click of either
// mouse button, on Enter or Esc, or after four seconds.
#pragma once

#include <QDialog>

class QTimer;

class CSplashDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 4000;

    explicit CSplashDlg(QWidget* parent = nullptr);

    QTimer* Timer() const { return m_timer; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTimer* m_timer;
};

// The texts drawn on the splash picture.
extern const char* const kSplashSecondLine;
extern const char* const kSplashCredits;
