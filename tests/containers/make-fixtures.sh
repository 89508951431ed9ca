#!/usr/bin/env bash
# Makes the disk images and archives the container tests read, with the
# outside tools owners' files come from (mtools, zip, bsdtar), so that the
# readers meet images and archives they did not make themselves. Run at
# build time on the build machine, for the tests of every system:
#
#   make-fixtures.sh OUT_DIR DEMO_BANK [images]
#
# With "images", only the disk images (for a build without archives, whose
# machine need not have zip and bsdtar).
# Voice files: the demo bank as it is, and the same bank as .s1a and .s1y
# files (its block after the zeros those kinds start with). Stamps are the
# local time of a fixed moment in UTC, so the tests can expect them.
set -euo pipefail
out=$1
demo=$2
only=${3:-}
export TZ=UTC MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0
stamp="2001-02-03 04:05:06"

rm -rf "$out.tmp"
mkdir -p "$out.tmp/src/EX5/PADS" "$out.tmp/src/Factory Sets"
cd "$out.tmp"

cp "$demo" src/DEMO.S1V
{ head -c 275244 /dev/zero; cat "$demo"; } >"src/EX5/PADS/My Pads.s1a"
{ head -c 275116 /dev/zero; cat "$demo"; } >"src/Factory Sets/voices.s1y"
printf 'EX5 disk\r\n' >src/README.TXT
for i in $(seq -w 1 60); do
  printf 'note %s\r\n' "$i" >"src/NOTE$i.TXT"
done
find src -exec touch -d "$stamp" {} +

# 720 KB: the bank in the root, a folder two deep holding a long name.
mformat -i floppy-720.img -C -f 720 -v EX5DISK ::
mcopy -m -i floppy-720.img src/DEMO.S1V src/README.TXT ::
mmd -i floppy-720.img ::EX5 ::EX5/PADS
mcopy -m -i floppy-720.img "src/EX5/PADS/My Pads.s1a" ::EX5/PADS/

# 1.44 MB: the bank, a long folder name with a lowercase file, and enough
# small files to spread the root folder over many sectors.
mformat -i floppy-1440.img -C -f 1440 -v EX5DISK ::
mcopy -m -i floppy-1440.img src/DEMO.S1V src/README.TXT ::
mmd -i floppy-1440.img "::Factory Sets"
mcopy -m -i floppy-1440.img "src/Factory Sets/voices.s1y" "::Factory Sets/"
mcopy -m -i floppy-1440.img src/NOTE*.TXT ::
mmd -i floppy-1440.img ::EX5 ::EX5/PADS
mcopy -m -i floppy-1440.img "src/EX5/PADS/My Pads.s1a" ::EX5/PADS/

# 16 MB with 2 KB clusters: FAT16.
mformat -i fat16.img -C -T 32768 -h 2 -s 16 -c 4 -v EX5HD ::
mmd -i fat16.img ::EX5 ::EX5/PADS
mcopy -m -i fat16.img src/DEMO.S1V ::EX5/
mcopy -m -i fat16.img "src/EX5/PADS/My Pads.s1a" ::EX5/PADS/

if [ "$only" = images ]; then
  mkdir -p "$out"
  mv floppy-720.img floppy-1440.img fat16.img "$out/"
  cd ..
  rm -rf "$out.tmp"
  exit 0
fi

# Archives of the same tree: a zip without folder entries (its folders
# are implied by the paths), a 7z and a gzipped tar with them.
(cd src && zip -q -X -D -r ../voices.zip DEMO.S1V EX5 "Factory Sets")
(cd src && bsdtar --format 7zip -cf ../voices.7z DEMO.S1V EX5)
(cd src && bsdtar -czf ../voices.tar.gz DEMO.S1V EX5)
# Eight MB of zeros, squeezed into a few KB.
head -c 8388608 /dev/zero >ZEROS.S1V
touch -d "$stamp" ZEROS.S1V
zip -q -X -9 bomb.zip ZEROS.S1V
# Names the tests turn into "../" and a control character by patching.
printf 'up\r\n' >src/aa_UP.TXT
printf 'ctl\r\n' >src/CTL_X.TXT
(cd src && zip -q -X -0 ../names.zip aa_UP.TXT CTL_X.TXT DEMO.S1V)

mkdir -p "$out"
mv floppy-720.img floppy-1440.img fat16.img voices.zip voices.7z voices.tar.gz bomb.zip names.zip "$out/"
cd ..
rm -rf "$out.tmp"
