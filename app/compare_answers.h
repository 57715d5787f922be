// The comparison of two files as JSON for the front ends: every fact of compare::Comparison and
// the lines quillfen-compare prints, written by app/json.h, so that the page, the npm package
// and the command show the same differences in the same words. compare/ works them out; the
// front ends show them and work none of them out again.
//
// Numbers follow app/decode_answers.h. Header fields lie near the start of a file and the first
// differing byte inside both: their offsets and sizes are numbers, and so are fileLength, x, y,
// width, height, the box, channels, an entry's index and the sizes of one field, entry, pixel
// or command. Every other offset (table entries, a pixel's bytes, its command and its table
// entry), the counts of pixels and the counts and indices the header states of table entries
// are decimal strings, because header arithmetic can take them past 2^53. Bytes are upper-case
// hex pairs separated by blanks, as many as the file holds ("" for none); values are as the
// decoder reads them (signed where signed, masks in hex, tags as text).
//
// THE ANSWER. One JSON object. The values shown are those of BMP Suite's pal8rletrns.bmp as A
// (RLE, with pixels its commands skip) and pal8.bmp as B, listed to 1 pixel and 1 entry.
//   {verdict: "different",     "identical" (the same bytes), "same-picture" (the same size and
//                              every pixel the same colour in the same state, the bytes not) or
//                              "different" (the sizes or a pixel differ, or the pixels could
//                              not be compared)
//    same: false,              no field, entry or pixel differs and the sizes agree: what exit
//                              status 0 of quillfen-compare stands for (1 otherwise)
//    trouble: null | {file: "a", reason: "not a BMP file: it does not start with BM"},
//                              a file the command refuses, with status 2 and this reason on
//                              standard error after the file's name; nothing but the files'
//                              facts is compared then
//    a: {fileLength: 9212, bitmap: true, headerKind: "info", encoding: "rle8",
//        compressed: true, topDown: false, width: 127, height: 64, tableEntries: "253"},
//    b: {fileLength: 9254, ..., encoding: "indexed", compressed: false, ...},
//                              each file: headerKind and encoding named as in the format
//                              answer; compressed: RLE, Huffman, JPEG or PNG, whose pixels lie
//                              at no fixed offset; width and height as pixels
//    bytes: {identical: false, firstDifference: 2, regionA: "bfSize", regionB: "bfSize"},
//                              the first offset whose byte differs, or the shorter file's length
//                              when it is the other's start; the map's name for that byte in
//                              each file (null past a file's end, and for identical files)
//    sizesDiffer: false, rowsOpposite: false, storageDiffers: true,
//                              the widths or heights differ; one file is stored bottom-up and
//                              the other top-down; one is compressed and the other not, or
//                              compressed otherwise
//    fields: [{name: "bfSize", nameA: "bfSize", offsetA: 2, sizeA: 4, bytesA: "FC 23 00 00",
//              valueA: "9212", nameB: "bfSize", offsetB: 2, sizeB: 4, bytesB: "26 24 00 00",
//              valueB: "9254"}, ...],
//                              the header fields whose values differ, in A's file order, then
//                              those only B has; name is the one both header versions share
//                              (decode::commonFieldName: biSize for bV5Size), nameA and nameB
//                              each version's own. A field one header lacks has null for all
//                              of that side's members.
//    table: {count: "252", entries: [{index: 0, a: <entry>, b: <entry>}, ...],
//            only: null | {file: "a", first: "252", last: "252"}},
//                              count: the entries that differ, listed or not; entries: the first
//                              of them by index, at most bounds.entries; only: the entries one
//                              table states and the other does not
//    <entry>: null (past the entries this file's header states) |
//             {offset: "54", size: 4, bytes: "FF 00 80 00", state: 0, stateName: "defined",
//              rgba: [128, 0, 255, 255]}
//                              size 3 in an OS/2 1.x table; state 2, "missing" (rgba 0 0 0 0),
//                              when the file ends before the entry does
//    pixels: {compared: true, problemA: null, problemB: null, sameEmbedded: null,
//             width: 127, height: 64, area: "8128", count: "416", stateCount: "416",
//             box: {left: 27, top: 21, right: 100, bottom: 42}, largest: [0, 0, 0, 0],
//             first: [{x: 27, y: 21, a: <pixel>, b: <pixel>}, ...]},
//                              compared: false when either file's pixels are not decoded,
//                              problemA and problemB then say why (null for a file whose pixels
//                              decode); sameEmbedded: {kind: "jpeg" | "png", length: "1024"}
//                              when neither decodes and both embed the same image, byte for
//                              byte. width and height: the area compared, from the top left as
//                              far as the smaller picture reaches, area pixels; count: the
//                              pixels that differ there, stateCount: those of them whose state
//                              differs; box: the inclusive bounds of all of them, null when none
//                              does; largest: the largest difference of red, green, blue and
//                              alpha over pixels defined in both; first: the first that differ
//                              in reading order (y from the top), at most bounds.pixels
//    <pixel>: {rgba: [0, 0, 0, 0], state: 1, stateName: "skipped", source: "skipped",
//              offset: "6562", beyondAnyFile: false, data: null,
//              command: {offset: "6562", size: 4, kind: "delta", name: "delta",
//                        bytes: "00 02 12 00"},
//              index: null, entry: null}                                    (A's)
//             {rgba: [255, 255, 255, 255], state: 0, stateName: "defined", source: "stored",
//              offset: "6465", beyondAnyFile: false,
//              data: {offset: "6465", size: 1, shift: 0, bits: 8, bytes: "FB", missing: 0},
//              command: null, index: 251, entry: {offset: "1058"}}          (B's)
//                              the pixel as this file gives it: state and source as in the
//                              decoder's pixel answer; offset: its first byte, or the RLE
//                              command that set or skipped it, or where the commands stop
//                              (null, with beyondAnyFile true and data null, when its bytes
//                              would pass 2^64 - 1). data: the bytes that hold its value
//                              (within its command for RLE), byte >> shift & (2^bits - 1)
//                              under 8 bits; missing: how many of them the file lacks.
//                              command: the RLE command that set or skipped it; its bytes for
//                              one that skips it (null for one that sets it: the value's bytes
//                              are data's). index and entry: an indexed pixel's table index and
//                              where its entry lies (entry null for an index past the table)
//    bounds: {pixels: 1, entries: 1},   the most pixels and entries listed
//    lines: ["bytes: 9,212 vs 9,254; first difference at 2, bfSize in both", ...,
//            "verdict: different pictures"],
//                              the comparison as quillfen-compare prints it, a line each,
//                              listing as many pixels and entries as bounds says (the command
//                              itself lists 10 and 16); for a file it refuses, they name which
//                              file is not a BMP, and the command prints nothing on standard
//                              output
//    links: [null, {kind: "field", index: 0}, ..., {kind: "pixel", index: 0}, ..., null]}
//                              one a line, in the same order: what the line is about, a listed
//                              field (an index into fields), table entry (into table.entries)
//                              or pixel (into pixels.first); null for every other line
#pragma once

#include <cstddef>
#include <string>

#include "compare/comparison.h"

namespace app {

// The most pixels or entries one comparison lists.
constexpr std::size_t kMostListed = 4096;

// What quillfen-compare says of a file it refuses, after the file's name.
constexpr const char* kNotBitmap = "not a BMP file: it does not start with BM";

std::string comparisonAnswer(const compare::Comparison& comparison, const compare::Bounds& bounds);

}  // namespace app
