// The inspector's views of the selection: the panel, the bytes as xxd shows them, the outline.

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
          buttons.push(this.copyButton(part.copy, label));
        }
      }
      // The copy buttons after the value they copy, so that it reads as one.
      for (const button of buttons) detail.append(' ', button);
      nodes.push(term, detail);
    }
    this.facts.replaceChildren(...nodes);
  }

  copyButton(text, label) {
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'copy';
    button.textContent = 'Copy';
    button.setAttribute('aria-label', `Copy ${label.toLowerCase()}: ${text}`);
    button.addEventListener('click', () => this.onCopy(text, button));
    return button;
  }

  // The hooks: data-offset, data-bytes, data-x and data-y, from the selection shown and the
  // bytes of it the file holds.
  setData(selection, stored) {
    const data = this.panel.dataset;
    data.offset = selection?.offset ?? '';
    data.bytes = stored === null ? '' : hexBytes(stored);
    data.x = selection?.pixel ? String(selection.pixel.x) : '';
    data.y = selection?.pixel ? String(selection.pixel.y) : '';
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
