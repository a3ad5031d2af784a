#!/usr/bin/env python3
"""Puts HEIC pictures that heif-enc wrote, one per tile, together as one grid picture, the way
phones store their photos: heif-enc itself writes no grids of many tiles.

Usage: heif_grid.py OUT COLUMNS ROWS WIDTH HEIGHT TILE-WIDTH TILE-HEIGHT TILE.heic...
The tiles come row by row; WIDTH x HEIGHT may be less than the tiles cover."""
import struct
import sys


def boxes(data, start, end):
    at = start
    while at + 8 <= end:
        size, kind = struct.unpack('>I4s', data[at:at + 8])
        header = 8
        if size == 1:
            size = struct.unpack('>Q', data[at + 8:at + 16])[0]
            header = 16
        elif size == 0:
            size = end - at
        yield kind.decode('latin1'), at, at + header, at + size
        at += size


def tile_parts(path):
    """The hvcC box and the coded picture of a single-picture file."""
    data = open(path, 'rb').read()
    meta = next(b for b in boxes(data, 0, len(data)) if b[0] == 'meta')
    inner = {kind: (body, end) for kind, _, body, end in boxes(data, meta[2] + 4, meta[3])}
    body, _ = inner['iloc']
    version, sizes, bases = data[body], data[body + 4], data[body + 5]
    if version != 0 or sizes != 0x44:
        sys.exit(f'{path}: an item location heif-enc does not write')
    base_size = bases >> 4
    count = struct.unpack('>H', data[body + 6:body + 8])[0]
    at = body + 12  # past the count, the item's ID and its data reference
    base = int.from_bytes(data[at:at + base_size], 'big')
    at += base_size
    extents = struct.unpack('>H', data[at:at + 2])[0]
    if count != 1 or extents != 1:
        sys.exit(f'{path}: not a single picture in one piece')
    offset, length = struct.unpack('>II', data[at + 2:at + 10])
    body, end = inner['iprp']
    ipco = next(b for b in boxes(data, body, end) if b[0] == 'ipco')
    hvcc = next(b for b in boxes(data, ipco[2], ipco[3]) if b[0] == 'hvcC')
    return data[hvcc[1]:hvcc[3]], data[base + offset:base + offset + length]


def box(kind, payload):
    return struct.pack('>I4s', 8 + len(payload), kind.encode()) + payload


def full_box(kind, version, flags, payload):
    return box(kind, struct.pack('>I', (version << 24) | flags) + payload)


def main():
    out = sys.argv[1]
    columns, rows, width, height, tile_width, tile_height = map(int, sys.argv[2:8])
    tiles = [tile_parts(path) for path in sys.argv[8:]]
    if len(tiles) != columns * rows or len(tiles) > 124:
        sys.exit('the tiles do not fill the grid, or are too many for one-byte property indices')
    grid = 1
    ids = list(range(2, 2 + len(tiles)))
    infe = [full_box('infe', 2, 0, struct.pack('>HH', grid, 0) + b'grid\0')]
    infe += [full_box('infe', 2, 1, struct.pack('>HH', i, 0) + b'hvc1\0') for i in ids]  # hidden
    iinf = full_box('iinf', 0, 0, struct.pack('>H', len(infe)) + b''.join(infe))
    iref = full_box('iref', 0, 0, box('dimg', struct.pack('>HH', grid, len(ids))
                                      + b''.join(struct.pack('>H', i) for i in ids)))
    # Properties: 1, the grid's size; 2, a tile's; from 3, each tile's decoder setup.
    properties = [full_box('ispe', 0, 0, struct.pack('>II', width, height)),
                  full_box('ispe', 0, 0, struct.pack('>II', tile_width, tile_height))]
    properties += [hvcc for hvcc, _ in tiles]
    entries = [struct.pack('>HBB', grid, 1, 1)]
    entries += [struct.pack('>HBBB', i, 2, 0x80 | (3 + n), 2) for n, i in enumerate(ids)]
    iprp = box('iprp', box('ipco', b''.join(properties))
               + full_box('ipma', 0, 0, struct.pack('>I', len(entries)) + b''.join(entries)))
    description = struct.pack('>BBBBHH', 0, 0, rows - 1, columns - 1, width, height)
    ftyp = box('ftyp', b'heic' + struct.pack('>I', 0) + b'mif1heicmiaf')
    hdlr = full_box('hdlr', 0, 0, struct.pack('>I', 0) + b'pict' + bytes(13))
    pitm = full_box('pitm', 0, 0, struct.pack('>H', grid))

    def meta(mdat_data):
        # The grid's description in idat, each tile in mdat at its place in the file.
        items = [struct.pack('>HHHHII', grid, 1, 0, 1, 0, len(description))]
        at = mdat_data
        for i, (_, coded) in zip(ids, tiles):
            items.append(struct.pack('>HHHHII', i, 0, 0, 1, at, len(coded)))
            at += len(coded)
        iloc = full_box('iloc', 1, 0, bytes([0x44, 0x00]) + struct.pack('>H', len(items)) + b''.join(items))
        return full_box('meta', 0, 0, hdlr + pitm + iloc + iinf + iref + iprp + box('idat', description))

    mdat_data = len(ftyp) + len(meta(0)) + 8
    with open(out, 'wb') as file:
        file.write(ftyp + meta(mdat_data) + box('mdat', b''.join(coded for _, coded in tiles)))


main()
