#!/usr/bin/env bash
# Builds the .deb in the build folder, unpacks it into a scratch root with dpkg -x and checks that
# what it holds works where it lies: the installed CLI recovers files of the demo disk with the
# right bytes, the installed GUI finds its catalogue and help, the desktop entry validates.
# Exits 77 (skipped) when cpack or dpkg is missing.
set -euo pipefail
build=$1
source_dir=$2
for tool in cpack dpkg dpkg-deb xz python3; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/pkg/*.deb)
echo "built $(basename "$deb")"
dpkg-deb -f "$deb" Depends | grep -q libewf || { echo "FAIL: no shared-library dependencies declared"; exit 1; }
root=$scratch/root
dpkg -x "$deb" "$root"

fail() { echo "FAIL: $*"; exit 1; }
for f in usr/bin/quarvell-cli usr/share/quarvell/FileSetting.txt usr/share/doc/quarvell/README.md \
         usr/share/applications/quarvell.desktop usr/share/icons/hicolor/256x256/apps/quarvell.png \
         usr/share/man/man1/quarvell-cli.1.gz usr/share/man/man1/quarvell.1.gz; do
  [[ -f $root/$f ]] || fail "the package lacks $f"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/quarvell.desktop" || fail "desktop entry does not validate"
fi

cli=$root/usr/bin/quarvell-cli
version=$("$cli" --version) || fail "--version exits non-zero"
[[ $version == "quarvell-cli "[0-9]* ]] || fail "--version printed '$version'"
"$cli" recover --help | grep -q '^usage: quarvell-cli recover' || fail "recover --help"

# The demo disk: its NTFS volume (row 0) recovered whole, every file's bytes checked.
xz -dc "$source_dir/resources/demo/demo-disk.img.xz" >"$scratch/demo.img"
"$cli" recover "$scratch/demo.img" --volume 0 --path ROOT --out "$scratch/out" --json --yes >"$scratch/report.json" \
  2>"$scratch/recover.err" || true
python3 - "$source_dir/resources/demo/demo-disk.manifest.json" "$scratch/report.json" <<'PY' || fail "recovered bytes differ"
import json, sys
manifest = json.load(open(sys.argv[1]))
report = json.load(open(sys.argv[2]))
got = {r["path"].removeprefix("ROOT"): r["sha256"] for r in report}
want = {f["path"]: f["sha256"] for f in manifest["volumes"][0]["files"] if f["sha256"] and not f["deleted"]}
missing = [p for p, h in want.items() if got.get(p) != h]
if missing or not want:
    print("not recovered right:", missing)
    sys.exit(1)
print(f"{len(want)} files recovered with the right bytes")
PY
# The catalogue is found where the package put it (carve names the catalogue it loaded).
"$cli" carve "$scratch/demo.img" --volume 0 --json >"$scratch/carve.json" 2>"$scratch/carve.err" \
  || fail "carve with the installed catalogue: $(cat "$scratch/carve.err")"

gui=$root/usr/bin/quarvell
if [[ -x $gui ]]; then
  paths=$("$gui" --paths) || fail "the installed GUI does not find its help: $paths"
  grep -qx "catalogue: $root/usr/share/quarvell/FileSetting.txt" <<<"$paths" || fail "GUI catalogue: $paths"
  grep -qx "help: $root/usr/share/doc/quarvell/README.md" <<<"$paths" || fail "GUI help: $paths"
  "$gui" --version | grep -q '^quarvell [0-9]' || fail "GUI --version"
else
  echo "the GUI was not built: only the CLI was checked"
fi
echo "package test passed"
