// Numbers as the page writes and reads them: grouping, hex, sizes, and offsets as typed.
import assert from 'node:assert/strict';
import {test} from 'node:test';

import {count, hex2, hexBytes, hexOffset, kLastOffset, offsetText, parseOffset, plural,
        size} from '../../../web/numbers.js';

test('digits are grouped in threes, from numbers, BigInts and decimal strings alike', () => {
  for (const [value, text] of [[0, '0'], [7, '7'], [999, '999'], [1000, '1,000'],
                               [36000054, '36,000,054'], [-1234, '-1,234'], [-12, '-12'],
                               [-123456, '-123,456'],
                               ['18446744047939747902', '18,446,744,047,939,747,902'],
                               [2n ** 64n - 1n, '18,446,744,073,709,551,615'],
                               ['100000', '100,000']]) {
    assert.equal(count(value), text, String(value));
  }
  assert.deepEqual([plural(1, 'byte'), plural('1', 'entry', 'entries'), plural(0, 'byte'),
                    plural('4096', 'entry', 'entries')],
                   ['1 byte', '1 entry', '0 bytes', '4,096 entries']);
});

test('bytes and offsets in hex', () => {
  assert.deepEqual([hex2(0), hex2(0xAB), hexBytes(new Uint8Array([0x42, 0x4D, 0x09, 0xFF])),
                    hexBytes([])], ['00', 'AB', '42 4D 09 FF', '']);
  assert.deepEqual(['118', 0, '18446744047939747902'].map(hexOffset),
                   ['0x76', '0x0', '0xFFFFFFFA0000003E']);
  assert.equal(offsetText('1078'), '1,078 (0x436)');
});

test('sizes are rounded down, never said to be more than they are', () => {
  for (const [bytes, text] of [[0, '0 bytes'], [1, '1 byte'], [999, '999 bytes'],
                               [1000, '1 kB'], [1999, '1.9 kB'], [4194303, '4.1 MB'],
                               [9999999, '9.9 MB'], [10e6, '10 MB'], [168000054, '168 MB'],
                               [999999999, '999 MB'], [5 * 2 ** 30, '5.3 GB'],
                               ['672000054', '672 MB']]) {
    assert.equal(size(bytes), text, String(bytes));
  }
});

test('an offset is typed in decimal or in hex, and none passes the last a file can have', () => {
  for (const [typed, offset] of [['0', 0n], ['118', 118n], [' 1,078 ', 1078n], ['0x76', 118n],
                                 ['0X4d', 77n], ['18446744073709551615', kLastOffset],
                                 ['0xFFFFFFFFFFFFFFFF', kLastOffset], ['1 000', 1000n]]) {
    assert.deepEqual(parseOffset(typed), {offset}, typed);
  }
  for (const typed of ['', ' ', '-1', '0x', '12a', 'x12', '1.5', '0x1g', ',1', 'a0x10',
                       '0x 10']) {
    assert.deepEqual(parseOffset(typed),
                     {error: 'an offset is a decimal number, or 0x and hex digits'}, typed);
  }
  assert.deepEqual(parseOffset('18446744073709551616'), {
    error: '18,446,744,073,709,551,616 is beyond any file: offsets go up to ' +
           '18,446,744,073,709,551,615 (0xFFFFFFFFFFFFFFFF)'});
  assert.match(parseOffset('0x10000000000000000').error, /^18,446,744,073,709,551,616 is beyond/);
});
