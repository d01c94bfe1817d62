#!/usr/bin/env python3
"""Hostile-input matrix: plughost -> rmplugin.dll -> stand-in engine, under Wine.

Each case runs plughost on one input with given settings, output folder and
engine faults, with a time limit, and checks its outcome:
  - refused: exit 2 with a one-line message naming the input; no engine call;
  - error3:  exit 1, a line saying no file was written, with "create error 3"
             or blocks with error 3 (--verbose), no crash;
  - ok:      exit 0 and a correct conversion (the engine's PCM as long as the
             converter's output, or equal to an undisturbed run's PCM);
and, always: no crash, no hang, the stand-in's reference report is clean,
and no output file is left when creation failed.

Usage: plughost_matrix.py --plughost EXE --wine-run SCRIPT --work DIR --group NAME
Groups: formats, files, settings, paths, faults. Prints one line per case and
"N passed, M failed"; exit status 1 on any failure.
"""
import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from wav_images import fmt_chunk as fmt, riff  # noqa: E402

KEY = r"HKEY_CURRENT_USER\Software\Harborlane\Tonewright"
TIME_LIMIT = 60  # seconds for one plughost run; longer counts as a hang
GUID_TAIL = bytes.fromhex("000000001000800000aa00389b71")[2:]


class Failure(Exception):
    pass


def pcm_bytes(count):
    return bytes((i * 37 ^ (i >> 7)) & 0xFF for i in range(count))


def wav(channels=2, rate=22050, bits=16, seconds=0.25):
    frames = int(rate * seconds)
    return riff([fmt(channels, rate, bits), (b"data", pcm_bytes(frames * channels * bits // 8))])


class Matrix:
    def __init__(self, args):
        self.args = args
        self.work = os.path.join(args.work, args.group)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.prefix = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(args.plughost))), "wineprefix")
        self.passed = self.failed = 0
        self.counter = 0

    # --- running ---------------------------------------------------------

    def wine(self, *command, env=None):
        env = dict(env or os.environ, RMP_WINEPREFIX=self.prefix)
        return subprocess.run([self.args.wine_run] + list(command), env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=TIME_LIMIT)

    def registry(self, values):
        """Empties the host's key and stores `values`: name -> .reg data text."""
        lines = ["REGEDIT4", "", "[-%s]" % KEY, "", "[%s]" % KEY]
        lines += ['"%s"=%s' % (name, data) for name, data in values.items()]
        path = os.path.join(self.work, "settings.reg")
        with open(path, "w") as f:
            f.write("\r\n".join(lines) + "\r\n")
        result = self.wine("regedit", "/S", "Z:" + path.replace("/", "\\"))
        if result.returncode != 0:
            raise Failure("regedit could not store the settings")

    def plughost(self, inputs, out_dir=None, faults=None, blocks=None, settings=None):
        """Runs plughost convert; returns (status, stdout, stderr, engine calls, PCM)."""
        self.counter += 1
        log = os.path.join(self.work, "calls%d.json" % self.counter)
        pcm = os.path.join(self.work, "pcm%d.raw" % self.counter)
        env = dict(os.environ, RMBE_LOG=log, RMBE_PCM=pcm)
        for name in ("RMBE_FAIL", "RMBE_PINS", "RMBE_CHUNK_BYTES"):
            env.pop(name, None)
        if faults:
            env["RMBE_FAIL"] = faults
        # Settings from an earlier case stay in the prefix: every run starts
        # from the given values, or from an empty key (the defaults).
        self.registry(settings or {})
        command = [self.args.plughost, "convert", "--verbose"] + (blocks or [])
        if out_dir:
            command += ["--out-dir", out_dir]
        started = time.monotonic()
        try:
            result = self.wine(*(command + list(inputs)), env=env)
        except subprocess.TimeoutExpired:
            raise Failure("hang: plughost still running after %d s" % TIME_LIMIT)
        calls = []
        if os.path.exists(log):
            # Texts are logged in the ANSI code page, not UTF-8.
            with open(log, encoding="latin-1") as f:
                calls = [json.loads(line) for line in f if line.strip()]
        data = b""
        if os.path.exists(pcm):
            with open(pcm, "rb") as f:
                data = f.read()
        out, err = result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")
        if result.returncode not in (0, 1, 2):
            raise Failure("crash: exit status %d (%s)" % (result.returncode, err.strip()[-200:]))
        if any(c.get("obj") for c in calls):  # an engine object was made
            reports = [c["report"] for c in calls if "report" in c]
            if not reports:
                raise Failure("the engine library never reported at exit (crash?)")
            if reports[-1].strip() != "clean":
                raise Failure("engine references left: %s" % reports[-1].strip())
        self.elapsed = time.monotonic() - started
        return result.returncode, out, err, calls, data

    # --- outcomes ----------------------------------------------------------

    def case(self, group, name, check):
        try:
            outcome = check()
            self.passed += 1
            print("ok   %-9s %-48s %s" % (group, name, outcome))
        except (Failure, OSError, ValueError) as error:
            self.failed += 1
            print("FAIL %-9s %-48s %s" % (group, name, error))
        sys.stdout.flush()

    def write(self, name, data):
        path = os.path.join(self.work, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def expect_refused(self, path, **options):
        status, out, err, calls, _ = self.plughost([path], **options)
        lines = err.strip().splitlines()
        if status != 2 or len(lines) != 1 or os.path.basename(path) not in lines[0]:
            raise Failure("exit %d, stderr %r: expected exit 2 and one line naming the input" % (status, err))
        if any(c.get("iface") for c in calls):
            raise Failure("the engine was called for a refused input")
        return "refused: " + lines[0].split(": ", 2)[-1]

    def expect_error3(self, path, output, **options):
        status, out, err, calls, pcm = self.plughost([path], **options)
        if status != 1 or "with error 3" not in err or "no file written" not in err:
            raise Failure("exit %d, %r %r: expected exit 1 and error 3" % (status, out.strip(), err.strip()))
        created = "create error 3" in err
        if created and output and os.path.exists(output):
            raise Failure("creation failed, yet %s was written" % output)
        if created and pcm:
            raise Failure("creation failed, yet the engine received %d bytes" % len(pcm))
        return "error 3 at " + ("creation" if created else "a block") + ("" if not err.strip() else "; " + err.strip())

    def expect_converted(self, path, output, frames_in, rate_in, rate_out, coded=1, **options):
        status, out, err, calls, pcm = self.plughost([path], **options)
        if status != 0:
            raise Failure("exit %d, %r %r: expected a conversion" % (status, out.strip(), err.strip()))
        expected = (frames_in * rate_out // rate_in + 2) * 2 * coded
        if len(pcm) != expected:
            raise Failure("engine received %d bytes, %d expected" % (len(pcm), expected))
        if output and not os.path.exists(output):
            raise Failure("no output file %s" % output)
        return "converted, %d bytes to the engine" % len(pcm)


def fmt_cases(m):
    guid_float = struct.pack("<I", 3) + GUID_TAIL
    extensible_float = riff([fmt(2, 48000, 32, tag=0xFFFE, extra=struct.pack("<HI", 32, 3) + guid_float),
                             (b"data", bytes(800))])
    extensible_float16 = riff([fmt(2, 48000, 16, tag=0xFFFE, extra=struct.pack("<HI", 16, 3) + guid_float),
                               (b"data", bytes(800))])
    refused = {
        "0 channels": riff([fmt(0, 22050, 16, align=0), (b"data", bytes(400))]),
        "65535 channels 16-bit": riff([fmt(65535, 22050, 16), (b"data", bytes(400))]),
        "65535 channels 8-bit": riff([fmt(65535, 8000, 8), (b"data", bytes(65535 * 2))]),  # more than the plug-in folds
        "rate 0": riff([fmt(2, 0, 16), (b"data", bytes(400))]),
        "0 bits": riff([fmt(2, 22050, 0), (b"data", bytes(400))]),
        "7 bits": riff([fmt(1, 22050, 7, align=1), (b"data", bytes(400))]),
        "12 bits": riff([fmt(2, 22050, 12), (b"data", bytes(400))]),
        "block alignment 6 for 2 x 16 bits": riff([fmt(2, 22050, 16, align=6), (b"data", bytes(600))]),
        "extensible, float sub-format, 16-bit": extensible_float16,
    }
    for name, data in refused.items():
        path = m.write("in.wav", data)
        m.case("formats", name, lambda: m.expect_refused(path))
    # Encodings the reader decodes into PCM the plug-in takes (24-bit here).
    decoded = {
        "32 bits": (riff([fmt(2, 22050, 32), (b"data", bytes(400))]), 50, 22050),
        "extensible, float sub-format": (extensible_float, 100, 48000),
    }
    for number, (name, (data, frames, rate)) in enumerate(decoded.items()):
        path = m.write("decoded%d.wav" % number, data)
        output = os.path.join(m.work, "decoded%d.rm" % number)
        m.case("formats", name, lambda: m.expect_converted(path, output, frames, rate, 44100))
    # Formats the reader takes and the plug-in must refuse.
    plugin_refused = {
        "rate 1": riff([fmt(1, 1, 16), (b"data", bytes(40))]),
        "rate 2^31-1": riff([fmt(2, 0x7FFFFFFF, 16), (b"data", bytes(400))]),
    }
    for name, data in plugin_refused.items():
        path = m.write("in.wav", data)
        m.case("formats", name, lambda: m.expect_error3(path, os.path.join(m.work, "in.rm")))


def file_cases(m):
    good = wav(seconds=0.25)
    data_size_at = good.index(b"data") + 4
    cases = {
        "0-byte file": b"",
        "truncated data chunk": good[:-1000],
        "data size far beyond the file": good[:data_size_at] + struct.pack("<I", 0x7FFFFF00) + good[data_size_at + 4:],
        "RIFF size larger than the file": good[:4] + struct.pack("<I", len(good) + 5000) + good[8:],
        "RIFF size smaller than its chunks": good[:4] + struct.pack("<I", 100) + good[8:],
    }
    for name, data in cases.items():
        path = m.write("in.wav", data)
        m.case("files", name, lambda: m.expect_refused(path))
    # A partial last frame and trailing bytes after the RIFF form are not errors.
    partial = riff([fmt(2, 22050, 16), (b"data", pcm_bytes(22050 + 3))])
    path = m.write("partial.wav", partial + b"junk after the form")
    m.case("files", "partial last frame, bytes after the form",
           lambda: m.expect_converted(path, os.path.join(m.work, "partial.rm"), 22050 // 4 + 1, 22050, 44100))
    # Sizes a writer to a pipe leaves: the data runs to the end of the file.
    streamed = good[:4] + struct.pack("<I", 0xFFFFFFFF) + good[8:data_size_at] + struct.pack("<I", 0xFFFFFFFF) + \
        good[data_size_at + 4:]
    path_streamed = m.write("streamed.wav", streamed)
    m.case("files", "RIFF and data size 0xFFFFFFFF (streamed)",
           lambda: m.expect_converted(path_streamed, os.path.join(m.work, "streamed.rm"), 22050 // 4, 22050, 44100))
    path_empty = m.write("empty.wav", riff([fmt(2, 22050, 16), (b"data", b"")]))
    m.case("files", "data chunk of 0 bytes",
           lambda: m.expect_converted(path_empty, os.path.join(m.work, "empty.rm"), 0, 22050, 44100))


def dword(value):
    return "dword:%08x" % (value & 0xFFFFFFFF)


def hex_value(type_code, data):
    return "hex(%x):%s" % (type_code, ",".join("%02x" % b for b in data))


def settings_cases(m):
    seconds = 0.25
    frames = int(22050 * seconds)
    path = m.write("in.wav", wav(channels=2, rate=22050, seconds=seconds))
    rm = os.path.join(m.work, "in.rm")

    def run(values, expect, rate_out=44100, coded=1, output=rm):
        def check():
            for stale in (rm, os.path.join(m.work, "in")):
                if os.path.exists(stale):
                    os.remove(stale)
            if expect == "ok":
                return m.expect_converted(path, output, frames, 22050, rate_out, coded, settings=values)
            return m.expect_error3(path, output, settings=values)
        return check

    # Values the settings panel does not offer read as the default.
    m.case("settings", "ZVKRMFreq -1 (reads as 44100)", run({"ZVKRMFreq": dword(-1)}, "ok"))
    m.case("settings", "ZVKRMFreq 1 (reads as 44100)", run({"ZVKRMFreq": dword(1)}, "ok"))
    m.case("settings", "ZVKRMFreq 12345 (reads as 44100)", run({"ZVKRMFreq": dword(12345)}, "ok"))
    m.case("settings", "ZVKRMFreq 384000 (reads as 44100)", run({"ZVKRMFreq": dword(384000)}, "ok"))
    m.case("settings", "ZVKRMFreq 0 (reads as 44100)", run({"ZVKRMFreq": dword(0)}, "ok"))
    m.case("settings", "ZVKRMAudioFormat -1", run({"ZVKRMAudioFormat": dword(-1)}, "ok"))
    m.case("settings", "ZVKRMAudioFormat 7", run({"ZVKRMAudioFormat": dword(7)}, "ok"))
    m.case("settings", "ZVKRMAudioFormat 3 (stereo)", run({"ZVKRMAudioFormat": dword(3)}, "ok", coded=2))
    # Unusable extensions read as ".rm": none may lead the output out of its folder.
    m.case("settings", "ZVKRMExt of 0 bytes", run({"ZVKRMExt": hex_value(1, b"")}, "ok",
                                                   output=os.path.join(m.work, "in.rm")))
    m.case("settings", "ZVKRMExt of 300 bytes", run({"ZVKRMExt": hex_value(1, b"." + b"x" * 298 + b"\0")},
                                                    "ok", output=os.path.join(m.work, "in.rm")))
    m.case("settings", "ZVKRMExt \\..\\..\\x.txt", run({"ZVKRMExt": hex_value(1, b"\\..\\..\\x.txt\0")},
                                                      "ok", output=os.path.join(m.work, "in.rm")))
    m.case("settings", "ZVKRMExt without its NUL",
           run({"ZVKRMExt": hex_value(1, b".ra")}, "ok", output=os.path.join(m.work, "in.ra")))
    m.case("settings", "ZVKRMExt as REG_DWORD", run({"ZVKRMExt": dword(0x6D722E)}, "ok",
                                                     output=os.path.join(m.work, "in.rm")))
    # Numbers stored with another type read as the default.
    m.case("settings", "ZVKRMFreq as REG_SZ \"8000\" (reads as 44100)",
           run({"ZVKRMFreq": '"8000"'}, "ok"))
    m.case("settings", "ZVKRMFreq as REG_BINARY 2 bytes 8000 (reads as 44100)",
           run({"ZVKRMFreq": hex_value(3, struct.pack("<H", 8000))}, "ok"))
    m.case("settings", "ZVKRMFreq as REG_QWORD (reads as 44100)",
           run({"ZVKRMFreq": hex_value(0xB, struct.pack("<Q", 8000))}, "ok"))
    m.case("settings", "ZVKRMAudioFormat as REG_SZ \"3\" (reads as Voice)",
           run({"ZVKRMAudioFormat": '"3"'}, "ok"))
    m.case("settings", "ZVKRMTarget0..7 as REG_MULTI_SZ",
           run({"ZVKRMTarget%d" % i: hex_value(7, b"a\0b\0\0") for i in range(8)}, "ok"))
    m.case("settings", "ZVKRMExt \".wav\": output would replace the input",
           lambda: m.expect_refused(path, settings={"ZVKRMExt": '".wav"'}))
    # Extensions that would lead out of the folder read as ".rm" in the plug-in
    # (plughost would refuse them too): nothing named "escape" appears anywhere.
    for escape in ("\\\\..\\\\escape.rm", "/../escape.rm", ":stream", "\\\\"):
        def outside(escape=escape):
            result = run({"ZVKRMExt": '"%s"' % escape}, "ok")()
            left = [n for n in os.listdir(os.path.dirname(m.work)) + os.listdir(m.work) if "escape" in n]
            if left:
                raise Failure("files %r" % left)
            return result
        m.case("settings", "ZVKRMExt %r: stays in its folder" % escape, outside)


def path_cases(m):
    src = wav(seconds=0.1)
    frames = int(22050 * 0.1)

    def windows(path):
        return "Z:" + path.replace("/", "\\")

    def deep_folder(total_length, name_length):
        """A folder such that folder\\name of name_length chars has total_length chars as a Windows path."""
        folder = m.work
        while len(windows(folder)) + 1 + name_length < total_length - 60:
            folder = os.path.join(folder, "f" * 50)
        pad = total_length - (len(windows(folder)) + 1 + name_length) - 1
        folder = os.path.join(folder, "d" * pad)
        os.makedirs(folder, exist_ok=True)
        return folder

    for total in (259, 260, 1000):
        def check(total=total):
            out_dir = deep_folder(total, len("in.rm"))
            output = os.path.join(out_dir, "in.rm")
            assert len(windows(output)) == total, (len(windows(output)), total)
            path = m.write("in.wav", src)
            status, out, err, calls, pcm = m.plughost([path], out_dir=windows(out_dir))
            if total < 260:
                if status != 0 or not os.path.exists(output) or len(pcm) != (frames * 2 + 2) * 2:
                    raise Failure("exit %d, %d bytes, %r: expected %s" % (status, len(pcm), err, output))
                return "converted, %d bytes to the engine" % len(pcm)
            if status != 1 or "too long" not in err or calls or os.path.exists(output):
                raise Failure("exit %d %r %r: expected exit 1, 'too long', no engine call" % (status, out, err))
            return "refused before the plug-in: " + err.strip().split(": ", 2)[-1]
        m.case("paths", "output path of %d characters" % total, check)

    for name in ("Ärger - Café.wav", "Bjørk - Jóga ½.wav", "Дом - Песня.wav", "日本 - 歌.wav"):
        def check(name=name):
            path = m.write(name, src)
            output = os.path.join(m.work, name[:-4] + ".rm")
            status, out, err, calls, pcm = m.plughost([path])
            if status == 0:
                if not os.path.exists(output):
                    made = [f for f in os.listdir(m.work) if f.endswith(".rm")]
                    raise Failure("converted, but %s is missing (made: %r)" % (output, made))
                if len(pcm) != (frames * 2 + 2) * 2:
                    raise Failure("engine received %d bytes" % len(pcm))
                titles = [c["args"][0] for c in calls if c.get("iface") == "ClipProperties" and c.get("slot") == 12]
                os.remove(output)
                return "converted; title %r" % (titles[0] if titles else None)
            if status in (1, 2) and err.strip():
                return "not converted, exit %d: %s" % (status, (err.strip() or out.strip())[-120:])
            raise Failure("exit %d without a message: %r %r" % (status, out, err))
        m.case("paths", "non-ASCII name %s" % name, check)

    def unusable_folder(out_dir, reason):
        def check():
            path = m.write("in.wav", src)
            status, out, err, calls, pcm = m.plughost([path], out_dir=windows(out_dir))
            if status != 2 or reason not in err or len(err.strip().splitlines()) != 1 or calls:
                raise Failure("exit %d %r: expected exit 2 and one line saying %r, before the plug-in"
                              % (status, err, reason))
            return "refused: " + err.strip().split(": ", 1)[-1]
        return check
    blocker = m.write("not-a-folder", b"a file where the output folder should be")
    m.case("paths", "output folder that is a file", unusable_folder(blocker, "is not a folder"))
    m.case("paths", "output folder that does not exist",
           unusable_folder(os.path.join(m.work, "no", "such", "folder"), "does not exist"))


def fault_cases(m):
    seconds = 2.0
    frames = int(22050 * seconds)
    path = m.write("Band - Song.wav", wav(channels=2, rate=22050, seconds=seconds))
    output = os.path.join(m.work, "Band - Song.rm")
    blocks = ["--block-bytes", "8192"]
    defaults = {}
    status, out, err, calls, clean_pcm = m.plughost([path], blocks=blocks, settings=defaults)
    if status != 0 or len(clean_pcm) != (frames * 2 + 2) * 2:
        m.case("faults", "undisturbed run", lambda: (_ for _ in ()).throw(Failure("exit %d, %d bytes" % (status, len(clean_pcm)))))
        return
    # Every engine call of the set-up (before the first chunk), each failing
    # in turn; AddRef and Release (slots 1 and 2) only count references.
    setup = []
    seen = {}
    for call in calls:
        iface, slot = call.get("iface"), call.get("slot")
        if iface == "MediaSample" and slot == 3:
            break
        if iface is None or (slot in (1, 2) and iface != "Library"):
            continue
        seen[(iface, slot)] = seen.get((iface, slot), 0) + 1
        setup.append((iface, slot, seen[(iface, slot)]))

    for iface, slot, nth in setup:
        rule = "%s.%d@%d=80004005" % (iface, slot, nth)

        def check(rule=rule):
            if os.path.exists(output):
                os.remove(output)
            status, out, err, calls, pcm = m.plughost([path], blocks=blocks, faults=rule, settings=defaults)
            if status == 0:
                if pcm != clean_pcm:
                    raise Failure("converted, but the engine's PCM differs from the undisturbed run")
                return "result not needed: converted (same PCM)"
            if status == 1 and "create error 3" in err and "no file written" in err:
                if os.path.exists(output):
                    raise Failure("creation failed, yet the output file exists")
                return "error 3 at creation, no file"
            raise Failure("exit %d: %r %r" % (status, out.strip(), err.strip()))
        m.case("faults", rule, check)

    for nth in (1, 2, 5, 10):
        rule = "InputPin.6@%d=80004005" % nth

        def refused_once(rule=rule):
            status, out, err, calls, pcm = m.plughost([path], blocks=blocks, faults=rule, settings=defaults)
            if status != 1 or ", 1 with error 3" not in err:
                raise Failure("exit %d %r: expected one block with error 3" % (status, err.strip()))
            if pcm != clean_pcm:
                raise Failure("the engine received %d bytes, not the undisturbed %d in order" % (len(pcm), len(clean_pcm)))
            return "error 3 for one block; every byte delivered once, in order"
        m.case("faults", "chunk %d refused once" % nth, refused_once)

    def fill_refused():
        status, out, err, calls, pcm = m.plughost([path], blocks=blocks, faults="MediaSample.3@3=80004005",
                                                  settings=defaults)
        if pcm != clean_pcm:
            raise Failure("the engine received different PCM (%d bytes)" % len(pcm))
        return "error 3 for one block; every byte delivered once, in order"
    m.case("faults", "media sample refuses one fill", fill_refused)

    def every_chunk():
        status, out, err, calls, pcm = m.plughost([path], blocks=blocks, faults="InputPin.6=80004005",
                                                  settings=defaults)
        if status != 1 or "create error 0" not in err or pcm:
            raise Failure("exit %d %r, %d bytes accepted" % (status, err.strip(), len(pcm)))
        return "error 3 for every block with a chunk; nothing accepted"
    m.case("faults", "every chunk refused", every_chunk)


GROUPS = {"formats": fmt_cases, "files": file_cases, "settings": settings_cases, "paths": path_cases,
          "faults": fault_cases}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--plughost", required=True)
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--group", required=True, choices=sorted(GROUPS))
    args = parser.parse_args()
    matrix = Matrix(args)
    started = time.monotonic()
    GROUPS[args.group](matrix)
    matrix.registry({})  # later tests start from the defaults, not from the last case's settings
    print("%d passed, %d failed (%.0f s)" % (matrix.passed, matrix.failed, time.monotonic() - started))
    if matrix.failed == 0:
        shutil.rmtree(matrix.work, ignore_errors=True)
    return 0 if matrix.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
