// The package's API: the report, the decoder's answers as data, and the comparison of two files.
import type {Readable} from 'node:stream';

export interface Report {
  /** The report exactly as the quillfen command prints it. */
  text: string;
  /** 0 after a complete report; -1 when the tool refuses the input. */
  status: 0 | -1;
}

/** The report's bytes as they come; status is set once the stream has ended. */
export interface ReportStream extends Readable {
  /** null until the stream ends; then 0, or -1 when the tool refuses the input. */
  status: 0 | -1 | null;
}

/**
 * Reports on the file at path; the path appears in the report's Filename line. Rejects with a
 * RangeError when the report is longer than one string can hold.
 */
export function report(path: string): Promise<Report>;
/** Reports on bytes as the content of a file called name. */
export function report(bytes: Uint8Array, name: string): Promise<Report>;

/** The report on the file at path as a stream of bytes, for reports of any length. */
export function createReportStream(path: string): ReportStream;
/** The report on bytes, as the content of a file called name, as a stream of bytes. */
export function createReportStream(bytes: Uint8Array, name: string): ReportStream;

/**
 * One field of the headers as the file stores it. offset and size are numbers: fields lie in
 * the first 200 bytes.
 */
export interface Field {
  /** As the format names it: 'bfSize', 'biWidth', 'bcHeight', 'bV5RedMask', 'cbFix'. */
  name: string;
  offset: number;
  size: number;
  /** As the format reads it: signed where signed, masks in hex, colour spaces as text. */
  value: string;
  /** What the value means or what is wrong with it; '' when nothing is. */
  note: string;
  /** The stored bytes the file holds, as upper-case hex pairs: '28 00 00 00'. */
  hex: string;
}

export type RegionKind =
  | 'file-header' | 'info-header' | 'header-extra' | 'mask' | 'colour-entry' | 'gap'
  | 'pixel-row' | 'row-padding' | 'encoded-run' | 'absolute-run' | 'run-pad' | 'end-of-line'
  | 'end-of-bitmap' | 'delta' | 'cut-command' | 'pixel-data' | 'jpeg' | 'png' | 'icc-profile'
  | 'profile-name' | 'past-pixels' | 'unread';

/**
 * A run of the file's bytes and what they are. Regions lie inside the file, so offset and size
 * are numbers, exact for any file.
 */
export interface Region {
  offset: number;
  size: number;
  kind: RegionKind;
  /** 'bfSize', 'entry 3', 'row 12', 'encoded run of 5', 'delta 2, 1'. */
  name: string;
  /** Overlaps, cuts and other remarks; '' when none. */
  note: string;
  /** For a row or an RLE run that sets pixels: pixels of them from x, y (y from the top). */
  x?: number;
  y?: number;
  pixels?: number;
}

/**
 * What the headers say, every field and the map of the file. Positions and lengths that the
 * header claims, which may lie past the file and past 2^53, are decimal strings.
 */
export interface Inspection {
  fileLength: number;
  /** The file starts with 'BM'. */
  bitmap: boolean;
  header: {
    kind: 'none' | 'core' | 'os2' | 'info' | 'info52' | 'info56' | 'v4' | 'v5';
    /** 'BITMAPINFOHEADER', 'BITMAPCOREHEADER (OS/2 1.x)', ... */
    name: string;
    /** biSize as stored. */
    size: number;
  };
  /** Whether decode() decodes the pixels; problem says why not. */
  decodes: boolean;
  encoding: 'none' | 'indexed' | 'bit-fields' | 'bgr' | 'bgra64' | 'rle8' | 'rle4' | 'rle24'
    | 'huffman' | 'jpeg' | 'png';
  encodingName: string;
  problem: string | null;
  width: number;
  height: number;
  /** As stored: signed (a negative height is top-down). */
  storedWidth: number;
  storedHeight: number;
  topDown: boolean;
  bitCount: number;
  compression: number;
  /** 'BI_RGB', 'BI_RLE8', 'BI_BITFIELDS', ... */
  compressionName: string;
  /** The channels' masks of bit fields (alpha 0: opaque), and where they are stored after a
   * 40-byte header (offset null and size 0 in a longer header or by default). */
  masks: {red: number; green: number; blue: number; alpha: number; offset: string | null;
          size: number} | null;
  table: {offset: string; entrySize: number; entries: string} | null;
  /** The pixels from start to end (null past 2^64 - 1), in rows of rowBytes when uncompressed. */
  pixels: {start: string; end: string | null; rowBytes: string};
  embedded: {kind: 'jpeg' | 'png'; offset: string; length: string} | null;
  /** An ICC profile in the file, or (linked) a profile's file name. */
  profile: {linked: boolean; offset: string; size: string} | null;
  /** Every field of the headers and masks, in file order. */
  fields: Field[];
  /** Every byte of the file in exactly one region, in file order, from 0 to fileLength. */
  regions: Region[];
}

export interface InspectOptions {
  /** The most regions to list (default 250,000; Infinity for no bound). */
  maxRegions?: number;
}

/**
 * The format, fields and map of the file at path, or of bytes. Rejects with a RangeError (code
 * 'ERR_QUILLFEN_TOO_MANY_REGIONS') when the map has more than maxRegions regions, and with
 * Node's own error (ENOENT, EISDIR, ...) for a path that cannot be opened.
 */
export function inspect(pathOrBytes: string | Uint8Array,
                        options?: InspectOptions): Promise<Inspection>;

/** Pixel states, one byte a pixel. */
export type PixelState =
  /** defined */ 0 |
  /** skipped by an RLE delta, end of line or end of bitmap */ 1 |
  /** missing: past the end of the file */ 2 |
  /** its index is past the colour table */ 3;

export interface Decoded {
  width: number;
  height: number;
  /** width x height x 4 bytes: red, green, blue, alpha, rows from the top; 0 0 0 0 where the
   * pixel is not defined. */
  rgba: Uint8Array;
  /** width x height bytes, one PixelState a pixel. */
  state: Uint8Array;
}

export interface DecodeOptions {
  /** The most pixels to decode (default 33,554,432 = 8192 x 4096; at most 2^30). */
  maxPixels?: number;
}

/**
 * The pixels of the file at path, or of bytes, as the format defines them. Rejects with a
 * RangeError (code 'ERR_QUILLFEN_TOO_MANY_PIXELS') when there are more than maxPixels; with an
 * Error (code 'ERR_QUILLFEN_NOT_DECODED') whose message says why, for pixels the core does not
 * decode (embedded JPEG or PNG, OS/2 Huffman, a file that is not a bitmap); and with Node's own
 * error for a path that cannot be opened.
 */
export function decode(pathOrBytes: string | Uint8Array,
                       options?: DecodeOptions): Promise<Decoded>;

/** One file of a comparison, as its headers describe it. */
export interface ComparedFile {
  fileLength: number;
  /** The file starts with 'BM'. */
  bitmap: boolean;
  headerKind: Inspection['header']['kind'];
  encoding: Inspection['encoding'];
  /** RLE, Huffman, JPEG or PNG: pixels at no fixed offset. */
  compressed: boolean;
  topDown: boolean;
  width: number;
  height: number;
  /** The colour-table entries the header states, as a decimal string. */
  tableEntries: string;
}

/**
 * A header field whose values differ, matched by meaning across header versions. A field one
 * header lacks has null for every member of that side.
 */
export interface FieldDifference {
  /** The name both versions share: 'biSize' for a 124-byte header's bV5Size. */
  name: string;
  /** Each version's own name: 'bV5Size', 'bcWidth', 'cx', 'biWidth'. */
  nameA: string | null;
  nameB: string | null;
  offsetA: number | null;
  offsetB: number | null;
  sizeA: number | null;
  sizeB: number | null;
  /** The stored bytes the file holds, as upper-case hex pairs: '40 00 00 00'. */
  bytesA: string | null;
  bytesB: string | null;
  /** As the format reads it: signed where signed, masks in hex, colour spaces as text. */
  valueA: string | null;
  valueB: string | null;
}

/** A colour-table entry as one file holds it; null past the entries its header states. */
export type ComparedEntry = {
  offset: string;
  /** 4, or 3 in an OS/2 1.x table. */
  size: number;
  bytes: string;
  /** 0, or 2 ('missing', rgba 0 0 0 0) when the file ends before the entry does. */
  state: PixelState;
  stateName: 'defined' | 'skipped' | 'missing' | 'bad-index';
  rgba: [number, number, number, number];
} | null;

/** A listed pixel as one file gives it. */
export interface ComparedPixel {
  rgba: [number, number, number, number];
  state: PixelState;
  stateName: 'defined' | 'skipped' | 'missing' | 'bad-index';
  source: 'stored' | 'command' | 'skipped' | 'missing' | 'bad-index' | 'not-decoded';
  /** Its first byte, or the RLE command that set or skipped it; null past 2^64 - 1. */
  offset: string | null;
  beyondAnyFile: boolean;
  /** The bytes that hold its value (within its command for RLE): byte >> shift & (2^bits - 1)
   * under 8 bits; missing counts those the file lacks. */
  data: {offset: string; size: number; shift: number; bits: number; bytes: string;
         missing: number} | null;
  /** The RLE command that set or skipped it; bytes only for one that skips it. */
  command: {offset: string; size: number; kind: RegionKind; name: string;
            bytes: string | null} | null;
  /** An indexed pixel's table index, and where its entry lies (null past the table). */
  index: number | null;
  entry: {offset: string} | null;
}

/**
 * Two files compared by what the format says they hold. Counts and offsets that header
 * arithmetic can take past 2^53 are decimal strings; offsets of header fields are numbers.
 */
export interface Comparison {
  /** 'identical': the same bytes; 'same-picture': the same size and every pixel the same
   * colour in the same state; 'different': the sizes or a pixel differ, or the pixels could not
   * be compared. */
  verdict: 'identical' | 'same-picture' | 'different';
  /** No field, entry or pixel differs and the sizes agree: quillfen-compare's status 0. */
  same: boolean;
  a: ComparedFile;
  b: ComparedFile;
  /** The first byte that differs (or the shorter length when one file starts the other), and
   * what each file's map calls it (null past a file's end, and for identical files). */
  bytes: {identical: boolean; firstDifference: number; regionA: string | null;
          regionB: string | null};
  sizesDiffer: boolean;
  /** One file is stored bottom-up and the other top-down. */
  rowsOpposite: boolean;
  /** One file is compressed and the other not, or compressed otherwise. */
  storageDiffers: boolean;
  /** The fields whose values differ, in A's file order, then those only B has. */
  fields: FieldDifference[];
  table: {
    /** The entries that differ, listed or not. */
    count: string;
    entries: {index: number; a: ComparedEntry; b: ComparedEntry}[];
    /** The entries one table states and the other does not. */
    only: {file: 'a' | 'b'; first: string; last: string} | null;
  };
  pixels: {
    /** false when a file's pixels are not decoded; problemA and problemB say why. */
    compared: boolean;
    problemA: string | null;
    problemB: string | null;
    /** Neither decoded, and both embed the same image byte for byte. */
    sameEmbedded: {kind: 'jpeg' | 'png'; length: string} | null;
    /** The area compared, from the top left as far as the smaller picture reaches. */
    width: number;
    height: number;
    area: string;
    /** The pixels that differ, and of them those whose state differs. */
    count: string;
    stateCount: string;
    /** Inclusive bounds of every differing pixel; null when none differs. */
    box: {left: number; top: number; right: number; bottom: number} | null;
    /** The largest difference of red, green, blue and alpha among pixels defined in both. */
    largest: [number, number, number, number];
    /** The first that differ in reading order, y from the top. */
    first: {x: number; y: number; a: ComparedPixel; b: ComparedPixel}[];
  };
  /** The most pixels and entries listed. */
  bounds: {pixels: number; entries: number};
  /** The lines quillfen-compare prints, without their newlines, listing as many pixels and
   * entries as bounds says (the command itself lists 10 and 16). */
  lines: string[];
  /** One a line: the listed field, table entry or pixel the line is about, by its index in
   * fields, table.entries or pixels.first; null for every other line. */
  links: ({kind: 'field' | 'entry' | 'pixel'; index: number} | null)[];
}

export interface CompareOptions {
  /** The most differing pixels to list (default 10, at most 4096). */
  pixels?: number;
  /** The most differing table entries to list (default 16, at most 4096). */
  entries?: number;
}

/**
 * Compares file a with file b, each a path or bytes. Rejects with a TypeError for arguments of
 * another kind, a RangeError (code 'ERR_OUT_OF_RANGE') for bounds past 4096, Node's own error
 * (ENOENT, EISDIR, ...) for a path that cannot be opened, and an Error (code
 * 'ERR_QUILLFEN_NOT_BMP') naming a file that does not start with 'BM'.
 */
export function compare(a: string | Uint8Array, b: string | Uint8Array,
                        options?: CompareOptions): Promise<Comparison>;
