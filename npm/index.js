// The JavaScript API: report(path) and report(bytes, name) give the report's text and status.
'use strict';

const createQuillfen = require('./lib/core.js');

let core = null;  // the core's instance, once asked for; dropped when a call breaks it

// Resolves to {text, status}: the report on the file at path, or on bytes (a Uint8Array or
// Buffer) as the content of a file called name. status is 0, or -1 when the tool refuses.
async function report(input, name) {
  const bytesGiven = input instanceof Uint8Array;
  if (typeof input !== 'string' && !bytesGiven) {
    throw new TypeError('report() takes a path, or a Uint8Array and a file name');
  }
  if (bytesGiven && typeof name !== 'string') {
    throw new TypeError('report(bytes, name) needs the file name as a string');
  }
  if (core === null) core = createQuillfen();
  const instance = await core;
  const blocks = [];
  const keep = (block) => blocks.push(Buffer.from(block));
  let status;
  try {
    status = bytesGiven ? instance.reportBytes(input, name, keep)
                        : instance.runCommandLine(['quillfen', input], keep);
  } catch (error) {
    // A run that broke off may have left the instance in any state: the next call gets a new one.
    core = null;
    throw error;
  }
  return {text: Buffer.concat(blocks).toString('utf8'), status};
}

module.exports = {report};
