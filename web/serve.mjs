// A static server for the built site, on 127.0.0.1 only: node web/serve.mjs DIR [PORT].

// The tests serve the site with serve() on a port the system picks.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const kTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
};

// The page's Content-Security-Policy, from the meta tag of the site's index.html, with what a
// meta tag cannot say: that no other site may frame the page.
function pagePolicy(root) {
  const html = fs.readFileSync(path.join(root, 'index.html'), 'utf8');
  const meta = /<meta http-equiv="Content-Security-Policy" content="([^"]*)">/.exec(html);
  if (meta === null) throw new Error(`${root}/index.html has no Content-Security-Policy`);
  return `${meta[1]}; frame-ancestors 'none'`;
}

// Resolves to the listening server; port 0 lets the system pick one. Pages go out with their
// Content-Security-Policy as a header.
export function serve(dir, port = 0) {
  const root = path.resolve(dir);
  let policy = null;
  try {
    policy = pagePolicy(root);
  } catch (error) {
    return Promise.reject(error);
  }
  const server = http.createServer((request, response) => {
    const notFound = () => response.writeHead(404, {'content-type': 'text/plain'})
                                   .end('not found\n');
    let name = null;
    try {
      name = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    } catch {
      // a malformed escape: found nowhere
    }
    const file = name === null ? root : path.join(root, name.endsWith('/') ? `${name}index.html`
                                                                           : name);
    if (!file.startsWith(root + path.sep) || !['GET', 'HEAD'].includes(request.method)) {
      notFound();
      return;
    }
    fs.stat(file, (error, status) => {
      if (error || !status.isFile()) {
        notFound();
        return;
      }
      const type = kTypes[path.extname(file)] ?? 'application/octet-stream';
      response.writeHead(200, {
        'content-type': type,
        'content-length': status.size,
        'cache-control': 'no-cache',
        ...(type.startsWith('text/html') ? {'content-security-policy': policy} : {}),
      });
      if (request.method === 'HEAD') response.end();
      else fs.createReadStream(file).pipe(response);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => resolve(server));
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [dir, port = '8000'] = process.argv.slice(2);
  try {
    const server = await serve(dir, Number(port));
    console.log(`Quillfen's page: http://127.0.0.1:${server.address().port}/ (Ctrl-C stops it)`);
  } catch (error) {
    console.error(error.code === 'EADDRINUSE'
      ? `serve-web: port ${port} is in use; pick another with make serve-web PORT=8001`
      : `serve-web: cannot serve on port ${port}: ${error.message}`);
    process.exitCode = 1;
  }
}
