#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh made:
#   - lintian reports no error;
#   - Depends names only the libraries the programs link (no Qt SerialBus);
#   - the desktop entry passes desktop-file-validate, the metainfo appstreamcli validate;
#   - the MIME type, in a private database, names *.kiv and the registration's first bytes;
#   - as root only: dpkg -i, then the installed programs, manual page, completion and
#     the system's MIME database answer; dpkg -r afterwards (also on failure), so the
#     machine is as it was.
# Usage: scripts/check-package.sh kivsvc_VERSION_amd64.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if (($# != 1)) || [[ ! -f $1 ]]; then
  echo "Usage: $0 kivsvc_VERSION_amd64.deb" >&2
  exit 2
fi
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
version=$(dpkg-deb -f "$deb" Version)

work=$(mktemp -d)
installed=0
cleanup() {
  if ((installed)); then
    echo "Removing the package again"
    dpkg -r kivsvc >/dev/null || echo "check-package.sh: dpkg -r kivsvc failed" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "check-package.sh: $*" >&2
  exit 1
}

# expect WHAT EXPECTED ACTUAL
expect() {
  [[ $2 == "$3" ]] || fail "$1: expected '$2', got '$3'"
}

echo "lintian $(basename "$deb")"
lintian --fail-on error --info "$deb" || fail "lintian reports errors"

# The simulator frames Modbus over TCP itself: nothing of the package links Qt SerialBus.
depends=$(dpkg-deb -f "$deb" Depends)
if grep -qi serialbus <<<"$depends"; then
  fail "the package depends on Qt SerialBus: $depends"
fi

dpkg-deb -x "$deb" "$work/root"
share=$work/root/usr/share
desktop-file-validate "$share/applications/kivsvc.desktop" || fail "desktop-file-validate"
metainfo=("$share"/metainfo/*.metainfo.xml)
appstreamcli validate --no-net "${metainfo[@]}" || fail "appstreamcli validate"

# Sample files: the current format by name, and both formats by their first bytes alone.
cp "$root/examples/demo-kivs2.kiv" "$work/example.kiv"
cp "$root/examples/demo-kivs3.kiv" "$work/no-extension"
printf '\x00KIVS\x01\x04\x00' >"$work/older-format"
head -c 100 /dev/zero >>"$work/older-format"
check_mime() {
  local f
  expect "MIME type of example.kiv" application/x-kiv-registration \
    "$(xdg-mime query filetype "$work/example.kiv")"
  for f in no-extension older-format; do
    expect "MIME type of $f by content" application/x-kiv-registration \
      "$(mimetype --brief --magic-only "$work/$f")"
  done
}

# The package's MIME type alone, in a database of its own.
mkdir -p "$work/xdg/mime/packages"
cp "$share/mime/packages/kivsvc.xml" "$work/xdg/mime/packages/"
XDG_DATA_DIRS=$work/xdg update-mime-database "$work/xdg/mime"
XDG_DATA_HOME=$work/xdg XDG_DATA_DIRS=$work/xdg:/usr/share check_mime
echo "desktop entry, metainfo and MIME type are valid"

if (($(id -u) != 0)); then
  echo "Not root: installing the package (dpkg -i) was skipped."
  exit 0
fi
if dpkg-query -W -f='${Status}' kivsvc 2>/dev/null | grep -q "ok installed"; then
  echo "kivsvc is installed already: dpkg -i and dpkg -r were skipped, to leave it as it is."
  exit 0
fi

echo "dpkg -i $(basename "$deb")"
installed=1
dpkg -i "$deb" >/dev/null || fail "dpkg -i failed"

expect "kivtool --version" "kivtool $version" "$(/usr/bin/kivtool --version)"
expect "kivsim --version" "kivsim $version" "$(/usr/bin/kivsim --version)"
expect "kivsvc --version" "kivsvc $version" "$(QT_QPA_PLATFORM=offscreen /usr/bin/kivsvc --version)"
info=$(cd "$work" && /usr/bin/kivtool info example.kiv)
expect "kivtool info type" "type: KIVS-2" "$(grep '^type:' <<<"$info")"
# The definitions come from the installed share folder.
expect "kivtool info definitions" "definitions: Kivs2.set" "$(grep '^definitions:' <<<"$info")"
(cd "$work" && /usr/bin/kivtool listing example.kiv --seq 1 >/dev/null) || fail "kivtool listing"
# What a double-click runs: the installed program with the file. It must come up and keep
# running (timeout ends it: status 124), with its configuration in the scratch folder.
status=0
mkdir -m 700 "$work/run"
(cd "$work" && HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run \
  KIVSVC_CONFIG=$work/kiv.ini QT_QPA_PLATFORM=offscreen \
  timeout 5 /usr/bin/kivsvc "$work/example.kiv") 2>"$work/kivsvc.err" || status=$?
[[ $status == 124 ]] || cat "$work/kivsvc.err" >&2
expect "kivsvc FILE.kiv keeps running until ended" 124 "$status"
check_mime
# A double-click opens the type in the application that names it: kivsvc.
expect "application for the type" kivsvc.desktop \
  "$(xdg-mime query default application/x-kiv-registration)"
# Slim container images tell dpkg to leave manual pages out.
if grep -qs '^path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg.d/*; then
  echo "dpkg is told to leave out manual pages here: the man check was skipped"
else
  man -w kivtool | grep -q '/usr/share/man/man1/kivtool.1.gz' || fail "man kivtool not found"
  for page in kivsvc kivtool kivsim; do
    MANWIDTH=80 man -P cat "$page" 2>/dev/null | grep -q "$page" || fail "man $page does not show"
  done
fi
bash -c 'source /usr/share/bash-completion/completions/kivtool && complete -p kivtool' >/dev/null ||
  fail "the bash completion does not load"
echo "installed programs, manual pages, completion and MIME type work"

installed=0
dpkg -r kivsvc >/dev/null || fail "dpkg -r failed"
[[ ! -e /usr/bin/kivtool ]] || fail "dpkg -r left /usr/bin/kivtool"
[[ ! -e /usr/share/mime/packages/kivsvc.xml ]] || fail "dpkg -r left the MIME type"
echo "package removed"
