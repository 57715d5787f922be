// The comparison of two files as the page shows it: a pure function of the core's answer.

// The core compares the files (app/compare_answers.h) and writes the lines quillfen-compare
// prints. The page lists those lines as they are; the lines that name one field, one table
// entry or one pixel are differences a person can select, each linked to the member of the
// answer it prints, as the core links it. Facts are [label, value] pairs, as panel_text.js
// writes them.

import {count, plural} from './numbers.js';
import {colourHex} from './decoded.js';

// The lines of the answer, each {text, difference}: difference is null for a line that states
// a fact (the sizes, the bytes, how many more, the verdict), else {kind: 'field', field},
// {kind: 'entry', entry} or {kind: 'pixel', pixel}, with its place among the differences
// (number, from 0). The core says which member each line is about (links, one a line); a
// link of a kind not known here leaves its line a plain one.
export function differenceList({lines, links, fields, table, pixels}) {
  const members = new Map([['field', fields], ['entry', table.entries], ['pixel', pixels.first]]);
  let number = 0;
  return lines.map((text, at) => {
    const link = links[at];
    const member = link === null ? undefined : members.get(link.kind)?.[link.index];
    if (member === undefined) return {text, difference: null};
    const difference = {kind: link.kind, [link.kind]: member, number};
    number += 1;
    return {text, difference};
  });
}

// The differences of a list, in order.
export const differencesOf = (list) => list.filter(({difference}) => difference !== null);

// The bytes that hold a pixel of one file, as the comparison gives it: its value's own (data,
// within the RLE command that set it); for a pixel no byte holds, the command that skipped it,
// whose bytes the answer then gives; else null.
const pixelBytes = ({data, command}) =>
  data ?? ((command?.bytes ?? null) === null ? null : command);

// The bytes of a difference in file side ('a' or 'b'): {offset (a decimal string), count}, or
// null when that file has none (a field its header lacks, an entry past its table, a pixel no
// byte holds and no command skipped).
export function sideBytes(difference, side) {
  if (difference.kind === 'field') {
    const {field} = difference;
    const offset = side === 'a' ? field.offsetA : field.offsetB;
    if (offset === null) return null;
    return {offset: String(offset), count: side === 'a' ? field.sizeA : field.sizeB};
  }
  const held = difference.kind === 'entry' ? difference.entry[side] : difference.pixel[side];
  if (held === null) return null;
  const bytes = difference.kind === 'entry' ? held : pixelBytes(held);
  return bytes === null ? null : {offset: bytes.offset, count: bytes.size};
}

// The pixel a difference is about, {x, y}, or null for a field or an entry.
export const differencePixel = (difference) => (difference.kind === 'pixel'
  ? {x: difference.pixel.x, y: difference.pixel.y} : null);

// Where a difference's bytes are in one file, in words, its bytes copyable; hex: the bytes as
// the answer gives them ('' for none).
const bytesParts = (at, hex) => {
  if (at === null) return ['none'];
  const parts = [{copy: at.offset, shown: count(at.offset)}, `, ${plural(at.count, 'byte')}`];
  if (hex !== null && hex !== '') parts.push(': ', {copy: hex});
  return parts;
};

// One file's side of a difference: its value in words, where its bytes are.
function sideFacts(difference, side, name) {
  const label = `${side.toUpperCase()}, ${name}`;
  const at = sideBytes(difference, side);
  if (difference.kind === 'field') {
    const {field} = difference;
    const value = side === 'a' ? field.valueA : field.valueB;
    if (value === null) return [[label, 'the header has no such field']];
    const fieldName = side === 'a' ? field.nameA : field.nameB;
    return [[label, [`${fieldName} = ${value}, at `,
                     ...bytesParts(at, side === 'a' ? field.bytesA : field.bytesB)]]];
  }
  if (difference.kind === 'entry') {
    const entry = difference.entry[side];
    if (entry === null) return [[label, 'the table has no such entry']];
    return [[label, [...colourParts(entry), ', at ', ...bytesParts(at, entry.bytes)]]];
  }
  // As the core's line says it: the value's bytes, in the RLE command that set it; or the
  // command that skipped it.
  const pixel = difference.pixel[side];
  const {data, command} = pixel;
  const index = pixel.index === null ? '' : ` (index ${count(pixel.index)})`;
  const parts = [...colourParts(pixel), index];
  if (data === null && at !== null) {
    parts.push(`, the ${command.name} at `, ...bytesParts(at, command.bytes));
  } else {
    parts.push(', at ', ...bytesParts(at, data?.bytes ?? null));
    if (data !== null && command !== null) {
      parts.push(`, in the ${command.name} at ${count(command.offset)}`);
    }
  }
  return [[label, parts]];
}

// A colour as the format defines it, or the state that leaves it undefined.
const colourParts = ({state, stateName, rgba}) => (state === 0
  ? [{swatch: colourHex(rgba)}, colourHex(rgba) + (rgba[3] === 255 ? '' : `, alpha ${rgba[3]}`)]
  : [`no colour (${stateName})`]);

// The panel's facts for a selected difference: which of how many it is, the core's line, and
// each file's side. names: {a, b}, the files' names.
export function differenceFacts(item, total, names) {
  const {difference} = item;
  return [['Difference', `${count(difference.number + 1)} of ${count(total)} (from 1): ` +
           item.text],
          ...sideFacts(difference, 'a', names.a), ...sideFacts(difference, 'b', names.b)];
}

// What a screen reader says when a difference is selected.
export const differenceSaid = (item, total) =>
  `Difference ${count(item.difference.number + 1)} of ${count(total)}: ${item.text}`;

// The difference n or p leads to from the one at number (null when none is selected), of
// total: the next or the previous, from the last on to the first and back.
export function stepDifference(key, number, total) {
  if (total === 0 || (key !== 'n' && key !== 'p')) return null;
  if (number === null) return key === 'n' ? 0 : total - 1;
  return (number + (key === 'n' ? 1 : total - 1)) % total;
}

// The verdict in words, as quillfen-compare's last line says it.
const kVerdictWords = new Map([['identical', 'identical bytes'],
                               ['same-picture', 'same picture, different bytes'],
                               ['different', 'different pictures']]);
export const verdictWords = ({verdict}) => kVerdictWords.get(verdict) ?? verdict;

// How many pixels differ, as the core counts them (a decimal string): none for identical
// files; null when the pixels were not compared, which is not to say that none differ.
export const differingPixels = ({bytes, pixels}) => {
  if (pixels.compared) return pixels.count;
  return bytes.identical ? '0' : null;
};

// Why the pixels were not compared, as the core says it of each file that has a problem.
const notCompared = ({problemA, problemB}) => {
  const problems = [['A', problemA], ['B', problemB]].filter(([, problem]) => problem !== null)
    .map(([file, problem]) => `${file}: ${problem}`);
  return `the pixels were not compared${problems.length === 0 ? ''
    : ` (${problems.join('; ')})`}`;
};

// The status line of a comparison that has an answer: what it found; or, when the core
// refuses a file, {failed} with why.
export function comparedText(comparison, names) {
  if (comparison.trouble !== null) {
    const {file, reason} = comparison.trouble;
    return {failed: `${file.toUpperCase()}, ${names[file]}, is ${reason}.`};
  }
  if (comparison.bytes.identical) {
    return {said: `${names.a} against ${names.b}: ${verdictWords(comparison)}.`};
  }
  const differences = differencesOf(differenceList(comparison)).length;
  const pixels = comparison.pixels.compared
    ? `${plural(comparison.pixels.count, 'pixel')} of ${count(comparison.pixels.area)} differ`
    : notCompared(comparison.pixels);
  const listed = differences === 0 ? '' : `; ${plural(differences, 'difference')} listed, ` +
                 'n and p go from one to the next';
  return {said: `${names.a} against ${names.b}: ${verdictWords(comparison)}; ${pixels}${listed}.`};
}

// What the difference picture is worth: null when it marks as many pixels as the core counts
// differing (marked, a number, against pixels.count, a decimal string); else why it is not
// exact, in words.
export function pictureMismatch(marked, pixels) {
  if (pixels.compared && BigInt(marked) === BigInt(pixels.count)) return null;
  const counted = pixels.compared ? `the core counts ${count(pixels.count)}`
    : 'the core did not compare the pixels';
  return `The difference picture marks ${plural(marked, 'pixel')} where ${counted}: it is not ` +
         'exact. The list and the count of differing pixels are the core\'s.';
}
