#include "ReportProperties.h"

#include "ReportDocument.h"
#include "ReportInfo.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

void ShowReportProperties(QWidget* parent, const tvl::ReportDocument& doc)
{
    QDialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Report properties"));
    auto* layout = new QVBoxLayout(&dlg);
    QFormLayout* form = nullptr;
    auto newForm = [&] {
        form = new QFormLayout;
        form->setLabelAlignment(Qt::AlignLeft);
        layout->addLayout(form);
    };
    newForm();
    for (const tvl::ReportInfoLine& l : tvl::ReportInfoLines(doc)) {
        if (l.kind == tvl::ReportInfoLine::Drive) {
            auto* heading = new QLabel(QString::fromStdString(l.label));
            QFont bold = heading->font();
            bold.setBold(true);
            heading->setFont(bold);
            layout->addSpacing(8);
            layout->addWidget(heading);
            newForm();
            continue;
        }
        // Paths are bytes as the file system gave them; decoded for display only.
        auto* value = new QLabel(QFile::decodeName(QByteArray::fromStdString(l.value)));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setTextFormat(Qt::PlainText);
        value->setWordWrap(true);
        form->addRow(QString::fromStdString(l.label) + QLatin1Char(':'), value);
    }
    layout->addStretch(1); // the rows keep their height when the window grows
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    layout->addWidget(buttons);
    dlg.setMinimumWidth(480);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    dlg.exec();
}
