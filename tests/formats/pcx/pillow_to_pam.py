"""Writes Pillow's decode of a file to standard output as a PAM image:
RGB, or RGB with alpha where Pillow finds alpha. Used by the reader tests
as a reference beside ImageMagick."""
import sys

from PIL import Image

image = Image.open(sys.argv[1])
has_alpha = image.mode in ("RGBA", "LA", "PA") or "transparency" in image.info
image = image.convert("RGBA" if has_alpha else "RGB")
width, height = image.size
depth, kind = (4, b"RGB_ALPHA") if has_alpha else (3, b"RGB")
out = sys.stdout.buffer
out.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n" % (width, height, depth, kind))
out.write(image.tobytes())
