#include "InfoCommand.h"

#include "ReportDocument.h"
#include "ReportInfo.h"
#include "ReportText.h"

#include <CLI/CLI.hpp>

#include <iomanip>
#include <memory>
#include <ostream>

namespace tvl::cli {

void PrintReportInfo(std::ostream& out, const ReportDocument& doc)
{
    for (const ReportInfoLine& l : ReportInfoLines(doc)) {
        switch (l.kind) {
        case ReportInfoLine::Report:
            out << std::left << std::setw(11) << (l.label + ":") << Printable(l.value) << "\n";
            break;
        case ReportInfoLine::Drive:
            out << "\n" << l.label << "\n";
            break;
        case ReportInfoLine::DriveFact:
            out << "  " << std::left << std::setw(13) << (l.label + ":") << Printable(l.value) << "\n";
            break;
        }
    }
}

CommandAction DeclareInfoCommand(CLI::App& command)
{
    auto file = std::make_shared<std::string>();
    command.footer("A report made before its program kept scan facts says that they are not known.\n");
    command.add_option("REPORT", *file, "the report file ('-': standard input)")->required();
    return [file](CommandIo& io) {
        ReportFileEnvironment files(io.err);
        ReportDocument doc(files.Env());
        if (!ReportFileEnvironment::Open(doc, *file))
            return static_cast<int>(kFailed);
        PrintReportInfo(io.out, doc);
        return static_cast<int>(kOk);
    };
}

} // namespace tvl::cli
