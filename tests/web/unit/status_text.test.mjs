// The status line's words for a report that ended: complete, shown in part, refused.
import assert from 'node:assert/strict';
import {test} from 'node:test';

import {isCut, kShownBytes, looksLikeText, refusedText,
        reportedText} from '../../../web/status_text.js';

test('a report is cut when it is longer than what is shown, not when it is exactly that', () => {
  assert.equal(isCut(kShownBytes), false);
  assert.equal(isCut(kShownBytes + 1), true);
  assert.equal(reportedText('a.bmp', 1947, 1947), 'Report on a.bmp complete: 1,947 bytes.');
  assert.equal(reportedText('a.bmp', kShownBytes, kShownBytes),
               'Report on a.bmp complete: 4,194,304 bytes.');
  assert.equal(reportedText('large.bmp', 168000115, 4194250),
               'Report on large.bmp: showing the first 4.1 MB of 168 MB. Save report writes ' +
               'all of it.');
});

test('a refused file is said to look like the format its first bytes name', () => {
  const refused = (magic, looksLike) => refusedText('photo.png', -1, {magic, looksLike});
  assert.equal(refused('89 50 4E 47 0D 0A 1A 0A', 'PNG'),
               'Refused: photo.png is not a file the tool reports on (exit status -1): it ' +
               'starts with 89 50 4E 47: this looks like a PNG file. What it printed is shown ' +
               'below.');
  const starts = (bytes, words) => `it starts with ${bytes}: this looks like ${words}`;
  for (const [magic, looksLike, words] of [
    ['FF D8 FF E0 00 10 4A 46', 'JPEG', starts('FF D8 FF E0', 'a JPEG file')],
    ['47 49 46 38 39 61 01 00', 'GIF', starts('47 49 46 38', 'a GIF file')],
    ['49 49 2A 00 08 00 00 00', 'TIFF', starts('49 49 2A 00', 'a TIFF file')],
    ['00 00 01 00 01 00 10 10', 'ICO', starts('00 00 01 00', 'an ICO file')],
    ['00 00 02 00 01 00 20 20', 'CUR', starts('00 00 02 00', 'a CUR file')],
    ['42 41 28 00 00 00 00 00', 'OS/2 bitmap array', starts('42 41 28 00', 'an OS/2 bitmap array')],
    ['6E 6F 74 20 61 20 62 69', null, 'it starts with 6E 6F 74 20, not with BM (42 4D)'],
    ['30 31', null, 'it starts with 30 31, not with BM (42 4D)'],
    ['', null, 'it is empty'],
  ]) {
    assert.equal(looksLikeText({magic, looksLike}), words, magic);
  }
});
