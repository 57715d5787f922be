// The inspector panel's text for a selection: a pure function of the core's answers.

// Facts are [label, value] pairs; a value is a string, or a list of parts: strings,
// {copy, shown} (an offset the panel lets people copy: copy its plain digits, shown as it is
// shown), {copy} (a byte string to copy) and {swatch: '#RRGGBB'}.
// Every row, item, entry and byte number says what it counts from: rows, items, entries,
// bytes, x and y from 0; report lines from 1, as sed counts them.

import {colourFacts, colourHex, decodedEntryText, regionFacts, sourceFacts,
        storedAt} from './decoded.js';
import {count, hexBytes, kLastOffset, plural} from './numbers.js';

export const kCounting = 'Rows, items, entries, bytes, x and y count from 0; report lines ' +
                         'from 1, as sed counts them.';

const line = (number) => `line ${count(number)} (from 1)`;

// The value of a pixel of fewer than 8 bits, from the byte that holds it.
export function pixelValue(byte, {shift, bits}) {
  return byte >> shift & ((1 << bits) - 1);
}

// The index of the table entry a pixel's stored bytes name, for depths with a table; null
// otherwise or when its byte is not in the file.
export function entryIndex(pixel, stored) {
  if (pixel.bits > 8 || stored.length === 0) return null;
  return pixelValue(stored[0], pixel);
}

// The facts for the selection, from the core's description of the file (describe) and the
// answers gathered for it (details): {pixel, decoded, commandByte, byte, place, field, entry,
// region, format, stored, colour, browserCannot}; an item of one pixel has decoded, colour and
// browserCannot too.
// pixel: the report's answer about a pixel (null where its layout has none; undefined when
// no pixel is selected); decoded: the decoder's answer about it, or null; commandByte: the
// report's answer about the first byte of the RLE command that set or skipped it; stored: the
// selection's bytes the file holds; colour: [r, g, b, a] as the browser decoded the pixel, or
// null; browserCannot: the browser could not decode the picture; entry: {index,
// offset, stored} for a pixel's table entry, or null; region: the region of the file's map the
// selection starts in, and format: the decoder's answer about the file.
export function panelFacts(describe, selection, details) {
  const facts = [];
  const {origin} = selection;
  if (origin.kind === 'offset') facts.push(...offsetFacts(describe, origin.offset, details));
  if (origin.kind === 'region') {
    facts.push(...regionFacts(details.format, details.region));
    if (details.stored.length > 0) {
      facts.push(['Stored bytes', storedBytes(details.stored, selection)]);
    }
    facts.push(...dumpFacts(describe, [details.byte]));
    return facts;
  }
  if (details.pixel !== undefined) {
    facts.push(...pixelFacts(describe, details.pixel, details));
  } else if (details.field) {
    facts.push(...fieldFacts(describe, details.field, details.stored));
  } else if (details.entryPlace) {
    facts.push(...entryFacts(details.entryPlace, details.stored));
  } else if (origin.kind === 'item') {
    facts.push(...itemFacts(describe, details));
  } else if (origin.kind === 'line') {
    facts.push(['Report line', `${line(selection.line)} prints no header field, table entry ` +
                'or pixel byte']);
  } else {
    // A byte chosen by its offset that is padding, between the table and the pixels, or past
    // them: what the dumps make of it.
    facts.push(...dumpFacts(describe, [details.byte]));
  }
  // What the format makes of the bytes, where the report reads them otherwise.
  if (details.region && details.pixel === undefined) {
    facts.push(...regionFacts(details.format, details.region));
  }
  return facts;
}

// The bytes of a selection as the panel lists them: those the file holds, and how many more a
// larger selection has.
function storedBytes(stored, {count: selected}) {
  const more = selected - stored.length;
  return [{copy: hexBytes(stored)}, more > 0 ? ` and ${plural(more, 'byte')} more, not shown here` : ''];
}

// What the byte at an offset asked for is, when it is no field, entry or pixel; and a line
// saying which byte was asked for.
function offsetFacts(describe, offset, {byte}) {
  const facts = [['Offset', storedAt(offset, '')]];
  const what = byte.what;
  switch (what.kind) {
    case 'padding':
      facts.push(['What it is', `row padding: a byte that rounds stored row ` +
                  `${count(what.row)} (from 0) up to whole 32-bit words`]);
      break;
    case 'pixel-data':
      facts.push(['What it is', 'pixel data at no fixed offsets: biCompression marks the ' +
                  'pixels as compressed, or their depth is one the format does not define']);
      break;
    case 'gap':
      facts.push(['What it is', 'between the header and colour table and the pixels, ' +
                  `which start at ${count(describe.layout.start)}`]);
      break;
    case 'past-pixels':
      facts.push(['What it is', 'past the stored pixels, which end at ' +
                  `${count(describe.layout.end)}`]);
      break;
    case 'past-file':
      facts.push(['What it is', `past the end of the file, which is ` +
                  `${plural(describe.fileLength, 'byte')} long`]);
      break;
    case 'field':
      facts.push(['What it is', `a byte of the header field ${what.name}`]);
      break;
    case 'entry':
      facts.push(['What it is', `a byte of colour-table entry ${count(what.index)} (from 0)`]);
      break;
    default:
      facts.push(['What it is', `a byte of the pixel${what.count > 1 ? 's' : ''} ` +
                  pixelsText(what)]);
  }
  return facts;
}

// The pixels a byte holds bits of: one, or several in a row under 8 bits per pixel.
const pixelsText = ({x, y, count: pixels}) => (pixels > 1
  ? `x ${count(x)} to ${count(x + pixels - 1)}, y ${count(y)} (from 0)`
  : `x ${count(x)}, y ${count(y)} (from 0)`);

// A pixel: its colours, the format's source of it, then where the report's layout stores it,
// its table entry and the report's items for it.
function pixelFacts(describe, pixel, details) {
  const {decoded = null, stored, colour, entry} = details;
  const {x, y} = pixel ?? decoded;
  const facts = [['Pixel', `x ${count(x)}, y ${count(y)} (from 0, at the top left)`]];
  facts.push(...colourFacts(decoded, colour, details.browserCannot === true));
  const reportStores = pixel !== null && pixel.fixedOffsets && !pixel.beyondAnyFile;
  facts.push(...sourceFacts(decoded, !reportStores));
  if (!reportStores && (decoded?.index ?? null) !== null) {
    facts.push(['Table entry', decodedEntryText(decoded)]);
  }
  if (pixel === null) {
    facts.push(['In the report', `no pixel x ${count(x)}, y ${count(y)}: the report reads the ` +
                `header as a picture of ${count(describe.layout.width)} × ` +
                `${count(describe.layout.height)} pixels`]);
    return facts;
  }
  if (!pixel.fixedOffsets) {
    facts.push(['Stored', describe.layout.compressed
      ? 'nowhere fixed: biCompression marks the pixels as compressed, so they are not at ' +
        'fixed offsets'
      : `nowhere fixed: ${describe.layout.bits} bits per pixel is a depth the format does ` +
        'not define']);
    if (details.commandByte) {
      facts.push(['In the report', 'the dumps read the RLE commands as pixel bytes; the ' +
                  'command\'s first byte is printed as follows']);
      facts.push(...dumpFacts(describe, [details.commandByte]));
    }
    return facts;
  }
  if (pixel.beyondAnyFile) {
    facts.push(['Stored at', `beyond any file: its offset would pass ${count(kLastOffset)}, ` +
                'the last a file can have']);
    return facts;
  }
  facts.push(['Stored at', storedAt(pixel.offset, `, ${plural(pixel.count, 'byte')}`)]);
  if (stored.length > 0) {
    const parts = [{copy: hexBytes(stored)}];
    if (pixel.bits < 8) {
      const high = pixel.shift + pixel.bits - 1;
      parts.push(`: bit${pixel.bits > 1 ? `s ${high} to ${pixel.shift}` : ` ${high}`} of the ` +
                 `byte, ${pixelValue(stored[0], pixel).toString(2).padStart(pixel.bits, '0')}`);
    }
    facts.push(['Stored bytes', parts]);
  }
  if (pixel.missing > 0) {
    const all = pixel.missing === pixel.count;
    facts.push(['Missing', `${all ? (pixel.count === 1 ? 'its byte lies' : `all ${pixel.count} ` +
      'of its bytes lie') : `${pixel.missing} of its ${pixel.count} bytes lie`} past the end of ` +
      `the file, which is ${plural(describe.fileLength, 'byte')} long`]);
  }
  const {topDown, rowBytes, start} = describe.layout;
  facts.push(['Stored row', `row ${count(pixel.row)} as stored (from 0; rows ` +
              `${topDown ? 'top-down' : 'bottom-up'}, ${plural(rowBytes, 'byte')} each from ` +
              `${count(start)}), byte ${count(pixel.inRow)} of the row (from 0)`]);
  if (entry !== null) facts.push(['Table entry', entryText(describe, entry)]);
  facts.push(...dumpFacts(describe, pixel.bytes));
  return facts;
}

function entryText(describe, {index, inTable, offset, stored}) {
  if (!inTable) {
    return `entry ${count(index)} (from 0): not in the report's table of ` +
           `${plural(describe.table.count, 'entry', 'entries')}`;
  }
  if (stored.length < 4) return `entry ${count(index)} (from 0): past the end of the file`;
  const rgb = colourHex([stored[2], stored[1], stored[0]]);
  return [{swatch: rgb}, `${rgb}, entry ${count(index)} (from 0), stored at `,
          ...storedAt(offset, '')];
}

function fieldFacts(describe, field, stored) {
  const facts = [['Header field', field.name],
                 ['Stored at', storedAt(field.offset, `, ${plural(field.width, 'byte')}`)],
                 ['Stored bytes', stored.length > 0
                   ? [{copy: hexBytes(stored)}, ' (file order, least significant first)']
                   : 'none: past the end of the file']];
  if (field.name === 'bfSize') {
    facts.push(['Measured length', `the file is ${plural(describe.fileLength, 'byte')} long`]);
  }
  facts.push(['Report line', field.line > 0 ? line(field.line)
    : 'none: the report prints no line for this field']);
  return facts;
}

function entryFacts(answer, stored) {
  const facts = [['Table entry', `entry ${count(answer.index)} (from 0)`],
                 ['Stored at', storedAt(answer.offset, ', 4 bytes: blue, green, red, reserved')]];
  if (stored.length === 4) {
    facts.push(['Stored bytes', [{swatch: colourHex([stored[2], stored[1], stored[0]])},
                                 {copy: hexBytes(stored)}]]);
  } else {
    facts.push(['Stored bytes', 'past the end of the file: the report shows zeros']);
  }
  return facts;
}

function itemFacts(describe, {place, byte, stored, decoded, colour, browserCannot}) {
  const {place: item} = place;
  const facts = [['Report item', `${item.title}: ${line(item.line)}, item ${count(item.inRow)} ` +
                  `of the row (from 0), in the row numbered ${count(item.rowNumber)}`],
                 ['Read at', storedAt(item.offset, `, ${plural(item.bytes, 'byte')}`)]];
  if (item.pastEnd) {
    facts.push(['Stored bytes', `${stored.length > 0 ? `${hexBytes(stored)}; ` : ''}past the ` +
                `end of the file, which is ${plural(describe.fileLength, 'byte')} long: the ` +
                'item repeats what the dump read last']);
  } else {
    facts.push(['Stored bytes', [{copy: hexBytes(stored)}]]);
  }
  facts.push(['Pixel', whatText(describe, byte.what)]);
  // The colours of the one pixel the item reads, when they were asked.
  if (decoded !== undefined) facts.push(...colourFacts(decoded, colour, browserCannot));
  facts.push(...dumpFacts(describe, [byte]));
  return facts;
}

// What a byte holds, for an item that reads it.
function whatText(describe, what) {
  switch (what.kind) {
    case 'pixel':
      return pixelsText(what);
    case 'padding':
      return `none: the format counts this byte as padding of stored row ${count(what.row)} ` +
             '(from 0)';
    case 'pixel-data':
      return 'none: the pixels are not at fixed offsets';
    default:
      return 'none: the byte lies outside the picture\'s stored rows';
  }
}

// Where each dump prints the given bytes, or why it does not; and each dump's walk.
export function dumpFacts(describe, bytes) {
  if (describe.dumps.length === 0) {
    return [['In the report', `no dump: the report prints none at ${describe.layout.bits} ` +
             'bits per pixel']];
  }
  const facts = describe.dumps.map((dump, d) => {
    const seen = new Set();
    const places = [];
    for (const byte of bytes) {
      const inDump = byte.dumps[d];
      if (inDump.why !== 'printed') {
        places.push(unprinted(inDump.why, dump));
        continue;
      }
      const {index, inRow, rowNumber, pastEnd} = inDump.place;
      if (seen.has(index)) continue;
      seen.add(index);
      places.push(`${line(inDump.place.line)}, item ${count(inRow)} of the row (from 0), in ` +
                  `the row numbered ${count(rowNumber)}${pastEnd ? ', printed past the end of ' +
                  'the file: it repeats the item read last' : ''}`);
    }
    return [dump.title, places.join('; ')];
  });
  facts.push(['The dumps\' walk', describe.dumps.map((dump) => `${dump.title} reads ` +
    `${plural(dump.printed, 'item')} from ${count(dump.start)} in rows of ` +
    `${count(dump.rowLength)}, skipping ${plural(dump.rowPad, 'byte')} at each break`)
    .join('; ')]);
  return facts;
}

function unprinted(why, dump) {
  switch (why) {
    case 'padding':
      return 'not printed: the row walk skips this byte as padding';
    case 'past-count':
      return `not printed: it lies past the dump's ${plural(dump.printed, 'item')}`;
    default:
      return `not printed: it lies before the dump's start at ${count(dump.start)}`;
  }
}

// The facts as plain text, a line each: what a test or a screen reader reads.
export function factsText(facts) {
  return facts.map(([label, value]) => `${label}: ${typeof value === 'string' ? value
    : value.map((part) => (typeof part === 'string' ? part : part.shown ?? part.copy ?? ''))
      .join('')}`)
    .join('\n');
}

// The bytes view, as xxd shows them: a row per 16 bytes of bytes, which start at offset first
// of the file; each row [{text, selected}], selected for the count bytes from offset from.
export function hexRows(first, bytes, from, selected) {
  const rows = [];
  for (let row = 0; row * 16 < bytes.length; row += 1) {
    const start = first + row * 16;
    const held = bytes.subarray(row * 16, row * 16 + 16);
    const parts = [{text: `${start.toString(16).padStart(8, '0')}: `, selected: false}];
    for (let i = 0; i < 16; i += 1) {
      const at = start + i;
      parts.push({text: i < held.length ? held[i].toString(16).padStart(2, '0') : '  ',
                  selected: i < held.length && at >= from && at < from + selected});
      if (i % 2 === 1) parts.push({text: ' ', selected: false});
    }
    const shown = Array.from(held, (b) => (b >= 0x20 && b < 0x7F ? String.fromCharCode(b)
                                                                 : '.')).join('');
    parts.push({text: ` ${shown}\n`, selected: false});
    rows.push(parts);
  }
  return rows;
}
