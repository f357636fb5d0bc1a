// The about box: the program's name and version, a second line and the credits.
// A new box is made for every request and shown modally over the main window.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

class CAboutBoxDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutBoxDlg(QWidget* parent = nullptr);

    QString m_strVersion;    // "Tovaline v" and the version, e.g. "Tovaline v1.0"
    QString m_strSecondLine;

    QLabel* VersionLabel() const { return m_version; }
    QLabel* SecondLineLabel() const { return m_secondLine; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_version;
    QLabel* m_secondLine;
};
