#!/usr/bin/python3
"""plughost's files at one panel rate, mono and stereo, each for another audience, play whole in ffmpeg,
GStreamer (each AC-3 decoder it has) and mplayer (both of its): at the file's rate and channels, not silent,
the input's length give or take one AC-3 frame and the encoder's delay.
    players_test.py PLUGHOST_EXE WINE_RUN WORK_DIR RATE"""
import array, os, shutil, subprocess, sys, wave

RATES = [8000, 11025, 16000, 22050, 32000, 44100, 48000]
SLACK = 1536 + 256


def read_wav(path):
    with wave.open(path, "rb") as w:
        return w.getframerate(), w.getnchannels(), array.array("h", w.readframes(w.getnframes()))


def power(samples):
    return sum(s * s for s in samples) / max(1, len(samples))


def players(channels):
    found = [("ffmpeg", ["ffmpeg", "-nostdin", "-v", "error", "-i", "{rm}", "-c:a", "pcm_s16le", "{wav}"])]
    for decoder in ("a52dec", "avdec_ac3"):
        if subprocess.run(["gst-inspect-1.0", "--exists", decoder]).returncode == 0:
            found.append(("gst " + decoder, ["gst-launch-1.0", "-q", "filesrc", "location={rm}", "!", "rmdemux",
                                             "!", "ac3parse", "!", decoder, "!", "audioconvert", "!",
                                             "audio/x-raw,format=S16LE", "!", "wavenc", "!",
                                             "filesink", "location={wav}"]))
    # mplayer's liba52 decoder mixes to the output's channel count, two unless told.
    for decoder in ("a52", "ffac3"):
        found.append(("mplayer " + decoder, ["mplayer", "-really-quiet", "-noconfig", "all", "-nolirc", "-vo", "null",
                                             "-ac", decoder, "-channels", str(channels), "-format", "s16le",
                                             "-ao", "pcm:fast:file={wav}", "{rm}"]))
    return found


def main():
    plughost, wine_run, work, rate = sys.argv[1:]
    rate = int(rate)
    work = os.path.join(work, str(rate))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    failed = 0
    env = {k: v for k, v in os.environ.items() if not k.startswith("RMBE_")}
    if not any(name.startswith("gst") for name, _ in players(1)):
        print("FAIL GStreamer has no AC-3 decoder: a52dec (gstreamer1.0-plugins-ugly) or avdec_ac3")
        failed += 1
    for channels in (1, 2):
        audience = (RATES.index(rate) * 2 + channels - 1) % 8
        source = os.path.join(work, "%d ch.wav" % channels)
        # 1.3 s is no whole number of frames at any rate; a sweep shows a wrong rate.
        subprocess.run(["sox", "-V1", "-n", "-r", str(rate), "-b", "16", "-c", str(channels), source,
                        "synth", "1.3", "sine", "100-%d" % (rate * 2 // 5), "gain", "-6"], check=True)
        _, _, pcm = read_wav(source)
        command = [wine_run, plughost, "convert", "--overwrite", "--set", "ZVKRMFreq=%d" % rate,
                   "--set", "ZVKRMAudioFormat=%d" % (3 if channels == 2 else 2), "--set", "ZVKRMExt=.rm"]
        command += sum((["--set", "ZVKRMTarget%d=%d" % (i, i == audience)] for i in range(8)), [])
        subprocess.run(command + ["Z:" + source], env=env)
        rm = source[:-4] + ".rm"
        probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_name,codec_tag_string,"
                                "sample_rate,channels,bit_rate", "-of", "csv=p=0", rm], stdout=subprocess.PIPE)
        coded = probe.stdout.decode().strip()
        print("%d ch, %d samples: %s" % (channels, len(pcm) // channels, coded or "no file"))
        if not coded.startswith("ac3,dnet,%d,%d," % (rate, channels)):
            failed += 1
            continue
        for name, template in players(channels):
            wav = "%s.%s.wav" % (rm, name.replace(" ", "-"))
            run = subprocess.run([word.format(rm=rm, wav=wav) for word in template], timeout=120,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            said = run.stdout.decode(errors="replace").strip()
            try:
                got_rate, got, samples = read_wav(wav)
                verdict = "%d Hz, %d ch, %d samples" % (got_rate, got, len(samples) // got)
                good = ((got_rate, got) == (rate, channels) and abs(len(samples) - len(pcm)) <= SLACK * got
                        and power(samples) > power(pcm) / 4 and run.returncode == 0 and not said)
            except (OSError, EOFError, wave.Error) as error:
                verdict, good = "no WAV: %s" % error, False
            print("  %-18s %s %s%s" % (name, "ok  " if good else "FAIL", verdict, (" | " + said) if said else ""))
            failed += not good
    print("VLC: skipped, it refuses to run as root" if os.geteuid() == 0 else
          "VLC: skipped, scripts/setup.sh leaves it out (it refuses root, which the tests run as)")
    if not failed:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
