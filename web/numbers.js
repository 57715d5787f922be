// Numbers as the page writes and reads them: grouped digits, hex offsets, sizes, typed offsets.

// The core sends file offsets, lengths and counts that can pass 2^53 as decimal strings; they
// are shown as they are, and read as BigInt only where they must be compared.

// The largest offset any file can have.
export const kLastOffset = (1n << 64n) - 1n;

// Digits in groups of three, as in 36,000,054: for a number, a BigInt or a decimal string.
// Written out rather than with toLocaleString, whose first call loads the locale's data on a
// user's click.
export function count(value) {
  const digits = String(value);
  const sign = digits.startsWith('-') ? '-' : '';
  const body = sign === '' ? digits : digits.slice(1);
  let grouped = '';
  for (let end = body.length; end > 0; end -= 3) {
    grouped = body.slice(Math.max(0, end - 3), end) + (grouped === '' ? '' : `,${grouped}`);
  }
  return sign + grouped;
}

// n things, in words: "1 byte", "3 bytes", "2 entries".
export function plural(n, one, many = `${one}s`) {
  return `${count(n)} ${String(n) === '1' ? one : many}`;
}

// A byte as two upper-case hex digits.
export const hex2 = (value) => value.toString(16).toUpperCase().padStart(2, '0');

// Bytes as upper-case hex pairs separated by blanks: "42 4D 96".
export const hexBytes = (bytes) => Array.from(bytes, hex2).join(' ');

// An offset (decimal string, number or BigInt) in upper-case hex: 0x76.
export const hexOffset = (offset) => `0x${BigInt(offset).toString(16).toUpperCase()}`;

// An offset in decimal and in hex: "118 (0x76)".
export const offsetText = (offset) => `${count(offset)} (${hexOffset(offset)})`;

// A size in bytes in megabytes or kilobytes as people read them, rounded down so that a part
// is never said to be more than it is: 4,194,000 is "4.1 MB", 168,000,054 "168 MB".
export function size(bytes) {
  const value = Number(bytes);
  for (const [unit, scale] of [['GB', 1e9], ['MB', 1e6], ['kB', 1e3]]) {
    if (value >= scale) {
      const units = value / scale;
      const shown = units < 10 ? Math.floor(units * 10) / 10 : Math.floor(units);
      return `${shown} ${unit}`;
    }
  }
  return plural(value, 'byte');
}

// An offset as typed: decimal digits, or 0x and hex digits, blanks and group commas allowed
// in decimal. Returns {offset} (a BigInt), or {error} in words when the text is no offset.
export function parseOffset(text) {
  const typed = text.trim();
  let offset;
  if (/^0[xX][0-9a-fA-F]+$/.test(typed)) offset = BigInt(typed);
  else if (/^[0-9][0-9, ]*$/.test(typed)) offset = BigInt(typed.replace(/[, ]/g, ''));
  else return {error: 'an offset is a decimal number, or 0x and hex digits'};
  if (offset > kLastOffset) {
    return {error: `${count(offset)} is beyond any file: offsets go up to ` +
                   `${count(kLastOffset)} (${hexOffset(kLastOffset)})`};
  }
  return {offset};
}
