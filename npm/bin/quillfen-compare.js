#!/usr/bin/env node
// quillfen-compare A.bmp B.bmp: the two files compared by what they hold, with the text and
// exit status of the native command: 0 the same, 1 different, 2 trouble with one line on
// standard error. Files are read on demand.
'use strict';

const {runCommand} = require('../lib/command.js');

runCommand('quillfen-compare', 2, (core, args, onBlock) =>
  core.runCompareCommandLine(args, onBlock));
