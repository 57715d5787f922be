// @ts-check
// The README's example of the API: run by make npm-test in a project that installed the
// package, and checked against index.d.ts by TypeScript in make lint. The README shows it from
// its first import to the checks at its end.
import fs from 'node:fs';
import {pipeline} from 'node:stream/promises';
import {compare, createReportStream, decode, inspect, report} from 'quillfen';

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
// Two files compared by what they hold: the header fields, table entries and pixels that
// differ, each with its bytes in both, and the lines quillfen-compare prints.
const edited = fs.readFileSync('sample.bmp');
edited[118] = 1;  // the first pixel's index: (0, 3), since rows are stored bottom-up
const {verdict, pixels, lines} = await compare('sample.bmp', edited);

// The checks: what the test reads, and types for TypeScript to hold to index.d.ts.
/** @type {0 | -1 | null} */
const streamStatus = stream.status;
/** @type {number} */
const lastEnd = regions[regions.length - 1].offset + regions[regions.length - 1].size;
console.log(text.length, status, named.status, streamStatus);
console.log(width, biWidth?.offset, biWidth?.value, regions.length, lastEnd, rgba.length,
            state.length);
/** @type {string} */
const firstOffset = pixels.first[0].a.data?.offset ?? '';
console.log(verdict, pixels.count, pixels.first[0].x, pixels.first[0].y, firstOffset,
            lines.length);
