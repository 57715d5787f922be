// The decoder's answers on small crafted files, against exact JSON: the format of each kind of
// header and pixel data, ranges of the map that cut regions at both ends, RLE pixels and their
// commands, skipped and missing pixels, and offsets past 2^53 and past 2^64 - 1.
#include "app/decode_answers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/json.h"
#include "decode/input.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/counting_input.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::Decoded;
using testing_support::infoFile;
using testing_support::makeBmp;
using testing_support::withHeader;

const char kOutside[] =
    R"({"refused":"x and y must be whole numbers within the picture's width and height"})";

// 4 x 3 at 8 bits, BI_RLE8, a table of two entries, stored bottom-up from offset 62:
//   62  02 01        two pixels of index 1: row 0 (y 2), x 0 and 1
//   64  00 02 01 01  delta: 1 right, 1 up, to x 3 of row 1
//   68  01 05        one pixel of index 5, past the table
//   70  00 00        end of line
//   72  00 03 00 01 80, pad 00   absolute: indices 0, 1 and 128 on row 2 (y 0)
//   78  00 01        end of bitmap
Bytes rle8() {
  return infoFile(8, 4, 3, 1, {0x90, 0xA0, 0xB0, 0x7F, 0x10, 0x20, 0xFF, 0x00},
                  {0x02, 0x01, 0x00, 0x02, 0x01, 0x01, 0x01, 0x05, 0x00, 0x00, 0x00, 0x03, 0x00,
                   0x01, 0x80, 0x00, 0x00, 0x01});
}

// 3 x 5 at 24 bits, an embedded PNG in place of its pixels.
Bytes png() { return infoFile(24, 3, 5, 5, {}, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}); }

// The writer every answer goes through: each kind of value, escapes, nesting, signs and the
// bounds of 64 bits.
TEST(DecodeAnswers, TheJsonWriterWritesEachKindOfValue) {
  app::Json json;
  json.begin('{');
  json.text("plain", "row 12");
  json.text("escaped", std::string("a\"b\\c\x01\x1F\xC3\xA9"
                                   "d",
                                   10));
  json.text("empty", "");
  json.begin('[', "list");
  json.number({}, 0);
  json.number({}, UINT64_MAX);
  json.signedNumber({}, INT64_MIN);
  json.signedNumber({}, -2);
  json.decimal({}, 18446744065119617074u);
  json.begin('{');
  json.end('}');
  json.end(']');
  json.flag("yes", true);
  json.flag("no", false);
  json.null("none");
  json.end('}');
  EXPECT_EQ(json.str(),
            R"({"plain":"row 12","escaped":"a\"b\\c\u0001\u001féd","empty":"",)"
            R"("list":[0,18446744073709551615,-9223372036854775808,-2,"18446744065119617074",{}],)"
            R"("yes":true,"no":false,"none":null})");
}

TEST(DecodeAnswers, TheSampleFormatExactly) {
  Decoded sample(testing_support::sampleBitmap());
  EXPECT_EQ(
      app::formatAnswer(sample.decoder.format()),
      R"({"fileLength":150,"bitmap":true,)"
      R"("header":{"kind":"info","name":"BITMAPINFOHEADER","size":40},)"
      R"("decodes":true,"encoding":"indexed","encodingName":"indexed","problem":null,)"
      R"("width":8,"height":4,"storedWidth":8,"storedHeight":4,"topDown":false,"bitCount":8,)"
      R"("compression":0,"compressionName":"BI_RGB","masks":null,)"
      R"("table":{"offset":"54","entrySize":4,"entries":"16"},)"
      R"("pixels":{"start":"118","end":"150","rowBytes":"8"},"embedded":null,"profile":null,)"
      R"("fields":[{"name":"bfType","offset":0,"size":2,"value":"BM","note":"a BMP file",)"
      R"("hex":"42 4D"},{"name":"bfSize","offset":2,"size":4,"value":"150",)"
      R"("note":"the file's length","hex":"96 00 00 00"},)"
      R"({"name":"bfReserved1","offset":6,"size":2,"value":"0","note":"","hex":"00 00"},)"
      R"({"name":"bfReserved2","offset":8,"size":2,"value":"0","note":"","hex":"00 00"},)"
      R"({"name":"bfOffBits","offset":10,"size":4,"value":"118",)"
      R"("note":"where the pixels start","hex":"76 00 00 00"},)"
      R"({"name":"biSize","offset":14,"size":4,"value":"40","note":"BITMAPINFOHEADER",)"
      R"("hex":"28 00 00 00"},)"
      R"({"name":"biWidth","offset":18,"size":4,"value":"8","note":"pixels","hex":"08 00 00 00"},)"
      R"({"name":"biHeight","offset":22,"size":4,"value":"4","note":"rows, stored bottom-up",)"
      R"("hex":"04 00 00 00"},)"
      R"({"name":"biPlanes","offset":26,"size":2,"value":"1","note":"","hex":"01 00"},)"
      R"({"name":"biBitCount","offset":28,"size":2,"value":"8","note":"8 bits a pixel",)"
      R"("hex":"08 00"},)"
      R"({"name":"biCompression","offset":30,"size":4,"value":"0","note":"BI_RGB",)"
      R"("hex":"00 00 00 00"},)"
      R"({"name":"biSizeImage","offset":34,"size":4,"value":"32","note":"","hex":"20 00 00 00"},)"
      R"({"name":"biXPelsPerMeter","offset":38,"size":4,"value":"2835","note":"",)"
      R"("hex":"13 0B 00 00"},)"
      R"({"name":"biYPelsPerMeter","offset":42,"size":4,"value":"2835","note":"",)"
      R"("hex":"13 0B 00 00"},)"
      R"({"name":"biClrUsed","offset":46,"size":4,"value":"16","note":"table entries",)"
      R"("hex":"10 00 00 00"},)"
      R"({"name":"biClrImportant","offset":50,"size":4,"value":"16","note":"",)"
      R"("hex":"10 00 00 00"}]})");
}

// Each part of the format answer that only some files have, with the values that place it.
TEST(DecodeAnswers, FormatsNameMasksProfilesEmbeddedImagesAndFieldsCutShort) {
  const auto has = [](const Bytes& file, const std::string& part) {
    Decoded decoded(file);
    const std::string json = app::formatAnswer(decoded.decoder.format());
    EXPECT_NE(json.find(part), std::string::npos) << part << "\nin " << json;
  };
  // Bit fields 5-6-5 after a 40-byte header, top-down: the table, which no index uses, after
  // the masks.
  const Bytes masked = infoFile(16, 2, -2, 3, {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0},
                                {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF});
  has(masked, R"("storedWidth":2,"storedHeight":-2,"topDown":true,"bitCount":16,)"
              R"("compression":3,"compressionName":"BI_BITFIELDS",)"
              R"("masks":{"red":63488,"green":2016,"blue":31,"alpha":0,"offset":"54","size":12},)"
              R"("table":{"offset":"66","entrySize":4,"entries":"0"},)"
              R"("pixels":{"start":"66","end":"74","rowBytes":"4"})");
  has(masked, R"({"name":"biRedMask","offset":54,"size":4,"value":"0x0000F800",)"
              R"("note":"5 bits from bit 11","hex":"00 F8 00 00"})");
  // A V5 header whose ICC profile (bV5CSType 'MBED', its data from the info header) follows
  // the pixels.
  const Bytes v5 = withHeader(124, {}, Bytes(10),
                              {{18, 1, 4},
                               {22, 1, 4},
                               {26, 1, 2},
                               {28, 24, 2},
                               {70, 0x4D424544, 4},
                               {126, 128, 4},
                               {130, 6, 4}});
  has(v5, R"("header":{"kind":"v5","name":"BITMAPV5HEADER","size":124},"decodes":true,)"
          R"("encoding":"bgr","encodingName":"24-bit BGR")");
  has(v5, R"("embedded":null,"profile":{"linked":false,"offset":"142","size":"6"})");
  has(v5, R"({"name":"bV5CSType","offset":70,"size":4,"value":"MBED",)"
          R"("note":"PROFILE_EMBEDDED: an ICC profile in the file","hex":"44 45 42 4D"})");
  // An embedded PNG: named, with where it lies, not decoded.
  has(png(), R"("decodes":false,"encoding":"png","encodingName":"PNG",)"
             R"("problem":"an embedded PNG is named, not decoded","width":3,"height":5,)");
  has(png(), R"("embedded":{"kind":"png","offset":"54","length":"8"},"profile":null,)");
  // Not a bitmap: the first field alone, and no table.
  const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 0x01, 0x00, 0x01, 0x00};
  has(gif, R"({"fileLength":10,"bitmap":false,"header":{"kind":"none",)"
           R"("name":"no header this decoder reads","size":0},"decodes":false,"encoding":"none",)"
           R"("encodingName":"not decoded","problem":"the file does not start with BM",)");
  has(gif, R"("table":null,"pixels":{"start":"10","end":"10","rowBytes":"0"},"embedded":null,)"
           R"("profile":null,"fields":[{"name":"bfType","offset":0,"size":2,"value":"GI",)"
           R"("note":"not BM: the file is not read further","hex":"47 49"}]})");
  // A file cut inside biWidth: the bytes it holds of that field, none of the next.
  Bytes cut = testing_support::sampleBitmap();
  cut.resize(20);
  has(cut, R"({"name":"biWidth","offset":18,"size":4,"value":"8",)"
           R"("note":"pixels; cut by the end of the file: the missing bytes read as 0",)"
           R"("hex":"08 00"},{"name":"biHeight","offset":22,"size":4,"value":"0",)"
           R"("note":"rows, stored bottom-up; past the end of the file: read as 0","hex":""})");
}

// Regions are listed whole where the range cuts them, and pages of them join up exactly.
TEST(DecodeAnswers, RegionRangesKeepWholeTheRegionsTheyCutAndPageExactly) {
  Decoded rle(rle8());
  // A region's members up to its note, which is empty here.
  const auto region = [](int offset, int size, const std::string& kind, const std::string& name) {
    return R"({"offset":)" + std::to_string(offset) + R"(,"size":)" + std::to_string(size) +
           R"(,"kind":")" + kind + R"(","name":")" + name + R"(","note":"")";
  };
  const std::string delta = region(64, 4, "delta", "delta 1, 1") + "}";
  const std::string bad =
      region(68, 2, "encoded-run", "encoded run of 1") + R"(,"x":3,"y":1,"pixels":1})";
  const std::string line = region(70, 2, "end-of-line", "end of line") + "}";
  const std::string absolute =
      region(72, 5, "absolute-run", "absolute run of 3") + R"(,"x":0,"y":0,"pixels":3})";
  // 65 to 73: the delta starts before, the absolute run ends after.
  EXPECT_EQ(app::regionsAnswer(rle.decoder, 65, 74, 100), R"({"regions":[)" + delta + "," + bad +
                                                              "," + line + "," + absolute +
                                                              R"(],"more":false,"next":77})");
  // Two at a time: the next page starts where the last ended.
  EXPECT_EQ(app::regionsAnswer(rle.decoder, 65, 74, 2),
            R"({"regions":[)" + delta + "," + bad + R"(],"more":true,"next":70})");
  EXPECT_EQ(app::regionsAnswer(rle.decoder, 70, 74, 2),
            R"({"regions":[)" + line + "," + absolute + R"(],"more":false,"next":77})");
  // A range of one byte, of none, and past the end.
  EXPECT_EQ(app::regionsAnswer(rle.decoder, 77, 78, 9),
            R"({"regions":[)" + region(77, 1, "run-pad", "pad byte of the absolute run") +
                R"(}],"more":false,"next":78})");
  EXPECT_EQ(app::regionsAnswer(rle.decoder, 73, 73, 9), R"({"regions":[],"more":false,"next":73})");
  EXPECT_EQ(app::regionsAnswer(rle.decoder, 74, 73, 9), R"({"regions":[],"more":false,"next":74})");
  EXPECT_EQ(app::regionsAnswer(rle.decoder, 80, UINT64_MAX, 9),
            R"({"regions":[],"more":false,"next":80})");
  EXPECT_EQ(app::regionsAnswer(rle.decoder, 0, UINT64_MAX, 0),
            R"({"regions":[],"more":true,"next":0})");
  // Counted, not written: the range's four, the whole map's 25, or as far as a bound.
  EXPECT_EQ(app::regionCountAnswer(rle.decoder, 65, 74, 100), R"({"count":4})");
  EXPECT_EQ(app::regionCountAnswer(rle.decoder, 0, UINT64_MAX, UINT64_MAX), R"({"count":25})");
  EXPECT_EQ(app::regionCountAnswer(rle.decoder, 0, UINT64_MAX, 24), R"({"count":24})");
  EXPECT_EQ(app::regionCountAnswer(rle.decoder, 80, UINT64_MAX, 9), R"({"count":0})");
  EXPECT_EQ(app::regionCountAnswer(rle.decoder, 73, 73, 9), R"({"count":0})");
  EXPECT_EQ(app::regionAtAnswer(rle.decoder, 67), delta);
  EXPECT_EQ(app::regionAtAnswer(rle.decoder, 79),
            region(78, 2, "end-of-bitmap", "end of bitmap") + "}");
  EXPECT_EQ(app::regionAtAnswer(rle.decoder, 80), "null");
  // Rows of an uncompressed file: 120 to 126 cuts the top row and the next.
  Decoded sample(testing_support::sampleBitmap());
  EXPECT_EQ(app::regionsAnswer(sample.decoder, 120, 127, 9),
            R"({"regions":[)" + region(118, 8, "pixel-row", "row 3") +
                R"(,"x":0,"y":3,"pixels":8},)" + region(126, 8, "pixel-row", "row 2") +
                R"(,"x":0,"y":2,"pixels":8}],"more":false,"next":134})");
}

TEST(DecodeAnswers, RlePixelsNameTheCommandThatSetOrSkippedThem) {
  Decoded rle(rle8());
  const std::string encoded = R"("command":{"offset":"62","size":2,"kind":"encoded-run",)"
                              R"("name":"encoded run","hex":"02 01"})";
  const std::string delta = R"("command":{"offset":"64","size":4,"kind":"delta","name":"delta",)"
                            R"("hex":"00 02 01 01"})";
  EXPECT_EQ(app::pixelAnswer(rle.decoder, 1, 2),
            R"({"x":1,"y":2,"state":0,"stateName":"defined","rgba":[255,32,16,255],)"
            R"("source":"command","offset":"62","why":"",)"
            R"("data":{"offset":"63","size":1,"shift":0,"bits":8,"hex":"01","missing":0},)" +
                encoded + R"(,"index":1,"entry":{"offset":"58","size":4,"hex":"10 20 FF 00"}})");
  // Passed over by the delta.
  EXPECT_EQ(app::pixelAnswer(rle.decoder, 0, 1),
            R"({"x":0,"y":1,"state":1,"stateName":"skipped","rgba":[0,0,0,0],"source":"skipped",)"
            R"("offset":"64","why":"no command sets it: the delta at offset 64 passes over it",)"
            R"("data":null,)" +
                delta + R"(,"index":null,"entry":null})");
  EXPECT_EQ(app::pixelAnswer(rle.decoder, 3, 0),
            R"({"x":3,"y":0,"state":1,"stateName":"skipped","rgba":[0,0,0,0],"source":"skipped",)"
            R"("offset":"78","why":"no command sets it: the end of bitmap at offset 78 passes )"
            R"(over it","data":null,"command":{"offset":"78","size":2,"kind":"end-of-bitmap",)"
            R"("name":"end of bitmap","hex":"00 01"},"index":null,"entry":null})");
  // Indices past the table: no entry.
  EXPECT_EQ(app::pixelAnswer(rle.decoder, 3, 1),
            R"({"x":3,"y":1,"state":3,"stateName":"bad-index","rgba":[0,0,0,0],)"
            R"("source":"bad-index","offset":"68","why":"its index 5 has no entry in the table )"
            R"(of 2","data":{"offset":"69","size":1,"shift":0,"bits":8,"hex":"05","missing":0},)"
            R"("command":{"offset":"68","size":2,"kind":"encoded-run","name":"encoded run",)"
            R"("hex":"01 05"},"index":5,"entry":null})");
  EXPECT_EQ(app::pixelAnswer(rle.decoder, 4, 0), kOutside);
  EXPECT_EQ(app::pixelAnswer(rle.decoder, 0, 3), kOutside);

  // Cut inside the absolute run: its first pixel is there, the rest of the picture is not.
  Bytes cutFile = rle8();
  cutFile.resize(75);
  Decoded cut(cutFile);
  EXPECT_EQ(app::pixelAnswer(cut.decoder, 0, 0),
            R"({"x":0,"y":0,"state":0,"stateName":"defined","rgba":[176,160,144,255],)"
            R"("source":"command","offset":"72","why":"",)"
            R"("data":{"offset":"74","size":1,"shift":0,"bits":8,"hex":"00","missing":0},)"
            R"("command":{"offset":"72","size":3,"kind":"absolute-run","name":"absolute run",)"
            R"("hex":"00 03 00"},"index":0,"entry":{"offset":"54","size":4,"hex":"90 A0 B0 7F"}})");
  EXPECT_EQ(app::pixelAnswer(cut.decoder, 1, 0),
            R"({"x":1,"y":0,"state":2,"stateName":"missing","rgba":[0,0,0,0],"source":"missing",)"
            R"("offset":"75","why":"the commands stop at offset 75, cut by the end of the file, )"
            R"(before any sets it","data":null,"command":null,"index":null,"entry":null})");
}

TEST(DecodeAnswers, StoredPixelsGiveTheirBytesAndBitsOrWhatIsMissing) {
  // 1 bit, 9 x 1: the ninth pixel is the top bit of the row's second byte.
  Decoded bits(makeBmp(1, 9, 1, {0, 0, 0, 0, 0xF0, 0xE0, 0xD0, 0}, {0x00, 0x80, 0x00, 0x00}));
  EXPECT_EQ(app::pixelAnswer(bits.decoder, 8, 0),
            R"({"x":8,"y":0,"state":0,"stateName":"defined","rgba":[208,224,240,255],)"
            R"("source":"stored","offset":"63","why":"",)"
            R"("data":{"offset":"63","size":1,"shift":7,"bits":1,"hex":"80","missing":0},)"
            R"("command":null,"index":1,"entry":{"offset":"58","size":4,"hex":"F0 E0 D0 00"}})");
  // 24 bits, 2 x 2, cut inside the top row's second pixel: one of its bytes is there.
  Bytes cutFile = makeBmp(24, 2, 2, {}, Bytes(16, 0xC4));
  cutFile.resize(66);
  Decoded cut(cutFile);
  EXPECT_EQ(app::pixelAnswer(cut.decoder, 1, 0),
            R"({"x":1,"y":0,"state":2,"stateName":"missing","rgba":[0,0,0,0],"source":"missing",)"
            R"("offset":"65","why":"its bytes, from offset 65, pass the end of the file )"
            R"j((66 bytes)","data":{"offset":"65","size":3,"shift":0,"bits":24,"hex":"C4",)j"
            R"("missing":2},"command":null,"index":null,"entry":null})");
  // 8 bits whose pixels start inside the 256-entry table: index 255's entry is past the end.
  Decoded entry(infoFile(8, 1, 1, 0, {}, {0xFF, 0x00, 0x00, 0x00}));
  EXPECT_EQ(app::pixelAnswer(entry.decoder, 0, 0),
            R"({"x":0,"y":0,"state":2,"stateName":"missing","rgba":[0,0,0,0],"source":"missing",)"
            R"("offset":"54","why":"its table entry, index 255 at offset 1074, lies past the end )"
            R"(of the file","data":{"offset":"54","size":1,"shift":0,"bits":8,"hex":"FF",)"
            R"("missing":0},"command":null,"index":255,)"
            R"("entry":{"offset":"1074","size":4,"hex":""}})");
  // Pixels that do not decode still have a place; nothing says what they are.
  Decoded embedded(png());
  EXPECT_EQ(app::pixelAnswer(embedded.decoder, 2, 4),
            R"({"x":2,"y":4,"state":null,"stateName":null,"rgba":null,"source":"not-decoded",)"
            R"("offset":null,"why":"an embedded PNG is named, not decoded","data":null,)"
            R"("command":null,"index":null,"entry":null})");
}

// Headers whose pixels lie far past any file: offsets stay exact as decimal strings, and a
// pixel whose bytes would pass 2^64 - 1 is beyond any file, never read at a wrapped offset.
TEST(DecodeAnswers, OffsetsPast2To53AreExactAndPast2To64BeyondAnyFile) {
  // 32 bits, 2^31 - 1 x -2^31, rows of 2^33 - 4 bytes: the last pixel lies at 2^64 - 2^33 + 50,
  // which a double would round.
  Decoded wide(makeBmp(32, INT32_MAX, INT32_MIN, {}, {}));
  EXPECT_EQ(app::pixelAnswer(wide.decoder, INT32_MAX - 1, INT32_MAX),
            R"({"x":2147483646,"y":2147483647,"state":2,"stateName":"missing",)"
            R"("rgba":[0,0,0,0],"source":"missing","offset":"18446744065119617074",)"
            R"("why":"its bytes, from offset 18446744065119617074, pass the end of the file )"
            R"j((54 bytes)","data":{"offset":"18446744065119617074","size":4,"shift":0,)j"
            R"("bits":32,"hex":"","missing":4},"command":null,"index":null,"entry":null})");
  EXPECT_NE(app::formatAnswer(wide.decoder.format())
                .find(R"("pixels":{"start":"54","end":"18446744065119617078",)"
                      R"("rowBytes":"8589934588"})"),
            std::string::npos);
  // 64 bits, 1824726041 x -2^31: row 1263665316 would start at 2^64 + 86.
  Decoded beyond(makeBmp(64, 1824726041, INT32_MIN, {}, Bytes(64, 0x10)));
  EXPECT_NE(app::formatAnswer(beyond.decoder.format())
                .find(R"("pixels":{"start":"54","end":null,"rowBytes":"14597808328"})"),
            std::string::npos);
  const std::uint32_t row = 1263665316;
  EXPECT_EQ(app::pixelAnswer(beyond.decoder, 0, row),
            R"({"x":0,"y":1263665316,"state":2,"stateName":"missing","rgba":[0,0,0,0],)"
            R"("source":"missing","beyondAnyFile":true,)"
            R"("why":"its bytes would lie past 2^64 - 1, beyond any file","data":null,)"
            R"("command":null,"index":null,"entry":null})");
  // The row before it lies within 2^64, far past the file.
  EXPECT_NE(app::pixelAnswer(beyond.decoder, 0, row - 1).find(R"("offset":"18446744059111743374")"),
            std::string::npos);
}

}  // namespace
