#!/usr/bin/env python3
"""Writes the damaged picture files of this folder: python3 tests/data/bad/make_bad.py

Each file is a few hundred bytes (a few KB at most) whose header claims a huge
or impossible frame, or whose data ends long before the frame does. Headers and
markers are written byte by byte here; the only outside help is zlib for the
PNG data stream and the chunk checksums. The output is the same on every run.
What the image holder must make of each file is in outcomes.txt beside it.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
FILES = {}


def put(name, data):
    assert name not in FILES, name
    FILES[name] = bytes(data)


def pattern(n, seed=1):
    """n bytes that look random, from a fixed linear congruential sequence."""
    out = bytearray()
    x = seed
    for _ in range(n):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((x >> 16) & 0xFF)
    return bytes(out)


# ---- BMP ---------------------------------------------------------------------------------


def bmp(width, height, bits, compression=0, palette=b"", data=b""):
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(data), 2835, 2835, 0, 0)
    head = b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset)
    return head + info + palette + data


def bgr_palette(count, first=(255, 255, 255)):
    """count entries: entry 0 the given colour, the rest a ramp."""
    entries = [bytes((first[2], first[1], first[0], 0))]
    entries += [bytes((i * 7 & 0xFF, i * 3 & 0xFF, i & 0xFF, 0)) for i in range(1, count)]
    return b"".join(entries)


INT_MAX = 0x7FFFFFFF
INT_MIN = -0x80000000

put("bmp24_width_max_height_max.bmp", bmp(INT_MAX, INT_MAX, 24, data=pattern(16)))
put("bmp24_width_max_height_min.bmp", bmp(INT_MAX, INT_MIN, 24, data=pattern(16)))
put("bmp_rle8_width_max_height_max.bmp", bmp(INT_MAX, INT_MAX, 8, 1, bgr_palette(256), bytes((4, 1, 0, 0, 0, 1))))
put("bmp24_20000_100_bytes.bmp", bmp(20000, 20000, 24, data=pattern(100)))
# 20000 pixels of 3 bytes: a stored row of 60000 bytes, no padding.
put("bmp24_20000_first_row_only.bmp", bmp(20000, 20000, 24, data=pattern(60000 + 7)))
# Runs, an end of line and an absolute run, then the file just stops.
RLE8_RUNS = bytes((10, 1, 20, 2, 0, 0, 5, 3, 0, 4, 9, 8, 7, 6, 30, 4))
put("bmp_rle8_20000_white_background.bmp", bmp(20000, 20000, 8, 1, bgr_palette(256), RLE8_RUNS))
RLE4_RUNS = bytes((10, 0x12, 20, 0x34, 0, 0, 5, 0x56, 0, 4, 0x78, 0x9A, 30, 0xBC))
put("bmp_rle4_20000_white_background.bmp", bmp(20000, 20000, 4, 2, bgr_palette(16), RLE4_RUNS))
put("bmp_rle8_20000_end_only.bmp", bmp(20000, 20000, 8, 1, bgr_palette(256), bytes((0, 1))))
put("bmp_header_only.bmp", bmp(640, 480, 24)[:54])
# Past the reader's admission (the rows are there), then partial: a big frame
# around a little data is dropped by the image holder, a small one is kept.
put("bmp8_8000_eight_rows.bmp", bmp(8000, 8000, 8, palette=bgr_palette(256), data=pattern(8000 * 8)))
put("bmp8_200x100_half_rows.bmp", bmp(200, 100, 8, palette=bgr_palette(256), data=pattern(200 * 50)))

# ---- WBMP --------------------------------------------------------------------------------


def multibyte(v):
    groups = []
    while True:
        groups.append(v & 0x7F)
        v >>= 7
        if not v:
            break
    groups.reverse()
    return bytes([g | 0x80 for g in groups[:-1]] + [groups[-1]])


put("wbmp_30000_few_bytes.wbmp", b"\0\0" + multibyte(30000) + multibyte(30000) + pattern(8))

# ---- TGA ---------------------------------------------------------------------------------


def tga(image_type, width, height, depth, colour_map=None, data=b""):
    map_type, first, length, entry_bits, map_data = 0, 0, 0, 0, b""
    if colour_map:
        map_type = 1
        first, entry_bits, map_data = colour_map
        length = len(map_data) // (entry_bits // 8)
    head = struct.pack("<BBBHHBHHHHBB", 0, map_type, image_type, first, length, entry_bits, 0, 0, width, height,
                       depth, 0)
    return head + map_data + data


put("tga24_20000_few_bytes.tga", tga(2, 20000, 20000, 24, data=pattern(12)))
# A run of 6, three literal pixels, a run of 128.
TGA_PACKETS = b"\x85" + bytes((1, 2, 3)) + b"\x02" + pattern(9) + b"\xFF" + bytes((200, 100, 50))
put("tga24_rle_20000_few_packets.tga", tga(10, 20000, 20000, 24, data=TGA_PACKETS))
put("tga8_mapped_20000_first_entry_5.tga", tga(1, 20000, 20000, 8, (5, 24, pattern(10 * 3, 7)), pattern(12, 3)))

# ---- PSD ---------------------------------------------------------------------------------


def psd(channels, height, width, depth, mode, colour_data=b"", tail=b""):
    head = b"8BPS" + struct.pack(">H6xHIIHH", 1, channels, height, width, depth, mode)
    sections = struct.pack(">I", len(colour_data)) + colour_data + struct.pack(">II", 0, 0)
    return head + sections + tail


put("psd_rgb_30000_no_data.psd", psd(3, 30000, 30000, 8, 3, tail=struct.pack(">H", 0)))
put("psd_indexed_30000_no_data.psd", psd(1, 30000, 30000, 8, 2, bytes(range(256)) * 3, struct.pack(">H", 0)))
# Run-length data wants 3 x 30000 row lengths; the file holds five.
put("psd_rgb_rle_short_row_table.psd", psd(3, 30000, 30000, 8, 3, tail=struct.pack(">H5H", 1, 2, 2, 2, 2, 2)))

# ---- PCX ---------------------------------------------------------------------------------


def pcx8(xmax, ymax, data, palette, bytes_per_line=None):
    line = xmax + 1 if bytes_per_line is None else bytes_per_line
    head = struct.pack("<BBBBHHHHHH48sBBHH58s", 10, 5, 1, 8, 0, 0, xmax, ymax, 72, 72, bytes(48), 0, 1, line, 1,
                       bytes(58))
    return head + data + b"\x0C" + palette


VGA_WHITE_FIRST = bytes((255, 255, 255)) + bytes(i * 5 % 256 for i in range(3, 768))
put("pcx8_20000_white_palette.pcx", pcx8(19999, 19999, bytes((0xC5, 7, 1, 2, 0xFF, 9, 3)), VGA_WHITE_FIRST))
# Lines of no bytes (or of one) would make every line from no data at all.
put("pcx8_8192_no_bytes_per_line.pcx", pcx8(8191, 8191, bytes(100), VGA_WHITE_FIRST, 0))
put("pcx8_20000_one_byte_per_line.pcx", pcx8(19999, 19999, bytes(4000), VGA_WHITE_FIRST, 1))

# ---- PNG ---------------------------------------------------------------------------------


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_idat_bomb(interlace):
    ihdr = struct.pack(">IIBBBBB", 20000, 20000, 8, 2, 0, 0, interlace)
    # Filter bytes and pixels, all zero: deflate packs about a thousand to one.
    stream = zlib.compress(bytes(24 << 20), 9)
    whole = [chunk(b"IDAT", stream[i:i + 4096]) for i in range(0, 12288, 4096)]
    # The last chunk claims 4096 bytes and the file ends after 1000 of them.
    cut = struct.pack(">I", 4096) + b"IDAT" + stream[12288:13288]
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + b"".join(whole) + cut


put("png_20000_idat_bomb.png", png_idat_bomb(0))
put("png_20000_idat_bomb_interlaced.png", png_idat_bomb(1))
put("random_100_bytes.png", pattern(100, 92))

# ---- JPEG --------------------------------------------------------------------------------
# Small Huffman tables: the DC table codes only category 0 and the AC table only
# end-of-block, each with the one-bit code 0, so zero bits are empty blocks.


def segment(marker, payload):
    return bytes((0xFF, marker)) + struct.pack(">H", len(payload) + 2) + payload


def dqt(table):
    return segment(0xDB, bytes((table,)) + bytes(range(1, 65)))


def dht(table_class, table, symbol):
    counts = bytes((1,) + (0,) * 15)
    return segment(0xC4, bytes((table_class << 4 | table,)) + counts + bytes((symbol,)))


def sof(marker, height, width, components):
    payload = struct.pack(">BHHB", 8, height, width, len(components))
    for ident, sampling, table in components:
        payload += bytes((ident, sampling, table))
    return segment(marker, payload)


def sos(components, ss, se, ah, al):
    payload = bytes((len(components),))
    for ident, tables in components:
        payload += bytes((ident, tables))
    return segment(0xDA, payload + bytes((ss, se, ah << 4 | al)))


SOI = b"\xFF\xD8"
SCAN_BYTES = bytes((0x00, 0x12, 0x00, 0x34, 0x56, 0x00, 0x01, 0x00))

put("jpeg_baseline_20000_420_truncated.jpg",
    SOI + dqt(0) + dqt(1) + sof(0xC0, 20000, 20000, ((1, 0x22, 0), (2, 0x11, 1), (3, 0x11, 1))) + dht(0, 0, 0) +
    dht(1, 0, 0) + sos(((1, 0x00), (2, 0x00), (3, 0x00)), 0, 63, 0, 0) + SCAN_BYTES)
put("jpeg_progressive_20000_grey_dc_only.jpg",
    SOI + dqt(0) + sof(0xC2, 20000, 20000, ((1, 0x11, 0),)) + dht(0, 0, 0) + sos(((1, 0x00),), 0, 0, 0, 0) +
    SCAN_BYTES)
# A first DC scan at half precision, then the same one-bit refinement of the DC
# values over and over: each scan is a whole pass for the decoder.
many = [SOI, dqt(0), sof(0xC2, 64, 64, ((1, 0x11, 0),)), dht(0, 0, 0), sos(((1, 0x00),), 0, 0, 0, 1), bytes(8)]
for i in range(5999):
    many += [sos(((1, 0x00),), 0, 0, 1, 0), bytes((0x55,))]
put("jpeg_progressive_6000_scans.jpg", b"".join(many))
put("empty.jpg", b"")

# ---- TIFF --------------------------------------------------------------------------------

SHORT, LONG, RATIONAL = 3, 4, 5


def tiff(width, height, strip, resolution, strip_bytes=None):
    """Little-endian, one IFD, 8-bit RGB in one uncompressed strip."""
    entries = []  # (tag, type, count, value bytes)
    extra = b""
    base = 8

    def field(tag, kind, values):
        fmt = {SHORT: "<H", LONG: "<I", RATIONAL: "<II"}[kind]
        raw = b"".join(struct.pack(fmt, *(v if isinstance(v, tuple) else (v,))) for v in values)
        entries.append((tag, kind, len(values), raw))

    field(256, LONG, [width])
    field(257, LONG, [height])
    field(258, SHORT, [8, 8, 8])
    field(259, SHORT, [1])
    field(262, SHORT, [2])
    field(273, LONG, [0])  # patched below
    field(277, SHORT, [3])
    field(278, LONG, [height])
    field(279, LONG, [len(strip) if strip_bytes is None else strip_bytes])
    field(282, RATIONAL, [resolution[0]])
    field(283, RATIONAL, [resolution[1]])
    field(284, SHORT, [1])
    field(296, SHORT, [2])

    ifd_size = 2 + 12 * len(entries) + 4
    extra_at = base + ifd_size
    # Values over four bytes go after the IFD, then the strip.
    placed = []
    for tag, kind, count, raw in entries:
        if len(raw) > 4:
            placed.append((tag, kind, count, struct.pack("<I", extra_at + len(extra))))
            extra += raw
        else:
            placed.append((tag, kind, count, raw))
    strip_at = extra_at + len(extra)
    ifd = struct.pack("<H", len(placed))
    for tag, kind, count, raw in placed:
        if tag == 273:
            raw = struct.pack("<I", strip_at)
        ifd += struct.pack("<HHI", tag, kind, count) + raw.ljust(4, b"\0")
    ifd += struct.pack("<I", 0)
    return b"II*\0" + struct.pack("<I", base) + ifd + extra + strip


put("tiff_1x1_xres_200000000.tif", tiff(1, 1, bytes((10, 20, 30)), ((200000000, 1), (1, 1))))
put("tiff_20000_short_strip.tif", tiff(20000, 20000, pattern(16, 5), ((72, 1), (72, 1))))


def main():
    for name, data in sorted(FILES.items()):
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)
        print(f"{len(data):7d}  {name}")


if __name__ == "__main__":
    main()
