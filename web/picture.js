// The picture: decoded in a worker from its own bytes only, shown on a canvas, or a note why not.

// body[data-picture] is none, decoding, shown, undecodable or too-large; canvas#picture's
// data-source says who decoded the picture shown: browser, or quillfen where the browser
// cannot decode the file or the person asked for the format's picture, which Quillfen's
// decoder draws, the pixels the format leaves undefined transparent over the canvas's
// hatched background, which the legend explains.

import {count} from './numbers.js';
import {pictureNote, pictureSize, undefinedText} from './decoded.js';
import {isAbort, WorkerClient} from './workers.js';

// Pictures of more pixels than this are not decoded: 128 MiB as RGBA.
export const kMaxPicturePixels = 32 << 20;

// Whether a picture of width x height pixels is decoded here.
export const decodable = (width, height) => width * height <= kMaxPicturePixels;

export class PicturePanel {
  // elements: canvas, note, legend (the hatch's legend), legendText and choice (the fieldset
  // whose radio buttons choose whose picture is drawn). module: the compiled core, for the
  // decoder.
  constructor({canvas, note, legend, legendText, choice}, url, module) {
    this.canvas = canvas;
    this.note = note;
    this.legend = legend;
    this.legendText = legendText;
    this.choice = choice;
    this.module = module;
    this.client = new WorkerClient(url);
    this.browserDecodes = null;
    this.showing = null;  // the arguments of the last show, for a change of choice
    // Whose picture is asked for first, 'browser' or 'quillfen', as last chosen: the radio
    // buttons show whose is drawn, which differs where the one asked for cannot draw it.
    this.prefer = choice.querySelector('input:checked').value;
    choice.addEventListener('change', (event) => {
      this.prefer = event.target.value;
      if (this.showing !== null) this.show(...this.showing);
    });
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
    delete this.canvas.dataset.source;
    this.showing = null;
    this.browserDecodes = null;
    this.legend.hidden = true;
    this.choice.disabled = true;
    this.showChoice(this.prefer, {browser: true, quillfen: true});
    this.setState('none', '');
  }

  // Checks the radio button of source; those whose decoder cannot draw the file are disabled.
  showChoice(source, can) {
    for (const input of this.choice.querySelectorAll('input')) {
      input.checked = input.value === source;
      input.disabled = !can[input.value];
    }
  }

  // A picture on its way, while its size is still read: decoding, as far as anyone can tell.
  pending() {
    this.setState('decoding', 'Decoding the picture…');
  }

  // Decodes the picture of file, whose size the core read from its header (describe, the
  // report's description, and format, the decoder's answer or null): only the bytes up to the
  // end of its stored pixels, and nothing that would decode to more than the bound. signal
  // stops the decode, and the decoder with it.
  async show(file, describe, format, signal) {
    this.reset();
    this.showing = [file, describe, format, signal];
    const {width, height, end} = pictureSize(describe, format);
    if (!decodable(width, height)) {
      this.setState('too-large', `${count(width)} × ${count(height)} pixels: too large to ` +
                    'show here.');
      return;
    }
    this.choice.disabled = false;
    this.setState('decoding', 'Decoding the picture…');
    // The stored pixels end at end, or past any file (null); a file cut short ends sooner.
    const last = end !== null && BigInt(end) < BigInt(file.size) ? Number(end) : file.size;
    let answer;
    try {
      answer = await this.client.request({type: 'decode', bytes: file.slice(0, last), file,
                                          module: this.module, prefer: this.prefer},
                                         {signal, lane: 'decode', whenRunning: 'restart'});
    } catch (error) {
      if (isAbort(error)) return;
      // The decoder died (out of memory, say): a fresh one takes its place for the next file.
      this.setState('undecodable', `The picture could not be decoded: its decoder stopped ` +
                    `(${error.message}).`);
      return;
    }
    this.browserDecodes = answer.browserDecodes;
    if (answer.undecodable !== undefined) {
      this.choice.disabled = true;
      this.setState('undecodable', pictureNote(answer));
      return;
    }
    // Quillfen's decoder can draw what the core says it decodes, unless it failed here.
    const quillfen = answer.source === 'quillfen' ||
                     (format?.decodes === true && answer.problem === null);
    this.showChoice(answer.source, {browser: answer.browserDecodes, quillfen});
    // The bitmap moves to the canvas as it is: no copy, and no image for the page to keep.
    const {image} = answer;
    this.canvas.width = image.width;
    this.canvas.height = image.height;
    this.canvas.getContext('bitmaprenderer').transferFromImageBitmap(image);
    this.canvas.dataset.source = answer.source;
    this.canvas.ariaLabel = answer.source === 'quillfen'
      ? 'The picture as the format defines it, drawn by Quillfen\'s decoder'
      : 'The picture as this browser decodes it';
    const legend = answer.source === 'quillfen' ? undefinedText(answer.undefinedPixels) : '';
    this.legendText.textContent = legend;
    this.legend.hidden = legend === '';
    this.canvas.hidden = false;
    this.setState('shown', pictureNote(answer));
  }

  // The colour the browser decoded at x, y: [red, green, blue, alpha], or null.
  async colourAt(x, y, signal) {
    if (document.body.dataset.picture !== 'shown' || !this.browserDecodes) return null;
    try {
      return await this.client.request({type: 'colour', x, y}, {signal});
    } catch (error) {
      if (isAbort(error)) throw error;
      return null;
    }
  }
}
