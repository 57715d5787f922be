// The README's npm commands run exactly as written, in a scratch folder that holds the built
// tarball and the sample: the global install gives the command, the project install serves the
// README's example, in both import forms; and the npm README's install lines and example.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, test} from 'node:test';

import {native, root, scratchDir, shell} from './support.mjs';

const scratch = scratchDir();
after(() => fs.rmSync(scratch, {recursive: true, force: true}));

// The commands of a README's first sh block after heading, without their comments.
function readmeCommands(readme, heading) {
  const section = fs.readFileSync(readme, 'utf8').split(heading)[1];
  const block = /```sh\n([^]*?)```/.exec(section)[1];
  return block.trim().split('\n').map((line) => line.replace(/\s+#.*$/, ''));
}

// npm's settings for a run: a global install goes to prefix, whose commands come first.
function npmEnv(prefix) {
  return {...process.env, npm_config_prefix: prefix, npm_config_audit: 'false',
          npm_config_fund: 'false', PATH: `${prefix}/bin:${process.env.PATH}`};
}

const tarball = fs.readdirSync(path.join(root, 'build-npm')).find((name) =>
  name.endsWith('.tgz'));

test('the install lines work as written, and the example runs as the README shows', () => {
  const commands = readmeCommands(path.join(root, 'README.md'),
                                  '## With Node: the npm package');
  assert.deepEqual(commands, [
    'make npm-package',
    'npm install --global ./build-npm/quillfen-*.tgz',
    'quillfen samples/sample.bmp',
    'npm install --prefix my-project ./build-npm/quillfen-*.tgz',
  ]);
  // The package is built already: the rest runs where its tarball and the sample are, with the
  // global install in a prefix of the test's own.
  fs.mkdirSync(path.join(scratch, 'build-npm'));
  fs.copyFileSync(path.join(root, 'build-npm', tarball),
                  path.join(scratch, 'build-npm', tarball));
  fs.cpSync(path.join(root, 'samples'), path.join(scratch, 'samples'), {recursive: true});
  const env = npmEnv(path.join(scratch, 'prefix'));
  for (const command of commands.slice(1)) {
    const run = shell(command, {cwd: scratch, env});
    assert.equal(run.status, 0, `${command}: ${run.stderr}`);
    if (command.startsWith('quillfen ')) {
      assert.ok(run.stdout.equals(shell(`'${native}' samples/sample.bmp`, {cwd: scratch}).stdout));
    }
  }
  const project = path.join(scratch, 'my-project');
  fs.copyFileSync(path.join(root, 'samples/sample.bmp'), path.join(project, 'sample.bmp'));
  const expected = shell(`'${native}' sample.bmp`, {cwd: project}).stdout;
  for (const usage of ['usage.mjs', 'usage.cjs']) {
    fs.copyFileSync(path.join(root, 'tests/npm', usage), path.join(project, usage));
    const run = shell(`node ${usage}`, {cwd: project});
    assert.equal(run.status, 0, `${usage}: ${run.stderr}`);
    assert.equal(run.stdout.toString(),
                 `${expected.length} 0 0 0\n8 18 8 36 150 128 32\ndifferent 1 0 3 118 4\n`);
    assert.ok(fs.readFileSync(path.join(project, 'sample.bmp.txt')).equals(expected));
  }
  // The README shows usage.mjs from its first import to its checks.
  const usage = fs.readFileSync(path.join(root, 'tests/npm/usage.mjs'), 'utf8');
  const shown = usage.slice(usage.indexOf('\nimport') + 1, usage.indexOf('\n\n// The checks'));
  const readme = fs.readFileSync(path.join(root, 'README.md'), 'utf8');
  assert.ok(readme.includes('```js\n' + shown + '\n```'), 'the README shows usage.mjs');
});

test("the npm README's install lines work as written, beside the tarball", () => {
  const commands = readmeCommands(path.join(root, 'npm/README.md'), '## Install');
  assert.deepEqual(commands, [`npm install --global ./${tarball}`, `npm install ./${tarball}`]);
  const dir = fs.mkdtempSync(path.join(scratch, 'beside-'));
  fs.copyFileSync(path.join(root, 'build-npm', tarball), path.join(dir, tarball));
  const project = path.join(dir, 'project');
  fs.mkdirSync(project);
  fs.copyFileSync(path.join(dir, tarball), path.join(project, tarball));
  const env = npmEnv(path.join(dir, 'prefix'));
  const global = shell(commands[0], {cwd: dir, env});
  assert.equal(global.status, 0, global.stderr);
  const sample = path.join(root, 'samples/sample.bmp');
  assert.ok(shell(`quillfen '${sample}'`, {env}).stdout.equals(shell(`'${native}' '${sample}'`)
                                                                   .stdout));
  const local = shell(commands[1], {cwd: project, env});
  assert.equal(local.status, 0, local.stderr);
  const run = shell(`node -e "require('quillfen').report('${sample}').then((r) => ` +
                    'process.stdout.write(r.text))"', {cwd: project});
  assert.ok(run.stdout.equals(shell(`'${native}' '${sample}'`).stdout));
  // The README's example, as written, on a picture.bmp of its own.
  const example = /```js\n([^]*?)```/.exec(fs.readFileSync(path.join(root, 'npm/README.md'),
                                                             'utf8'))[1];
  fs.writeFileSync(path.join(project, 'example.mjs'), example);
  fs.copyFileSync(sample, path.join(project, 'picture.bmp'));
  // The file it is compared with: the same picture at another resolution.
  const reference = fs.readFileSync(sample);
  reference.writeInt32LE(3780, 38);
  fs.writeFileSync(path.join(project, 'reference.bmp'), reference);
  const ran = shell('node example.mjs', {cwd: project});
  assert.equal(ran.status, 0, ran.stderr);
  const fields = ['0 bfType BM a BMP file', "2 bfSize 150 the file's length",
                  '6 bfReserved1 0 ', '8 bfReserved2 0 ', '10 bfOffBits 118 where the pixels start',
                  '14 biSize 40 BITMAPINFOHEADER', '18 biWidth 8 pixels',
                  '22 biHeight 4 rows, stored bottom-up', '26 biPlanes 1 ',
                  '28 biBitCount 8 8 bits a pixel', '30 biCompression 0 BI_RGB',
                  '34 biSizeImage 32 ', '38 biXPelsPerMeter 2835 ', '42 biYPelsPerMeter 2835 ',
                  '46 biClrUsed 16 table entries', '50 biClrImportant 16 '];
  const compared = shell(`'${native}-compare' reference.bmp picture.bmp`, {cwd: project});
  assert.equal(compared.status, 1);
  assert.equal(ran.stdout.toString(), ['0', ...fields, ''].join('\n') + compared.stdout);
  assert.ok(fs.readFileSync(path.join(project, 'picture.bmp.txt')).equals(
    shell("'" + native + "' picture.bmp", {cwd: project}).stdout));
});
