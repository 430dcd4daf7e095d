#pragma once

// An export as an xlsx workbook, for buyers who work in a spreadsheet program.

#include <memory>
#include <vector>

#include "files/export_target.h"

namespace tamsel::cli {

// One sheet: a bold, frozen header row with a filter over every column; numbers and flags (1/0)
// as numbers, dates as dates, text as text (neutralised as in CSV, so that an xlsx and a CSV
// export hold the same cells). Rows stream to temporary storage, so memory stays flat; the
// workbook is assembled into the target's file on Close.
std::unique_ptr<SheetWriter> OpenXlsxSheet(ExportTarget& out, std::vector<ExportColumn> columns);

}  // namespace tamsel::cli
