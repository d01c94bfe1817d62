#!/bin/sh
# describe-rm.sh FILE.rm: a plain verdict on a RealMedia file, from
# ffprobe's reading of its container (rate, channels, length, title and
# artist), then what its audio is: for AC-3 (codec tag dnet, what the
# stand-in engine writes) the bit rate and whether ffmpeg decodes the whole
# file without a complaint to the container's length; for the stand-in's
# raw PCM (codec tag XPCM, RMBE_CODEC=pcm) a note that players do not play
# it. ffprobe's own report is kept quiet: on XPCM it ends in "unknown codec".
# Exit status 1 when it is not RealMedia or its audio does not decode whole.
set -eu
file=$1
probe=$(ffprobe -v quiet -select_streams a:0 -show_entries \
          stream=codec_name,codec_tag_string,sample_rate,channels,bit_rate \
          -of default=noprint_wrappers=1 "$file") || probe=
# Separately: stream and format both have a bit_rate and a duration.
container=$(ffprobe -v quiet -show_entries format=format_name,duration:format_tags=title,author \
              -of default=noprint_wrappers=1 "$file") || container=
field() { printf '%s\n' "$probe" | sed -n "s/^$1=//p" | head -n 1; }
format_field() { printf '%s\n' "$container" | sed -n "s/^$1=//p" | head -n 1; }
if [ "$(format_field format_name)" != rm ]; then
  echo "$file: ffprobe does not read it as a RealMedia file"
  exit 1
fi
rate=$(field sample_rate)
duration=$(format_field duration)
channels="$(field channels) channels"
[ "$channels" != "1 channels" ] || channels="1 channel"
names="title \"$(format_field TAG:title)\", artist \"$(format_field TAG:author)\""
[ "$names" != 'title "", artist ""' ] || names="no title or artist (the input's name has no \" - \")"
echo "$file: RealMedia, $rate Hz, $channels, $(printf '%.2f' "$duration") s; $names"

tag=$(field codec_tag_string)
if [ "$tag" = XPCM ]; then
  echo "  its audio is the stand-in engine's raw PCM (codec tag XPCM), a test payload that players do not play"
  exit 0
fi
case "$tag/$(field codec_name)" in
  dnet/ac3) codec="AC-3 (dnet)" ;;
  *) codec="codec tag $tag, which ffmpeg calls $(field codec_name)" ;;
esac
bit_rate=$(field bit_rate)
case "$bit_rate" in
  ''|*[!0-9]*) echo "  audio: $codec, no bit rate in the container" ;;
  *) echo "  audio: $codec, $(( (bit_rate + 500) / 1000 )) kbps" ;;
esac

# Decoded to a WAV file, whose header then gives the decoder's own rate,
# channels and sample count.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! ffmpeg -nostdin -v error -i "$file" -map 0:a:0 -c:a pcm_s16le -f wav "$work/decoded.wav" 2>"$work/errors" ||
   [ -s "$work/errors" ]; then
  echo "  ffmpeg does not decode it cleanly:"
  head -n 5 "$work/errors" | sed 's/^/    /'
  exit 1
fi
decoded=$(ffprobe -v quiet -show_entries stream=sample_rate,channels,duration_ts \
            -of default=noprint_wrappers=1 "$work/decoded.wav")
decoded_field() { printf '%s\n' "$decoded" | sed -n "s/^$1=//p" | head -n 1; }
decoded_rate=$(decoded_field sample_rate)
decoded_channels=$(decoded_field channels)
samples=$(decoded_field duration_ts)
# An AC-3 frame holds 1536 samples and the decoder adds 256 of delay: the
# decoded length may differ from the container's by that much, no more.
verdict=$(awk -v samples="$samples" -v rate="$decoded_rate" -v duration="$duration" \
                -v container_rate="$rate" -v ch="$decoded_channels" -v container_ch="$(field channels)" 'BEGIN {
  seconds = samples / rate
  off = samples - duration * rate; if (off < 0) off = -off
  line = sprintf("%.2f s, %d Hz, %d channel%s", seconds, rate, ch, ch == 1 ? "" : "s")
  if (rate != container_rate || ch != container_ch)
    print "bad " line ", not what the container says"
  else if (off > 1536 + 256)
    print "bad " line ", not the container'"'"'s " sprintf("%.2f", duration) " s"
  else
    print "good " line
}')
case "$verdict" in
  good*) echo "  ffmpeg decodes all of it without an error: ${verdict#good }" ;;
  *) echo "  ffmpeg decodes it without an error, but to ${verdict#bad }"; exit 1 ;;
esac
