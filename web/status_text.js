// The status line's words for a report that ended: complete, shown in part, or refused.

import {count, size} from './numbers.js';

// The report is shown up to its last whole line in this many bytes; Save report writes all.
export const kShownBytes = 4 << 20;

// Whether a report of reportLength bytes is longer than what is shown of it.
export const isCut = (reportLength) => reportLength > kShownBytes;

// A report that ended with status 0, of reportLength bytes, of which shownBytes are shown.
export function reportedText(name, reportLength, shownBytes) {
  if (!isCut(reportLength)) return `Report on ${name} complete: ${count(reportLength)} bytes.`;
  return `Report on ${name}: showing the first ${size(shownBytes)} of ${size(reportLength)}. ` +
         'Save report writes all of it.';
}

const kArticles = {ICO: 'an', 'OS/2 bitmap array': 'an'};

// What a refused file looks like, from the core's description of it: its first bytes in hex
// (magic) and the format they name (looksLike), or null.
export function looksLikeText({magic, looksLike}) {
  if (magic === '') return 'it is empty';
  const start = magic.split(' ').slice(0, 4).join(' ');
  if (looksLike === null) return `it starts with ${start}, not with BM (42 4D)`;
  const kind = looksLike === 'OS/2 bitmap array' ? looksLike : `${looksLike} file`;
  return `it starts with ${start}: this looks like ${kArticles[looksLike] ?? 'a'} ${kind}`;
}

// A report that ended with the tool's refusal.
export function refusedText(name, status, describe) {
  return `Refused: ${name} is not a file the tool reports on (exit status ${status}): ` +
         `${looksLikeText(describe)}. What it printed is shown below.`;
}
