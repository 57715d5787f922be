// make serve-web as the README shows it: the site on the port asked for, with the page's
// Content-Security-Policy as a header that also forbids framing, and one clear line when that
// port is taken.
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import net from 'node:net';
import {test} from 'node:test';

import {root, within} from './browser.mjs';

// A port that nothing listens on now.
async function freePort() {
  const server = net.createServer();
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const {port} = server.address();
  await new Promise((resolve) => server.close(resolve));
  return port;
}

// Runs make serve-web PORT=port, as a person types it (not as part of the make that runs this
// test), until it says where it serves, or until it ends.
function serveWeb(port) {
  const env = {...process.env};
  for (const name of ['MAKEFLAGS', 'MFLAGS', 'MAKELEVEL', 'MAKEOVERRIDES', 'CMAKE_FLAGS']) {
    delete env[name];
  }
  const make = spawn('make', ['serve-web', `PORT=${port}`], {cwd: root, env, detached: true});
  let stdout = '';
  let stderr = '';
  let saidWhere = null;
  const listening = new Promise((resolve) => {
    saidWhere = resolve;
  });
  make.stdout.on('data', (data) => {
    stdout += data;
    if (stdout.includes('http://')) saidWhere();
  });
  make.stderr.on('data', (data) => {
    stderr += data;
  });
  const ended = new Promise((resolve) => make.on('exit', (status) => resolve(status)));
  return {make, ended, listening, output: () => ({stdout, stderr})};
}

test('make serve-web PORT=... serves the page there, and says so when the port is taken',
     async () => {
  const port = await freePort();
  const first = serveWeb(port);
  try {
    await within(120_000, Promise.race([first.listening, first.ended]), 'make serve-web');
    assert.match(first.output().stdout, new RegExp(`Quillfen's page: http://127\\.0\\.0\\.1:${port}/`));
    const page = await fetch(`http://127.0.0.1:${port}/`);
    assert.equal(page.status, 200);
    const html = await page.text();
    assert.match(html, /<title>Quillfen/);
    // The header is the page's own policy, which a meta tag cannot make refuse framing.
    const meta = /<meta http-equiv="Content-Security-Policy" content="([^"]*)">/.exec(html)[1];
    assert.match(meta, /default-src 'none'/);
    assert.equal(page.headers.get('content-security-policy'), `${meta}; frame-ancestors 'none'`);
    assert.equal((await fetch(`http://127.0.0.1:${port}/index.html`))
                     .headers.get('content-security-policy'), `${meta}; frame-ancestors 'none'`);

    const second = serveWeb(port);
    const status = await within(120_000, second.ended, 'make serve-web on a busy port');
    assert.notEqual(status, 0);
    const lines = second.output().stderr.trim().split('\n')
                      .filter((line) => !/^make(\[\d+\])?:/.test(line));
    assert.deepEqual(lines, [`serve-web: port ${port} is in use; pick another with ` +
                             'make serve-web PORT=8001']);
  } finally {
    process.kill(-first.make.pid);
  }
});
