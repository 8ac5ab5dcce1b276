#!/usr/bin/env bash
# Installs those of the Debian packages named that are not installed yet (as
# root), waiting for another package-manager run instead of failing at once.
#
#   tools/apt_install.sh STEP PACKAGE...     STEP names the caller in messages
#
# apt-get install waits for the dpkg lock itself (DPkg::Lock::Timeout, ten
# minutes). apt-get update does not wait for the lock of the package lists, so
# it is tried again every ten seconds, for up to ten minutes, while that lock
# is what stops it; any other failure ends the run at once.
set -euo pipefail
step=$1
shift

missing=()
for package in "$@"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "$step: please install: ${missing[*]} (apt-get install, as root)" >&2
  exit 1
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
attempts=60
for attempt in $(seq "$attempts"); do
  if apt-get -qq update 2>"$log"; then
    break
  fi
  if ! grep -q "lock" "$log" || [ "$attempt" -eq "$attempts" ]; then
    cat "$log" >&2
    exit 1
  fi
  echo "$step: the package lists are locked by another apt run; waiting" >&2
  sleep 10
done
cat "$log" >&2 # warnings of a successful update
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 \
  install -y -qq --no-install-recommends "${missing[@]}"
