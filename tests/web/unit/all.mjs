// Runs every Node test of the page's modules in one process, as make mutate does for each
// mutant: node tests/web/unit/all.mjs exits non-zero when a test fails.
import fs from 'node:fs';

const folder = new URL('./', import.meta.url);
for (const name of fs.readdirSync(folder).filter((file) => file.endsWith('.test.mjs')).sort()) {
  await import(new URL(name, folder));
}
