// Runs before the page's modules. Opened from a file, the page gets no modules (the browser
// refuses them there), so this says what to do instead.
'use strict';

if (location.protocol === 'file:') {
  document.body.dataset.state = 'failed';
  document.getElementById('status').textContent = 'This page must be served by a web ' +
      'server, not opened as a file: run "make serve-web" in Quillfen\'s folder and open ' +
      'http://127.0.0.1:8000/, or put build-web/site/ on any static server.';
}
