// ESLint for every JavaScript file of the project: the page, its workers and server, the npm
// package, the core's JavaScript face, the tests and the benchmarks.
import js from '@eslint/js';
import globals from 'globals';

// What emscripten's runtime gives the code it is linked with (--post-js).
const emscriptenRuntime = {
  Module: 'writable', FS: 'readonly', HEAPU8: 'readonly', HEAPU32: 'readonly',
  ERRNO_CODES: 'readonly', UTF8ToString: 'readonly', lengthBytesUTF8: 'readonly',
  stringToUTF8: 'readonly', ccall: 'readonly', _malloc: 'readonly', _free: 'readonly',
  _runCommandLine: 'readonly', _reportBytes: 'readonly', _headBytes: 'readonly',
  _inspectOpen: 'readonly', _inspectPixel: 'readonly', _inspectByte: 'readonly',
  _inspectPlace: 'readonly', _inspectEntry: 'readonly', _inspectExcerpts: 'readonly',
  _warmUp: 'readonly', HEAPF64: 'readonly', _decoderOpenHeld: 'readonly',
  _decoderOpenPath: 'readonly', _decoderOpenReader: 'readonly', _decoderFormat: 'readonly',
  _decoderRegions: 'readonly', _decoderRegionCount: 'readonly', _decoderRegionAt: 'readonly',
  _decoderPixel: 'readonly', _decoderRowsLimit: 'readonly', _decoderRows: 'readonly',
  _decoderClose: 'readonly', _runCompareCommandLine: 'readonly', _compareSetHeld: 'readonly',
  _compareSetPath: 'readonly', _compareSetReader: 'readonly', _compareListLimit: 'readonly',
  _compareRun: 'readonly', _compareClear: 'readonly',
};

export default [
  {ignores: ['build*/**', 'node_modules/**']},
  js.configs.recommended,
  {
    rules: {
      'no-unused-vars': ['error', {args: 'after-used', argsIgnorePattern: '^_'}],
      'prefer-const': 'error',
      'no-var': 'error',
      eqeqeq: 'error',
    },
  },
  // The page's modules, and the classic script that runs before them.
  {files: ['web/*.js'], languageOptions: {sourceType: 'module', globals: globals.browser}},
  {files: ['web/boot.js'], languageOptions: {sourceType: 'script'}},
  // The workers: classic scripts; the core's worker follows the core's loader and the picture's
  // painting (web/paint.js) and the difference picture's (web/compare_paint.js) in one file.
  {
    files: ['web/worker.js'],
    languageOptions: {sourceType: 'script',
                      globals: {...globals.worker, createQuillfen: 'readonly',
                                canvasPlan: 'readonly', paintBlock: 'readonly',
                                countStates: 'readonly', kCanvasSide: 'readonly',
                                markStarts: 'readonly', markDifferences: 'readonly',
                                finishDifference: 'readonly'}},
  },
  // Linked into the core by emscripten, which parses them with its own tools: ES5 style.
  {
    files: ['app/wasm_api.js', 'app/wasm_decode.js', 'app/wasm_compare.js', 'app/wasm_filling.js',
            'npm/streams.js'],
    languageOptions: {sourceType: 'script', globals: {...globals.node, ...emscriptenRuntime}},
    rules: {'no-var': 'off'},
  },
  // The decoder's and the comparison's faces and the page's addition, linked after the face:
  // they use its helpers.
  {files: ['app/wasm_decode.js', 'app/wasm_compare.js'],
   languageOptions: {globals: {answer: 'readonly', answerOrThrow: 'readonly',
                               newCString: 'readonly', runArguments: 'readonly'}}},
  {files: ['app/wasm_filling.js'],
   languageOptions: {globals: {deliverTo: 'readonly', newCString: 'readonly'}}},
  // Node: the package, the site's server, the tests and the benchmarks.
  {files: ['npm/**/*.js', 'tests/**/*.cjs'],
   languageOptions: {sourceType: 'commonjs', globals: globals.node}},
  {files: ['npm/index.mjs', 'web/serve.mjs', 'tests/**/*.mjs', 'bench/*.mjs', 'eslint.config.mjs'],
   languageOptions: {sourceType: 'module', globals: globals.node}},
  // Tests and benchmarks hand functions to the page and its workers, which read the workers'
  // own names.
  {files: ['tests/web/*.mjs', 'bench/*.mjs'],
   languageOptions: {globals: {...globals.node, ...globals.browser, createQuillfen: 'readonly',
                               core: 'readonly', decoding: 'readonly'}}},
];
