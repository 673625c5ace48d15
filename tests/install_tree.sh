#!/usr/bin/env bash
# `cmake --install` of the build tree into a scratch prefix puts the programs, the desktop
# entry, the AppStream data and the icons where a desktop finds them, and the manual pages
# and documentation where man and a reader find them; the validators of freedesktop.org and
# AppStream accept what it installed, and man renders the pages.
#
#   install_tree.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=support/installed_files.sh
. "$here/support/installed_files.sh"

build=$1
need_tool desktop-file-validate desktop-file-utils
need_tool appstreamcli appstream
need_tool man man-db

prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
check_installed_tree "$prefix"

# The installed icons are the ones drawn at build time, not stale copies.
for size in "${icon_sizes[@]}"; do
    cmp "$build/resources/icons/hicolor/${size}x${size}/apps/$app_id.png" \
        "$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
done
echo "PASS: install tree under a scratch prefix"
