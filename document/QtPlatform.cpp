#include "QtPlatform.h"

#include <QCoreApplication>
#include <QMessageBox>

QString ToQString(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void QtMessageSink::ShowMessage(const std::string& caption, const std::string& text, tvl::MessageIcon icon)
{
    QMessageBox box(icon == tvl::MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information,
                    ToQString(caption), ToQString(text), QMessageBox::Ok, m_owner.data());
    box.exec();
}

void QtEventPump::ProcessPendingEvents()
{
    QCoreApplication::processEvents();
}
