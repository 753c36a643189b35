"""Compares restored photos with the intact one, 16 x 16 block by block.

Arguments: intact.jpg undone.jpg redone.jpg unrepaired.jpg
  undone.jpg      saved after Realign Automatically and Undo: must show what the unrepaired
                  restore (vantrelle-cli restore) shows, pixel for pixel
  redone.jpg      saved after Redo: most blocks right (mean difference from the intact decode
                  below 6 levels), and more of them than without the repair
Prints the figures; exits 1 on failure.
"""
import subprocess
import sys

import numpy as np
from PIL import Image


def decode(path):
    out = subprocess.run(["djpeg", "-ppm", path], check=True, capture_output=True)
    if out.stderr:
        sys.exit(f"libjpeg warns about {path}: {out.stderr.decode()}")
    from io import BytesIO
    return np.asarray(Image.open(BytesIO(out.stdout)).convert("RGB"), dtype=np.int32)


def right_blocks(a, b):
    h, w = (a.shape[0] // 16) * 16, (a.shape[1] // 16) * 16
    d = np.abs(a[:h, :w] - b[:h, :w]).reshape(h // 16, 16, w // 16, 16, 3).mean(axis=(1, 3, 4))
    return 100.0 * (d < 6).mean()


intact, undone, redone, plain = (decode(p) for p in sys.argv[1:5])
same = np.array_equal(undone, plain)
plain_right, redone_right = right_blocks(intact, plain), right_blocks(intact, redone)
print(f"undone = unrepaired: {same}; right blocks: unrepaired {plain_right:.1f} %, realigned {redone_right:.1f} %")
if not same or redone_right < 85 or redone_right <= plain_right + 5:
    sys.exit(1)
