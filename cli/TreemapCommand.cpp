#include "TreemapCommand.h"

#include "CliCommands.h"
#include "DriveMap.h"
#include "FileSystem.h"
#include "NumberFormat.h"
#include "OutputFile.h"
#include "MessagePump.h"
#include "Messages.h"
#include "PngWriter.h"
#include "Progress.h"
#include "ReportDocument.h"
#include "ReportText.h"
#include "TreemapLayout.h"
#include "TreemapRender.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <memory>
#include <cstdio>
#include <ostream>

namespace tvl::cli {

namespace {

void PrintLegend(std::ostream& out, const TreemapLayout& layout)
{
    out << (layout.bByExtension ? "Colours by file extension:\n" : "Colours by top-level folder:\n");
    for (const TreemapLegendEntry& e : layout.legend) {
        const Rgb c = TreemapColour(e.nColour);
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%02x%02x%02x", c.r, c.g, c.b);
        out << "  " << hex << "  " << FormatSize(e.nBytes) << "  " << Printable(e.strLabel) << "\n";
    }
}

} // namespace

std::optional<std::pair<int, int>> ParseTreemapSize(const std::string& text, std::string& error)
{
    const std::size_t x = text.find_first_of("xX");
    int w = 0, h = 0;
    const char* end = text.data() + text.size();
    const bool bShape = x != std::string::npos && x > 0 && x + 1 < text.size() &&
                        std::from_chars(text.data(), text.data() + x, w).ptr == text.data() + x &&
                        std::from_chars(text.data() + x + 1, end, h).ptr == end && text[0] != '-' &&
                        text[x + 1] != '-';
    if (!bShape) {
        error = "the size '" + text + "' is not WIDTHxHEIGHT (for example 1600x1000)";
        return std::nullopt;
    }
    if (w < 1 || h < 1 || w > kMaxTreemapSide || h > kMaxTreemapSide ||
        static_cast<long long>(w) * h > kMaxTreemapPixels) {
        error = "the size '" + text + "' is out of range: each side from 1 to " + std::to_string(kMaxTreemapSide) +
                " pixels, at most " + std::to_string(kMaxTreemapPixels) + " pixels in all";
        return std::nullopt;
    }
    return std::make_pair(w, h);
}

int RunTreemap(const TreemapCommandOptions& options, std::ostream& out, std::ostream& err)
{
    ReportFileEnvironment files(err);
    ReportDocument doc(files.Env());
    if (!ReportFileEnvironment::Open(doc, options.strReport))
        return kFailed;
    const FolderPlace place = FindReportFolder(doc, options.strFolder);
    if (!place.drive) {
        err << "tovaline-cli: " << (options.strFolder.empty() ? std::string("the report holds no folder")
                                                              : "the folder '" + Printable(options.strFolder) +
                                                                    "' is not in the report")
            << "; nothing was written\n";
        return kFailed;
    }
    const FolderRecord& top = *place.drive->Folders()[static_cast<std::size_t>(place.nPos)];
    if (top.strPath.size() < 3 || top.strPath.compare(1, 2, ":\\") != 0) {
        // Only a damaged or crafted report holds such a record.
        err << "tovaline-cli: the report is damaged: "
            << (top.strPath.empty() ? std::string("its first folder has an empty path")
                                    : "the folder path '" + Printable(top.strPath) + "' names no drive")
            << "; nothing was written\n";
        return kFailed;
    }
    TreemapOptions layoutOptions;
    layoutOptions.nWidth = options.nWidth;
    layoutOptions.nHeight = options.nHeight;
    const TreemapTree tree(*place.drive);
    TreemapLayout layout = LayoutTreemap(tree, place.nPos, layoutOptions);
    NameTreemapLegend(layout, *place.drive);
    RgbImage image;
    RenderTreemap(layout, image);
    std::string png;
    if (!EncodePng(image, png)) {
        err << "tovaline-cli: the picture could not be encoded; nothing was written\n";
        return kFailed;
    }
    if (!WriteOutputFile(
            options.strOutput, [&](std::ostream& file) { file.write(png.data(), static_cast<std::streamsize>(png.size())); },
            err))
        return kFailed;
    out << "Treemap of " << Printable(top.strPath) << " (" << FormatSize(top.nSpaceWithSubs) << " bytes, "
        << layout.tiles.size() << " tiles) written to " << Printable(options.strOutput) << "\n";
    PrintLegend(out, layout);
    return kOk;
}

CommandAction DeclareTreemapCommand(CLI::App& command)
{
    auto o = std::make_shared<TreemapCommandOptions>();
    command.footer(
        "A rectangle per folder and file, its area proportional to its size, nested like the\n"
        "folders; colours stand for file extensions (reports with file names) or top-level\n"
        "folders, and their meaning is printed. An existing FILE.png is replaced only by a\n"
        "complete picture.\n");
    command
        .add_option_function<std::string>(
            "-s,--size",
            [o](const std::string& text) {
                std::string error;
                if (auto size = ParseTreemapSize(text, error))
                    o->nWidth = size->first, o->nHeight = size->second;
            },
            "the picture's size in pixels (default 1600x1000)")
        ->type_name("WIDTHxHEIGHT")
        ->check(CLI::Validator(
            [](const std::string& text) {
                std::string error;
                return ParseTreemapSize(text, error) ? std::string() : error;
            },
            ""));
    command.add_option("--folder", o->strFolder, "draw this folder of the report (e.g. \"C:\\home\\me\" or C:/home/me)")
        ->type_name("PATH");
    command.add_option("-o", o->strOutput, "the PNG picture to write")->type_name("FILE.png")->required();
    command.add_option("FILE", o->strReport, "the report file")->required();
    return [o](CommandIo& io) {
        if (const std::string problem = CheckFileName("-o", o->strOutput); !problem.empty())
            return Usage(io.err, problem, "treemap");
        return RunTreemap(*o, io.out, io.err);
    };
}

} // namespace tvl::cli
