#!/bin/sh
# Fetches the real-world XM corpus: Debian game-data packages that carry XM tunes are
# downloaded (not installed) into .cache/debs/, and their *.xm files (any case) are unpacked
# into .cache/corpus/PACKAGE/. A package already unpacked is skipped, so running it again
# costs nothing. A package the archive lacks is reported and passed over; the corpus tests
# skip when nothing was fetched. Lists the files at the end.
set -u
cd "$(dirname "$0")/.."

packages="bomberclone-data flobopuyo gemdropx njam-data vodovod vor solarwolf ballz-data"
debs=.cache/debs
corpus=.cache/corpus
mkdir -p "$debs" "$corpus"

updated=no
# Downloads one package's .deb into $debs unless it is there; updates the package lists once
# when the first attempt fails (a fresh machine or CI image may have none).
download() {
    package=$1
    if ls "$debs/${package}"_*.deb >/dev/null 2>&1; then
        return 0
    fi
    if (cd "$debs" && apt-get download "$package" >/dev/null 2>&1); then
        return 0
    fi
    if [ "$updated" = no ]; then
        updated=yes
        if [ "$(id -u)" = 0 ]; then
            apt-get update >/dev/null 2>&1
        else
            sudo -n apt-get update >/dev/null 2>&1
        fi
        (cd "$debs" && apt-get download "$package" >/dev/null 2>&1) && return 0
    fi
    return 1
}

# Unpacks the .xm files of one downloaded package into $corpus/PACKAGE, flat.
unpack() {
    package=$1
    target="$corpus/$package"
    scratch=$(mktemp -d)
    for deb in "$debs/${package}"_*.deb; do
        dpkg-deb -x "$deb" "$scratch"
    done
    mkdir -p "$target.partial"
    find "$scratch" -type f -iname '*.xm' | while read -r file; do
        cp "$file" "$target.partial/$(basename "$file")"
    done
    rm -rf "$scratch" "$target"
    mv "$target.partial" "$target"
}

for package in $packages; do
    if [ -d "$corpus/$package" ]; then
        continue
    fi
    if ! download "$package"; then
        echo "fetch-corpus: warning: cannot download $package, going on without it" >&2
        continue
    fi
    unpack "$package"
done

count=$(find "$corpus" -type f -iname '*.xm' | wc -l)
echo "XM corpus in $corpus: $count files"
find "$corpus" -type f -iname '*.xm' | sort | while read -r file; do
    printf '  %8d  %s\n' "$(wc -c <"$file")" "${file#"$corpus"/}"
done
exit 0
