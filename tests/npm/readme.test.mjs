// The README's npm commands run exactly as written, in a scratch folder that holds the built
// tarball and the sample: the global install gives the command, the project install serves the
// README's example, in both import forms; and the npm README's install lines and example.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {test} from 'node:test';

import {native, root, sample, scratch, shell} from './support.mjs';

// The commands of a README's first sh block after heading, without their comments.
function readmeCommands(readme, heading) {
  const section = fs.readFileSync(readme, 'utf8').split(heading)[1];
  return /```sh\n([^]*?)```/.exec(section)[1].trim().split('\n')
    .map((line) => line.replace(/\s+#.*$/, ''));
}

// npm's settings for a run: a global install goes to prefix, whose commands come first.
const npmEnv = (prefix) => ({...process.env, npm_config_prefix: prefix, npm_config_audit: 'false',
                             npm_config_fund: 'false', PATH: `${prefix}/bin:${process.env.PATH}`});
// Runs command in cwd, which must succeed; returns what it printed.
function succeeds(command, options) {
  const run = shell(command, options);
  assert.equal(run.status, 0, `${command}: ${run.stderr}`);
  return run.stdout;
}
const nativeOn = (file, cwd) => shell(`'${native}' '${file}'`, {cwd}).stdout;
const tarball = fs.readdirSync(path.join(root, 'build-npm')).find((name) => name.endsWith('.tgz'));

test('the install lines work as written, and the example runs as the README shows', () => {
  const commands = readmeCommands(path.join(root, 'README.md'), '## With Node: the npm package');
  assert.deepEqual(commands, [
    'make npm-package',
    'npm install --global ./build-npm/quillfen-*.tgz',
    'quillfen samples/sample.bmp',
    'npm install --prefix my-project ./build-npm/quillfen-*.tgz',
  ]);
  // The package is built already: the rest runs where its tarball and the sample are, with the
  // global install in a prefix of the test's own.
  fs.mkdirSync(path.join(scratch, 'build-npm'));
  fs.copyFileSync(path.join(root, 'build-npm', tarball), path.join(scratch, 'build-npm', tarball));
  fs.cpSync(path.join(root, 'samples'), path.join(scratch, 'samples'), {recursive: true});
  const env = npmEnv(path.join(scratch, 'prefix'));
  for (const command of commands.slice(1)) {
    const printed = succeeds(command, {cwd: scratch, env});
    if (command.startsWith('quillfen ')) {
      assert.ok(printed.equals(nativeOn('samples/sample.bmp', scratch)), command);
    }
  }
  const project = path.join(scratch, 'my-project');
  fs.copyFileSync(sample, path.join(project, 'sample.bmp'));
  const expected = nativeOn('sample.bmp', project);
  for (const usage of ['usage.mjs', 'usage.cjs']) {
    fs.copyFileSync(path.join(root, 'tests/npm', usage), path.join(project, usage));
    assert.equal(succeeds(`node ${usage}`, {cwd: project}).toString(),
                 `${expected.length} 0 0 0\n8 18 8 36 150 128 32\ndifferent 1 0 3 118 4\n`, usage);
    assert.ok(fs.readFileSync(path.join(project, 'sample.bmp.txt')).equals(expected), usage);
  }
  // The README shows usage.mjs from its first import to its checks.
  const usage = fs.readFileSync(path.join(root, 'tests/npm/usage.mjs'), 'utf8');
  const shown = usage.slice(usage.indexOf('\nimport') + 1, usage.indexOf('\n\n// The checks'));
  const readme = fs.readFileSync(path.join(root, 'README.md'), 'utf8');
  assert.ok(readme.includes(`\`\`\`js\n${shown}\n\`\`\``), 'the README shows usage.mjs');
});

test("the npm README's install lines work as written, beside the tarball", () => {
  const readme = path.join(root, 'npm/README.md');
  const commands = readmeCommands(readme, '## Install');
  assert.deepEqual(commands, [`npm install --global ./${tarball}`, `npm install ./${tarball}`]);
  const dir = fs.mkdtempSync(path.join(scratch, 'beside-'));
  const project = path.join(dir, 'project');
  fs.mkdirSync(project);
  fs.copyFileSync(path.join(root, 'build-npm', tarball), path.join(dir, tarball));
  fs.copyFileSync(path.join(dir, tarball), path.join(project, tarball));
  const env = npmEnv(path.join(dir, 'prefix'));
  succeeds(commands[0], {cwd: dir, env});
  succeeds(commands[1], {cwd: project, env});
  // Both install; what a global install gives is the first test's, the project's install serves
  // the README's example, as written, on a picture.bmp of its own, compared with the same
  // picture at another resolution.
  const example = /```js\n([^]*?)```/.exec(fs.readFileSync(readme, 'utf8'))[1];
  fs.writeFileSync(path.join(project, 'example.mjs'), example);
  fs.copyFileSync(sample, path.join(project, 'picture.bmp'));
  const reference = fs.readFileSync(sample);
  reference.writeInt32LE(3780, 38);
  fs.writeFileSync(path.join(project, 'reference.bmp'), reference);
  const fields = ['0 bfType BM a BMP file', "2 bfSize 150 the file's length",
                  '6 bfReserved1 0 ', '8 bfReserved2 0 ', '10 bfOffBits 118 where the pixels start',
                  '14 biSize 40 BITMAPINFOHEADER', '18 biWidth 8 pixels',
                  '22 biHeight 4 rows, stored bottom-up', '26 biPlanes 1 ',
                  '28 biBitCount 8 8 bits a pixel', '30 biCompression 0 BI_RGB',
                  '34 biSizeImage 32 ', '38 biXPelsPerMeter 2835 ', '42 biYPelsPerMeter 2835 ',
                  '46 biClrUsed 16 table entries', '50 biClrImportant 16 '];
  const compared = shell(`'${native}-compare' reference.bmp picture.bmp`, {cwd: project});
  assert.equal(compared.status, 1);
  assert.equal(succeeds('node example.mjs', {cwd: project}).toString(),
               ['0', ...fields, ''].join('\n') + compared.stdout);
  assert.ok(fs.readFileSync(path.join(project, 'picture.bmp.txt'))
    .equals(nativeOn('picture.bmp', project)));
});
