#!/usr/bin/env node
// quillfen FILE: the report on one BMP file, byte for byte and with the exit status of the
// native tool. Files are read on demand; the report goes out in blocks. Any failure of the
// command itself ends it with one line on standard error and status 255.
'use strict';

const {runCommand} = require('../lib/command.js');

runCommand('quillfen', 255, (core, args, onBlock) => core.runCommandLine(args, onBlock));
