#include "ReportReading.h"

#include "FileSystem.h"
#include "ReportDocument.h"

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
    return doc.OnOpenDocument(file == "-" ? "/dev/stdin" : file);
}

} // namespace tvl
