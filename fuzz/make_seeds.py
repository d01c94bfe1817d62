#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

Seeds are small valid and nearly valid inputs the fuzzer mutates from; the
regression cases found by fuzzing sit beside them (named crash-* or
finding-*) and are never rewritten by this script."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def tone(frames, channels, width):
    out = bytearray()
    for i in range(frames):
        for c in range(channels):
            v = math.sin(i * (0.05 + 0.03 * c))
            if width == 1:
                out.append(int(128 + 100 * v) & 0xFF)
            else:
                out += int(v * (1 << (8 * width - 2))).to_bytes(width, "little", signed=True)
    return bytes(out)


# Converter: channels, width index, in-rate index, out-rate index, split seed, PCM.
# Rate indices, by the real rates the target runs divided by 25: 0 8000,
# 1 11025, 2 16000, 3 22050, 4 32000, 5 44100, 6 48000, 7 7350, 8 one most
# pairs refuse, 9 24000, 10 96000, 11 6000, 12 1, 13 0, 14 -8000, 15 next to 44100.
for name, header, frames in [
        ("up_22050_44100_stereo16", (2, 1, 3, 5, 7), 900),
        ("down_48000_16000_mono8", (1, 0, 6, 2, 3), 1500),
        ("equal_44100_mono24", (1, 2, 5, 5, 11), 700),
        ("odd_7350_to_11025_three", (3, 1, 7, 1, 1), 400),
        ("down_96000_44100_stereo24", (2, 2, 10, 5, 200), 2000),
        ("refused_12345", (1, 1, 5, 8, 0), 100),
        ("refused_zero_channels", (0, 1, 5, 6, 0), 50),
        ("refused_32bit", (2, 7, 5, 6, 0), 50),
        ("empty_stream", (2, 1, 0, 6, 9), 0)]:
    width = [1, 2, 3, 2, 2, 2, 2, 2][header[1]]
    put("converter", name, bytes(header) + tone(frames, max(header[0], 1), width))


def riff(chunks, riff_size=None):
    body = b"WAVE" + b"".join(tag + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")
                              for tag, data in chunks)
    return b"RIFF" + struct.pack("<I", riff_size if riff_size is not None else len(body)) + body


def fmt(tag, channels, rate, bits, align=None, extra=None):
    align = channels * bits // 8 if align is None else align
    data = struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)
    if extra is not None:
        data += struct.pack("<H", len(extra)) + extra
    return (b"fmt ", data)


GUID_PCM = bytes.fromhex("0100000000001000800000aa00389b71")
GUID_FLOAT = bytes.fromhex("0300000000001000800000aa00389b71")
pcm = tone(64, 2, 2)
put("wav_reader", "plain_stereo16", riff([fmt(1, 2, 44100, 16), (b"data", pcm)]))
put("wav_reader", "mono8_odd_data", riff([fmt(1, 1, 8000, 8), (b"data", tone(33, 1, 1))]))
put("wav_reader", "list_before_data_24", riff([fmt(1, 2, 48000, 24), (b"LIST", b"INFOISFT\x04\0\0\0abc\0"),
                                               (b"data", tone(20, 2, 3))]))
put("wav_reader", "extensible_pcm", riff([fmt(0xFFFE, 2, 48000, 24, extra=struct.pack("<HI", 24, 3) + GUID_PCM),
                                          (b"data", tone(10, 2, 3))]))
put("wav_reader", "extensible_float", riff([fmt(0xFFFE, 2, 48000, 32, extra=struct.pack("<HI", 32, 3) + GUID_FLOAT),
                                            (b"data", bytes(80))]))
put("wav_reader", "partial_frame", riff([fmt(1, 2, 22050, 16), (b"data", pcm[:-3])]))
put("wav_reader", "riff_size_lies", riff([fmt(1, 2, 44100, 16), (b"data", pcm)], riff_size=0xFFFFFFF0))
good = riff([fmt(1, 2, 44100, 16), (b"data", pcm)])
put("wav_reader", "truncated", good[:-40])
put("wav_reader", "data_size_lies", good[:40] + struct.pack("<I", 0x7FFFFFFF) + good[44:])
put("wav_reader", "block_align_wrong", riff([fmt(1, 2, 44100, 16, align=3), (b"data", pcm)]))
put("wav_reader", "trailing_tag", good + b"id3 \x04\0\0\0abcd")
put("wav_reader", "empty", b"")
put("wav_reader", "two_data_chunks", riff([fmt(1, 2, 44100, 16), (b"data", pcm[:64]), (b"data", pcm[64:128])]))
unpadded = riff([(b"LIST", b"INFOabc"), fmt(1, 1, 8000, 8), (b"data", b"ab")])
put("wav_reader", "list_without_pad",  # the LIST chunk's pad byte left out, and not counted
    unpadded[:4] + struct.pack("<I", len(unpadded) - 9) + unpadded[8:27] + unpadded[28:])
put("wav_reader", "data_before_fmt_six_channels",
    riff([(b"data", tone(20, 6, 2)), fmt(0xFFFE, 6, 48000, 16, extra=struct.pack("<HI", 16, 0x60F) + GUID_PCM)]))

for name, text in [("artist_title", "C:\\Music\\Some Artist - Some Title.wav"),
                   ("no_dash", "/home/x/plain name.wav"),
                   ("dash_in_folder", "C:\\a - b\\name.wav"),
                   ("dot_before_dash", "x.y - z"),
                   ("many_dashes", "a-b - c-d.e.f"),
                   ("spaces", "  -  .wav"),
                   ("utf8", "/m/\xc3\xa9t\xc3\xa9 - \xe6\x97\xa5\xe6\x9c\xac.wav")]:
    put("title_artist", name, text.encode("latin-1") if name == "utf8" else text.encode())

# AC-3 encoder: rate index (48000 44100 32000 24000 22050 16000 12000 11025
# 8000), channels - 1, bit-rate budget / 2600, block-size seed, PCM.
for name, header, frames, pcm16 in [
        ("tone_44100_stereo_96k", (1, 1, 37, 5), 3100, None),
        ("tone_8000_mono_lowest", (8, 0, 0, 7), 1537, None),
        ("square_48000_stereo_full_scale", (0, 1, 250, 3), 1600,
         lambda i, c: 32767 if (i // 37) % 2 else -32768),
        ("dc_extremes_22050_mono", (4, 0, 60, 1), 1536, lambda i, c: -32768),
        ("header_only_32000_stereo", (2, 1, 120, 9), 0, None)]:
    if pcm16 is None:
        data = tone(frames, header[1] + 1, 2)
    else:
        data = b"".join(struct.pack("<h", pcm16(i, c)) for i in range(frames) for c in range(header[1] + 1))
    put("ac3_encoder", name, bytes(header) + data)
