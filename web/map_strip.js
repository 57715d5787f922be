// The map strip over the bytes view: the map's regions in the bytes it shows, and their keys.

// The regions are the decoder's (its answer to regions over the bytes shown); the strip only
// cuts them to those bytes and gives each its share of the strip's width.

import {count, plural} from './numbers.js';
import {kindGroup, kindWords, kRegionGroups, regionName} from './decoded.js';

// The regions that hold the bytes from offset from up to to, each cut to them:
// [{region, from, to, share, group}], share the part of the strip it takes.
export function stripSegments(regions, from, to) {
  const segments = [];
  for (const region of regions) {
    const start = Math.max(from, region.offset);
    const end = Math.min(to, region.offset + region.size);
    if (end > start) {
      segments.push({region, from: start, to: end, share: (end - start) / (to - from),
                     group: kindGroup(region.kind)});
    }
  }
  return segments;
}

// What a screen reader says of a segment: the region whole, not only the part shown.
export function segmentLabel({region}) {
  const last = region.offset + region.size - 1;
  const where = region.size === 1 ? `byte ${count(region.offset)}`
    : `bytes ${count(region.offset)} to ${count(last)}`;
  return `${regionName(region.name)}: ${kindWords(region.kind)}, ${where} ` +
         `(${plural(region.size, 'byte')})`;
}

// The legend: the groups the segments are drawn in, in the legend's order, [[group, name]].
export function stripLegend(segments) {
  const used = new Set(segments.map(({group}) => group));
  return kRegionGroups.filter(([group]) => used.has(group));
}

// Whether a segment holds a byte of the count bytes from offset.
export const holdsSelected = (segment, offset, selected) =>
  segment.from < offset + selected && offset < segment.to;

// The segment a key moves to from index, of length: the arrows one at a time, Home and End to
// the ends; null for any other key.
export function stepSegment(key, index, length) {
  switch (key) {
    case 'ArrowLeft':
    case 'ArrowUp':
      return Math.max(0, index - 1);
    case 'ArrowRight':
    case 'ArrowDown':
      return Math.min(length - 1, index + 1);
    case 'Home':
      return 0;
    case 'End':
      return length - 1;
    default:
      return null;
  }
}
