#!/usr/bin/env node
// quillfen FILE: the report on one BMP file, byte for byte and with the exit status of the
// native tool. Files are read on demand; the report goes out in blocks. Any failure of the
// command itself ends it with one line on standard error and status 255.
'use strict';

const fs = require('fs');
const tty = require('tty');

function fail(error) {
  const reason = error && error.message ? error.message : String(error);
  try {
    fs.writeSync(2, `quillfen: ${reason}\n`);
  } finally {
    process.exit(255);
  }
}
process.on('uncaughtException', fail);
process.on('unhandledRejection', fail);

// Node restores a terminal on standard input as it exits, and aborts when the terminal has gone
// meanwhile (a pty closed after it gave its bytes); with the descriptor closed it leaves it be.
if (tty.isatty(0)) {
  process.on('exit', () => {
    try {
      fs.closeSync(0);
    } catch {
      // already closed
    }
  });
}

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

const createQuillfen = require('../lib/core.js');
createQuillfen().then((core) => {
  const status = core.runCommandLine(['quillfen', ...process.argv.slice(2)], (block) =>
    writeAll(1, block));
  // The exit status is a byte: -1 is seen as 255, as for the native tool.
  process.exitCode = status & 0xff;
}, fail);
