"""Checks a screenshot of the viewer showing a damaged photo.

Arguments: [--box X0,Y0,X1,Y1] [--checker] shot.png composed.png holes.png [djpeg.bmp]
  --box         where the picture lies (default: found in the screenshot)
  --checker     the holes must show the view's hole pattern (no thumbnail chosen) instead: its
                grey hatch, darker than the window's checkerboard
  composed.png  the photo with its holes filled from the thumbnail (vantrelle-cli render
                --background auto), at frame size
  holes.png     the photo with transparent holes (--background none): its alpha is the hole mask
  djpeg.bmp     libjpeg's decoding of the same file, for the part that decoded
The picture is found in the screenshot as the block of colourful rows and columns; both images
are scaled to it and compared inside the holes (must match the composition, and must not show
the checkerboard) and outside them (must match djpeg). Prints the figures; exits 1 on failure.
"""
import sys
from PIL import Image, ImageChops, ImageFilter, ImageStat

args = sys.argv[1:]
box = None
expect_checker = False
while args and args[0].startswith("--"):
    option = args.pop(0)
    if option == "--box":
        box = tuple(int(v) for v in args.pop(0).split(","))
    elif option == "--checker":
        expect_checker = True
shot = Image.open(args[0]).convert("RGB")
composed = Image.open(args[1]).convert("RGBA")
holes = Image.open(args[2]).convert("RGBA")
djpeg = Image.open(args[3]).convert("RGB") if len(args) > 3 else None


def colourful(p):
    return max(p) - min(p) > 24


def find_picture(image):
    """The block of rows and then columns that are mostly colourful: the photo, not the menu, the
    checkerboard around it or the thumbnail list (whose colourful parts are a minority of its
    rows and columns)."""
    w, h = image.size
    px = image.load()
    rows = [y for y in range(h) if sum(colourful(px[x, y]) for x in range(0, w, 4)) > (w // 4) * 0.6]
    if not rows:
        sys.exit("no picture found in the screenshot")
    y0, y1 = rows[0], rows[-1] + 1
    cols = [x for x in range(w) if sum(colourful(px[x, y]) for y in range(y0, y1, 4)) > ((y1 - y0) // 4) * 0.6]
    return cols[0], y0, cols[-1] + 1, y1


if box is None:
    box = find_picture(shot)
x0, y0, x1, y1 = box
bw, bh = x1 - x0, y1 - y0
print(f"picture at {box} ({bw} x {bh})")
print(f"BOX {x0},{y0},{x1},{y1}")
aspect = composed.width / composed.height
if abs(bw / bh - aspect) > 0.03:
    sys.exit(f"the picture's proportions {bw / bh:.3f} are not the photo's {aspect:.3f}")

picture = shot.crop(box)
expected = composed.convert("RGB").resize((bw, bh), Image.LANCZOS)
mask = holes.getchannel("A").point(lambda a: 255 if a == 0 else 0).resize((bw, bh), Image.NEAREST)
hole_mask = mask.filter(ImageFilter.MinFilter(7))
kept_mask = mask.point(lambda v: 255 - v).filter(ImageFilter.MinFilter(7))
hole_pixels = ImageStat.Stat(hole_mask).sum[0] / 255
if hole_pixels < 1000:
    sys.exit("the photo has no holes to look at")


def mean_difference(a, b, m):
    d = ImageChops.difference(a, b).convert("L")
    return ImageStat.Stat(d, m).mean[0]


hole_diff = mean_difference(picture, expected, hole_mask)
ppx, mpx = picture.load(), hole_mask.load()
checker = total = 0
for y in range(0, bh, 2):
    for x in range(0, bw, 2):
        if mpx[x, y]:
            total += 1
            r, g, b = ppx[x, y]
            checker += 160 <= min(r, g, b) <= 215 and max(r, g, b) - min(r, g, b) <= 6
checker_share = checker / max(total, 1)
print(f"holes: {hole_pixels:.0f} pixels, mean difference from the thumbnail composition {hole_diff:.1f}, "
      f"checkerboard share {checker_share:.3f}")
if expect_checker:
    failed = checker_share < 0.9
else:
    failed = hole_diff > 20 or checker_share > 0.02
if djpeg is not None:
    kept_diff = mean_difference(picture, djpeg.resize((bw, bh), Image.LANCZOS), kept_mask)
    print(f"decoded part: mean difference from djpeg {kept_diff:.1f}")
    failed = failed or kept_diff > 12
sys.exit(1 if failed else 0)
