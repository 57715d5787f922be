// "Compare with…": a second file compared with the first in a worker, its differences shown.

// body[data-compare] is none, comparing, done or failed; #compare[data-verdict] holds the
// core's verdict (identical, same-picture or different) and #compare[data-pixels] how many
// pixels differ, as the core counts them, absent when it did not compare them. Both files are
// read in the worker, never uploaded. The core compares them and writes the lines
// quillfen-compare prints (compare_text.js links those that name one difference); the worker
// then draws both pictures and the difference picture (compare_paint.js). A difference
// selected is selected in both files through the inspector's one selection, and the pixel it
// selects, however chosen, is outlined on all three pictures; the arrow keys move it there as
// on the picture beside the report.

import {count} from './numbers.js';
import {comparedText, differenceFacts, differenceList, differencePixel, differenceSaid,
        differencesOf, differingPixels, pictureMismatch, sideBytes,
        stepDifference} from './compare_text.js';
import {outlineBox} from './inspector_views.js';
import {kMaxPicturePixels} from './picture.js';
import {isAbort} from './workers.js';

// The keys that go from difference to difference (compare_text.js's stepDifference).
const kStepKeys = ['n', 'p'];

export class ComparePanel {
  // elements: section (#compare), pick, input, status, result, list, selected, pictures (the
  // pictures' box), canvases [A, B, difference], marks (the outline over each), names [A's
  // caption, B's], pointer (the pointer's line), note. client: the comparing worker; inspector:
  // where a difference is selected.
  constructor(elements, {client, inspector}) {
    this.elements = elements;
    this.client = client;
    this.inspector = inspector;
    this.started = null;
    this.first = null;  // {file, signal}: the file reported on, and what stops its work
    this.selected = null;  // the pixels the inspector's selection outlines, {x, y, count}
    this.pointing = false;  // the pointer's pixel is outlined in place of them
    inspector.onShownPixel = (pixel) => {
      this.selected = pixel;
      if (!this.pointing) this.placeMarks(pixel);
    };
    this.bind();
    this.reset();
  }

  setState(state, words) {
    document.body.dataset.compare = state;
    this.elements.status.textContent = words;
  }

  // No file to compare with: what was compared is gone, and a comparison under way stops.
  reset() {
    this.work?.abort();
    this.first = null;
    this.elements.pick.disabled = true;
    this.clear();
    this.setState('none', 'Pick a BMP file and let its report finish; then compare it with ' +
                  'another.');
  }

  clear() {
    const {section, result, list, selected} = this.elements;
    this.comparison = null;
    this.list = [];
    this.differences = [];
    this.number = null;
    this.size = null;
    delete section.dataset.verdict;
    delete section.dataset.pixels;
    list.replaceChildren();
    selected.textContent = '';
    result.hidden = true;
    this.clearPictures('none', '');
    this.inspector.dropDifference();
  }

  // The file the report is done on can be compared; signal aborts when another is picked.
  setFirst(file, signal) {
    this.reset();
    this.first = {file, signal};
    this.elements.pick.disabled = false;
    this.setState('none', `Compare ${file.name} with another file: choose it, or drop it here.`);
  }

  // Compares the first file with second, in place of any comparison under way.
  async compareWith(second) {
    if (this.first === null) return;
    this.work?.abort();
    const work = new AbortController();
    this.work = work;
    const {file} = this.first;
    const signal = AbortSignal.any([this.first.signal, work.signal]);
    this.clear();
    this.names = {a: file.name, b: second.name};
    this.second = second;
    this.setState('comparing', `Comparing ${describe(file)} with ${describe(second)}…`);
    try {
      // The comparing worker starts with the first comparison: a page that compares nothing
      // runs none.
      this.started ??= this.client.start();
      await this.started;
      const answer = await this.client.request(
        {type: 'compare', fileA: file, fileB: second, maxPixels: kMaxPicturePixels},
        {signal, lane: 'compare', whenRunning: 'restart', onEvent: (message) => {
          if (message.type === 'compared' && !signal.aborted) this.show(message.comparison);
        }});
      if (!signal.aborted) this.showPictures(answer);
    } catch (error) {
      if (isAbort(error) || signal.aborted) return;
      if (this.comparison === null) {
        this.setState('failed', `The comparison failed: ${error.message}. Choose the second ` +
                      'file again to try again.');
      } else {
        this.clearPictures('failed', `The pictures could not be drawn: ${error.message}.`);
      }
    }
  }

  // The core's comparison: the verdict, the lines, the hooks.
  show(comparison) {
    const {failed, said} = comparedText(comparison, this.names);
    if (failed !== undefined) {
      this.setState('failed', `${failed} Choose another second file.`);
      return;
    }
    const {section, result, list, names} = this.elements;
    this.comparison = comparison;
    this.list = differenceList(comparison);
    this.differences = differencesOf(this.list);
    section.dataset.verdict = comparison.verdict;
    const pixels = differingPixels(comparison);
    if (pixels !== null) section.dataset.pixels = pixels;
    names[0].textContent = `A, ${this.names.a}`;
    names[1].textContent = `B, ${this.names.b}`;
    list.replaceChildren(...this.list.map((item) => {
      const entry = document.createElement('li');
      if (item.difference === null) {
        entry.textContent = item.text;
        return entry;
      }
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'difference';
      button.textContent = item.text;
      button.addEventListener('click', () => this.select(item.difference.number));
      entry.append(button);
      return entry;
    }));
    result.hidden = false;
    this.clearPictures('drawing', 'Drawing the pictures…');
    this.setState('done', said);
  }

  // The pictures the worker drew, at one scale on canvases of one size; or why there are none.
  showPictures({pictures, why}) {
    if (pictures === null) {
      this.clearPictures('none', `No pictures: ${why}.`);
      return;
    }
    const {canvases, note} = this.elements;
    [pictures.a, pictures.b, pictures.difference].forEach((image, i) => {
      canvases[i].width = image.width;
      canvases[i].height = image.height;
      canvases[i].getContext('bitmaprenderer').transferFromImageBitmap(image);
    });
    this.size = {width: pictures.width, height: pictures.height};
    // The page finds the pixels to mark again from both files' rows: where it finds another
    // count than the core's, the picture is shown, said not to be exact.
    const mismatch = pictureMismatch(pictures.marked, this.comparison.pixels);
    this.elements.pictures.dataset.state = mismatch === null ? 'shown' : 'inexact';
    for (const frame of this.frames()) frame.tabIndex = 0;
    note.textContent = `${mismatch === null ? '' : `${mismatch} `}` +
      `${count(pictures.width)} × ${count(pictures.height)} pixels as the format defines ` +
      `them${pictures.scaledDown ? ', shown scaled down' : ''}; pixels the format leaves ` +
      'undefined are hatched. Point at a picture to see the same pixel in all three; click one, ' +
      'or move the selected pixel with the arrow keys, to select it in A.';
    this.placeMarks(this.selected);
  }

  // The boxes of the three pictures, which take the focus while they are shown.
  frames() {
    return this.elements.canvases.map((canvas) => canvas.parentElement);
  }

  clearPictures(state, note) {
    const {pictures, canvases} = this.elements;
    for (const canvas of canvases) {
      canvas.width = 0;
      canvas.height = 0;
    }
    this.size = null;
    for (const frame of this.frames()) frame.removeAttribute('tabindex');
    pictures.dataset.state = state;
    pictures.hidden = state !== 'shown' && state !== 'drawing';
    this.elements.note.textContent = note;
    this.elements.pointer.textContent = '';
    this.placeMarks(null);
  }

  // ---- selecting

  // Selects difference number: in the list, in both files (the inspector), on the pictures.
  select(number, focus = false) {
    const item = this.differences[number];
    if (item === undefined) return;
    this.number = number;
    const buttons = this.elements.list.querySelectorAll('button.difference');
    buttons.forEach((button, i) => {
      if (i === number) button.setAttribute('aria-current', 'true');
      else button.removeAttribute('aria-current');
    });
    if (focus) buttons[number].focus();
    const total = this.differences.length;
    this.elements.selected.textContent = differenceSaid(item, total);
    const {difference} = item;
    this.inspector.chooseDifference({
      facts: differenceFacts(item, total, this.names), pixel: differencePixel(difference),
      a: sideBytes(difference, 'a'), b: sideBytes(difference, 'b'), file: this.second,
      name: this.names.b});
  }

  // ---- pointing

  // The pixel under the pointer on any of the three canvases, which show the same pixels at
  // the same places; null outside them.
  pixelAt(event) {
    if (this.size === null) return null;
    const box = event.currentTarget.getBoundingClientRect();
    const x = Math.floor(((event.clientX - box.left) / box.width) * this.size.width);
    const y = Math.floor(((event.clientY - box.top) / box.height) * this.size.height);
    const inside = x >= 0 && y >= 0 && x < this.size.width && y < this.size.height;
    return inside ? {x, y} : null;
  }

  // Outlines pixel {x, y} on all three pictures, or hides the outlines for null.
  placeMarks(pixel) {
    const {canvases, marks} = this.elements;
    canvases.forEach((canvas, i) => {
      const mark = marks[i];
      if (pixel === null || this.size === null || canvas.clientWidth === 0) {
        mark.hidden = true;
        return;
      }
      const scale = canvas.clientWidth / this.size.width;
      const box = outlineBox({left: 0, top: 0, width: canvas.clientWidth,
                              height: canvas.clientHeight, scale}, {...pixel, count: 1});
      Object.assign(mark.style, {left: `${box.left}px`, top: `${box.top}px`,
                                 width: `${box.width}px`, height: `${box.height}px`});
      mark.hidden = false;
    });
  }

  // ---- events

  bind() {
    const {section, pick, input, canvases, pointer} = this.elements;
    pick.addEventListener('click', () => input.click());
    input.addEventListener('change', () => {
      if (input.files.length > 0) this.compareWith(input.files[0]);
      input.value = '';
    });
    // A file dropped here is the second file, not a new first one.
    section.addEventListener('dragover', (event) => {
      event.preventDefault();
      event.stopPropagation();
      section.classList.add('dragging');
    });
    section.addEventListener('dragleave', () => section.classList.remove('dragging'));
    section.addEventListener('drop', (event) => {
      event.preventDefault();
      event.stopPropagation();
      section.classList.remove('dragging');
      const file = event.dataTransfer.files[0];
      if (!file) return;
      if (this.first !== null) {
        this.compareWith(file);
      } else {
        this.setState('none', `${file.name} is not compared: there is no first file to compare ` +
                      'it with until a file\'s report is done. Choose a BMP file, let its report ' +
                      `finish, then drop ${file.name} here again.`);
      }
    });
    for (const canvas of canvases) {
      canvas.addEventListener('pointermove', (event) => {
        const pixel = this.pixelAt(event);
        if (pixel === null) return;
        pointer.textContent = `Pointer at x ${count(pixel.x)}, y ${count(pixel.y)} (from 0), ` +
                              'outlined in all three pictures.';
        this.pointing = true;
        this.placeMarks(pixel);
      });
      canvas.addEventListener('pointerleave', () => {
        pointer.textContent = '';
        this.pointing = false;
        this.placeMarks(this.selected);
      });
      canvas.addEventListener('click', (event) => {
        const pixel = this.pixelAt(event);
        if (pixel !== null) this.inspector.choosePixel(pixel.x, pixel.y, 'compared-picture');
      });
      canvas.parentElement.addEventListener('keydown', (event) => {
        if (this.size !== null) this.inspector.stepPixelBy(event, 'compared-picture');
      });
    }
    new ResizeObserver(() => this.placeMarks(this.selected)).observe(canvases[0]);
    document.addEventListener('keydown', (event) => {
      if (!kStepKeys.includes(event.key) || event.ctrlKey || event.metaKey || event.altKey ||
          document.body.dataset.compare !== 'done' || typing(event.target)) {
        return;
      }
      const next = stepDifference(event.key, this.number, this.differences.length);
      if (next === null) return;
      event.preventDefault();
      this.select(next, true);
    });
  }
}

const describe = (file) => `${file.name} (${count(file.size)} bytes)`;

// Whether a key goes into a field being typed in rather than to the page.
const typing = (target) => target instanceof HTMLElement &&
  (target.isContentEditable || ['INPUT', 'TEXTAREA', 'SELECT'].includes(target.tagName));
