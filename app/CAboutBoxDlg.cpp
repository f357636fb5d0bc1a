#include "CAboutBoxDlg.h"

#include "Pictures.h"
#include "TovalineVersion.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutBoxDlg::CAboutBoxDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_strVersion(QStringLiteral("Tovaline v" TOVALINE_VERSION))
    , m_strSecondLine(QStringLiteral("Disc space reports, folder by folder"))
    , m_version(new QLabel(QStringLiteral("Tovaline")))
    , m_secondLine(new QLabel)
{
    setObjectName(QStringLiteral("CAboutBoxDlg"));
    setWindowTitle(QStringLiteral("About Tovaline"));
    setModal(true);

    auto* product = new QGroupBox;
    auto* productLayout = new QHBoxLayout(product);
    auto* icon = new QLabel;
    icon->setPixmap(pictures::ProgramIconPixmap(32));
    icon->setFixedSize(40, 40);
    icon->setAlignment(Qt::AlignCenter);
    QFont bold = m_version->font();
    bold.setBold(true);
    m_version->setFont(bold);
    m_version->setObjectName(QStringLiteral("version"));
    m_secondLine->setObjectName(QStringLiteral("secondLine"));
    auto* lines = new QVBoxLayout;
    lines->addWidget(m_version);
    lines->addWidget(m_secondLine);
    productLayout->addWidget(icon);
    productLayout->addLayout(lines, 1);

    auto* credits = new QGroupBox;
    auto* creditsLayout = new QHBoxLayout(credits);
    auto* picture = new QLabel;
    picture->setPixmap(pictures::AboutPicture());
    picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picture->setLineWidth(1);
    picture->setFixedSize(74, 74);
    picture->setAlignment(Qt::AlignCenter);
    auto* creditLines = new QVBoxLayout;
    auto addCredit = [&](const QString& text) {
        auto* l = new QLabel(text);
        l->setAlignment(Qt::AlignCenter);
        creditLines->addWidget(l);
        return l;
    };
    addCredit(QStringLiteral("Designed and written"));
    addCredit(QStringLiteral("by the Tovaline developers"));
    creditLines->addSpacing(6);
    addCredit(QStringLiteral("Thanks to everyone who tested it"));
    auto* note = new QLabel(QStringLiteral("Freeware"));
    note->setEnabled(false); // drawn grayed
    creditLines->addWidget(note);
    creditsLayout->addWidget(picture);
    creditsLayout->addLayout(creditLines, 1);

    auto* ok = new QPushButton(QStringLiteral("Cool!"));
    ok->setObjectName(QStringLiteral("cool"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(product);
    layout->addWidget(credits);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CAboutBoxDlg::showEvent(QShowEvent* event)
{
    // The texts go into their controls when the box opens.
    m_version->setText(m_strVersion);
    m_secondLine->setText(m_strSecondLine);
    QDialog::showEvent(event);
}
