// Node's raw file system reads every file at the stream's position, which pipes, FIFOs and
// character devices refuse (ESPIPE): a read that fails would look like the end of the input.
// Streams that are not regular files or folders are read from where they stand instead.
var openRawFile = FS.open;
FS.open = function (path, flags, mode, fd) {
  var stream = openRawFile(path, flags, mode, fd);
  if (stream.nfd !== undefined) {
    var status = require('fs').fstatSync(stream.nfd);
    if (!status.isFile() && !status.isDirectory()) stream.seekable = false;
  }
  return stream;
};
