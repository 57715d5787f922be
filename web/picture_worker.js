// Decodes pictures off the page's thread, from the bytes the page slices for it: a picture of
// hundreds of MB would hold the page up. The decoded picture is kept for questions about it.
//
// Every message this worker takes and sends, one line each:
// In:  {type: 'decode', id, bytes}             decode bytes (a Blob) as the browser decodes images
//      {type: 'colour', id, x, y}              the decoded colour at x, y (0, 0 top left)
// Out: {type: 'decoded', id, width, height, image}
//                                              the decoded size, and a PNG of the picture at
//                                              most kPictureSide pixels on its longer side
//      {type: 'undecodable', id, message}      the browser cannot decode the bytes
//      {type: 'colour', id, x, y, rgb}         [red, green, blue], or null outside the picture
'use strict';

// Larger pictures are shown scaled down, so that the page never handles them whole.
const kPictureSide = 1600;

let picture = null;  // the last picture decoded, an ImageBitmap
// The decode under way, held where the collector finds it: work nothing holds on to can be
// collected and never settle.
let decoding = null;
let probe = null;    // a one-pixel canvas to read colours through

async function decode({id, bytes}) {
  if (picture !== null) picture.close();
  picture = null;
  try {
    decoding = createImageBitmap(bytes);
    picture = await decoding;
    decoding = preview(id, picture);
    const answer = await decoding;
    postMessage(answer, [answer.image]);
  } catch (error) {
    postMessage({type: 'undecodable', id, message: String(error.message)});
  }
}

// The picture to show, scaled down to at most kPictureSide pixels on its longer side; each of
// its pixels stays a block of colour, as the page shows pixels.
async function preview(id, bitmap) {
  const {width, height} = bitmap;
  const scale = Math.min(1, kPictureSide / Math.max(width, height));
  const image = await createImageBitmap(bitmap, {
    resizeWidth: Math.max(1, Math.round(width * scale)),
    resizeHeight: Math.max(1, Math.round(height * scale)),
    resizeQuality: scale < 1 ? 'medium' : 'pixelated',
  });
  return {type: 'decoded', id, width, height, image};
}

function colour({id, x, y}) {
  let rgb = null;
  if (picture !== null && x >= 0 && y >= 0 && x < picture.width && y < picture.height) {
    probe ??= new OffscreenCanvas(1, 1).getContext('2d', {willReadFrequently: true});
    probe.clearRect(0, 0, 1, 1);
    probe.drawImage(picture, x, y, 1, 1, 0, 0, 1, 1);
    rgb = Array.from(probe.getImageData(0, 0, 1, 1).data.subarray(0, 3));
  }
  postMessage({type: 'colour', id, x, y, rgb});
}

onmessage = ({data}) => {
  if (data.type === 'decode') decode(data);
  else if (data.type === 'colour') colour(data);
};
