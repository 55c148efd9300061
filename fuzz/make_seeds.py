#!/usr/bin/env python3
"""Makes the seed corpora of the fuzz targets in fuzz/seeds/<target>/.

Files come from independent tools (ImageMagick's convert, cjpeg, jpegtran,
gifsicle, Python's zlib) or are copied from the public corpora in
../shared/corpus whose licences allow it (the BMP suite, PngSuite). The
decoder targets get the packed data of those files behind the set-up bytes
their target reads first. Run from anywhere; existing seeds are replaced.

usage: fuzz/make_seeds.py [CORPUS_DIR]
"""

import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SEEDS = os.path.join(ROOT, "fuzz", "seeds")
CORPUS = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "..", "shared", "corpus")
TMP = tempfile.mkdtemp(prefix="scalopex-seeds.")

# The BMP suite files taken as they are: every header form, depth, RLE, and
# some of the suite's bad and questionable files.
BMP_SUITE = [
    "g/pal1.bmp", "g/pal1bg.bmp", "g/pal4.bmp", "g/pal4rle.bmp", "g/pal8os2.bmp", "g/pal8rle.bmp",
    "g/pal8v5.bmp", "g/pal8w124.bmp", "g/pal8nonsquare.bmp", "g/rgb16-565.bmp",
    "q/pal2.bmp", "q/pal1p1.bmp", "q/pal4rlecut.bmp", "q/pal4rletrns.bmp", "q/pal8offs.bmp",
    "q/rgba16-4444.bmp", "q/rgb24png.bmp", "q/rgb24jpeg.bmp", "q/pal1huffmsb.bmp",
    "b/shortfile.bmp", "b/badheadersize.bmp", "b/badplanes.bmp", "b/badbitcount.bmp", "b/badrle4.bmp",
]


def run(*args, stdin=None):
    return subprocess.run(args, check=True, capture_output=True, input=stdin).stdout


def tmp(name):
    return os.path.join(TMP, name)


def folder(target):
    path = os.path.join(SEEDS, target)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def write(target, name, data):
    with open(os.path.join(SEEDS, target, name), "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def picture(path, size="48x32"):
    """A deterministic colour picture: a gradient under a checkerboard."""
    run("convert", "-size", size, "gradient:#ff2000-#0030ff", "(", "-size", size, "pattern:checkerboard", ")",
        "-compose", "multiply", "-composite", "-swirl", "60", path)
    return path


# ---- BMP ---------------------------------------------------------------------

def bmp_seeds():
    folder("bmp")
    for name in BMP_SUITE:
        data = read(os.path.join(CORPUS, "bmpsuite", name))
        write("bmp", os.path.basename(name), data)
    src = picture(tmp("p.ppm"), "13x9")
    for name, args in [("rgb24.bmp", ["-type", "TrueColor", "BMP3:"]),
                       ("rgb32-alpha.bmp", ["-alpha", "set", "-channel", "A", "-fx", "i/w", "BMP:"]),
                       ("rgb16-565.bmp", ["-define", "bmp:subtype=RGB565", "BMP:"]),
                       ("pal8.bmp", ["-type", "Palette", "BMP3:"]),
                       ("os2-pal8.bmp", ["-type", "Palette", "BMP2:"])]:
        out = tmp(name)
        run("convert", src, *args[:-1], args[-1] + out)
        write("bmp", "im-" + name, read(out))
    # The same file with the last byte picking every step of the target.
    write("bmp", "im-rgb24-all-steps.bmp", read(tmp("rgb24.bmp")) + b"\x1d")
    write("bmp", "pal4rle-all-steps.bmp", read(os.path.join(CORPUS, "bmpsuite", "g/pal4rle.bmp")) + b"\x11")


def bmp_rle_seeds():
    """The packed pixels of the suite's RLE files behind the target's set-up."""
    folder("bmp_rle")
    for name in ["g/pal4rle.bmp", "g/pal8rle.bmp", "q/pal4rlecut.bmp", "q/pal4rletrns.bmp", "q/pal8rletrns.bmp",
                 "b/badrle.bmp"]:
        data = read(os.path.join(CORPUS, "bmpsuite", name))
        off = struct.unpack_from("<I", data, 10)[0]
        width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
        setup = struct.pack("<BHHB", 1 if bits == 4 else 0, width, abs(height), (4 - width % 4) % 4)
        write("bmp_rle", os.path.basename(name)[:-4] + ".bin", setup + data[off:])


# ---- PNG ---------------------------------------------------------------------

def png_seeds():
    folder("png")
    suite = os.path.join(CORPUS, "pngsuite", "png")
    for name in sorted(os.listdir(suite)):
        if name.endswith(".png"):
            write("png", name, read(os.path.join(suite, name)))


# ---- JPEG --------------------------------------------------------------------

def exif_orientation(jpeg, orientation):
    """jpeg with an Exif block giving the orientation, right after SOI."""
    tiff = b"MM\x00\x2a\x00\x00\x00\x08" + struct.pack(">H", 1) + struct.pack(">HHIHH", 0x0112, 3, 1, orientation, 0)
    tiff += b"\x00\x00\x00\x00"
    payload = b"Exif\x00\x00" + tiff
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload + jpeg[2:]


def jpeg_seeds():
    folder("jpeg")
    ppm = picture(tmp("p.ppm"))
    pgm = tmp("p.pgm")
    run("convert", ppm, "-colorspace", "Gray", pgm)
    made = {}
    for name, args, src in [("baseline-420.jpg", [], ppm),
                            ("baseline-444.jpg", ["-sample", "1x1"], ppm),
                            ("baseline-422.jpg", ["-sample", "2x1"], ppm),
                            ("grey.jpg", [], pgm),
                            ("progressive.jpg", ["-progressive"], ppm),
                            ("progressive-grey.jpg", ["-progressive"], pgm),
                            ("optimized-restart.jpg", ["-optimize", "-restart", "1"], ppm),
                            ("arithmetic.jpg", ["-arithmetic"], ppm),
                            ("rgb.jpg", ["-rgb", "-quality", "30"], ppm),
                            ("quality100.jpg", ["-quality", "100", "-dct", "float"], ppm)]:
        made[name] = run("cjpeg", *args, src)
        write("jpeg", name, made[name])
    cmyk = tmp("cmyk.jpg")
    run("convert", ppm, "-colorspace", "CMYK", "-quality", "60", cmyk)
    write("jpeg", "cmyk.jpg", read(cmyk))
    for orientation in (3, 6, 8):
        write("jpeg", "exif-orientation-%d.jpg" % orientation, exif_orientation(made["baseline-420.jpg"], orientation))
    progressive = made["progressive.jpg"]
    # Cut inside the header of the third scan, and inside the last scan's data.
    sos = [i for i in range(len(progressive) - 1) if progressive[i:i + 2] == b"\xff\xda"]
    write("jpeg", "progressive-cut-in-scan-header.jpg", progressive[:sos[2] + 5])
    write("jpeg", "progressive-cut-in-scan.jpg", progressive[:(sos[-1] + len(progressive)) // 2])
    # A byte after the end of the image picks the decoding options.
    for options, what in [(0x00, "plain"), (0x04, "indexed"), (0x08, "incremental"), (0x32, "fast-eighth"),
                          (0x41, "grey-smoothed")]:
        write("jpeg", "progressive-options-%s.jpg" % what, progressive + bytes([options]))


# ---- GIF ---------------------------------------------------------------------

def gif_seeds():
    folder("gif")
    ppm = picture(tmp("p.ppm"))
    out = {}
    for name, args in [("256-colours.gif", ["-colors", "256"]),
                       ("16-colours.gif", ["-colors", "16"]),
                       ("2-colours.gif", ["-monochrome"]),
                       ("interlaced.gif", ["-colors", "64", "-interlace", "GIF"]),
                       ("transparent.gif", ["-colors", "32", "-transparent", "white"])]:
        path = tmp(name)
        run("convert", ppm, *args, path)
        out[name] = path
        write("gif", name, read(path))
    frames = []
    for i, colour in enumerate(["red", "green", "blue"]):
        path = tmp("frame%d.gif" % i)
        run("convert", "-size", "%dx%d" % (12 + 4 * i, 8 + 2 * i), "gradient:%s-white" % colour, "-colors", "8", path)
        frames.append(path)
    write("gif", "animated-local-tables.gif",
          run("gifsicle", "--loopcount=3", "--delay", "5", "--comment", "three frames", frames[0],
              "--position", "4,2", frames[1], "--position", "1,1", "--disposal", "background", frames[2]))
    write("gif", "logical-screen-offset.gif",
          run("gifsicle", "--logical-screen", "64x40", "--position", "9,7", out["16-colours.gif"]))
    write("gif", "gifsicle-interlaced-transparent.gif",
          run("gifsicle", "--interlace", "--transparent", "#000000", out["2-colours.gif"]))
    write("gif", "optimized-animation.gif", run("gifsicle", "-O3", frames[0], frames[0], frames[1]))
    # A byte after the trailer picks every step of the target.
    write("gif", "256-colours-all-steps.gif", read(out["256-colours.gif"]) + b"\x07")
    write("gif", "interlaced-round-trip.gif", read(out["interlaced.gif"]) + b"\x04")


def gif_frames(data):
    """(code size, width, height, interlaced, joined code stream) of each frame."""
    pos = 13
    flags = data[10]
    if flags & 0x80:
        pos += 3 << ((flags & 7) + 1)
    while pos < len(data):
        kind = data[pos]
        if kind == 0x21:
            pos += 2
            while data[pos]:
                pos += data[pos] + 1
            pos += 1
        elif kind == 0x2C:
            _, _, width, height, flags = struct.unpack_from("<HHHHB", data, pos + 1)
            pos += 10
            if flags & 0x80:
                pos += 3 << ((flags & 7) + 1)
            code_size = data[pos]
            pos += 1
            joined = b""
            while data[pos]:
                joined += data[pos + 1:pos + 1 + data[pos]]
                pos += data[pos] + 1
            pos += 1
            yield code_size, width, height, bool(flags & 0x40), joined
        else:
            return


def gif_lzw_seeds():
    folder("gif_lzw")
    for name in sorted(os.listdir(os.path.join(SEEDS, "gif"))):
        for i, (code_size, width, height, interlaced, codes) in enumerate(gif_frames(read(os.path.join(SEEDS, "gif", name)))):
            setup = struct.pack("<BHHB", code_size, width, height, 1 if interlaced else 0)
            write("gif_lzw", "%s-frame%d.bin" % (name[:-4], i), setup + codes)
    # Round trips through the encoder: pixels of a picture, and of a ramp.
    gray = run("convert", picture(tmp("q.ppm"), "24x16"), "-colorspace", "Gray", "-depth", "8", "gray:-")
    write("gif_lzw", "round-trip-picture.bin", struct.pack("<BHHB", 8, 24, 16, 2) + gray)
    write("gif_lzw", "round-trip-ramp.bin", struct.pack("<BHHB", 3, 40, 0, 2) + bytes(i % 8 for i in range(400)))


# ---- Targa -------------------------------------------------------------------

def targa16(width, height, grey_alpha, top_down, rle):
    """A 16-bit Targa file (5-5-5, or grey with alpha), written here."""
    random.seed(width * 1000 + height)
    pixels = [random.randrange(1 << 15) if not grey_alpha else (i % 256) | (255 - i % 256) << 8
              for i in range(width * height)]
    image_type = (11 if rle else 3) if grey_alpha else (10 if rle else 2)
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, image_type, 0, 0, 0, 0, 0, width, height, 16,
                         (0x20 if top_down else 0) | (8 if grey_alpha else 1))
    body = b""
    if not rle:
        body = b"".join(struct.pack("<H", p) for p in pixels)
    else:
        for row in range(height):
            line = pixels[row * width:(row + 1) * width]
            i = 0
            while i < len(line):
                run_length = 1
                while i + run_length < len(line) and line[i + run_length] == line[i] and run_length < 128:
                    run_length += 1
                if run_length > 1:
                    body += bytes([0x80 | (run_length - 1)]) + struct.pack("<H", line[i])
                    i += run_length
                else:
                    body += bytes([0]) + struct.pack("<H", line[i])
                    i += 1
    return header + body


def targa_seeds():
    folder("targa")
    ppm = picture(tmp("p.ppm"), "21x13")
    made = {}
    for name, args in [("rgb24.tga", ["-type", "TrueColor"]),
                       ("rgb24-rle.tga", ["-type", "TrueColor", "-compress", "RLE"]),
                       ("rgba32-rle.tga", ["-alpha", "set", "-channel", "A", "-fx", "j/h", "-compress", "RLE"]),
                       ("rgba32.tga", ["-alpha", "set", "-channel", "A", "-fx", "i/w"]),
                       ("palette.tga", ["-type", "Palette", "-colors", "40"]),
                       ("palette-rle.tga", ["-type", "Palette", "-colors", "40", "-compress", "RLE"]),
                       ("grey.tga", ["-type", "Grayscale"]),
                       ("grey-rle.tga", ["-type", "Grayscale", "-compress", "RLE"])]:
        path = tmp(name)
        run("convert", ppm, *args, path)
        made[name] = read(path)
        write("targa", name, made[name])
    write("targa", "rgb15-top-down.tga", targa16(9, 5, False, True, False))
    write("targa", "rgb15-rle.tga", targa16(9, 5, False, False, True))
    write("targa", "grey-alpha-rle.tga", targa16(7, 6, True, False, True))
    return made


def targa_rle_seeds(made):
    """The packets of the run-length files behind the target's set-up."""
    folder("targa_rle")
    depth_index = {8: 0, 15: 1, 16: 2, 24: 3, 32: 4}
    for name, data in sorted(made.items()):
        (id_length, map_type, image_type, _, map_length, map_bits, _, _, width, height, depth,
         _) = struct.unpack_from("<BBBHHBHHHHBB", data, 0)
        if image_type < 9:
            continue
        start = 18 + id_length + (map_length * ((map_bits + 7) // 8) if map_type else 0)
        pixel = (depth + 1) // 8
        for mode in (0, 1):
            setup = struct.pack("<BHBB", depth_index[depth], width * pixel, height, mode)
            write("targa_rle", "%s-mode%d.bin" % (name[:-4], mode), setup + data[start:])
    raw = made["rgb24.tga"][18:]
    write("targa_rle", "round-trip-rgb24.bin", struct.pack("<BHBB", 3, 0, 0, 2) + raw)
    write("targa_rle", "round-trip-rgb16-runs.bin", struct.pack("<BHBB", 2, 0, 0, 2) + b"\x12\x34" * 300 + raw[:200])


# ---- Deflate -----------------------------------------------------------------

def deflate_inputs():
    """zlib streams made by Python's zlib: every level and strategy."""
    text = b"".join(b"Line %d: Big=_lge Med=_med Small=_sml Big_Size=%d\n" % (i, 800 - i) for i in range(60))
    rows = read(picture(tmp("z.ppm"), "40x30"))[-3000:]
    random.seed(7)
    noise = bytes(random.randrange(256) for _ in range(1500))
    streams = {}
    for level in (0, 1, 6, 9):
        streams["text-level%d" % level] = zlib.compress(text, level)
    for strategy, name in [(zlib.Z_FILTERED, "filtered"), (zlib.Z_HUFFMAN_ONLY, "huffman"), (zlib.Z_RLE, "rle"),
                           (zlib.Z_FIXED, "fixed")]:
        c = zlib.compressobj(6, zlib.DEFLATED, 15, 8, strategy)
        streams["rows-" + name] = c.compress(rows) + c.flush()
    c = zlib.compressobj(9, zlib.DEFLATED, 9, 1)
    streams["noise-small-window"] = c.compress(noise) + c.flush()
    c = zlib.compressobj(6, zlib.DEFLATED, 15, 8, zlib.Z_DEFAULT_STRATEGY, b"scalopex preset dictionary")
    streams["with-dictionary"] = c.compress(text[:500]) + c.flush()
    streams["bomb"] = zlib.compress(bytes(200000), 9)
    streams["cut"] = zlib.compress(text, 6)[:700]
    return streams


def lz77_seeds():
    folder("lz77_inflate")
    folder("lz77_decode")
    for i, (name, stream) in enumerate(sorted(deflate_inputs().items())):
        in_piece, out_piece = [(0, 0), (14, 99), (255, 65535), (3, 4095)][i % 4]
        write("lz77_inflate", name + ".bin", struct.pack("<BH", in_piece, out_piece) + stream)
        write("lz77_decode", name + ".bin", struct.pack("<H", [256, 4, 65535, 17][i % 4]) + stream)


# ---- PackBits ----------------------------------------------------------------

def tiff_strips(data):
    """The strips of the first image of a little- or big-endian TIFF file."""
    order = "<" if data[:2] == b"II" else ">"
    ifd = struct.unpack_from(order + "I", data, 4)[0]
    count = struct.unpack_from(order + "H", data, ifd)[0]
    tags = {}
    for k in range(count):
        tag, kind, n, value = struct.unpack_from(order + "HHI4s", data, ifd + 2 + 12 * k)
        size = {3: 2, 4: 4}[kind] if kind in (3, 4) else 1
        raw = value if n * size <= 4 else data[struct.unpack(order + "I", value)[0]:][:n * size]
        fmt = order + ("H" if size == 2 else "I" if size == 4 else "B") * n
        tags[tag] = struct.unpack(fmt, raw[:n * size])
    return tags[256][0], tags[257][0], tags.get(277, (1,))[0], [data[o:o + c] for o, c in zip(tags[273], tags[279])]


def packbits_seeds():
    folder("packbits")
    for name, args in [("rgb", ["-type", "TrueColor"]), ("grey", ["-type", "Grayscale"]),
                       ("checkerboard", ["-type", "Grayscale", "-fill", "black", "-draw", "rectangle 2,2 20,9"])]:
        path = tmp(name + ".tif")
        run("convert", picture(tmp("t.ppm"), "30x12"), *args, "-depth", "8", "-compress", "RLE", path)
        width, height, samples, strips = tiff_strips(read(path))
        write("packbits", "tiff-%s.bin" % name, struct.pack("<HB", width * samples, height) + b"".join(strips))


# ---- Colour manager ----------------------------------------------------------

def color_manager_seeds():
    """Set-ups of common conversions, each with a ramp of samples."""
    folder("color_manager")
    schemes = {"Indexed": 1, "Gray": 2, "GrayAlpha": 3, "RGB": 4, "RGBA": 5, "BGR": 6, "BGRA": 7, "CMYK": 9,
               "CIELab": 10, "YCbCr": 11, "PhotoYCC": 12}
    cases = [  # name, source, target, source bits, target bits, flags, mask, setup
        ("rgb8-to-bgr8", "RGB", "BGR", 8, 8, 0, 0, 0xFF, 0),
        ("rgba8-to-bgra8-planar", "RGBA", "BGRA", 8, 8, 0, 0, 0xFF, 1),
        ("rgb16-swapped-to-bgr8-gamma", "RGB", "BGR", 16, 8, 4, 2, 0xFF, 2),
        ("indexed4-to-indexed8", "Indexed", "Indexed", 4, 8, 0, 0, 0xFF, 8),
        ("indexed1-masked", "Indexed", "Indexed", 1, 1, 0, 0, 0xAA, 0),
        ("gray16-to-gray8", "Gray", "Gray", 16, 8, 4, 0, 0xFF, 0),
        ("grayalpha8-to-gray8", "GrayAlpha", "Gray", 8, 8, 0, 0, 0xF0, 0),
        ("cmyk8-to-bgr8", "CMYK", "BGR", 8, 8, 0, 0, 0xFF, 0),
        ("lab8-to-bgr8", "CIELab", "BGR", 8, 8, 0x18, 0, 0xFF, 0),
        ("ycbcr8-to-bgr8-subsampled", "YCbCr", "BGR", 8, 8, 0, 0, 0xFF, 4),
        ("photoycc8-to-rgba8", "PhotoYCC", "RGBA", 8, 8, 0, 0, 0x7F, 0),
        ("rgb5-to-bgr8", "RGB", "BGR", 5, 8, 0, 0, 0xFF, 0),
    ]
    for name, source, target, sbits, tbits, sflags, tflags, mask, setup in cases:
        header = bytes([schemes[source], schemes[target], sbits - 1, tbits - 1, 2 | 3 << 2, sflags, tflags, mask,
                        setup, 16, 35, 76, 150, 29, 4])
        if setup & 8:
            header += bytes([0x10, 15]) + bytes(range(48))
        header += struct.pack("<HB", 37, 2)
        write("color_manager", name + ".bin", header + bytes((i * 7) % 256 for i in range(600)))


# ---- Settings file -------------------------------------------------------------

def ini_seeds():
    folder("ini")
    settings = ("[Settings]\r\nBig=_lge\r\nMed=_med\r\nSmall=_sml\r\nBig_Size=800\r\nMed_Size=250\r\nSml_Size=120\r\n"
                "DestFolder1=\r\nDestFolder2=thumbs\r\nDestFolder3=\"  spaced \"\r\nFormat1=0\r\nFormat2=$2\r\n"
                "Format3=0x3\r\nDefault=1\r\nWarnings=1\r\n")
    odd = ("; a comment\n[Other]\nBig=no\n  [ settings ]  \r  big = 'quoted'  \rSmall\n[Slot 1]\nk==x\n[\n=empty\n"
           "[\u00dcber]\n\u041a\u043b=\u20ac\n[\u03a3]\nWarnings=-2147483648\n")
    write("ini", "utf16le.ini", b"\xff\xfe" + settings.encode("utf-16-le"))
    write("ini", "utf16le-read-all-and-write.ini", b"\xff\xfe" + settings.encode("utf-16-le") + b"\xc0")
    write("ini", "utf16be-odd.ini", b"\xfe\xff" + odd.encode("utf-16-be") + b"\x9b")
    write("ini", "utf8.ini", settings.encode("utf-8"))
    write("ini", "utf8-bom-odd.ini", b"\xef\xbb\xbf" + odd.encode("utf-8"))
    write("ini", "utf8-invalid-sequences.ini", b"[Settings]\nBig=\xc0\xaf\xed\xa0\x80\xff\nMed=\xe2\x82\n\x85")
    write("ini", "empty.ini", b"")
    write("ini", "bom-only.ini", b"\xff\xfe")


def main():
    try:
        bmp_seeds()
        bmp_rle_seeds()
        png_seeds()
        jpeg_seeds()
        gif_seeds()
        gif_lzw_seeds()
        targa_rle_seeds(targa_seeds())
        lz77_seeds()
        packbits_seeds()
        color_manager_seeds()
        ini_seeds()
    finally:
        shutil.rmtree(TMP, ignore_errors=True)


if __name__ == "__main__":
    main()
