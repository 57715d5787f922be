"""Compares the decoder's RGBA with Pillow's on BMP files.

Every pixel the decoder calls defined must equal Pillow's, except on the files the README's
table "Known differences from Pillow" lists: there the count of differing pixels and the
largest difference of each channel must be exactly the table's. A file Pillow does not decode
is reported and left out; one that Pillow decodes and Quillfen does not must be in the table.

usage: pillow_compare.py DECODE_DUMP README FILE...
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

from PIL import Image

# Test pictures may be large for their bytes; none is a hostile one here.
Image.MAX_IMAGE_PIXELS = None


def known_differences(readme):
    """The README table's rows: file -> (pixels, [R, G, B, A])."""
    rows = {}
    text = open(readme, encoding='utf-8').read()
    section = text.split('### Known differences from Pillow', 1)
    if len(section) != 2:
        raise SystemExit('pillow_compare: the README has no "Known differences from Pillow"')
    for line in section[1].split('\n#', 1)[0].splitlines():
        match = re.match(r'\| `([^`]+)` \| ([\d,]+|not decoded) \| ([\d ]+|-) \|', line)
        if match:
            pixels = match.group(2)
            rows[match.group(1)] = (
                None if pixels == 'not decoded' else int(pixels.replace(',', '')),
                None if match.group(3) == '-' else [int(v) for v in match.group(3).split()])
    if not rows:
        raise SystemExit('pillow_compare: the README\'s table of differences is empty')
    return rows


def quillfen(dump, path, scratch):
    """(width, height, rgba, states), or None when the decoder does not decode the file."""
    status = subprocess.run([dump, path, scratch], timeout=60).returncode
    if status == 3:
        return None
    if status != 0:
        raise SystemExit(f'pillow_compare: {dump} failed on {path} with status {status}')
    data = open(scratch, 'rb').read()
    width, height = struct.unpack('<II', data[:8])
    pixels = width * height
    return width, height, data[8:8 + 4 * pixels], data[8 + 4 * pixels:]


def compare(ours, theirs):
    """The count of defined pixels that differ and the largest difference of each channel."""
    width, height, rgba, states = ours
    other = theirs.tobytes()
    count = 0
    largest = [0, 0, 0, 0]
    for i in range(width * height):
        if states[i] != 0 or rgba[4 * i:4 * i + 4] == other[4 * i:4 * i + 4]:
            continue
        count += 1
        for c in range(4):
            largest[c] = max(largest[c], abs(rgba[4 * i + c] - other[4 * i + c]))
    return count, largest


def main():
    dump, readme, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    known = known_differences(readme)
    root = os.path.commonpath([os.path.dirname(f) for f in files])
    passed = failed = 0
    seen = set()
    with tempfile.TemporaryDirectory() as scratch_dir:
        scratch = os.path.join(scratch_dir, 'decoded')
        for path in sorted(files):
            name = os.path.relpath(path, root).replace(os.sep, '/')
            seen.add(name)
            try:
                with Image.open(path) as image:
                    image.load()
                    theirs = image.convert('RGBA')
            except Exception as error:  # Pillow refuses the file: nothing to compare with
                print(f'{name}: Pillow does not decode it ({str(error)[:60]})')
                continue
            ours = quillfen(dump, path, scratch)
            if ours is None:
                found = (None, None)
            elif (ours[0], ours[1]) != theirs.size:
                found = ('size', None)
            else:
                found = compare(ours, theirs)
            expected = known.get(name, (0, [0, 0, 0, 0]))
            if found[0] == 0:
                found = (0, [0, 0, 0, 0])
            ok = tuple(found) == tuple(expected)
            passed += ok
            failed += not ok
            print(f'{name}: {"ok" if ok else "FAILED"}: {found[0]} pixels differ, largest '
                  f'{found[1]}; the README says {expected[0]}, {expected[1]}')
    for name in sorted(set(known) - seen):
        print(f'{name}: FAILED: in the README\'s table but not compared')
        failed += 1
    print(f'{passed} passed, {failed} failed')
    return 1 if failed or passed == 0 else 0


if __name__ == '__main__':
    sys.exit(main())
