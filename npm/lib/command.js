// What the package's commands share: the core's run on the command line, its output written
// whole to standard output, and one line on standard error with the command's own status for
// any failure of the command itself.
'use strict';

const fs = require('fs');
const tty = require('tty');

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

// Runs program on the process's arguments: run(core, args, onBlock) is the core's run of it,
// args[0] the program's name, and returns the exit status. A failure of the command itself
// ends it with `program: reason` and troubleStatus.
function runCommand(program, troubleStatus, run) {
  const fail = (error) => {
    const reason = error && error.message ? error.message : String(error);
    try {
      fs.writeSync(2, `${program}: ${reason}\n`);
    } finally {
      process.exit(troubleStatus);
    }
  };
  process.on('uncaughtException', fail);
  process.on('unhandledRejection', fail);

  // Node restores a terminal on standard input as it exits, and aborts when the terminal has
  // gone meanwhile (a pty closed after it gave its bytes); with the descriptor closed it leaves
  // it be.
  if (tty.isatty(0)) {
    process.on('exit', () => {
      try {
        fs.closeSync(0);
      } catch {
        // already closed
      }
    });
  }

  require('./core.js')().then((core) => {
    const status = run(core, [program, ...process.argv.slice(2)], (block) => writeAll(1, block));
    // The exit status is a byte: -1 is seen as 255, as for the native tool.
    process.exitCode = status & 0xff;
  }, fail);
}

module.exports = {runCommand};
