// The decoder: inspect() gives what a file's headers say, field by field, and the map of its
// bytes; decode() its pixels as the format defines them. The core works both out in the
// package's worker thread (app/decode_answers.h in the project documents its answers).
'use strict';

const {ask, bound, fileOf} = require('./workers.js');

// inspect() lists at most this many regions unless told otherwise: about 120 MB in all.
const kMaxRegions = 250_000;
// decode() takes at most this many pixels unless told otherwise (16384 x 16384, 1 GiB of
// RGBA), and never more than kMostPixels (4 GiB of RGBA, the most one Uint8Array holds).
const kMaxPixels = 2 ** 28;
const kMostPixels = 2 ** 30;

// Resolves to the format of the file at path, or of bytes (a Uint8Array or Buffer), with every
// field and regions: the map of every byte, in file order. Rejects with a RangeError when the
// map has more than options.maxRegions regions.
async function inspect(input, options) {
  const file = fileOf(input, 'inspect', 'a path or a Uint8Array');
  const maxRegions = bound(options, 'maxRegions', kMaxRegions, Infinity, 'inspect');
  const regions = [];
  return ask({type: 'inspect', ...file, maxRegions}, (message) => {
    if (message.type === 'regions') {
      for (const region of message.regions) regions.push(region);
      return undefined;
    }
    return message.type === 'inspected' ? {...message.format, regions} : undefined;
  });
}

// Resolves to {width, height, rgba, state}: the pixels of the file at path, or of bytes, rows
// from the top, 4 bytes a pixel and a state each. Rejects with a RangeError when there are more
// than options.maxPixels, and with an Error whose code is 'ERR_QUILLFEN_NOT_DECODED' when the
// core does not decode them.
async function decode(input, options) {
  const file = fileOf(input, 'decode', 'a path or a Uint8Array');
  const maxPixels = bound(options, 'maxPixels', kMaxPixels, kMostPixels, 'decode');
  return ask({type: 'decode', ...file, maxPixels}, (message) => {
    if (message.type !== 'decoded') return undefined;
    const {width, height, rgba, state} = message;
    return {width, height, rgba, state};
  });
}

module.exports = {inspect, decode};
