#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing.
set -euo pipefail
missing=()
for package in "$@"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  # A mirror in the middle of a sync fails one index or another: what can
  # be installed from the indexes at hand still is, and a package that
  # cannot fails the install below, saying which.
  apt-get update -qq ||
    echo "apt-get update reported errors; installing from the package lists at hand"
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
