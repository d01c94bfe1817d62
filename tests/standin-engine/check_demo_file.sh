#!/bin/sh
# Writes a file through rmbe3260.dll under Wine and reads it with ffprobe:
# one second at 22050 Hz for audience "28kbps" is 15 AC-3 frames at 20 kbps
# (the 256-sample overlap included), which ffmpeg decodes without an error.
#   check_demo_file.sh EMULATOR WRITER_EXE FFPROBE OUTPUT_FOLDER
set -eu
emulator=$1 writer=$2 ffprobe=$3 folder=$4
mkdir -p "$folder"
out="$folder/Demo Artist - Demo Title.rm"
rm -f "$out"
"$emulator" "$writer" "Z:$out"
info=$("$ffprobe" -v error -show_format -show_streams -count_packets -of flat "$out")
for expected in 'format.tags.title="Demo Title"' 'format.tags.author="Demo Artist"' \
    'format.tags.copyright="(c)' 'format.tags.comment="zVK Real Audio Converter"' \
    'streams.stream.0.sample_rate="22050"' 'streams.stream.0.channels=1' \
    'streams.stream.0.codec_name="ac3"' 'streams.stream.0.codec_tag_string="dnet"' \
    'streams.stream.0.bit_rate="20000"' 'streams.stream.0.nb_read_packets="15"'; do
  case $info in
    *"$expected"*) ;;
    *) echo "ffprobe output lacks $expected:"; echo "$info"; exit 1 ;;
  esac
done
errors=$("$(dirname "$ffprobe")/ffmpeg" -v error -nostdin -err_detect crccheck+explode -i "$out" -f null - 2>&1) ||
  { echo "ffmpeg could not decode it: $errors"; exit 1; }
[ -z "$errors" ] || { echo "ffmpeg reported: $errors"; exit 1; }
echo "ffprobe reads title, author, copyright, comment, rate, channels and 15 AC-3 frames; ffmpeg decodes them"
