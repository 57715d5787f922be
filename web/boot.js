// Before the page's modules: a page opened as a file, which gets none, says to serve it.
'use strict';

if (location.protocol === 'file:') {
  document.body.dataset.state = 'failed';
  document.getElementById('status').textContent = 'This page must be served by a web ' +
      'server, not opened as a file: run "make serve-web" in Quillfen\'s folder and open ' +
      'http://127.0.0.1:8000/, or put build-web/site/ on any static server.';
}
