// The decoder's answers as the page shows them: the picture's size, colours, sources, regions.

// The decoder (app/decode_answers.h) says what the format makes of the file: its headers'
// every field, each pixel's colour and state and the bytes or RLE command that made it, and
// the map of the file's regions. These are pure functions of those answers: words, and the
// panel's facts ([label, value] pairs, as panel_text.js writes them).

import {count, hex2, hexOffset, plural} from './numbers.js';

// Each kind of region of the map (decode::regionKindName): the words for one, and the group
// whose colour the map strip draws it in.
export const kRegionKinds = {
  'file-header': {words: 'a field of the file header', group: 'header'},
  'info-header': {words: 'a field of the info header', group: 'header'},
  'header-extra': {words: 'info-header bytes past the fields its size names', group: 'header'},
  mask: {words: 'a colour mask after the info header', group: 'mask'},
  'colour-entry': {words: 'a colour-table entry', group: 'table'},
  gap: {words: 'bytes no structure claims', group: 'other'},
  'pixel-row': {words: 'a stored row of pixels', group: 'pixels'},
  'row-padding': {words: 'row padding', group: 'padding'},
  'encoded-run': {words: 'an RLE encoded run', group: 'pixels'},
  'absolute-run': {words: 'an RLE absolute run', group: 'pixels'},
  'run-pad': {words: 'the pad byte of an RLE absolute run', group: 'padding'},
  'end-of-line': {words: 'an RLE end of line', group: 'control'},
  'end-of-bitmap': {words: 'an RLE end of bitmap', group: 'control'},
  delta: {words: 'an RLE delta', group: 'control'},
  'cut-command': {words: 'an RLE command the end of the file cuts short', group: 'control'},
  'pixel-data': {words: 'pixel data the decoder does not decode', group: 'embedded'},
  jpeg: {words: 'an embedded JPEG image', group: 'embedded'},
  png: {words: 'an embedded PNG image', group: 'embedded'},
  'icc-profile': {words: 'an embedded ICC colour profile', group: 'profile'},
  'profile-name': {words: 'the file name of a linked colour profile', group: 'profile'},
  'past-pixels': {words: 'bytes past the pixels', group: 'other'},
  unread: {words: 'bytes not read: the file does not start with BM', group: 'other'},
};

// The groups of kinds, in the order the map strip's legend lists them, with their names.
export const kRegionGroups = [
  ['header', 'header fields'], ['mask', 'masks'], ['table', 'colour table'],
  ['pixels', 'pixels and RLE runs'], ['padding', 'padding'],
  ['control', 'RLE ends of line, ends of bitmap and deltas'],
  ['embedded', 'embedded images and pixels not decoded'], ['profile', 'colour profiles'],
  ['other', 'gaps and bytes past the pixels'],
];

// A region's name as the map gives it, with what its number counts from: a row's is its y,
// from 0 at the top; an entry's from 0.
export const regionName = (name) => name.replace(/\b(row|entry) \d+/, (named, what) =>
  `${named} (from 0${what === 'row' ? ', at the top' : ''})`);

const kindOf = (kind) => kRegionKinds[kind] ?? {words: kind, group: 'other'};
export const kindWords = (kind) => kindOf(kind).words;
export const kindGroup = (kind) => kindOf(kind).group;

// The picture's size and where its stored pixels end: the decoder's, from the header it read
// (OS/2, V4 and V5 headers too), or the report's layout when it read none.
export function pictureSize(describe, format) {
  if (format !== null && format.header.kind !== 'none') {
    return {width: format.width, height: format.height, end: format.pixels?.end ?? null};
  }
  const {width, height, end} = describe.layout;
  return {width, height, end};
}

// A colour [red, green, blue, ...] as #RRGGBB.
export const colourHex = (rgba) => `#${rgba.slice(0, 3).map(hex2).join('')}`;

// How far a colour read back from a canvas can be from the colour drawn, channel by channel,
// at alpha: a canvas keeps colours multiplied by their alpha, in 8 bits; at alpha 0, any.
export const readBackError = (alpha) => (alpha === 255 ? 0 : Math.ceil(127.5 / alpha));

// Whether the browser's colour (rgba) differs from the format's: in alpha, or in a channel by
// more than a canvas's read-back can explain (any, where the pixel is fully transparent).
export function coloursDiffer(format, browser) {
  if (format[3] !== browser[3]) return true;
  const error = readBackError(format[3]);
  return [0, 1, 2].some((channel) => Math.abs(format[channel] - browser[channel]) > error);
}

// A colour in words, its alpha said when it is not opaque.
const colourText = (rgba) => `${colourHex(rgba)}${rgba[3] === 255 ? '' : `, alpha ${rgba[3]}`}`;
const colourParts = (rgba) => [{swatch: colourHex(rgba)}, colourText(rgba)];

// The pixel's two colours, the format's (decoded, the decoder's answer) and this browser's
// (browser, [r, g, b, a] or null), and a line when they differ. browserCannot: the browser
// could not decode the file.
export function colourFacts(decoded, browser, browserCannot) {
  const facts = [];
  if (decoded !== null) {
    facts.push(['Format colour', decoded.state === 0 ? colourParts(decoded.rgba)
      : `none: ${decoded.why}`]);
  }
  if (browser !== null) facts.push(['Browser colour', colourParts(browser)]);
  else if (browserCannot) {
    facts.push(['Browser colour', 'none: this browser cannot decode the file']);
  } else {
    facts.push(['Browser colour', 'none: the browser has not decoded the picture']);
  }
  // Pixels the decoder does not decode have no colour to compare.
  if (decoded !== null && decoded.state !== null && browser !== null) {
    if (decoded.state !== 0) {
      facts.push(['Colours differ', `this browser shows ${colourText(browser)} where the ` +
                  `format defines no colour (${decoded.stateName})`]);
    } else if (coloursDiffer(decoded.rgba, browser)) {
      facts.push(['Colours differ', `this browser shows ${colourText(browser)} where the ` +
                  `format defines ${colourText(decoded.rgba)}`]);
    }
  }
  return facts;
}

// An offset and what follows it, the offset copyable as plain digits: "1,078 (0x436), 3 bytes".
export const storedAt = (offset, rest) => [{copy: String(offset), shown: count(offset)},
                                           ` (${hexOffset(offset)})${rest}`];

// An RLE command (the decoder's {offset, size, name, hex}): its name, where, and its bytes.
const commandParts = ({offset, size, name, hex}) => [
  `the ${name} at `, ...storedAt(offset, `, ${plural(size, 'byte')}: `), {copy: hex}];

// Where the pixel's value comes from, as the format reads the file: the RLE command that set
// or skipped it and the byte of its value in the command, or the bytes that hold it.
// withStored: say where its bytes are, when the report's own answer does not.
export function sourceFacts(decoded, withStored) {
  if (decoded === null) return [];
  const facts = [];
  const {command, data} = decoded;
  if (decoded.source === 'command') facts.push(['Set by', commandParts(command)]);
  if (decoded.source === 'skipped') facts.push(['Skipped by', commandParts(command)]);
  if (data !== null && (command !== null || withStored)) {
    const rest = data.hex === '' ? `: past the end of the file` : ': ';
    const parts = [...storedAt(data.offset, rest)];
    if (data.hex !== '') parts.push({copy: data.hex});
    if (data.bits < 8 && data.hex !== '') {
      const high = data.shift + data.bits - 1;
      parts.push(`, bit${data.bits > 1 ? `s ${high} to ${data.shift}` : ` ${high}`}`);
    }
    facts.push([command !== null ? 'Value in it' : 'Format stores it at', parts]);
  }
  return facts;
}

// The table entry the decoder read for an indexed pixel: {offset, hex} (hex the bytes the file
// holds of it, none past its end), or null when its index is past the table.
export function decodedEntryText({index, entry}) {
  if (entry === null) return `entry ${count(index)} (from 0): past the colour table`;
  if (entry.hex === '') return `entry ${count(index)} (from 0): past the end of the file`;
  const bytes = bytesOf(entry.hex);
  if (bytes.length < 3) return `entry ${count(index)} (from 0): cut short by the end of the file`;
  const rgb = colourHex(bytes.slice(0, 3).reverse());
  return [{swatch: rgb}, `${rgb}, entry ${count(index)} (from 0), stored at `,
          ...storedAt(entry.offset, '')];
}

// Hex pairs "42 4D" as numbers.
const bytesOf = (hex) => hex.split(' ').map((pair) => parseInt(pair, 16));

// The pixels a row or run sets: pixels of them from x, y.
const pixelsSet = ({x, y, pixels}) => (pixels > 1
  ? `x ${count(x)} to ${count(x + pixels - 1)}, y ${count(y)} (from 0)`
  : `x ${count(x)}, y ${count(y)} (from 0)`);

// A region of the file's map, as the format reads the file: what it is, where, its field's
// value (format: the decoder's format answer), the pixels it sets, its note.
export function regionFacts(format, region) {
  const facts = [['In the file\'s map', `${regionName(region.name)}: ${kindWords(region.kind)}`],
                 ['Region', storedAt(region.offset, `, ${plural(region.size, 'byte')}`)]];
  const field = format?.fields.find(({name, offset}) => name === region.name &&
                                                        offset === region.offset);
  if (field !== undefined) {
    facts.push(['Value', field.note === '' ? field.value : `${field.value}: ${field.note}`]);
  }
  if ((region.pixels ?? 0) > 0) facts.push(['Sets pixels', pixelsSet(region)]);
  if (region.note !== '') facts.push(['Note', region.note]);
  return facts;
}

// The kinds of region that are RLE commands: a byte of one selects the command whole.
const kCommandKinds = new Set(['encoded-run', 'absolute-run', 'end-of-line', 'end-of-bitmap',
                               'delta', 'cut-command']);
export const isCommand = (region) => region !== null && kCommandKinds.has(region.kind);

// The line under the picture, from the picture worker's answer: its size, who decoded it,
// whether the other could, and whether it is shown scaled down; or why there is none.
export function pictureNote({width, height, source, scaledDown, undecodable, problem,
                             browserDecodes}) {
  if (undecodable !== undefined) {
    return `Neither this browser nor Quillfen's decoder can decode the file as a picture: ` +
           `${problem}.`;
  }
  const by = source === 'quillfen'
    ? `as the format defines it, drawn by Quillfen's decoder${browserDecodes ? ''
      : ': this browser cannot decode the file'}`
    : `as this browser decodes the file${problem === null ? ''
      : ` (Quillfen's decoder cannot: ${problem})`}`;
  return `${count(width)} × ${count(height)} pixels, ${by}${scaledDown ? ' (shown scaled down)'
    : ''}.`;
}

// The legend of the pattern that stands for the pixels the format leaves undefined, from how
// many of each kind there are ({skipped, missing, badIndex}); '' when there are none.
export function undefinedText({skipped, missing, badIndex}) {
  const kinds = [[skipped, 'skipped by the RLE commands'],
                 [missing, 'missing: their bytes lie past the end of the file'],
                 [badIndex, 'whose index is past the colour table']]
    .filter(([pixels]) => pixels > 0)
    .map(([pixels, what]) => `${plural(pixels, 'pixel')} ${what}`);
  if (kinds.length === 0) return '';
  return `Hatched: pixels the format leaves undefined, ${kinds.join('; ')}.`;
}
