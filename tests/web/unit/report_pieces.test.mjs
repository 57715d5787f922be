// The report's text cut into pieces by the core's lines: dump rows apart, items past the end.
import assert from 'node:assert/strict';
import {test} from 'node:test';

import {countLineEnds, cutPieces, dumpRows, indexInPiece, kPieceChars, lastLineOf,
        pastEndParts, placeInPiece, rowsAt, utf8Length} from '../../../web/report_pieces.js';

// A report in miniature, its lines numbered as the core numbers them: line 2 is a file name
// that holds a dump's title, the indexed dump's rows are lines 4 and 5, the translated dump's
// 9 and 10, and line 11 counts the items not shown. The last three indexed items and the last
// translated one are printed past the end of the file.
const kLines = [
  '',
  ' Filename [ === Bitmap Data[RGB translated] ===.bmp]',
  ' === Bitmap Data[Indexed data] ===',
  '[00 01 02 ] - 1',
  '[03 04 ] - 1',
  '',
  '',
  ' === Bitmap Data[RGB translated] ===',
  '[0x000000 0x111111 ] - 1',
  '[0x222222 0x333333 ] - 2',
  '(4 more items past the end of the file not shown)',
];
const kText = `${kLines.join('\n')}\n`;
const kDumps = [
  {title: 'Bitmap Data[Indexed data]', titleLine: 3, firstLine: 4, lastLine: 5, itemChars: 3,
   rows: 2, pastEnd: {index: '2', line: 4, column: 7}},
  {title: 'Bitmap Data[RGB translated]', titleLine: 8, firstLine: 9, lastLine: 11,
   itemChars: 9, rows: 2, pastEnd: {index: '3', line: 10, column: 10}},
];
const rows = dumpRows(kDumps);

// Each line of pieces with the dump whose rows hold it, and each item past the end with its
// line and column: what the view draws, whatever the pieces.
function drawn(pieces) {
  const lines = [];
  const pastEnd = [];
  for (const {line, text, dump, parts} of pieces) {
    text.split(/(?<=\n)/).forEach((lineText, i) => lines.push([line + i, lineText, dump]));
    let at = 0;
    for (const part of parts ?? []) {
      const partText = typeof part === 'string' ? part : part.pastEnd;
      if (typeof part !== 'string') {
        const place = placeInPiece(text, line, at);
        pastEnd.push([place.line, place.column, part.pastEnd]);
      }
      at += partText.length;
    }
    if (parts !== null) assert.equal(at, text.length, `the parts of line ${line} make its text`);
  }
  return {lines, pastEnd};
}

const kDrawn = {
  lines: kLines.map((text, i) => [i + 1, `${text}\n`, {4: 0, 5: 0, 9: 1, 10: 1}[i + 1] ?? -1]),
  pastEnd: [[4, 7, '02 '], [5, 1, '03 '], [5, 4, '04 '], [10, 10, '0x333333 ']],
};

test('dump rows are told by their lines, each dump its own; the rest is plain', () => {
  assert.deepEqual(rows, [{first: 4, last: 5, itemChars: 3, pastEnd: kDumps[0].pastEnd},
                          {first: 9, last: 10, itemChars: 9, pastEnd: kDumps[1].pastEnd}]);
  assert.deepEqual([2, 3, 4, 5, 6, 8, 9, 10, 11].map((line) => rowsAt(rows, line)),
                   [-1, -1, 0, 0, -1, -1, 1, 1, -1]);
  const {pieces, rest, nextLine} = cutPieces(kText, 1, rows, false);
  assert.deepEqual(pieces.map(({line, dump}) => [line, dump]),
                   [[1, -1], [4, 0], [6, -1], [9, 1], [11, -1]]);
  assert.deepEqual([rest, nextLine], ['', 12]);
  assert.deepEqual(drawn(pieces), kDrawn);
  assert.deepEqual(pieces[1].parts, ['[00 01 ', {pastEnd: '02 '}, '] - 1\n[', {pastEnd: '03 '},
                                     {pastEnd: '04 '}, '] - 1\n']);
  assert.equal(pieces[0].parts, null);
});

test('text that comes in two blocks, cut anywhere, even inside a title, is drawn the same',
     () => {
  for (let cut = 0; cut <= kText.length; cut += 1) {
    const first = cutPieces(kText.slice(0, cut), 1, rows, false);
    const second = cutPieces(first.rest + kText.slice(cut), first.nextLine, rows, true);
    assert.deepEqual(drawn([...first.pieces, ...second.pieces]), kDrawn, `cut at ${cut}`);
    assert.equal(second.rest, '');
  }
});

test('an excerpt that starts on a title, or in a dump, takes that dump\'s items', () => {
  const fromTitle = cutPieces(`${kLines.slice(7, 10).join('\n')}\n`, 8, rows, true);
  assert.deepEqual(fromTitle.pieces.map(({line, dump}) => [line, dump]), [[8, -1], [9, 1]]);
  assert.deepEqual(drawn(fromTitle.pieces).pastEnd, [[10, 10, '0x333333 ']]);
  const inRows = cutPieces(`${kLines.slice(4, 6).join('\n')}\n`, 5, rows, true);
  assert.deepEqual(inRows.pieces.map(({line, dump}) => [line, dump]), [[5, 0], [6, -1]]);
  assert.deepEqual(drawn(inRows.pieces).pastEnd, [[5, 1, '03 '], [5, 4, '04 ']]);
});

test('a last line without its line end waits, unless the text is whole', () => {
  const open = cutPieces('ab\ncd', 7, [], false);
  assert.deepEqual(open.pieces.map(({line, text}) => [line, text]), [[7, 'ab\n']]);
  assert.deepEqual([open.rest, open.nextLine], ['cd', 8]);
  const whole = cutPieces('ab\ncd', 7, [], true);
  assert.deepEqual(whole.pieces.map(({line, text}) => [line, text]), [[7, 'ab\n'], [8, 'cd']]);
  assert.deepEqual(cutPieces('', 1, [], true).pieces, []);
  assert.deepEqual(cutPieces('', 1, [], false).rest, '');
});

test('pieces end at line ends, near kPieceChars long; a longer line makes one piece', () => {
  const line = `${'x'.repeat(99)}\n`;
  const text = line.repeat(1000);
  const {pieces} = cutPieces(text, 1, [], true);
  assert.equal(pieces.map((piece) => piece.text).join(''), text);
  for (const piece of pieces.slice(0, -1)) {
    assert.ok(piece.text.length >= kPieceChars && piece.text.length < kPieceChars + 100,
              `a piece of ${piece.text.length}`);
  }
  assert.equal(pieces.length, Math.ceil(1000 / Math.ceil(kPieceChars / 100)));
  assert.deepEqual(pieces.map((piece) => piece.line),
                   pieces.map((_, i) => 1 + i * Math.ceil(kPieceChars / 100)));
  const long = `${'y'.repeat(kPieceChars * 2)}\nz\n`;
  assert.deepEqual(cutPieces(long, 1, [], true).pieces.map((piece) => piece.text.length),
                   [kPieceChars * 2 + 1, 2]);
});

test('a dump of one row is a piece of its own; a last row without its line end has its ' +
     'items', () => {
  const one = dumpRows([{firstLine: 2, rows: 1, itemChars: 3,
                         pastEnd: {index: '1', line: 2, column: 4}}]);
  const {pieces} = cutPieces('a\n[00 01 ] - 0\nb\n', 1, one, true);
  assert.deepEqual(pieces.map(({line, dump, text}) => [line, dump, text]),
                   [[1, -1, 'a\n'], [2, 0, '[00 01 ] - 0\n'], [3, -1, 'b\n']]);
  assert.deepEqual(pastEndParts('[00 01 ] - 0', 2, one[0]),
                   ['[00 ', {pastEnd: '01 '}, '] - 0']);
  assert.deepEqual(pastEndParts('[00 01 ] - 0\n[02 ] - 0', 2, {...one[0],
                                                              pastEnd: {line: 3, column: 1}}),
                   ['[00 01 ] - 0\n[', {pastEnd: '02 '}, '] - 0']);
});

test('a dump whose items are all in the file, or that prints no row, draws none apart', () => {
  assert.equal(pastEndParts('[00 ] - 1\n', 4, {pastEnd: null, itemChars: 3}), null);
  assert.equal(pastEndParts('[00 ] - 1\n', 4, {pastEnd: {line: 5, column: 1},
                                               itemChars: 3}), null);
  const empty = dumpRows([{firstLine: 4, rows: 0, itemChars: 3}]);
  assert.deepEqual(empty, [{first: 4, last: 3, itemChars: 3, pastEnd: null}]);
  assert.equal(rowsAt(empty, 4), -1);
  assert.deepEqual(cutPieces('a\nb\n', 3, empty, true).pieces.map((piece) => piece.dump), [-1]);
});

test('places in a piece: a line and column, from an index and back, and only there', () => {
  // A piece that starts with a line end: its first character ends its first line.
  for (const [index, line, column] of [[0, 1, 0], [1, 2, 0], [2, 2, 1], [3, 2, 2], [5, 3, 1]]) {
    assert.deepEqual(placeInPiece('\nab\ncd', 1, index), {line, column}, `index ${index}`);
  }
  assert.deepEqual(placeInPiece('ab\n', 9, 0), {line: 9, column: 0});
  // [piece, its first line, line, column, index or -1]
  for (const [piece, first, line, column, index] of [
    ['ab\n\ncdef\n', 5, 5, 0, 0], ['ab\n\ncdef\n', 5, 5, 2, 2], ['ab\n\ncdef\n', 5, 6, 0, 3],
    ['ab\n\ncdef\n', 5, 7, 3, 7], ['ab\n\ncdef\n', 5, 7, 4, 8], ['ab\n\ncdef\n', 5, 4, 0, -1],
    ['ab\n\ncdef\n', 5, 5, 3, -1], ['ab\n\ncdef\n', 5, 6, 1, -1], ['ab\n\ncdef\n', 5, 7, 5, -1],
    ['ab\n\ncdef\n', 5, 8, 0, -1], ['ab\n\ncdef\n', 5, 9, 0, -1], ['ab', 5, 5, 2, 2],
    ['\nab', 1, 1, 0, 0], ['\nab', 1, 1, 1, -1], ['\nab', 1, 2, 0, 1], ['\nab', 1, 2, 2, 3]]) {
    assert.equal(indexInPiece(piece, first, line, column), index,
                 `${JSON.stringify(piece)} from ${first}: ${line}, ${column}`);
  }
  assert.deepEqual([lastLineOf('ab\n\ncdef\n', 5), lastLineOf('ab\ncd', 5), lastLineOf('\n', 5)],
                   [7, 6, 5]);
});

test('line ends are counted before a place; lengths in UTF-8', () => {
  assert.deepEqual([countLineEnds('a\nb\n\nc'), countLineEnds('a\nb\n\nc', 2),
                    countLineEnds('a\nb\n\nc', 1), countLineEnds('')], [3, 1, 0, 0]);
  for (const [text, bytes] of [['', 0], ['BM\n', 3], ['\u007F', 1], ['\u0080', 2], ['é', 2],
                               ['\u07FF', 2], ['\uD800\uDC00', 4], ['\uDBFF\uDFFF', 4],
                               ['\u0800', 3], ['图像 café', 12], ['😀', 4], ['\uFFFF', 3],
                               ['\uD7FF', 3], ['\uE000', 3]]) {
    assert.equal(utf8Length(text), bytes, text);
  }
});
