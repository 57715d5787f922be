// The run sequence: command line, headers, banner, magic test, then each report section.
#include "app/run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bitmap/records.h"
#include "report/run_state.h"
#include "report/sections.h"

namespace app {

int run(int argc, const char* const* argv, report::Sink& out) {
  int status = kRefused;
  if (argc != 2) {
    // A program started with no arguments at all has no argv[0] to echo.
    out.put("usage : ");
    out.put(argc > 0 && argv[0] != nullptr ? argv[0] : "quillfen");
    out.put(" [filename.ext]\n");
  } else {
    bitmap::Source file;
    if (file.open(argv[1])) {
      status = runReport(file, argv[1], out);
    } else {
      out.put("Invalide File, please check filename\n");
    }
  }
  if (!out.finish()) {
    // A reader that stopped reading early (| head) needs no message: it has what it wanted.
    if (out.error() != EPIPE) {
      std::fprintf(stderr, "quillfen: cannot write the report: %s\n", std::strerror(out.error()));
    }
    return kRefused;
  }
  return status;
}

int runReport(bitmap::Source& file, const char* fileName, report::Sink& out) {
  report::RunState run(file);
  // Zero-filled, so whatever a short file does not cover reads as 0.
  bitmap::FileHeaderBlock fileBlock{};
  bitmap::InfoBlock infoBlock{};
  file.read(fileBlock.data(), fileBlock.size());
  file.read(infoBlock.data(), infoBlock.size());
  run.fileHeader = bitmap::decodeFileHeader(fileBlock);
  run.info = bitmap::decodeInfo(infoBlock);
  run.fileSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(file.seekEnd()));

  report::printBanner(fileName, out);

  if (!bitmap::isBitmap(run.fileHeader)) {
    file.close();
    out.put(report::kNotABitmap);
    return kRefused;
  }

  report::printHeaderReport(run, out);
  report::printPaletteReport(run, out);
  report::printPixelDump(run, out);
  return 0;
}

}  // namespace app
