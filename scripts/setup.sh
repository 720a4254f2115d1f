#!/usr/bin/env bash
# Installs what building and testing the bootstrapper needs, from Debian's
# packages, when it is missing. Safe to run again; does nothing when all is there.
set -euo pipefail

packages=(
  cmake g++ make libgtest-dev python3 python3-pefile
  clang libclang-rt-14-dev clang-format
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine64 wine32:i386 wine32-preloader:i386 wine64-preloader wixl
  xvfb xauth imagemagick
  osslsigncode openssl
)

as_root() {
  if [[ $(id -u) -ne 0 ]]; then
    echo "Packages or system settings are missing and this is not root: $*" >&2
    return 1
  fi
}

install_missing() {
  local missing=() package status
  for package in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0

  echo "Installing: ${missing[*]}"
  as_root "apt-get install ${missing[*]}"
  # Wine's 32-bit half comes from the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  refresh_indexes
  apt-get install -y -qq "${missing[@]}" >/dev/null && return 0
  # With one architecture's index of a suite unread, apt pairs the newer
  # packages of that suite for one architecture with the older ones of the
  # release for the other, which multi-arch refuses; the release's own suite
  # has both in one version.
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if [[ -n $unread_indexes && -n $codename ]]; then
    echo "setup: trying the installation again with the packages of $codename itself preferred (-t $codename)" >&2
    if apt-get install -y -qq -t "$codename" "${missing[@]}" >/dev/null; then
      echo "setup: installed from $codename; some may lack updates from the unread indexes: run 'apt-get update && apt-get upgrade' later" >&2
      return 0
    fi
  fi
  install_failed "${missing[*]}"
  return 1
}

# The indexes that the last `apt-get update` could not read, one a line.
unread_indexes=""
# Whether this set-up has refreshed the indexes already: one refresh, with
# its tries, serves every later group of packages (qemu's, say).
indexes_refreshed=false

# apt-get update, tried again while a mirror is being refreshed: for a few
# minutes it serves an index of another size than its Release file names
# ("Mirror sync in progress?"), and apt then ends with 100. After the last
# try the installation goes on with the indexes apt has, which often hold
# everything needed.
refresh_indexes() {
  local tries=4 pause=20 try output
  $indexes_refreshed && return 0
  indexes_refreshed=true
  for ((try = 1; try <= tries; try++)); do
    if output=$(apt-get update -qq 2>&1); then
      unread_indexes=$(failed_fetches "$output")
      [[ -z $unread_indexes ]] && return 0
    else
      unread_indexes=$(failed_fetches "$output")
    fi
    printf '%s\n' "$output" >&2
    if ((try < tries)); then
      echo "setup: apt-get update could not read every package index (try $try of $tries); trying again in $pause s" >&2
      sleep "$pause"
    fi
  done
  echo "setup: going on with the package indexes apt has; unread:" >&2
  printf '  %s\n' ${unread_indexes:-"(apt named none)"} >&2
}

# The addresses in apt's "Failed to fetch <address>" lines.
failed_fetches() {
  grep -oE 'Failed to fetch [^ ]+' <<<"$1" | cut -d' ' -f4 | sort -u || true
}

install_failed() {
  {
    echo
    echo "setup: apt-get could not install: $1"
    if [[ -n $unread_indexes ]]; then
      echo "These package indexes could not be read:"
      printf '  %s\n' $unread_indexes
      echo "This is usually a Debian mirror being refreshed (\"Mirror sync in progress?\"),"
      echo "not a fault of this project. Run the same command again in a few minutes."
    else
      echo "Every package index was read; apt's own lines above say why."
    fi
  } >&2
}

# Some virtual machines cannot execute 32-bit x86 code at all: an i386 program
# fails with "Exec format error". There Wine's 32-bit loader runs under qemu's
# user-mode emulation, registered through binfmt_misc; Wine's preloader then
# keeps the shared user data page at 0x7ffe0000 free for it.
check_wine32() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
  echo "This machine cannot run 32-bit code: Wine's 32-bit loader runs under emulation."
  install_missing qemu-user-static
  as_root "binfmt_misc registration"
  local binfmt=/proc/sys/fs/binfmt_misc
  [[ -e $binfmt/register ]] || mount -t binfmt_misc binfmt_misc "$binfmt"
  if [[ ! -e $binfmt/qemu-i386 ]]; then
    # i386 executables and shared objects; F: the interpreter is opened now,
    # so it also works in other mount namespaces.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >"$binfmt/register"
  fi
  echo 1 >"$binfmt/qemu-i386"
  /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
  echo "Wine's 32-bit loader cannot run on this machine." >&2
  return 1
}

install_missing "${packages[@]}"
check_wine32
