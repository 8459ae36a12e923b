# Checks shared by the install and package tests; sourced by them.
#   check_layout ROOT PREFIX   the installed files under ROOT/PREFIX are complete and sound.

MARKWELL_ICON_SIZES=(16 24 32 48 64 128 256)
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

skip() {
    echo "SKIP: $*"
    exit 77
}

# The width and height stored in a PNG file's header, as "WxH".
png_size() {
    local bytes
    bytes=$(od -An -tu1 -j16 -N8 "$1" | tr -s ' \n' ' ')
    read -r w1 w2 w3 w4 h1 h2 h3 h4 <<<"$bytes"
    echo "$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))x$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))"
}

check_layout() {
    local root=$1 prefix=$2
    local base="$root$prefix"
    local program
    for program in markwell markwell-cli; do
        [ -x "$base/bin/$program" ] || fail "$prefix/bin/$program is missing or not executable"
    done

    local entry="$base/share/applications/markwell.desktop"
    if [ -f "$entry" ]; then
        grep -qx 'Name=Markwell Software' "$entry" || fail "the desktop entry is not named \"Markwell Software\""
        grep -qx 'Icon=markwell' "$entry" || fail "the desktop entry does not name the icon \"markwell\""
        local exec
        exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
        [ -x "$base/bin/$exec" ] || fail "the desktop entry starts \"$exec\", which is not in $prefix/bin"
    else
        fail "$prefix/share/applications/markwell.desktop is missing"
    fi

    local size png
    for size in "${MARKWELL_ICON_SIZES[@]}"; do
        png="$base/share/icons/hicolor/${size}x${size}/apps/markwell.png"
        if [ ! -f "$png" ]; then
            fail "the ${size}x${size} icon is missing"
        elif [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" != "89504e470d0a1a0a" ]; then
            fail "the ${size}x${size} icon is not a PNG file"
        elif [ "$(png_size "$png")" != "${size}x${size}" ]; then
            fail "the ${size}x${size} icon is $(png_size "$png") pixels"
        fi
    done
    grep -q '<svg' "$base/share/icons/hicolor/scalable/apps/markwell.svg" 2>/dev/null ||
        fail "the scalable icon is missing"

    local page
    for page in markwell markwell-cli; do
        local man="$base/share/man/man1/$page.1"
        if [ -f "$man.gz" ]; then
            gzip -dc "$man.gz" | grep -q "^\.TH ${page^^} 1" || fail "$page.1.gz is not the manual page of $page"
        elif [ -f "$man" ]; then
            grep -q "^\.TH ${page^^} 1" "$man" || fail "$page.1 is not the manual page of $page"
        else
            fail "the manual page $page.1 is missing"
        fi
    done

    # The installed command-line program starts from where it was put: no arguments, usage, exit 2.
    if [ -x "$base/bin/markwell-cli" ]; then
        local err rc=0
        err=$(ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen "$base/bin/markwell-cli" 2>&1 >/dev/null) || rc=$?
        [ "$rc" -eq 2 ] || fail "the installed markwell-cli without arguments exited with $rc, not 2"
        grep -q '^Usage: markwell-cli create' <<<"$err" || fail "the installed markwell-cli printed no usage text"
    fi
}

finish() {
    if [ "$failures" -gt 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}
