#!/usr/bin/env bash
# Builds the Debian package from the build tree, unpacks it into a scratch root and runs the
# command-line program from there, as an installed copy would run.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/out/*.deb)
echo "package: $(basename "$deb")"

# What the package declares and holds.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libavcodec libqt6widgets6 libqt6svg6; do
  [[ "$depends" == *"$library"* ]] || { echo "Depends lacks $library: $depends"; exit 1; }
done
dpkg-deb -c "$deb" > "$scratch/contents"
for path in ./usr/bin/corvane ./usr/bin/corvane-cli ./usr/share/applications/corvane.desktop \
            ./usr/share/metainfo/org.corvane.Corvane.metainfo.xml \
            ./usr/share/icons/hicolor/48x48/apps/corvane.png ./usr/share/corvane/profile/profile.xml; do
  grep -q " $path\$" "$scratch/contents" || { echo "the package lacks $path"; exit 1; }
done

# Installed into a scratch root, the program finds its engine and catalogue beside itself.
dpkg -x "$deb" "$scratch/root"
export appdata="$scratch/home"
profiles=$("$scratch/root/usr/bin/corvane-cli" --list-profiles | wc -l)
echo "profiles listed by the unpacked corvane-cli: $profiles"
(( profiles >= 40 )) || exit 1
