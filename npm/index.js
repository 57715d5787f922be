// The JavaScript API: the report as a stream or a string (lib/report.js), and the decoder's
// answers as data (lib/decode.js). Every call runs the core in the package's worker thread.
'use strict';

const {report, createReportStream} = require('./lib/report.js');
const {inspect, decode} = require('./lib/decode.js');

module.exports = {report, createReportStream, inspect, decode};
