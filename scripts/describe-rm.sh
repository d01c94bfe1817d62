#!/bin/sh
# describe-rm.sh FILE.rm: a plain verdict on a RealMedia file, from
# ffprobe's reading of its container: rate, channels, length, title and
# artist. ffprobe's own report is kept quiet: on the stand-in engine's files
# it ends in "unknown codec", because the stand-in stores raw PCM where a
# real engine puts RealAudio. Exit status 1 when it is not RealMedia.
set -eu
file=$1
probe=$(ffprobe -v quiet -show_entries \
          stream=sample_rate,channels,codec_tag_string:format=format_name,duration:format_tags=title,author \
          -of default=noprint_wrappers=1 "$file") || probe=
field() { printf '%s\n' "$probe" | sed -n "s/^$1=//p" | head -n 1; }
if [ "$(field format_name)" != rm ]; then
  echo "$file: ffprobe does not read it as a RealMedia file"
  exit 1
fi
seconds=$(printf '%.2f' "$(field duration)")
channels="$(field channels) channels"
[ "$channels" != "1 channels" ] || channels="1 channel"
names="title \"$(field TAG:title)\", artist \"$(field TAG:author)\""
[ "$names" != 'title "", artist ""' ] || names="no title or artist (the input's name has no \" - \")"
echo "$file: RealMedia, $(field sample_rate) Hz, $channels, $seconds s; $names"
if [ "$(field codec_tag_string)" = XPCM ]; then
  echo "  its audio is the stand-in engine's raw PCM (codec tag XPCM), a test payload that players do not play"
fi
