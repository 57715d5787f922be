// @ts-check
// The README's example of the API: run by make npm-test in a project that installed the
// package, and checked against index.d.ts by TypeScript in make lint. The README shows it from
// its first import to the checks at its end.
import fs from 'node:fs';
import {pipeline} from 'node:stream/promises';
import {createReportStream, decode, inspect, report} from 'quillfen';

// A report as one string, with the tool's exit status: 0, or -1 when it refuses the file.
const {text, status} = await report('sample.bmp');
// Bytes you already hold, reported as a file of that name.
const named = await report(fs.readFileSync('sample.bmp'), 'named.bmp');
// A report of any size, as a stream: here saved to a file.
const stream = createReportStream('sample.bmp');
await pipeline(stream, fs.createWriteStream('sample.bmp.txt'));
// What the format says: every field, and every byte of the file in one region of its map.
const {fields, regions, width} = await inspect('sample.bmp');
const biWidth = fields.find((field) => field.name === 'biWidth');
// The pixels as the format defines them, rows from the top: RGBA and a state a pixel.
const {rgba, state} = await decode(fs.readFileSync('sample.bmp'));

// The checks: what the test reads, and types for TypeScript to hold to index.d.ts.
/** @type {0 | -1 | null} */
const streamStatus = stream.status;
/** @type {number} */
const lastEnd = regions[regions.length - 1].offset + regions[regions.length - 1].size;
console.log(text.length, status, named.status, streamStatus);
console.log(width, biWidth?.offset, biWidth?.value, regions.length, lastEnd, rgba.length,
            state.length);
