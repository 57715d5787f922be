// The picture: decoded in a worker from its own bytes only, shown on a canvas, or a note why not.

// body[data-picture] is none, decoding, shown, undecodable or too-large.

import {count} from './numbers.js';
import {WorkerClient} from './workers.js';

// Pictures of more pixels than this are not decoded: 128 MiB as RGBA.
const kMaxPicturePixels = 32 << 20;

export class PicturePanel {
  constructor({canvas, note}, url) {
    this.canvas = canvas;
    this.note = note;
    this.pending = null;  // the id of the decode under way
    this.client = new WorkerClient(url, {
      onMessage: (data) => this.onMessage(data),
      onFailure: (message) => this.onFailure(message),
    });
    this.colourAnswers = new Map();
  }

  start() {
    return this.client.start();
  }

  setState(state, note) {
    document.body.dataset.picture = state;
    this.note.textContent = note;
    this.onState?.(state);
  }

  // No picture, and no decode under way.
  reset() {
    if (this.pending !== null) this.client.start();
    this.pending = null;
    this.canvas.hidden = true;
    this.canvas.width = 0;
    this.canvas.height = 0;
    this.setState('none', '');
  }

  // Decodes the picture of file, whose layout the core read from its header: only the bytes up
  // to the end of its stored pixels, and nothing that would decode to more than the bound.
  show(file, layout) {
    this.reset();
    const {width, height} = layout;
    if (width * height > kMaxPicturePixels) {
      this.setState('too-large', `${count(width)} × ${count(height)} pixels: too large to ` +
                    'show here.');
      return;
    }
    this.setState('decoding', 'Decoding the picture…');
    const bytes = file.slice(0, Math.min(file.size, layout.end));
    this.pending = this.client.request({type: 'decode', bytes});
  }

  onMessage(data) {
    if (data.type === 'colour') {
      this.colourAnswers.get(data.id)?.(data.rgb);
      this.colourAnswers.delete(data.id);
      return;
    }
    if (data.id !== this.pending) return;
    this.pending = null;
    if (data.type === 'undecodable') {
      this.setState('undecodable', 'This browser cannot decode the file as a picture.');
      return;
    }
    // The bitmap moves to the canvas as it is: no copy, and no image for the page to keep.
    const {width, height, image} = data;
    const scaled = image.width !== width;
    this.canvas.width = image.width;
    this.canvas.height = image.height;
    this.canvas.getContext('bitmaprenderer').transferFromImageBitmap(image);
    this.canvas.hidden = false;
    this.setState('shown', `${count(width)} × ${count(height)} pixels, as this browser decodes ` +
                  `the file${scaled ? ' (shown scaled down)' : ''}.`);
  }

  // The decoder died (out of memory, say): a fresh one takes its place for the next file. A
  // picture already shown stays.
  onFailure(message) {
    if (this.pending !== null) {
      this.setState('undecodable', `The picture could not be decoded: its decoder stopped ` +
                    `(${message}).`);
    }
    this.pending = null;
    for (const answer of this.colourAnswers.values()) answer(null);
    this.colourAnswers.clear();
    this.client.start();
  }

  // The colour the browser decoded at x, y: [red, green, blue], or null.
  colourAt(x, y) {
    if (document.body.dataset.picture !== 'shown') return Promise.resolve(null);
    return new Promise((resolve) => {
      this.colourAnswers.set(this.client.request({type: 'colour', x, y}), resolve);
    });
  }
}
