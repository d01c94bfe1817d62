"""RIFF/WAVE file images built byte by byte, for the tests that hand plughost
well-formed and deliberately broken WAV files."""
import struct


def riff(chunks, riff_size=None):
    """A RIFF/WAVE form of (tag, data) chunks, odd chunks padded; riff_size
    overrides the form's declared size (to make it lie)."""
    body = b"WAVE" + b"".join(tag + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")
                              for tag, data in chunks)
    return b"RIFF" + struct.pack("<I", len(body) if riff_size is None else riff_size) + body


def fmt_chunk(channels, rate, bits, tag=1, align=None, extra=None):
    """A 'fmt ' chunk; align defaults to channels x bits / 8, and extra (the
    bytes after cbSize, for the extensible record) adds cbSize when given."""
    align = channels * bits // 8 if align is None else align
    data = struct.pack("<HHIIHH", tag, channels, rate, (rate * align) & 0xFFFFFFFF, align & 0xFFFF, bits)
    if extra is not None:
        data += struct.pack("<H", len(extra)) + extra
    return (b"fmt ", data)
