"""usage: pillow_compare.py DECODE_DUMP README FILE... Every defined pixel of the decoder's RGBA
must be Pillow's, except that on the files in the README's "Known differences from Pillow" the
differing pixels and each channel's largest difference must be the table's."""
import os
import re
import struct
import subprocess
import sys
import tempfile

from PIL import Image

Image.MAX_IMAGE_PIXELS = None  # test pictures may be large for their bytes; none is hostile


def known_differences(readme):
    """The README table's rows: file -> (pixels or None, [R, G, B, A] or None)."""
    section = open(readme, encoding='utf-8').read().split('### Known differences from Pillow', 1)
    if len(section) != 2:
        raise SystemExit('pillow_compare: the README has no "Known differences from Pillow"')
    rows = {}
    table = section[1].split('\n#', 1)[0]
    for name, pixels, largest in re.findall(
            r'^\| `([^`]+)` \| ([\d,]+|not decoded) \| ([\d ]+|-) \|', table, re.M):
        rows[name] = (None if pixels == 'not decoded' else int(pixels.replace(',', '')),
                      None if largest == '-' else [int(v) for v in largest.split()])
    if not rows:
        raise SystemExit('pillow_compare: the README\'s table of differences is empty')
    return rows


def differences(dump, path, scratch, theirs):
    """Defined pixels that differ, largest per channel; None or 'size' when not decoded alike."""
    status = subprocess.run([dump, path, scratch], timeout=60).returncode
    if status == 3:
        return None, None
    if status != 0:
        raise SystemExit(f'pillow_compare: {dump} failed on {path} with status {status}')
    data = open(scratch, 'rb').read()
    width, height = struct.unpack('<II', data[:8])
    if (width, height) != theirs.size:
        return 'size', None
    pixels, other = width * height, theirs.tobytes()
    rgba, states = data[8:8 + 4 * pixels], data[8 + 4 * pixels:]
    count, largest = 0, [0, 0, 0, 0]
    for i in range(pixels):
        if states[i] != 0 or rgba[4 * i:4 * i + 4] == other[4 * i:4 * i + 4]:
            continue
        count += 1
        largest = [max(largest[c], abs(rgba[4 * i + c] - other[4 * i + c])) for c in range(4)]
    return count, largest


def main():
    dump, readme, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    known = known_differences(readme)
    root = os.path.commonpath([os.path.dirname(f) for f in files])
    passed = failed = 0
    seen = set()
    with tempfile.TemporaryDirectory() as scratch_dir:
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
            found = differences(dump, path, os.path.join(scratch_dir, 'decoded'), theirs)
            expected = known.get(name, (0, [0, 0, 0, 0]))
            ok = (found[0], found[1] if found[0] != 0 else [0, 0, 0, 0]) == tuple(expected)
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
