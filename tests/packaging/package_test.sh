#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it with dpkg-deb
# into a temporary root as a user would receive it, and checks what it holds:
# its files, its detected dependencies, stripped programs that report the
# build's version, and its own CLI converting its own samples exactly as the
# build's CLI does.
# Usage: package_test.sh BUILD_DIR VERSION gui|cli
set -uo pipefail

build="$1" version="$2" kind="$3"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! (cd "$build" && cpack -G DEB -B "$tmp/pkg" --config CPackConfig.cmake >"$tmp/cpack.log" 2>&1); then
    cat "$tmp/cpack.log"
    echo "FAIL: cpack could not build the package"
    exit 1
fi
deb="$(ls "$tmp"/pkg/*.deb)"
root="$tmp/root"
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x $deb"; exit 1; }
package="$(dpkg-deb -f "$deb" Package)"
depends="$(dpkg-deb -f "$deb" Depends)"

# What every package holds, then what the window adds.
expected=(
    usr/bin/marrowvale-cli
    usr/share/man/man1/marrowvale-cli.1.gz
    usr/share/bash-completion/completions/marrowvale-cli
    usr/share/zsh/vendor-completions/_marrowvale-cli
    usr/share/fish/vendor_completions.d/marrowvale-cli.fish
    "usr/share/doc/$package/copyright"
    "usr/share/doc/$package/changelog.gz"
    "usr/share/doc/$package/changelog.Debian.gz"
    usr/share/marrowvale/Samples/library.xml
    usr/lib/python3/dist-packages/marrowvale/__init__.py
    usr/lib/python3/dist-packages/marrowvale/dask.py
)
needs=(libc6 libstdc++6)
if [ "$kind" = gui ]; then
    [ "$package" = marrowvale ] || fail "package name $package, expected marrowvale"
    desktop="$(ls "$root"/usr/share/applications/*.desktop 2>/dev/null | head -1)"
    id="$(basename "$desktop" .desktop)"
    expected+=(
        usr/bin/marrowvale
        usr/share/man/man1/marrowvale.1.gz
        "usr/share/metainfo/$id.metainfo.xml"
        "usr/share/icons/hicolor/scalable/apps/$id.svg"
        "usr/share/icons/hicolor/256x256/apps/$id.png"
        usr/share/marrowvale/HAND-M.CUR
        usr/share/marrowvale/drag.ico
        usr/share/marrowvale/skin.qss
        usr/share/marrowvale/Splash/marrowvale-splash.png
    )
    for size in 16 24 32 48 64 128 256; do
        expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
    done
    needs+=(libqt6widgets6 fonts-liberation)
    grep -q "<id>$id</id>" "$root/usr/share/metainfo/$id.metainfo.xml" 2>/dev/null ||
        fail "the metainfo id is not the desktop file's name $id"
    grep -qx "Icon=$id" "$desktop" || fail "the desktop entry's icon is not $id"
    for size in 16 24 32 48 64 128 256; do
        file "$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" | grep -qF "$size x $size" ||
            fail "the ${size}x${size} icon is not $size px"
    done
else
    [ "$package" = marrowvale-cli ] || fail "package name $package, expected marrowvale-cli"
    [ ! -e "$root/usr/bin/marrowvale" ] || fail "the CLI-only package holds the window program"
    case "$depends" in *qt6*) fail "the CLI-only package depends on Qt: $depends" ;; esac
fi
for file in "${expected[@]}"; do
    [ -e "$root/$file" ] || fail "missing $file"
done
for need in "${needs[@]}"; do
    [[ ", $depends" == *", $need "* || ", $depends," == *", $need,"* ]] ||
        fail "Depends lacks $need: $depends"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version-1" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
zcat "$root/usr/share/doc/$package/changelog.gz" | grep -m1 '^## ' | grep -qF "$version" ||
    fail "the changelog's first entry is not $version"

for program in "$root"/usr/bin/*; do
    readelf -S "$program" | grep -q '\.symtab' && fail "$(basename "$program") is not stripped"
    name="$(basename "$program")"
    [ "$("$program" --version | head -n 1)" = "$name $version" ] || fail "$name --version: $("$program" --version)"
done

# The packaged CLI converts the packaged samples as the build's CLI does.
mkdir -p "$tmp/out" "$tmp/reference"
"$root/usr/bin/marrowvale-cli" convert -q -o "$tmp/out" "$root/usr/share/marrowvale/Samples" ||
    fail "the packaged CLI failed on the packaged samples"
"$build/bin/marrowvale-cli" convert -q -o "$tmp/reference" "$build/bin/Samples" >/dev/null 2>&1
count=0
for reference in "$tmp"/reference/*.json; do
    count=$((count + 1))
    cmp -s "$reference" "$tmp/out/$(basename "$reference")" || fail "$(basename "$reference") differs"
done
[ "$count" -gt 0 ] && [ "$(ls "$tmp/out" | wc -l)" -eq "$count" ] ||
    fail "$(ls "$tmp/out" | wc -l) results for $count samples"

# The packaged Python module drives the packaged CLI.
if [ -x /usr/bin/python3 ]; then
    mkdir -p "$tmp/python-out"
    PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c '
import sys, marrowvale
records = list(marrowvale.convert([sys.argv[2]], sys.argv[3], cli=sys.argv[1]))
sys.exit(0 if [r["status"] for r in records] == ["converted"] else 1)' \
        "$root/usr/bin/marrowvale-cli" "$root/usr/share/marrowvale/Samples/library.xml" "$tmp/python-out" ||
        fail "the packaged Python module could not convert a sample"
fi

# Every long option the CLI offers is in its manual page and its completions.
cli="$root/usr/bin/marrowvale-cli"
manual="$(zcat "$root/usr/share/man/man1/marrowvale-cli.1.gz" | sed 's/\\-/-/g')"
completions="$root/usr/share/bash-completion/completions/marrowvale-cli"
zsh_completion="$(ls "$root"/usr/share/zsh/*/_marrowvale-cli)"
fish_completion="$root/usr/share/fish/vendor_completions.d/marrowvale-cli.fish"
for command in convert script; do
    for option in $("$cli" "$command" --help | grep -oE -- '--[a-z][a-z0-9-]+' | sort -u); do
        grep -qF -- "$option" <<<"$manual" || fail "the manual page lacks $command $option"
        grep -qF -- "$option" "$completions" || fail "the bash completion lacks $command $option"
        grep -qF -- "$option" "$zsh_completion" || fail "the zsh completion lacks $command $option"
        grep -qF -- "-l ${option#--}" "$fish_completion" || fail "the fish completion lacks $command $option"
    done
done
bash -n "$completions" || fail "the bash completion does not parse"

# The manual pages render without warnings where man is installed.
if command -v man >/dev/null; then
    for page in "$root"/usr/share/man/man1/*.1.gz; do
        warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
        [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    done
fi

[ "$failures" -eq 0 ] || exit 1
echo "$(basename "$deb"): $(cd "$root" && find . -type f | wc -l) files, all checks passed"
