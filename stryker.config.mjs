// StrykerJS on the page's pure modules, against their Node tests: make mutate.
export default {
  // The worker client, without the fetches that load the site, which only a browser runs.
  mutate: ['web/numbers.js', 'web/status_text.js', 'web/report_pieces.js', 'web/selection.js',
           'web/panel_text.js', 'web/decoded.js', 'web/map_strip.js', 'web/paint.js',
           'web/compare_text.js', 'web/compare_paint.js',
           'web/workers.js:35-208'],
  testRunner: 'command',
  // All the tests in one process: a fifth of a second a mutant.
  commandRunner: {command: 'node tests/web/unit/all.mjs'},
  coverageAnalysis: 'off',
  concurrency: 2,
  // The sandbox holds the sources and the tests, not the build folders.
  ignorePatterns: ['/build*', '/fuzz', '/samples', '/tests/data', '/man', '*.png'],
  tempDirName: 'build-mutate/tmp',
  cleanTempDir: 'always',
  reporters: ['clear-text', 'progress', 'html'],
  htmlReporter: {fileName: 'build-mutate/report.html'},
  clearTextReporter: {allowColor: false, logTests: false, reportScoreTable: true,
                      reportMutants: true},
  thresholds: {high: 90, low: 85, break: 85},
  timeoutMS: 2000,
};
