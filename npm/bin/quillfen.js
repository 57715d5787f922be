#!/usr/bin/env node
// quillfen FILE: the report on one BMP file, byte for byte and with the exit status of the
// native tool. Files are read on demand; the report goes out in blocks.
'use strict';

const fs = require('fs');
const createQuillfen = require('../lib/core.js');

// Writes all of bytes to a descriptor, waiting while a pipe that does not block is full.
function writeAll(fd, bytes) {
  for (let done = 0; done < bytes.length;) {
    try {
      done += fs.writeSync(fd, bytes, done, bytes.length - done);
    } catch (error) {
      if (error.code !== 'EAGAIN') throw error;
      Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 1);
    }
  }
}

createQuillfen().then((core) => {
  const status = core.runCommandLine(['quillfen', ...process.argv.slice(2)], (block) =>
    writeAll(1, block));
  // The exit status is a byte: -1 is seen as 255, as for the native tool.
  process.exitCode = status & 0xff;
});
