// File > "Report properties": how, where and when the report was made.
#pragma once

class QWidget;
namespace tvl {
class ReportDocument;
}

// Shows the report's facts in a modal window owned by parent.
void ShowReportProperties(QWidget* parent, const tvl::ReportDocument& doc);
