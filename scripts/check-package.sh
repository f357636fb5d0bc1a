#!/usr/bin/env bash
# Checks the Debian packages as a user of a fresh Debian 12 meets them:
#
#  1. lintian on both packages: no errors;
#  2. in a minimal Debian 12 (debootstrap --variant=minbase, with man-db and
#     bash-completion, the way a user reads manual pages and completes commands):
#     'apt-get install ./tovaline-cli_*.deb' and then './tovaline_*.deb' install with
#     every dependency pulled by apt; tovaline-cli --version, a small scan,
#     'man tovaline-cli', the completion of 'tovaline-cli sc<TAB>' and of drive
#     letters, tovaline --version and 'man tovaline' work, and the MIME type and
#     desktop caches know the report files;
#  3. 'apt-get purge' of both leaves none of their files and nothing that mentions
#     them (the MIME, menu and icon caches are cleaned by the triggers); installed and
#     purged once more over the dependencies pulled before, they leave the file system
#     exactly as it was (names, kinds, permissions and contents of every file outside
#     the package manager's own state, logs and caches).
#
# Usage (as root: debootstrap and chroot need it):
#   scripts/check-package.sh [PACKAGE-FOLDER]
# PACKAGE-FOLDER holds tovaline_*.deb and tovaline-cli_*.deb (default build/packages;
# scripts/package.sh makes them when they are missing there).
#
# The minimal system is made once from Debian's mirror (DEBIAN_MIRROR, default
# http://deb.debian.org/debian) and kept, with the packages apt downloads for it, in
# ${XDG_CACHE_HOME:-~/.cache}/tovaline; every run works on a copy of it.
# Delete that folder to start from scratch.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
say() { printf '== %s (%ds)\n' "$*" $((SECONDS - start)); }
die() {
  echo "check-package.sh: $*" >&2
  exit 1
}

[ "$(id -u)" = 0 ] || die "run as root (debootstrap and chroot need it)"
pkgdir=${1:-build/packages}
if ! compgen -G "$pkgdir/tovaline_*.deb" >/dev/null || ! compgen -G "$pkgdir/tovaline-cli_*.deb" >/dev/null; then
  [ $# = 0 ] || die "no tovaline_*.deb and tovaline-cli_*.deb in $pkgdir"
  bash scripts/package.sh
fi
pkgdir=$(cd "$pkgdir" && pwd)
debs=("$pkgdir"/tovaline-cli_*.deb "$pkgdir"/tovaline_*.deb)
[ ${#debs[@]} = 2 ] || die "expected one tovaline_*.deb and one tovaline-cli_*.deb in $pkgdir, found ${#debs[@]} packages"
version=$(dpkg-deb -f "${debs[0]}" Version)

missing=()
for tool in debootstrap:debootstrap lintian:lintian; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# --- lintian ---
say "lintian"
# lintian does not want to run as root; it reads the packages as nobody.
lint=$(mktemp -d "${TMPDIR:-/tmp}/tovaline-lintian.XXXXXX")
cp "${debs[@]}" "$lint/"
chmod -R a+rX "$lint"
if ! setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$lint" \
  lintian --fail-on error --display-info "$lint"/*.deb; then
  rm -rf "$lint"
  die "lintian found errors"
fi
rm -rf "$lint"

# --- the minimal system, made once ---
cache=${XDG_CACHE_HOME:-$HOME/.cache}/tovaline
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
base=$cache/debian12-minbase
archives=$cache/debian12-archives
mkdir -p "$cache" "$archives"

in_root() { # DIR COMMAND...: runs COMMAND in the system at DIR
  local root=$1
  shift
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive TERM=dumb "$@"
}
mounted=()
mount_proc() {
  mount -t proc proc "$1/proc"
  mounted+=("$1/proc")
}
work=
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  mounted=()
  [ -z "$work" ] || rmdir "$work" 2>/dev/null || true
}
trap cleanup EXIT

if [ ! -x "$base/usr/bin/apt-get" ]; then
  say "making a minimal Debian 12 in $base (once)"
  rm -rf "$base.new"
  debootstrap --variant=minbase bookworm "$base.new" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    die "debootstrap failed; see $cache/debootstrap.log"
  cat >"$base.new/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb ${mirror%/debian}/debian-security bookworm-security main
EOF
  cp /etc/resolv.conf "$base.new/etc/resolv.conf"
  # A throw-away system: dpkg need not wait for the disc after every file.
  echo force-unsafe-io >"$base.new/etc/dpkg/dpkg.cfg.d/unsafe-io"
  mount_proc "$base.new"
  {
    in_root "$base.new" apt-get update -qq &&
      in_root "$base.new" apt-get -o Dpkg::Use-Pty=0 -y -qq dist-upgrade &&
      in_root "$base.new" apt-get -o Dpkg::Use-Pty=0 install -y -qq --no-install-recommends man-db bash-completion &&
      in_root "$base.new" apt-get clean
  } >>"$cache/debootstrap.log" 2>&1 || die "setting up the minimal system failed; see $cache/debootstrap.log"
  cleanup
  mv "$base.new" "$base"
fi

# --- a copy of it for this run, in memory (quick to fill and gone at the end), with
# the packages apt downloaded before ---
say "copying the minimal system"
work=$(mktemp -d "${TMPDIR:-/tmp}/tovaline-check.XXXXXX")
mount -t tmpfs -o size=4g,mode=755 tovaline-check "$work"
mounted+=("$work")
cp -a "$base/." "$work/"
mount --bind "$archives" "$work/var/cache/apt/archives"
mounted+=("$work/var/cache/apt/archives")
cp /etc/resolv.conf "$work/etc/resolv.conf"
mkdir -p "$work/tmp/packages"
cp "${debs[@]}" "$work/tmp/packages/"
mount_proc "$work"
in_root "$work" apt-get update -qq

# Every file but the package manager's state, logs, caches and the mounts: path,
# kind, permissions and, for regular files and links, the content or target.
snapshot() {
  in_root "$work" find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp \
    -o -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache/apt -o -path /var/cache/debconf \
    -o -path /var/log -o -path /var/cache/man -o -path /root \) -prune -o -printf '%y %m %p %l\n' |
    sort >"$1"
  in_root "$work" find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp \
    -o -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache/apt -o -path /var/cache/debconf \
    -o -path /var/log -o -path /var/cache/man -o -path /root \) -prune -o -type f -print0 |
    in_root "$work" xargs -0 md5sum | sort -k2 >>"$1"
}
snapshots=$(mktemp -d "${TMPDIR:-/tmp}/tovaline-snapshots.XXXXXX")
trap 'cleanup; rm -rf "$snapshots"' EXIT

# --- tovaline-cli ---
say "apt-get install ./$(basename "${debs[0]}")"
in_root "$work" sh -c "cd /tmp/packages && apt-get -o Dpkg::Use-Pty=0 install -y -q ./tovaline-cli_*.deb" >"$snapshots/install-cli.log" 2>&1 ||
  { cat "$snapshots/install-cli.log"; die "tovaline-cli could not be installed"; }
got=$(in_root "$work" tovaline-cli --version)
[ "$got" = "tovaline-cli $version" ] || die "tovaline-cli --version printed '$got'"
in_root "$work" tovaline-cli scan -d C=/usr/share/doc -r 3 C | grep -q 'Ranking All' ||
  die "tovaline-cli scan did not print a report"
in_root "$work" env MANWIDTH=200 man -P cat tovaline-cli | grep -q 'tovaline-cli - measure how the space' ||
  die "'man tovaline-cli' does not show the manual page"
# The completion as an interactive login shell loads it: through bash-completion's
# loader, then the function 'complete -p' names, called as the shell would call it.
complete_words() { # WORD...: the completions of the last word
  in_root "$work" bash -lic '
    _completion_loader tovaline-cli 2>/dev/null || __load_completion tovaline-cli
    how=$(complete -p tovaline-cli) || exit 1
    f=${how#*-F }; f=${f%% *}
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    "$f" tovaline-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"' bash "$@" 2>/dev/null
}
got=$(complete_words tovaline-cli sc)
[ "$got" = scan ] || die "completing 'tovaline-cli sc' gave '$got', not 'scan'"
got=$(complete_words tovaline-cli scan -d E=/usr '')
[ "$got" = E ] || die "completing the drive letter of 'tovaline-cli scan -d E=/usr ' gave '$got', not 'E'"

# --- tovaline ---
say "apt-get install ./$(basename "${debs[1]}")"
in_root "$work" sh -c "cd /tmp/packages && apt-get -o Dpkg::Use-Pty=0 install -y -q ./tovaline_*.deb" >"$snapshots/install-gui.log" 2>&1 ||
  { cat "$snapshots/install-gui.log"; die "tovaline could not be installed"; }
grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' "$snapshots/install-gui.log" || true
got=$(in_root "$work" tovaline --version)
[ "$got" = "tovaline $version" ] || die "tovaline --version printed '$got'"
in_root "$work" env MANWIDTH=200 man -P cat tovaline | grep -q 'tovaline - measure how the space' ||
  die "'man tovaline' does not show the manual page"
# The triggers of the MIME database and of the menu (when those packages are there)
# have seen the report file type.
if [ -x "$work/usr/bin/update-mime-database" ]; then
  [ -f "$work/usr/share/mime/application/x-tovaline-report.xml" ] ||
    die "the MIME database does not know application/x-tovaline-report"
  echo "   the MIME database knows application/x-tovaline-report"
fi
if [ -x "$work/usr/bin/update-desktop-database" ]; then
  grep -q '^application/x-tovaline-report=.*tovaline.desktop' "$work/usr/share/applications/mimeinfo.cache" ||
    die "the desktop database does not open report files with tovaline"
  echo "   the desktop database opens report files with tovaline"
fi
if [ -x "$work/usr/bin/gtk-update-icon-cache" ]; then
  grep -q application-x-tovaline-report "$work/usr/share/icons/hicolor/icon-theme.cache" ||
    die "the hicolor icon cache does not hold the report file icon"
  echo "   the hicolor icon cache holds the program and report file icons"
fi
in_root "$work" dpkg -L tovaline tovaline-cli | sort -u >"$snapshots/installed"

# --- and away again ---
# After the purge nothing of the packages is left: none of their files, nothing that
# is named after them or mentions them (the triggers have taken the report type out
# of the MIME, menu and icon caches again), outside the package manager's own records.
say "apt-get purge tovaline tovaline-cli"
purge() {
  in_root "$work" apt-get -o Dpkg::Use-Pty=0 purge -y -q tovaline tovaline-cli >"$snapshots/purge.log" 2>&1 ||
    { cat "$snapshots/purge.log"; die "apt-get purge failed"; }
  if in_root "$work" dpkg -l tovaline tovaline-cli 2>/dev/null | grep -q '^[a-z][a-z] '; then
    die "dpkg still knows tovaline or tovaline-cli after the purge"
  fi
}
purge
snapshot "$snapshots/purged"
while read -r path; do
  if [ -e "$work$path" ] && [ ! -d "$work$path" ]; then die "$path is left after the purge"; fi
done <"$snapshots/installed"
left=$(in_root "$work" find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /var/lib/dpkg \
  -o -path /var/log -o -path /var/cache/apt -o -path /var/cache/man -o -path /tmp/packages \) -prune -o -type f -print0 |
  in_root "$work" xargs -0 grep -l -i tovaline 2>/dev/null || true)
left+=$(in_root "$work" find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /var/lib/dpkg \
  -o -path /var/log -o -path /var/cache/apt -o -path /tmp/packages \) -prune -o -iname '*tovaline*' -print)
[ -z "$left" ] || die "the purge left these behind: $left"
# man-db's index keeps stale records (a cache); what counts is that man finds nothing.
if in_root "$work" man -w tovaline-cli >/dev/null 2>&1; then die "man still finds tovaline-cli after the purge"; fi

# Installed and purged once more, over the dependencies the first install pulled:
# the system is as it was before, file by file.
say "apt-get install ./tovaline-cli_*.deb ./tovaline_*.deb; apt-get purge (again)"
in_root "$work" sh -c "cd /tmp/packages && apt-get -o Dpkg::Use-Pty=0 install -y -q ./tovaline-cli_*.deb ./tovaline_*.deb" \
  >"$snapshots/install-again.log" 2>&1 || { cat "$snapshots/install-again.log"; die "the second install failed"; }
grep -q '^0 upgraded, 2 newly installed' "$snapshots/install-again.log" ||
  die "the second install changed more than the two packages: $(grep newly "$snapshots/install-again.log")"
purge
snapshot "$snapshots/purged-again"
if ! diff -u "$snapshots/purged" "$snapshots/purged-again" >"$snapshots/left"; then
  head -50 "$snapshots/left" >&2
  die "installing and purging the packages left the system changed (above)"
fi

say "the packages $version install, work and go away cleanly"
