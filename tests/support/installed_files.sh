# shellcheck shell=bash
# Checks shared by the install tests: what `cmake --install` and the Debian package must put
# in place under a prefix, that both validators accept the desktop entry and the AppStream
# data, and that man renders the manual pages. Sourced; each check prints what is wrong and
# returns non-zero.

app_id=io.github.modbus_tcp.ModbusTcp
icon_sizes=(16 32 48 64 128 256)

fail() {
    echo "FAIL: $*" >&2
    return 1
}

need_tool() {
    command -v "$1" >/dev/null || fail "$1 is missing (it comes with the Debian package $2; scripts/install-deps.sh installs it)"
}

# Width and height of a PNG from its IHDR chunk, as "WxH".
png_size() {
    local -a b
    read -r -a b < <(od -An -tu1 -j12 -N12 "$1")
    # b[0..3] is the chunk type "IHDR", then width and height, four bytes each, big-endian.
    [ "${b[0]} ${b[1]} ${b[2]} ${b[3]}" = "73 72 68 82" ] || return 1
    echo "$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))x$(((b[8] << 24) | (b[9] << 16) | (b[10] << 8) | b[11]))"
}

# check_manual_page PAGE PROGRAM: man renders PAGE without a complaint from groff, and the
# rendered page names PROGRAM in its NAME section.
check_manual_page() {
    local page=$1 program=$2 rendered warnings
    [ -f "$page" ] || { fail "$page is not installed"; return 1; }
    warnings="$(mktemp)"
    rendered="$(MANWIDTH=80 man --warnings -l "$page" 2>"$warnings")" || true
    if [ -s "$warnings" ]; then
        fail "man -l $page complains:"; cat "$warnings" >&2; rm -f "$warnings"; return 1
    fi
    rm -f "$warnings"
    grep -q "^ *$program - " <<<"$rendered" || { fail "man -l $page shows no NAME line for $program"; return 1; }
}

# check_installed_tree PREFIX: the programs with their manual pages, the desktop entry, the
# AppStream data, the theme icon at every size and the documentation, under PREFIX.
check_installed_tree() {
    local prefix=$1 ok=0 size icon desktop metainfo doc
    for program in modbus-tcp modbus-sim; do
        [ -x "$prefix/bin/$program" ] || { fail "$prefix/bin/$program is not installed"; ok=1; }
        echo "man -l $prefix/share/man/man1/$program.1.gz"
        check_manual_page "$prefix/share/man/man1/$program.1.gz" "$program" || ok=1
    done
    for doc in copyright changelog.gz README.md; do
        [ -f "$prefix/share/doc/modbus-tcp/$doc" ] || { fail "$prefix/share/doc/modbus-tcp/$doc is not installed"; ok=1; }
    done

    desktop=$prefix/share/applications/$app_id.desktop
    metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
    [ -f "$desktop" ] || { fail "$desktop is not installed"; return 1; }
    [ -f "$metainfo" ] || { fail "$metainfo is not installed"; return 1; }
    grep -qx 'Exec=modbus-tcp' "$desktop" || { fail "$desktop does not start modbus-tcp"; ok=1; }
    grep -qx "Icon=$app_id" "$desktop" || { fail "$desktop does not name the icon $app_id"; ok=1; }
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
        { fail "$metainfo does not point at the desktop entry"; ok=1; }

    for size in "${icon_sizes[@]}"; do
        icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png
        if [ ! -f "$icon" ]; then
            fail "$icon is not installed"; ok=1
        elif [ "$(png_size "$icon")" != "${size}x${size}" ]; then
            fail "$icon is $(png_size "$icon" || echo 'not a PNG'), not ${size}x${size}"; ok=1
        fi
    done

    echo "desktop-file-validate $desktop"
    desktop-file-validate "$desktop" || { fail "desktop-file-validate rejects $desktop"; ok=1; }
    echo "appstreamcli validate --no-net $metainfo"
    appstreamcli validate --no-net "$metainfo" || { fail "appstreamcli rejects $metainfo"; ok=1; }
    return $ok
}
