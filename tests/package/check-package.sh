#!/usr/bin/env bash
# Builds the Debian package from the build tree, unpacks it into a scratch root and checks what
# a counter gets: the programs run, the menu entry and the reader's udev rule are sound, the
# dependencies are there, and lintian finds no error.
# usage: check-package.sh BUILD_DIR VERSION
set -euo pipefail
build="$1"
version="$2"
scratch="$(mktemp -d)"
lintian_pid=
trap '[ -z "$lintian_pid" ] || kill "$lintian_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# lintian spends a good part of its run loading its checks before it looks at a package, so it
# starts now and reads the package's name from a pipe once cpack has made it. It leaves a
# temporary file behind, so it gets the scratch folder for one.
command -v lintian >/dev/null || fail "lintian is not installed; scripts/setup installs it"
# Only the tags it would show: the checks that can only say something quieter are skipped. Team
# and experimental tags are not shown by default either.
grep -rlE '^Severity: (error|warning)$' /usr/share/lintian/tags |
    xargs grep -LE '^(Name-Spaced|Experimental): yes' |
    xargs sed -n 's/^Tag: //p' >"$scratch/lintian.tags"
[ -s "$scratch/lintian.tags" ] || fail "no lintian tags of error or warning found"
exec {to_lintian}> >(TMPDIR="$scratch" exec lintian --fail-on error --display-level '>=warning' \
    --tags-from-file "$scratch/lintian.tags" --packages-from-file - >"$scratch/lintian.log" 2>&1)
lintian_pid=$!

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
debs=("$scratch"/out/velkar_"$version"_*.deb)
[ -f "${debs[0]}" ] || fail "no velkar_${version}_*.deb"
deb="${debs[0]}"
# A lintian that died early fails below with its log, not here on a broken pipe.
(printf '%s\n' "$deb" >&"$to_lintian") 2>/dev/null || true
exec {to_lintian}>&-
root="$scratch/root"
dpkg-deb -x "$deb" "$root"

for path in usr/bin/velkar usr/bin/velkar-db usr/bin/velkar-reader \
    usr/share/applications/velkar.desktop \
    usr/share/icons/hicolor/48x48/apps/velkar.png usr/share/icons/hicolor/16x16/apps/velkar.png \
    usr/lib/udev/rules.d/60-velkar-reader.rules \
    usr/lib/systemd/user/velkar-backup.service usr/lib/systemd/user/velkar-backup.timer \
    usr/share/man/man1/velkar.1.gz usr/share/man/man1/velkar-db.1.gz \
    usr/share/man/man1/velkar-reader.1.gz \
    usr/share/doc/velkar/copyright usr/share/doc/velkar/changelog.gz; do
    [ -e "$root/$path" ] || fail "$path is missing"
done
[ ! -e "$root/usr/bin/velkar-window-bench" ] || fail "the benchmarks are not for counters"

for tool in velkar velkar-db velkar-reader; do
    said="$("$root/usr/bin/$tool" --version)" || fail "$tool --version"
    [ "$said" = "$tool $version" ] || fail "$tool --version says '$said'"
done

depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libqt6widgets6 libqt6printsupport6 libsqlite3-0 libhidapi-hidraw0 libmdb3 \
    fonts-arphic-uming qt6-translations-l10n; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

# The menu entry starts the installed program and shows the installed icon.
desktop="$root/usr/share/applications/velkar.desktop"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
exec_line="$(sed -n 's/^Exec=//p' "$desktop")"
[ -x "$root/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is not an installed program"
icon="$(sed -n 's/^Icon=//p' "$desktop")"
[ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon is not installed"
grep -q '^Name\[zh_CN\]=.*[^ -~]' "$desktop" || fail "no Chinese name"
grep -q '^Comment\[zh_CN\]=.*[^ -~]' "$desktop" || fail "no Chinese comment"

# Started from another folder, the installed program works in ~/Velkar and makes its database
# there, not in the folder it was started from.
home="$scratch/home"
elsewhere="$scratch/elsewhere"
mkdir -p "$home" "$elsewhere"
(cd "$elsewhere" && exec env -u VELKAR_DIR HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    QT_QPA_PLATFORM=offscreen "$root/usr/bin/velkar" >"$scratch/velkar.log" 2>&1) &
pid=$!
for _ in $(seq 100); do
    # The file is whole once its creating transaction's journal is gone.
    [ -s "$home/Velkar/DataBase.mdb" ] && [ ! -e "$home/Velkar/DataBase.mdb-journal" ] &&
        [ -f "$home/.config/Velkar/Velkar.conf" ] && break
    sleep 0.1
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
"$root/usr/bin/velkar-db" check "$home/Velkar/DataBase.mdb" >/dev/null ||
    { cat "$scratch/velkar.log"; fail "no database in ~/Velkar"; }
grep -q '^Reader=real$' "$home/.config/Velkar/Velkar.conf" || fail "no settings written"
[ ! -e "$elsewhere/DataBase.mdb" ] || fail "a database in the folder it was started from"

# The udev rule, read as udev reads it: every match key of a line must hold for the device, and
# the assignments of the matching lines apply.
rule_applies() { # RULES_FILE then KEY=VALUE... of the device; prints the assignments
    local file="$1"
    shift
    local -A device=()
    local kv
    for kv in "$@"; do device["${kv%%=*}"]="${kv#*=}"; done
    local line rest key op value matched assigned
    local pattern='^[[:space:],]*([A-Za-z_]+(\{[^}]*\})?)[[:space:]]*(==|!=|\+=|-=|:=|=)[[:space:]]*"([^"]*)"(.*)$'
    while IFS= read -r line || [ -n "$line" ]; do
        [[ "$line" =~ ^[[:space:]]*(#|$) ]] && continue
        rest="$line"
        matched=1
        assigned=""
        while [[ "$rest" =~ $pattern ]]; do
            key="${BASH_REMATCH[1]}"
            op="${BASH_REMATCH[3]}"
            value="${BASH_REMATCH[4]}"
            rest="${BASH_REMATCH[5]}"
            # udev's values are glob patterns.
            # shellcheck disable=SC2053
            case "$op" in
            "==") [[ "${device[$key]-}" == $value ]] || matched=0 ;;
            "!=") [[ "${device[$key]-}" != $value ]] || matched=0 ;;
            *) assigned+="$key$op$value " ;;
            esac
        done
        [[ "$rest" =~ ^[[:space:]]*$ ]] || fail "udev rule line not understood: $line"
        [ "$matched" = 1 ] && printf '%s' "$assigned"
    done <"$file"
    return 0
}
rules="$root/usr/lib/udev/rules.d/60-velkar-reader.rules"
reader="$(rule_applies "$rules" SUBSYSTEM=hidraw 'ATTRS{idVendor}=1a86' 'ATTRS{idProduct}=e010')"
[[ "$reader" == *'GROUP=plugdev '* && "$reader" == *'MODE=0660 '* ]] ||
    fail "the rule gives the reader '$reader'"
for other in "SUBSYSTEM=hidraw ATTRS{idVendor}=1a86 ATTRS{idProduct}=e011" \
    "SUBSYSTEM=hidraw ATTRS{idVendor}=046d ATTRS{idProduct}=e010" \
    "SUBSYSTEM=usb ATTRS{idVendor}=1a86 ATTRS{idProduct}=e010"; do
    # shellcheck disable=SC2086
    [ -z "$(rule_applies "$rules" $other)" ] || fail "the rule also takes $other"
done

# The backup timer is the user's to turn on: the package enables nothing, and the unit names
# the installed tool.
[ -z "$(find "$root/etc" -name 'velkar-backup*' 2>/dev/null)" ] || fail "the backup timer is enabled"
exec_start="$(sed -n 's/^ExecStart=//p' "$root/usr/lib/systemd/user/velkar-backup.service")"
[ -x "$root${exec_start%% *}" ] || fail "ExecStart=$exec_start is not an installed program"
grep -q '^Persistent=true$' "$root/usr/lib/systemd/user/velkar-backup.timer" ||
    fail "a backup missed while the counter was off is not made up"

status=0
wait "$lintian_pid" || status=$?
lintian_pid=
[ "$status" = 0 ] || { cat "$scratch/lintian.log"; fail "lintian"; }
cat "$scratch/lintian.log"
echo "package ok: $(basename "$deb")"
