#!/bin/sh
# Writes a file through rmbe3260.dll under Wine and reads it with ffprobe.
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
    'streams.stream.0.nb_read_packets="11"'; do
  case $info in
    *"$expected"*) ;;
    *) echo "ffprobe output lacks $expected:"; echo "$info"; exit 1 ;;
  esac
done
echo "ffprobe reads title, author, copyright, comment, rate, channels and 11 packets"
