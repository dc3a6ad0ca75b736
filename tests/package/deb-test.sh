#!/usr/bin/env bash
# The Debian package as an office installs it: built with CPack, checked by
# lintian (no errors), unpacked into a temporary root with dpkg-deb -x, its
# maintainer scripts run against that root (DPKG_ROOT, with the group tools
# replaced by recorders), and the program and velm-backup started from there.
#   deb-test.sh BUILD_DIR VERSION
set -euo pipefail

build=$1
version=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/velm-deb-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
shown="$build/package-test" # what a developer looks at afterwards
mkdir -p "$shown"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
for tool in cpack dpkg-deb lintian; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh installs it)"
done

# Built
(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/out/velm_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb"

# Checked
lintian --display-level ">=warning" "$deb" >"$work/lintian.txt" 2>&1 || true
grep -v "running with root privileges" "$work/lintian.txt" >"$shown/lintian.txt" || true
if grep -q "^E: " "$work/lintian.txt"; then
    cat "$shown/lintian.txt"
    fail "lintian reports errors"
fi

# What it holds
dpkg-deb -c "$deb" >"$work/contents"
for path in ./usr/lib/velm/velm ./usr/lib/velm/velm-migrate ./usr/lib/velm/velm-backup ./usr/lib/velm/velm.mdb \
    ./usr/lib/velm/reports/tamrel.rpt ./etc/velm/db_path ./etc/velm/piclogo.jpg \
    ./usr/share/applications/velm.desktop ./usr/share/icons/hicolor/256x256/apps/velm.png \
    ./usr/share/doc/velm/copyright ./usr/share/doc/velm/changelog.gz; do
    grep -q " $path\$" "$work/contents" || fail "the package lacks $path"
done
tools=(velm velm-migrate velm-backup)
# velm-export goes into the package wherever the build makes it.
[ -x "$build/bin/velm-export" ] && tools+=(velm-export)
for tool in "${tools[@]}"; do
    grep -q " ./usr/lib/velm/$tool\$" "$work/contents" || fail "the package lacks /usr/lib/velm/$tool"
done
for link in "${tools[@]}"; do
    grep -q " ./usr/bin/$link -> ../lib/velm/$link\$" "$work/contents" || fail "no link /usr/bin/$link"
done
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libsqlcipher0 libpq5 fonts-noto-core adduser; do
    [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
dpkg-deb -e "$deb" "$work/control"
[ "$(cat "$work/control/conffiles")" = $'/etc/velm/db_path\n/etc/velm/piclogo.jpg' ] || fail "conffiles"

# Unpacked; the program answers without a display
root="$work/root"
dpkg-deb -x "$deb" "$root"
[ "$(readlink "$root/usr/lib/velm/db_path")" = /etc/velm/db_path ] || fail "db_path is not the link to /etc/velm"
[ "$("$root/usr/bin/velm" --version)" = "velm $version" ] || fail "velm --version"
grep -qx /var/lib/velm "$root/etc/velm/db_path" || fail "db_path does not name /var/lib/velm"

# Installed: the maintainer script makes the data folder and places the first
# database and the reports
stubs="$work/stubs"
mkdir -p "$stubs"
printf '#!/bin/sh\nexit 2\n' >"$stubs/getent"
printf '#!/bin/sh\necho "addgroup $*" >>"%s"\n' "$work/calls" >"$stubs/addgroup"
printf '#!/bin/sh\necho "chgrp $*" >>"%s"\n' "$work/calls" >"$stubs/chgrp"
chmod +x "$stubs"/*
install_scripts() { DPKG_ROOT="$root" PATH="$stubs:$PATH" sh "$work/control/$1" "$2"; }
install_scripts postinst configure
data="$root/var/lib/velm"
grep -q "addgroup --quiet --system velm" "$work/calls" || fail "the group velm is not made"
for folder in "" /backup /pictures /material /forms /other_db; do
    [ "$(stat -c %a "$data$folder")" = 2775 ] || fail "$data$folder is not 2775"
    grep -q "chgrp velm $data$folder\$" "$work/calls" || fail "$data$folder not given to velm"
done
cmp -s "$data/velm.mdb" "$root/usr/lib/velm/velm.mdb" || fail "the first database is not placed"
[ "$(stat -c %a "$data/velm.mdb")" = 660 ] || fail "velm.mdb is not 660"
[ "$(ls "$data"/*.rpt | wc -l)" = "$(ls "$root"/usr/lib/velm/reports/*.rpt | wc -l)" ] || fail "reports"

# The program started from there, on that data folder (as an administrator
# points /etc/velm/db_path elsewhere)
rm "$root/usr/lib/velm/db_path"
sed "s#/var/lib/velm#$data#" "$root/etc/velm/db_path" >"$root/usr/lib/velm/db_path"
QT_QPA_PLATFORM=offscreen "$root/usr/bin/velm" --screenshot "$shown/logon.png" LOGON >"$work/shot.log" 2>&1 ||
    { cat "$work/shot.log"; fail "the logon's screenshot"; }
[ "$(stat -c %s "$shown/logon.png")" -gt 5000 ] || fail "the screenshot is empty"
"$root/usr/bin/velm-backup" >"$work/backup.log" 2>&1 || { cat "$work/backup.log"; fail "velm-backup"; }
[ -f "$data/backup/velm-$(date +%F).mdb" ] || fail "velm-backup made no copy"

# Installed again: the office's own database and reports stay
echo "-- the office's own" >>"$data/tamrel.rpt"
before=$(md5sum <"$data/velm.mdb")
rm "$data/letter.rpt"
install_scripts postinst configure
[ "$(md5sum <"$data/velm.mdb")" = "$before" ] || fail "the office's database was replaced"
tail -1 "$data/tamrel.rpt" | grep -q "the office's own" || fail "the office's report was replaced"
[ -f "$data/letter.rpt" ] || fail "a missing starter report is not placed again"

# Removed, even purged: the data stays
install_scripts postrm remove
install_scripts postrm purge 2>/dev/null
[ -f "$data/velm.mdb" ] && [ -f "$data/backup/velm-$(date +%F).mdb" ] || fail "removing the package took the data"
echo "package ok: $(basename "$deb"), $(grep -c '^[EW]: ' "$shown/lintian.txt" || true) lintian errors and warnings"
