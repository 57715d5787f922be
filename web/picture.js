// The picture: decoded in a worker from its own bytes only, shown on a canvas, or a note why not.

// body[data-picture] is none, decoding, shown, undecodable or too-large.

import {count} from './numbers.js';
import {isAbort, WorkerClient} from './workers.js';

// Pictures of more pixels than this are not decoded: 128 MiB as RGBA.
export const kMaxPicturePixels = 32 << 20;

// Whether a picture of width x height pixels is decoded here.
export const decodable = (width, height) => width * height <= kMaxPicturePixels;

export class PicturePanel {
  constructor({canvas, note}, url) {
    this.canvas = canvas;
    this.note = note;
    this.client = new WorkerClient(url);
  }

  start() {
    return this.client.start();
  }

  setState(state, note) {
    document.body.dataset.picture = state;
    this.note.textContent = note;
    this.onState?.(state);
  }

  // No picture. A decode under way stops when the signal it was given aborts.
  reset() {
    this.canvas.hidden = true;
    this.canvas.width = 0;
    this.canvas.height = 0;
    this.setState('none', '');
  }

  // Decodes the picture of file, whose layout the core read from its header: only the bytes up
  // to the end of its stored pixels, and nothing that would decode to more than the bound.
  // signal stops the decode, and the decoder with it.
  async show(file, describe, signal) {
    this.reset();
    const {width, height, end} = describe.layout;
    if (!decodable(width, height)) {
      this.setState('too-large', `${count(width)} × ${count(height)} pixels: too large to ` +
                    'show here.');
      return;
    }
    this.setState('decoding', 'Decoding the picture…');
    // The stored pixels end at end, or past any file (null); a file cut short ends sooner.
    const last = end !== null && BigInt(end) < BigInt(file.size) ? Number(end) : file.size;
    let answer;
    try {
      answer = await this.client.request({type: 'decode', bytes: file.slice(0, last)},
                                         {signal, lane: 'decode', whenRunning: 'restart'});
    } catch (error) {
      if (isAbort(error)) return;
      // The decoder died (out of memory, say): a fresh one takes its place for the next file.
      this.setState('undecodable', `The picture could not be decoded: its decoder stopped ` +
                    `(${error.message}).`);
      return;
    }
    if (answer.undecodable !== undefined) {
      this.setState('undecodable', 'This browser cannot decode the file as a picture.');
      return;
    }
    // The bitmap moves to the canvas as it is: no copy, and no image for the page to keep.
    const {image} = answer;
    const scaled = image.width !== width;
    this.canvas.width = image.width;
    this.canvas.height = image.height;
    this.canvas.getContext('bitmaprenderer').transferFromImageBitmap(image);
    this.canvas.hidden = false;
    this.setState('shown', `${count(width)} × ${count(height)} pixels, as this browser decodes ` +
                  `the file${scaled ? ' (shown scaled down)' : ''}.`);
  }

  // The colour the browser decoded at x, y: [red, green, blue], or null.
  async colourAt(x, y, signal) {
    if (document.body.dataset.picture !== 'shown') return null;
    try {
      return await this.client.request({type: 'colour', x, y}, {signal});
    } catch (error) {
      if (isAbort(error)) throw error;
      return null;
    }
  }
}
