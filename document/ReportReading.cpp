#include "ReportReading.h"

#include "FileSystem.h"
#include "ReportDocument.h"
#include "ReportFile.h"

namespace tvl {

ReportReadingEnvironment::ReportReadingEnvironment()
    : m_env{RealFileSystem(), m_noDrives, m_quiet, m_recorded, m_pump}
{
}

ReportReadingEnvironment::ReportReadingEnvironment(IMessageSink& messages)
    : m_env{RealFileSystem(), m_noDrives, m_quiet, messages, m_pump}
{
}

bool ReportReadingEnvironment::Open(ReportDocument& doc, const std::string& file)
{
    const bool ok = doc.OnOpenDocument(file == "-" ? "/dev/stdin" : file);
    // A damaged extension block: the report opened without it, and the user hears why.
    if (ok && !doc.m_strOpenWarning.empty())
        doc.Environment().messages.ShowMessage(kCaptionOpen, doc.m_strOpenWarning, MessageIcon::Information);
    return ok;
}

} // namespace tvl
