// The comparison: compare() gives which header fields, table entries and pixels of two files
// differ, each with its bytes in both, and the lines quillfen-compare prints. The core works
// it out in the package's worker thread (app/compare_answers.h in the project documents it).
'use strict';

const {ask, bound, fileOf} = require('./workers.js');

// Resolves to the comparison of a with b, each the path of a file or its bytes, listing at
// most options.pixels pixels and options.entries table entries (the command's own bounds when
// not given; the core refuses more than it lists). Rejects with an Error whose code is
// 'ERR_QUILLFEN_NOT_BMP' when a file does not start with BM.
async function compare(a, b, options) {
  const files = [a, b].map((input) => fileOf(input, 'compare', 'two paths or Uint8Arrays'));
  const pixels = bound(options, 'pixels', undefined, Infinity, 'compare');
  const entries = bound(options, 'entries', undefined, Infinity, 'compare');
  return ask({type: 'compare', a: files[0], b: files[1], pixels, entries},
             (message) => (message.type === 'compared' ? message.comparison : undefined));
}

module.exports = {compare};
