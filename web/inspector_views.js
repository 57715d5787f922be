// The inspector's views of the selection: the panel, the bytes as xxd shows them, the outline.

import {holdsSelected, segmentLabel, stepSegment, stripLegend} from './map_strip.js';
import {hexBytes} from './numbers.js';
import {hexRows} from './panel_text.js';

// The outline of the selected pixels: a ring this many screen pixels wide in each of its two
// colours, black outside and white inside, so that it stands out on any colour under it.
export const kRingWidth = 3;

// The box of the outline, in the frame's pixels, for the pixels {x, y, count} of a picture drawn
// at drawn {left, top, width, height, scale}: around the pixels, and inside the picture where
// they lie at its edge (the ring then covers their edge).
export function outlineBox(drawn, pixel) {
  const ring = 2 * kRingWidth;
  const width = Math.min(drawn.width, pixel.count * drawn.scale + 2 * ring);
  const height = Math.min(drawn.height, drawn.scale + 2 * ring);
  const clamp = (value, low, high) => Math.min(Math.max(value, low), high);
  return {
    left: clamp(drawn.left + pixel.x * drawn.scale - ring, drawn.left,
                drawn.left + drawn.width - width),
    top: clamp(drawn.top + pixel.y * drawn.scale - ring, drawn.top,
               drawn.top + drawn.height - height),
    width,
    height,
  };
}

// The panel: the facts about the selection, with buttons that copy offsets and byte strings,
// and the hooks for scripted checks on #inspector.
export class PanelView {
  constructor({panel, facts, preview, onCopy}) {
    this.panel = panel;
    this.facts = facts;
    this.previewLine = preview;
    this.onCopy = onCopy;
  }

  // facts: [label, value] pairs (panel_text.js).
  show(facts) {
    const nodes = [];
    for (const [label, value] of facts) {
      const term = document.createElement('dt');
      term.textContent = label;
      const detail = document.createElement('dd');
      const buttons = [];
      for (const part of typeof value === 'string' ? [value] : value) {
        if (typeof part === 'string') {
          detail.append(part);
        } else if (part.swatch !== undefined) {
          detail.append(swatch(part.swatch));
        } else {
          const code = document.createElement('code');
          code.textContent = part.shown ?? part.copy;
          detail.append(code);
          buttons.push(this.copyButton(part, label));
        }
      }
      // The copy buttons after the value they copy, so that it reads as one.
      for (const button of buttons) detail.append(' ', button);
      nodes.push(term, detail);
    }
    this.facts.replaceChildren(...nodes);
  }

  // A button that copies a part: an offset, shown otherwise than copied, or a byte string. A
  // row can hold one of each, so each says which it copies, and its name says what and where.
  copyButton({copy, shown}, label) {
    const what = shown === undefined ? 'bytes' : 'offset';
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'copy';
    button.textContent = `Copy ${what}`;
    button.setAttribute('aria-label', `Copy ${what}: ${copy} (${label.toLowerCase()})`);
    button.addEventListener('click', () => this.onCopy(copy, button));
    return button;
  }

  // The hooks: data-offset, data-bytes, data-x and data-y, from the selection shown and the
  // bytes of it the file holds; data-format-colour, the selected pixel's colour as the format
  // defines it (#RRGGBB), or ''.
  setData(selection, stored, formatColour = '') {
    const data = this.panel.dataset;
    data.offset = selection?.offset ?? '';
    data.bytes = stored === null ? '' : hexBytes(stored);
    data.x = selection?.pixel ? String(selection.pixel.x) : '';
    data.y = selection?.pixel ? String(selection.pixel.y) : '';
    data.formatColour = formatColour;
  }

  // What the pointer is over while a selection is pinned: one line beside the panel.
  preview(text) {
    this.previewLine.textContent = text;
    this.previewLine.hidden = text === '';
  }

  busy(on) {
    this.panel.setAttribute('aria-busy', String(on));
  }
}

function swatch(colour) {
  const element = document.createElement('span');
  element.className = 'swatch';
  element.style.background = colour;
  return element;
}

// The bytes around the selection, as xxd shows them, the selected ones lit.
export function showHex(pre, first, bytes, from, selected) {
  const nodes = [];
  for (const part of hexRows(first, bytes, from, selected).flat()) {
    if (!part.selected) {
      nodes.push(part.text);
    } else {
      const span = document.createElement('span');
      span.className = 'selected';
      span.textContent = part.text;
      nodes.push(span);
    }
  }
  pre.replaceChildren(...nodes);
  pre.hidden = bytes.length === 0;
}

// The map strip over the bytes view: the regions of the file's map that hold the bytes shown
// (map_strip.js's segments), each as wide as its share of them and coloured by its kind's
// group, with a legend. It is a listbox: the arrow keys, Home and End go from region to
// region, Enter or Space chooses one, as a click does: onChoose(region).
export class MapStripView {
  constructor({box, strip, legend, onChoose}) {
    this.box = box;
    this.strip = strip;
    this.legend = legend;
    this.onChoose = onChoose;
    this.segments = [];
    this.active = 0;
    strip.addEventListener('click', (event) => {
      const option = event.target.closest('[role="option"]');
      if (option === null) return;
      this.activate(Number(option.dataset.index));
      this.onChoose(this.segments[this.active].region);
    });
    strip.addEventListener('keydown', (event) => {
      if (this.segments.length === 0) return;
      if (event.key === 'Enter' || event.key === ' ') {
        event.preventDefault();
        this.onChoose(this.segments[this.active].region);
        return;
      }
      const to = stepSegment(event.key, this.active, this.segments.length);
      if (to === null) return;
      event.preventDefault();
      this.activate(to);
    });
  }

  // Shows segments; those that hold a byte of the selected bytes from offset are selected,
  // and the first of them is where the keys start.
  show(segments, offset, selected) {
    this.segments = segments;
    const options = segments.map((segment, index) => {
      const option = document.createElement('div');
      option.role = 'option';
      option.id = `map-segment-${index}`;
      option.className = `segment map-${segment.group}`;
      option.style.flexGrow = String(segment.to - segment.from);
      const label = segmentLabel(segment);
      option.ariaLabel = label;
      option.title = label;
      option.ariaSelected = String(holdsSelected(segment, offset, selected));
      Object.assign(option.dataset, {index: String(index), from: String(segment.from),
                                     to: String(segment.to), kind: segment.region.kind});
      return option;
    });
    this.strip.replaceChildren(...options);
    this.legend.replaceChildren(...stripLegend(segments).map(([group, name]) => {
      const item = document.createElement('li');
      const key = document.createElement('span');
      key.className = `key map-${group}`;
      item.append(key, name);
      return item;
    }));
    this.box.hidden = segments.length === 0;
    const first = options.findIndex((option) => option.ariaSelected === 'true');
    if (segments.length > 0) this.activate(Math.max(0, first));
  }

  activate(index) {
    this.strip.querySelector('.active')?.classList.remove('active');
    this.active = index;
    const option = this.strip.children[index];
    option.classList.add('active');
    this.strip.setAttribute('aria-activedescendant', option.id);
  }

  hide() {
    this.segments = [];
    this.strip.replaceChildren();
    this.strip.removeAttribute('aria-activedescendant');
    this.box.hidden = true;
  }
}
