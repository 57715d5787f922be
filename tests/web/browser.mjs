// Serves the built site on a free local port and drives it in Debian's Chromium, headless.
import {spawn} from 'node:child_process';
import puppeteer from 'puppeteer-core';

export const root = new URL('../../', import.meta.url).pathname;

// Python's static server on 127.0.0.1, on a port the system picks.
export async function serveSite(dir = `${root}build-web/site`) {
  const server = spawn('python3', ['-u', '-m', 'http.server', '--bind', '127.0.0.1', '0'],
                       {cwd: dir, stdio: ['ignore', 'pipe', 'ignore']});
  const port = await new Promise((resolve, reject) => {
    server.on('exit', () => reject(new Error('the server did not start')));
    server.stdout.on('data', (data) => {
      const found = /port (\d+)/.exec(String(data));
      if (found) resolve(Number(found[1]));
    });
  });
  return {url: `http://127.0.0.1:${port}/`, close: () => server.kill()};
}

export async function launch() {
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    // As root Chromium runs only without its sandbox; the rest keeps it off the network.
    args: [
      ...(process.getuid() === 0 ? ['--no-sandbox'] : []),
      '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage',
    ],
  });
}

// Opens the page and waits until it is ready for a file. Every state the page takes from then
// on is recorded in window.states.
export async function openPage(browser, url) {
  const page = await browser.newPage();
  await page.goto(url);
  await page.waitForFunction(() => document.body.dataset.state === 'idle');
  await page.evaluate(() => {
    window.states = [];
    new MutationObserver(() => window.states.push(document.body.dataset.state))
        .observe(document.body, {attributeFilter: ['data-state']});
  });
  return page;
}

// Picks a file through input#file and waits until its report is under way.
export async function start(page, path) {
  await page.evaluate(() => window.states.splice(0));
  await (await page.$('input#file')).uploadFile(path);
  await page.waitForFunction(() => window.states.includes('working'));
}

// Picks a file and waits until its report has settled; returns the state it settled in.
export async function pick(page, path) {
  await start(page, path);
  const settled = await page.waitForFunction(() => {
    const after = window.states.slice(window.states.lastIndexOf('working') + 1);
    return after.find((state) => ['done', 'refused', 'failed', 'cancelled'].includes(state));
  }, {timeout: 120_000});
  return settled.jsonValue();
}
