#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_receive and fuzz_picture next to this script."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def crc8(data):
    crc = 0
    for b in data:
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8C if (b ^ crc) & 1 else crc >> 1
            b >>= 1
    return crc


def reply(address, command, payload):
    frame = bytes([0x3E, address, command]) + bytes(payload)
    return frame + bytes([crc8(frame)])


def data_reply(address, temp, code, second=0):
    return reply(address, 0x06, [temp & 0xFF, code & 0xFF, code >> 8, second & 0xFF, second >> 8])


def config_reply(address):
    return reply(address, 0x04, range(1, 9))


# fuzz_receive input: active-tank mask (bit 14: inserts fail, bit 15: no DATA table), then
# [length][gap] steps; gaps below 1 s in 4 ms units, longer ones in whole 10 s.
def gap_byte(ms):
    return ms // 4 if ms < 1000 else 249 + min(ms // 10000, 6)


def steps(mask, *chunks):
    out = struct.pack('<H', mask)
    for gap_ms, data in chunks:
        out += bytes([len(data), gap_byte(gap_ms)]) + data
    return out


# 0: the device goes away, 1: connect again, 2: writes start or stop failing, 3: connect to
# an absent port (the Settings dialog then connects to a present one)
def event(kind):
    return b'\xff' + bytes([kind])


def receive_seeds():
    good = data_reply(1, 21, 528, 564)
    assert good == bytes.fromhex('3e01061510023402b9')
    spoilt = good[:-1] + b'\xb8'
    long_data = reply(3, 0x06, [0xFB, 0x10, 0x02, 0x34, 0x02, 9, 9, 9, 9, 9])
    return {
        'good_replies': steps(0x0007, (10, good), (300, data_reply(2, -5, 4000)),
                              (300, config_reply(3)), (300, long_data)),
        'spoilt_crc': steps(0x0001, (10, spoilt), (300, good)),
        'split_in_gap': steps(0x0002, (10, data_reply(2, 7, 300)[:5]),
                              (100, data_reply(2, 7, 300)[5:])),
        'split_past_gap': steps(0x0002, (10, data_reply(2, 7, 300)[:8]),
                                (400, data_reply(2, 7, 300)[8:])),
        'run_together': steps(0x0003, (10, data_reply(1, 1, 1) + b'\x3e\x01\x02\x03\x04' +
                                       data_reply(2, 7, 65535)[:6]),
                              (1000, data_reply(2, 7, 65535)[6:])),
        'no_data_table': steps(0x8001, (10, good), (300, good), (300, good)),
        'inserts_fail': steps(0x4003, (10, good), (300, data_reply(2, 3, 77))) + event(1) +
                        steps(0, (1000, good), *[(60000, b'')] * 2)[2:],
        'silent_minute': steps(0x0003, (10, good), *[(60000, b'')] * 2),
        'device_gone': steps(0x0001, (10, good)) + event(0) +
                       steps(0, (10, good))[2:] + event(1) + steps(0, (1000, good))[2:],
        'write_fails': steps(0x0003, (10, good)) + event(2) + steps(0, (60000, b''))[2:] +
                       event(2) + steps(0, (60000, b''), (300, good))[2:] + event(1) +
                       steps(0, (10, good))[2:],
        'absent_port': steps(0x0001, (10, good)) + event(3) + steps(0, (300, good))[2:],
        # Noise on the line: after a reply while nothing is asked, and in front of one.
        'noise_after_replies': steps(0x001F, (30, data_reply(1, 20, 101)), (300, b'\x00'),
                                     (700, data_reply(2, 20, 102)),
                                     (1000, data_reply(3, 20, 103)),
                                     (300, b'\x17\x00\xff\x3e\x06\x01'),
                                     (700, data_reply(4, 20, 104)),
                                     (1000, data_reply(5, 20, 105)), (250, b'\x3e' * 9)),
        'noise_in_front': steps(0x0007, (25, b'\x3e\x3e\x04\x3e'),
                                (5, data_reply(1, 20, 101)), (995, b'\x01\x02\x03\x04\x05\x06'),
                                (5, data_reply(2, 20, 102)), (995, b'\x00'),
                                (5, data_reply(3, -128, 65535))),
        'foreign_addresses': steps(0x3FFF, (10, data_reply(0, 1, 2)),
                                   (300, data_reply(15, 1, 2)), (300, data_reply(14, -128, 4096))),
    }


def bmp(width, height, bits, pixels, palette=b''):
    offset = 14 + 40 + len(palette)
    compression = 1 if bits == 8 and len(pixels) < width * abs(height) else 0  # RLE8
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, compression, len(pixels),
                       2835, 2835, len(palette) // 4, 0)
    head = b'BM' + struct.pack('<IHHI', offset + len(pixels), 0, 0, offset)
    return head + info + palette + pixels


def png_1x1():
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack(
            '>I', zlib.crc32(kind + body) & 0xFFFFFFFF)
    ihdr = struct.pack('>IIBBBBB', 1, 1, 8, 2, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) +
            chunk(b'IDAT', zlib.compress(b'\x00\xff\x00\x00')) + chunk(b'IEND', b''))


def picture_seeds():
    rgb_2x2 = bmp(2, 2, 24, b'\x00\x00\xff\xff\xff\xff\x00\x00' + b'\x00\xff\x00\xff\x00\x00\x00\x00')
    palette = b''.join(bytes([i, 255 - i, i // 2, 0]) for i in range(256))
    indexed = bmp(16, 16, 8, bytes(range(256)), palette)
    return {
        'rgb_2x2.bmp': rgb_2x2,
        'indexed_16x16.bmp': indexed,
        'truncated.bmp': indexed[:200],
        'top_down_3x1.bmp': bmp(3, -1, 24, b'\x10' * 9 + b'\x00' * 3),
        'png_1x1.png': png_1x1(),
        'not_a_picture': b'BMnot a bitmap at all',
        # A few dozen bytes declaring a bitmap of 30 to 120 megabytes.
        'declared_huge_rgb.bmp': bmp(5000, 6000, 24, b'\x00' * 16),
        'declared_huge_rle8.bmp': bmp(5000, 6000, 8, b'\x00\x01', b'\x00' * 4 + b'\xff' * 4),
    }


# Whole replies as tokens, so that mutations splice valid frames into the stream.
def receive_dictionary():
    lines = ['# fuzz_receive: valid replies of every polled address']
    for address in range(1, 15):
        for frame in (data_reply(address, 20, 100 * address), config_reply(address)):
            lines.append('"' + ''.join('\\x%02x' % b for b in frame) + '"')
    return '\n'.join(lines) + '\n'


def write(folder, seeds):
    os.makedirs(os.path.join(HERE, folder), exist_ok=True)
    for name, data in seeds.items():
        assert len(data) < 4096, name
        with open(os.path.join(HERE, folder, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    write('receive', receive_seeds())
    write('picture', picture_seeds())
    with open(os.path.join(HERE, 'receive.dict'), 'w') as f:
        f.write(receive_dictionary())
