// The JavaScript API: the report as a stream or a string (lib/report.js), the decoder's
// answers as data (lib/decode.js) and the comparison of two files (lib/compare.js). Every call
// runs the core in the package's worker thread.
'use strict';

const {report, createReportStream} = require('./lib/report.js');
const {inspect, decode} = require('./lib/decode.js');
const {compare} = require('./lib/compare.js');

module.exports = {report, createReportStream, inspect, decode, compare};
