// The frozen comparisons the page's Node tests use (tests/web/unit/comparisons.mjs) are the
// core's answers today: each is compared with the answer of the core built for Node
// (build-web/npm-package) on its files, as the page's worker asks it, so that a change of the
// answer's shape or words fails here. QUILLFEN_WRITE_COMPARISONS=1 writes
// them again from the core instead.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import path from 'node:path';
import {test} from 'node:test';

import {root} from './browser.mjs';
import * as frozen from './unit/comparisons.mjs';

const suite = (name) => fs.readFileSync(path.join(root, 'tests/data/bmpsuite', name));
const fixtures = path.join(root, 'tests/web/unit/comparisons.mjs');

// pal8.bmp with one index byte changed: pixel (10, 5), which pal8rle.bmp sets in an absolute run.
const pal8Changed = () => {
  const bytes = suite('g/pal8.bmp');
  bytes[8496] ^= 0x01;
  return bytes;
};

// Each fixture's files, as bytes, in the order of the file.
// The same picture, three fields differ; fields only in B, 5,212 pixels, ten listed; pixels an
// RLE delta skips, table entries; one pixel, set in A by an absolute run; identical; not a BMP.
const kPairs = {
  samePicture: () => [suite('g/pal8.bmp'), suite('pal8rle.bmp')],
  rgbAgainst565: () => [suite('rgb24.bmp'), suite('g/rgb16-565.bmp')],
  skippedAgainstStored: () => [suite('q/pal8rletrns.bmp'), suite('g/pal8.bmp')],
  runAgainstStored: () => [suite('pal8rle.bmp'), pal8Changed()],
  identical: () => [suite('g/pal8.bmp'), suite('g/pal8.bmp')],
  notBitmap: () => [suite('g/pal8.bmp'), Buffer.from('not a bitmap, text\n')],
};

const kHead = `\
// The core's comparisons of BMP Suite's files, fixtures for the page's pure modules: written and
// checked against the core by tests/web/comparisons.test.mjs, which names each one's files.
`;

test('the frozen comparisons are the core\'s answers on their files', async () => {
  const createCore = createRequire(import.meta.url)(path.join(root,
                                                              'build-web/npm-package/lib/core.js'));
  const core = await createCore();
  const answers = {};
  for (const [name, files] of Object.entries(kPairs)) {
    const [a, b] = files();
    answers[name] = core.compareFiles({bytes: a}, {bytes: b});
  }
  if (process.env.QUILLFEN_WRITE_COMPARISONS === '1') {
    fs.writeFileSync(fixtures, kHead + Object.entries(answers).map(([name, answer]) =>
      `export const ${name} = ${JSON.stringify(answer)};\n`).join(''));
  }
  assert.deepEqual(Object.keys(frozen).sort(), Object.keys(kPairs).sort());
  for (const name of Object.keys(kPairs)) assert.deepEqual(frozen[name], answers[name], name);
});
