// The report sections, printed in this order by the run.
#pragma once

#include "report/run_state.h"
#include "report/sink.h"

namespace report {

// The file header and info header, field by field with their notes.
void printHeaderReport(const RunState& run, Sink& out);
// Decides paletteCount; for 1, 4 and 8 bits per pixel lists the table and keeps it.
void printPaletteReport(RunState& run, Sink& out);
// The pixel dump that biBitCount selects, if any.
void printPixelDump(RunState& run, Sink& out);
// The 24-bit dump; printPixelDump hands those files here.
void printTrueColorDump(RunState& run, Sink& out);

}  // namespace report
