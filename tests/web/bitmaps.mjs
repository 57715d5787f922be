// The format's layout and the native report's items, worked out here from a file's own bytes
// without the page's help: what the page's tests check the inspector against.
import assert from 'node:assert/strict';

export const hex2 = (value) => value.toString(16).toUpperCase().padStart(2, '0');

// The file header and info header of a bitmap as stored, to build test files from: width x
// height at bits per pixel, an info header of infoSize bytes (a V4 or V5 one with masks [red,
// green, blue, alpha] says sRGB), the pixels from offBits (right after the headers when not
// given), a bfSize of fileSize and a biSizeImage of imageSize.
export function bitmapHeader({width, height, bits, infoSize = 40, offBits = 14 + infoSize,
                              fileSize = offBits, imageSize = 0, masks = null}) {
  const header = Buffer.alloc(14 + infoSize);
  header.write('BM', 0, 'latin1');
  header.writeUInt32LE(fileSize, 2);
  header.writeUInt32LE(offBits, 10);
  header.writeUInt32LE(infoSize, 14);
  header.writeInt32LE(width, 18);
  header.writeInt32LE(height, 22);
  header.writeUInt16LE(1, 26);
  header.writeUInt16LE(bits, 28);
  header.writeUInt32LE(imageSize, 34);
  if (masks !== null) {
    masks.forEach((mask, i) => header.writeUInt32LE(mask, 54 + 4 * i));
    header.write('BGRs', 70, 'latin1');
  }
  return header;
}

// The header as the format lays it out, read here without the page's help.
export function headerOf(bytes) {
  const read = (at, size, how) => (at + size <= bytes.length ? bytes[how](at) : 0);
  const [u32, i32] = [(at) => read(at, 4, 'readUInt32LE'), (at) => read(at, 4, 'readInt32LE')];
  const header = {offBits: u32(10), width: i32(18), height: i32(22),
                  bits: read(28, 2, 'readUInt16LE'), compression: u32(30), clrImportant: u32(50)};
  header.rowBytes = Math.floor((Math.abs(header.width) * header.bits + 31) / 32) * 4;
  header.fixed = [1, 2, 4, 8, 16, 24, 32].includes(header.bits) &&
                 [0, 3, 6].includes(header.compression);
  return header;
}

// Where the format stores the pixel at x, y (0, 0 top left), and its bytes.
export function storedPixel(bytes, header, x, y) {
  const rows = Math.abs(header.height);
  const row = header.height < 0 ? y : rows - 1 - y;
  const offset = header.offBits + row * header.rowBytes + Math.floor(x * header.bits / 8);
  const count = Math.max(1, header.bits / 8);
  return {offset, bytes: [...bytes.subarray(offset, Math.min(bytes.length, offset + count))]};
}

// The text a dump prints for the item that reads bytes, by the dump's kind.
export function itemText(kind, bytes, file, header) {
  const [b0, b1, b2] = bytes;
  switch (kind) {
    case 'bits':
      return Array.from({length: 8}, (_, bit) => (b0 >> bit & 1 ? '8' : ' ')).join('');
    case 'hex':
      return `${hex2(b0)} `;
    case 'triple':
      return `(${String(b2).padStart(3)}.${String(b1).padStart(3)}.${String(b0).padStart(3)}) `;
    default: {
      // A 16-bit file has no table: every item is one that names no entry.
      const entries = {1: 2, 4: 16, 8: header.clrImportant || 256}[header.bits] ?? 0;
      if (b0 >= Math.min(entries, 256)) return '0x------ ';
      const entry = [2, 1, 0].map((c) => file[54 + 4 * b0 + c] ?? 0);
      return `0x${entry.map(hex2).join('')} `;
    }
  }
}

// The kind of dump a line of the native report belongs to, by the section it is in.
export function dumpKind(lines, line, bits) {
  const title = lines.slice(0, line).findLast((text) => text.startsWith(' === Bitmap Data'));
  if (title?.startsWith(' === Bitmap Data[Indexed data]')) return bits === 1 ? 'bits' : 'hex';
  if (title?.startsWith(' === Bitmap Data[RGB translated]')) return 'colour';
  return title?.startsWith(' === Bitmap Data ===') ? 'triple' : null;
}

// Checks the inspector's answer for the pixel at x, y against the file and the native report.
// The panel's stored row and table entry are checked too, unless it shows an item chosen in
// the report (item), whose panel says other things.
export function checkPixel(shown, bytes, header, native, x, y, where, {item = false} = {}) {
  const stored = storedPixel(bytes, header, x, y);
  assert.deepEqual([shown.x, shown.y, shown.offset, shown.bytes], [String(x), String(y),
    String(stored.offset), stored.bytes.map(hex2).join(' ')], where);
  if (!item) checkPixelFacts(shown, bytes, header, x, y, where);
  const lines = native.split('\n');
  for (const mark of shown.marks) {
    assert.equal(lines[mark.line - 1].substr(mark.column, mark.text.length), mark.text,
                 `${where}: the mark on line ${mark.line}`);
    // Past the end of the file an item repeats what was read before it.
    if (stored.bytes.length < Math.max(1, header.bits / 8)) continue;
    // Each of the pixel's bytes is marked where it is printed: a 24-bit item reads all three,
    // the other kinds one byte each (two items for a 16-bit pixel).
    const kind = dumpKind(lines, mark.line, header.bits);
    const texts = kind === 'triple' ? [itemText(kind, stored.bytes, bytes, header)]
      : stored.bytes.map((byte) => itemText(kind, [byte], bytes, header));
    assert.ok(texts.includes(mark.text),
              `${where}: the ${kind} item on line ${mark.line}, ${mark.text}, is one of ${texts}`);
  }
}

// The panel's row as stored, the first byte's place in that row, and the table entry.
function checkPixelFacts(shown, bytes, header, x, y, where) {
  const stored = storedPixel(bytes, header, x, y);
  const row = header.height < 0 ? y : Math.abs(header.height) - 1 - y;
  assert.match(shown.facts, new RegExp(`row ${row.toLocaleString('en')} as stored \\(from 0; ` +
    `rows ${header.height < 0 ? 'top-down' : 'bottom-up'}, .*\\), byte ` +
    `${Math.floor(x * header.bits / 8).toLocaleString('en')} of the row \\(from 0\\)`), where);
  // The table entry of a pixel of a depth whose table the report lists, from the file's table.
  if ([1, 4, 8].includes(header.bits) && stored.bytes.length > 0) {
    const [byte] = stored.bytes;
    const index = header.bits === 8 ? byte
      : byte >> (8 - header.bits - (x * header.bits) % 8) & ((1 << header.bits) - 1);
    const entries = {1: 2, 4: 16, 8: header.clrImportant || 256}[header.bits];
    const at = 54 + 4 * index;
    const expected = index >= entries ? `entry ${index} (from 0): not in the report's table of ` +
                                        `${entries} ${entries === 1 ? 'entry' : 'entries'}`
      : at + 4 > bytes.length ? `entry ${index} (from 0): past the end of the file`
      : `#${[2, 1, 0].map((c) => hex2(bytes[at + c])).join('')}, entry ${index} (from 0), ` +
        `stored at ${at.toLocaleString('en')} (0x${at.toString(16).toUpperCase()})`;
    assert.ok(shown.facts.includes(`Table entry\n${expected}`),
              `${where}: its table entry, ${expected}, in\n${shown.facts}`);
  }
}
