#!/usr/bin/env python3
"""Damages a restart-marked JPEG the way a failing card does: in a share of its restart intervals
(5 % by default, chosen with a fixed seed) a run of bytes in the middle is overwritten with
random bytes that are never 0xFF (and never turn a stuffed 0xFF into a marker), so the markers stay and the damage stays inside the intervals.

    corrupt_intervals.py IN OUT [SHARE] [SEED]
"""
import random
import sys


def main():
    src, dst = sys.argv[1], sys.argv[2]
    share = float(sys.argv[3]) if len(sys.argv) > 3 else 0.05
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 5)
    data = bytearray(open(src, "rb").read())
    sos = data.find(b"\xff\xda")
    if sos < 0:
        sys.exit("no scan header")
    start = sos + 2 + (data[sos + 2] << 8 | data[sos + 3])
    # Interval boundaries: the scan start and every RSTn marker up to EOI.
    bounds = [start]
    i = start
    while i < len(data) - 1:
        if data[i] == 0xFF and 0xD0 <= data[i + 1] <= 0xD7:
            bounds.append(i)
            i += 2
            bounds.append(i)
            continue
        if data[i] == 0xFF and data[i + 1] == 0xD9:
            bounds.append(i)
            break
        i += 1
    intervals = [(bounds[k], bounds[k + 1]) for k in range(0, len(bounds) - 1, 2)]
    chosen = sorted(rng.sample(range(len(intervals)), max(1, round(len(intervals) * share))))
    for k in chosen:
        a, b = intervals[k]
        if b - a < 16:
            continue
        mid = (a + b) // 2
        for j in range(mid - 4, mid + 4):
            # After a 0xFF (a stuffed byte) a 0x00 keeps it from becoming a marker.
            data[j] = 0 if data[j - 1] == 0xFF else rng.randrange(0, 255)
    open(dst, "wb").write(bytes(data))
    print("%d of %d restart intervals damaged" % (len(chosen), len(intervals)), file=sys.stderr)


if __name__ == "__main__":
    main()
