// make serve-web as the README shows it: the site on the port asked for, with the page's
// Content-Security-Policy as a header that also forbids framing, and one clear line when that
// port is taken.
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import net from 'node:net';
import {test} from 'node:test';

import {root, within} from './browser.mjs';

// Runs make serve-web PORT=port, as a person types it (not as part of the make that runs this
// test); listening resolves once it says where it serves, ended once it ends.
function serveWeb(port) {
  const env = {...process.env};
  for (const name of ['MAKEFLAGS', 'MFLAGS', 'MAKELEVEL', 'MAKEOVERRIDES', 'CMAKE_FLAGS']) {
    delete env[name];
  }
  const make = spawn('make', ['serve-web', `PORT=${port}`], {cwd: root, env, detached: true});
  const output = {stdout: '', stderr: ''};
  const listening = new Promise((resolve) => make.stdout.on('data', (data) => {
    output.stdout += data;
    if (output.stdout.includes('http://')) resolve();
  }));
  make.stderr.on('data', (data) => {
    output.stderr += data;
  });
  const ended = new Promise((resolve) => make.on('exit', resolve));
  return {make, ended, listening, output};
}

test('make serve-web PORT=... serves the page there, and says so when the port is taken',
     async () => {
  // A port that nothing listens on now.
  const free = net.createServer();
  await new Promise((resolve) => free.listen(0, '127.0.0.1', resolve));
  const {port} = free.address();
  await new Promise((resolve) => free.close(resolve));
  const first = serveWeb(port);
  try {
    await within(120_000, Promise.race([first.listening, first.ended]), 'make serve-web');
    assert.match(first.output.stdout, new RegExp(`Quillfen's page: http://127\\.0\\.0\\.1:${port}/`));
    const page = await fetch(`http://127.0.0.1:${port}/`);
    assert.equal(page.status, 200);
    const html = await page.text();
    assert.match(html, /<title>Quillfen/);
    // The header is the page's own policy, which a meta tag cannot make refuse framing.
    const meta = /<meta http-equiv="Content-Security-Policy" content="([^"]*)">/.exec(html)[1];
    assert.match(meta, /default-src 'none'/);
    for (const served of [page, await fetch(`http://127.0.0.1:${port}/index.html`)]) {
      assert.equal(served.headers.get('content-security-policy'),
                   `${meta}; frame-ancestors 'none'`, served.url);
    }
    const second = serveWeb(port);
    assert.notEqual(await within(120_000, second.ended, 'make serve-web on a busy port'), 0);
    assert.deepEqual(second.output.stderr.trim().split('\n').filter((line) =>
      !/^make(\[\d+\])?:/.test(line)), [`serve-web: port ${port} is in use; pick another with ` +
                                        'make serve-web PORT=8001']);
  } finally {
    process.kill(-first.make.pid);
  }
});
