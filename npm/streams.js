// Node's raw file system reads every file at the stream's position, which pipes, FIFOs and
// character devices refuse (ESPIPE): a read that fails would look like the end of the input.
// Streams that are not regular files or folders are read from where they stand instead.
//
// This leans on emscripten 3.1.6's NODERAWFS: FS.open returns a stream whose nfd is Node's
// descriptor and whose seekable flag FS.read honours. Should a core lack them, it fails here,
// when it starts, rather than truncate a report later.
function checkNodeStreams(files, probePath) {
  var stream;
  try {
    stream = files.open(probePath, 0);
  } catch (error) {
    throw new Error('the core cannot open ' + probePath + ': ' + error.message, {cause: error});
  }
  if (typeof stream.nfd !== 'number' || typeof stream.seekable !== 'boolean') {
    throw new Error('the core\'s file streams lack nfd and seekable: it was built with an ' +
                    'emscripten other than 3.1.6, whose NODERAWFS quillfen relies on');
  }
  files.close(stream);
}

Module['checkNodeStreams'] = checkNodeStreams;
checkNodeStreams(FS, __filename);

var openRawFile = FS.open;
FS.open = function (path, flags, mode, fd) {
  var stream = openRawFile(path, flags, mode, fd);
  var status = require('fs').fstatSync(stream.nfd);
  if (!status.isFile() && !status.isDirectory()) stream.seekable = false;
  return stream;
};
