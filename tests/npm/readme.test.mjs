// The README's npm commands run exactly as written, in a scratch folder that holds the built
// tarball and the sample: the global install gives the command, the project install serves the
// README's example, in both import forms.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, test} from 'node:test';

import {native, root, scratchDir, shell} from './support.mjs';

const scratch = scratchDir();
after(() => fs.rmSync(scratch, {recursive: true, force: true}));

// The commands of the README's first sh block after the npm heading, without their comments.
function readmeCommands() {
  const readme = fs.readFileSync(path.join(root, 'README.md'), 'utf8');
  const section = readme.slice(readme.indexOf('## With Node: the npm package'));
  const block = /```sh\n([^]*?)```/.exec(section)[1];
  return block.trim().split('\n').map((line) => line.replace(/\s+#.*$/, ''));
}

test('the install lines work as written, and the example runs as the README shows', () => {
  const commands = readmeCommands();
  assert.deepEqual(commands, [
    'make npm-package',
    'npm install --global ./build-npm/quillfen-*.tgz',
    'quillfen samples/sample.bmp',
    'npm install --prefix my-project ./build-npm/quillfen-*.tgz',
  ]);
  // The package is built already: the rest runs where its tarball and the sample are, with the
  // global install in a prefix of the test's own.
  fs.mkdirSync(path.join(scratch, 'build-npm'));
  for (const tarball of fs.readdirSync(path.join(root, 'build-npm'))) {
    if (tarball.endsWith('.tgz')) {
      fs.copyFileSync(path.join(root, 'build-npm', tarball),
                      path.join(scratch, 'build-npm', tarball));
    }
  }
  fs.cpSync(path.join(root, 'samples'), path.join(scratch, 'samples'), {recursive: true});
  const prefix = path.join(scratch, 'prefix');
  const env = {...process.env, npm_config_prefix: prefix, npm_config_audit: 'false',
               npm_config_fund: 'false', PATH: `${prefix}/bin:${process.env.PATH}`};
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
    assert.equal(run.stdout.toString(), `${expected.length} 0 0 0\n`);
    assert.ok(fs.readFileSync(path.join(project, 'sample.bmp.txt')).equals(expected));
  }
  // The README shows usage.mjs from its first import to its checks.
  const usage = fs.readFileSync(path.join(root, 'tests/npm/usage.mjs'), 'utf8');
  const shown = usage.slice(usage.indexOf('\nimport') + 1, usage.indexOf('\n\n// The checks'));
  const readme = fs.readFileSync(path.join(root, 'README.md'), 'utf8');
  assert.ok(readme.includes('```js\n' + shown + '\n```'), 'the README shows usage.mjs');
});
