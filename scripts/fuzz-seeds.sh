#!/usr/bin/env bash
# Makes the seed corpus of every fuzz target from the project's own fixtures, so the fuzzers
# start past the input checks: SEEDS_DIR/<target>/ for fuzz_file_systems (every kind's fixture
# images, sparse, each behind its mode byte and volume label), fuzz_partition_scan (the first MiB of every
# partition fixture), fuzz_raw_signatures (the default catalogue and a slice of the demo disk) and
# fuzz_carve_walkers (the carving samples).
# Usage: fuzz-seeds.sh SEEDS_DIR
set -eu  # no pipefail: head ends the decompression early on purpose
out=${1:?usage: fuzz-seeds.sh SEEDS_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out/fuzz_file_systems" "$out/fuzz_partition_scan" "$out/fuzz_raw_signatures"

# A file-system seed is its image described sparsely (fuzz/SparseMedium.h): the medium's
# length, then its non-zero sectors in stretches of at most 64 KiB each, 512 KiB in all, so the
# metadata at the start of every stretch is kept and large file contents are cut short.
n=0
for manifest in "$root"/tests/fixtures/*/*.manifest.json; do
  [ -e "$manifest" ] || continue
  image=${manifest%.manifest.json}.img.xz
  [ -f "$image" ] || continue
  label=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["label"])' "$manifest")
  xz -dc "$image" | python3 -c '
import struct, sys
label, base = sys.argv[1].encode(), sys.argv[2]
data = sys.stdin.buffer.read()
stretch_cap, budget = 128, 1024  # sectors per stretch; sectors in all
zero = bytes(512)
nonzero = lambda k: data[k * 512:k * 512 + 512].ljust(512, b"\0") != zero
body = struct.pack("<I", len(data))
s, total, sectors = 0, 0, (len(data) + 511) // 512
while s < sectors and total < budget:
    if not nonzero(s):
        s += 1
        continue
    e = s
    while e < sectors and e - s < min(stretch_cap, budget - total) and nonzero(e):
        e += 1
    body += struct.pack("<IH", s, e - s) + data[s * 512:e * 512].ljust((e - s) * 512, b"\0")
    total += e - s
    while e < sectors and nonzero(e):
        e += 1
    s = e
for mode in range(3):
    open("%s-%d" % (base, mode), "wb").write(bytes([mode]) + label + b"\0" + body)
' "$label" "$out/fuzz_file_systems/seed-$n"
  n=$((n + 1))
done

for image in "$root"/tests/fixtures/partition/*.img.xz; do
  { printf '\0'; xz -dc "$image" | head -c $((1 << 20)); } >"$out/fuzz_partition_scan/$(basename "$image" .img.xz)"
done

{ printf '\5'; head -c $((5 * 171)) "$root/resources/FileSetting.txt"
  xz -dc "$root/resources/demo/demo-disk.img.xz" | head -c $((2 << 20)) | tail -c $((1 << 20)); } \
  >"$out/fuzz_raw_signatures/catalogue-and-demo"
# fuzz_carve_walkers: each carving sample behind the number of its walker and a size byte.
mkdir -p "$out/fuzz_carve_walkers"
python3 - "$root/tests/fixtures/carve" "$out/fuzz_carve_walkers" <<'PY'
import json, os, sys
order = ["jpeg", "png", "gif", "bmp", "tiff", "pdf", "ole2", "zip", "gzip", "7z", "riff", "isobmff", "mp3", "sqlite"]
for s in json.load(open(os.path.join(sys.argv[1], "samples.json")))["samples"]:
    data = open(os.path.join(sys.argv[1], s["file"]), "rb").read()
    open(os.path.join(sys.argv[2], s["file"]), "wb").write(bytes([order.index(s["type"]), 0]) + data)
PY
echo "fuzz seeds: $n file-system images, $(ls "$out/fuzz_partition_scan" | wc -l) partition tables"
