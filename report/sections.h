// The report sections, printed in this order by the run.
#pragma once

#include "report/run_state.h"
#include "report/sink.h"

namespace report {

// The file header and info header, field by field with their notes.
void printHeaderReport(const RunState& run, Sink& out);

}  // namespace report
