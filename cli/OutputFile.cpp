#include "OutputFile.h"

#include "AtomicFile.h"
#include "CommandLine.h"
#include "OutputStream.h"
#include "ReportFile.h"
#include "ReportText.h"

#include <ostream>

namespace tvl::cli {

bool WriteOutputFile(const std::string& name, const std::function<void(std::ostream&)>& print, std::ostream& err)
{
    AtomicFile file;
    file.RefuseFilesBeginningWith(std::string(kReportMagic));
    if (file.Begin(name)) {
        FdOutputBuf buf(file.Fd());
        {
            std::ostream out(&buf);
            print(out);
        }
        if (!buf.Close())
            file.SetWriteError(buf.Errno());
        if (file.Commit())
            return true;
    }
    const bool created = file.FailedStage() == AtomicFile::Stage::Create;
    err << ProgramName() << ": " << (created ? "cannot create " : "cannot write ") << Printable(name) << ": "
        << file.Reason();
    if (!created)
        err << (file.Existed() ? " The file on disc was left as it was." : " Nothing was written.");
    err << "\n";
    return false;
}

bool WriteOutput(const std::string& name, std::ostream& out, const std::function<void(std::ostream&)>& print,
                 std::ostream& err)
{
    if (name == "-") {
        print(out);
        return true;
    }
    return WriteOutputFile(name, print, err);
}

} // namespace tvl::cli
