// The choice of dump, and the 1-bit and indexed (4, 8, 16-bit) dumps: raw bytes, then colours.
#include "report/dump_items.h"
#include "report/dump_walks.h"
#include "report/sections.h"

namespace report {

void printPixelDump(RunState& run, Sink& out) {
  for (const DumpWalk& dump : dumpWalks(run.fileHeader, run.info.bmiHeader)) {
    switch (dump.kind) {
      case ItemKind::kBitPicture:
        printDump(run.file, out, dump, &run.pixelByte, BitPictureItem{});
        break;
      case ItemKind::kHex:
        printDump(run.file, out, dump, &run.pixelByte, HexItem{});
        break;
      case ItemKind::kTranslated:
        printDump(run.file, out, dump, &run.pixelByte, TranslatedItem(run.palette));
        break;
      case ItemKind::kTriple:
        printTrueColorDump(run, out, dump);
        break;
    }
  }
}

}  // namespace report
