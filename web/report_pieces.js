// The report's text cut into pieces of whole lines, each dump's rows apart, by the core's lines.

// Which lines are a dump's rows, how wide its items are and where its items past the end of
// the file begin all come from the core's description of the file (its dumps: firstLine,
// rows, itemChars, pastEnd); the text itself is only cut at its line ends, never searched.

// Text is laid out in pieces of about this many characters, each ending at a line end.
export const kPieceChars = 32 << 10;

// The lines of each dump's rows, from the core's dumps: [{first, last, itemChars, pastEnd}];
// a dump that prints no row has last < first.
export function dumpRows(dumps) {
  return dumps.map((dump) => ({first: dump.firstLine, last: dump.firstLine + Number(dump.rows) - 1,
                               itemChars: dump.itemChars, pastEnd: dump.pastEnd ?? null}));
}

// The index of the dump whose rows hold line, or -1.
export function rowsAt(rows, line) {
  return rows.findIndex((dump) => line >= dump.first && line <= dump.last);
}

// The first line after line at which lines stop or start being some dump's rows.
function nextBoundary(rows, line) {
  let next = Infinity;
  for (const dump of rows) {
    if (dump.last < dump.first) continue;
    if (dump.first > line) next = Math.min(next, dump.first);
    else if (dump.last + 1 > line) next = Math.min(next, dump.last + 1);
  }
  return next;
}

// Cuts text, whose first line is line firstLine, into pieces: [{line, text, dump, parts}], each
// of whole lines ending at a line end, of about kPieceChars, and never holding both some dump's
// rows and other lines. dump is the index of the dump whose rows the piece holds, or -1; parts
// is null, or the piece's text as plain strings and {pastEnd: text} for each item printed past
// the end of the file. With whole, a last line without a line end makes a piece too. Returns
// the pieces, the text left over (a line not yet ended) and the line it starts.
export function cutPieces(text, firstLine, rows, whole) {
  const pieces = [];
  let from = 0;
  let line = firstLine;
  for (;;) {
    const boundary = nextBoundary(rows, line);
    let to = from;
    let next = line;
    while (next < boundary && to - from < kPieceChars) {
      const end = text.indexOf('\n', to);
      if (end < 0) break;
      to = end + 1;
      next += 1;
    }
    if (to === from) {
      if (!whole || from === text.length) break;
      to = text.length;
    }
    const dump = rowsAt(rows, line);
    const piece = text.slice(from, to);
    pieces.push({line, text: piece, dump, parts: dump < 0 ? null : pastEndParts(piece, line,
                                                                                rows[dump])});
    from = to;
    line = next;
  }
  return {pieces, rest: text.slice(from), nextLine: line};
}

// A piece of a dump's rows as strings and {pastEnd: text} items, or null when none of its
// items is past the end. Items start at the core's column on the first such line, and at the
// row's first column on the rows after it; a row's items end where its closing bracket is.
export function pastEndParts(piece, firstLine, dump) {
  const {pastEnd, itemChars} = dump;
  if (pastEnd === null) return null;
  const lastLine = firstLine + countLineEnds(piece) - (piece.endsWith('\n') ? 1 : 0);
  if (lastLine < pastEnd.line) return null;
  const parts = [];
  let plain = 0;  // where the text not yet in parts starts
  let lineStart = 0;
  for (let line = firstLine; line <= lastLine; line += 1) {
    const lineEnd = piece.indexOf('\n', lineStart);
    const rowText = piece.slice(lineStart, lineEnd < 0 ? piece.length : lineEnd);
    if (line >= pastEnd.line) {
      const itemsEnd = rowText.lastIndexOf(']');
      for (let column = line === pastEnd.line ? pastEnd.column : 1;
           column + itemChars <= itemsEnd; column += itemChars) {
        const at = lineStart + column;
        if (at > plain) parts.push(piece.slice(plain, at));
        parts.push({pastEnd: piece.slice(at, at + itemChars)});
        plain = at + itemChars;
      }
    }
    lineStart = lineEnd + 1;
  }
  if (plain < piece.length) parts.push(piece.slice(plain));
  return parts;
}

// How many line ends text holds before end.
export function countLineEnds(text, end = text.length) {
  let ends = 0;
  for (let at = text.indexOf('\n'); at >= 0 && at < end; at = text.indexOf('\n', at + 1)) {
    ends += 1;
  }
  return ends;
}

// The length of text in UTF-8, without encoding it: the report is ASCII but for file names.
export function utf8Length(text) {
  let bytes = text.length;
  for (let i = 0; i < text.length; i += 1) {
    const code = text.charCodeAt(i);
    // Two UTF-16 units of a surrogate pair make four bytes: two each.
    if (code >= 0x80) bytes += code >= 0x800 && (code < 0xD800 || code > 0xDFFF) ? 2 : 1;
  }
  return bytes;
}

// The line and column of the character at at in a piece whose first line is pieceLine. A
// piece may start with a line end: its first character then ends the piece's first line.
export function placeInPiece(text, pieceLine, at) {
  const lineStart = at === 0 ? 0 : text.lastIndexOf('\n', at - 1) + 1;
  return {line: pieceLine + countLineEnds(text, lineStart), column: at - lineStart};
}

// Where line, column lies in a piece whose first line is pieceLine: an index into its text,
// or -1 when the piece does not hold that line or the line is shorter.
export function indexInPiece(text, pieceLine, line, column) {
  if (line < pieceLine) return -1;
  let lineStart = 0;
  for (let l = pieceLine; l < line; l += 1) {
    const end = text.indexOf('\n', lineStart);
    if (end < 0) return -1;
    lineStart = end + 1;
  }
  const lineEnd = text.indexOf('\n', lineStart);
  const length = (lineEnd < 0 ? text.length : lineEnd) - lineStart;
  if (lineStart === text.length || column > length) return -1;
  return lineStart + column;
}

// The last line a piece holds whole or in part.
export function lastLineOf(text, pieceLine) {
  return pieceLine + countLineEnds(text) - (text.endsWith('\n') ? 1 : 0);
}
