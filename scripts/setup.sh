#!/usr/bin/env bash
# Installs what building and testing the bootstrapper needs, from Debian's
# packages, when it is missing. Safe to run again; does nothing when all is there.
set -euo pipefail

# Where the kernel refuses 32-bit Linux programs (some virtual machines),
# Wine's 32-bit loader runs under qemu's user-mode emulation instead.
packages=(
  cmake g++ make libgtest-dev python3
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine64 wine32:i386 wixl qemu-user-static
  xvfb xauth imagemagick
  clang-format clang libclang-rt-14-dev
  osslsigncode openssl
)

install_missing() {
  local missing=() package status
  for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0

  echo "Installing: ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    echo "Packages are missing and this is not root: install them with apt-get." >&2
    return 1
  fi
  # Wine's 32-bit half comes from the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Wine's 32-bit loader must start, natively or through the emulator.
check_wine32() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
  update-binfmts --enable qemu-i386 >/dev/null 2>&1 || true
  /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
  echo "Wine's 32-bit loader cannot run on this machine." >&2
  return 1
}

install_missing
check_wine32
