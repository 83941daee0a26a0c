#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine.
# Safe to run again: each step is skipped when its work is already done.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

PACKAGES=(
  cmake ninja-build g++ pkg-config
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb xauth x11-utils xdotool
  libgtest-dev libgmock-dev libbenchmark-dev libprimesieve-dev
  locales fonts-ipafont-gothic fonts-wine
  primesieve-bin file python3
  clang libclang-rt-dev
)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  NEED_UPDATE=1
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  # Other sessions may hold the package lock for a while.
  # A mirror caught mid-sync fails the update for a minute or two; retry,
  # then go on with whatever lists did arrive (the install says if a
  # package is really missing).
  for attempt in 1 2 3 4; do
    if $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq; then break; fi
    echo "setup: package lists incomplete (attempt $attempt)"
    if [ "$attempt" -lt 4 ]; then sleep $((attempt * 20)); fi
  done
  install=($SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends)
  if ! "${install[@]}" "${missing[@]}" >/dev/null; then
    # With one architecture's security list missing, the two architectures'
    # candidates differ and multiarch packages cannot pair up; the release's
    # own suite has both.
    . /etc/os-release
    echo "setup: retrying from $VERSION_CODENAME alone"
    "${install[@]}" -t "$VERSION_CODENAME" "${missing[@]}" >/dev/null
  fi
fi

# Japanese locale for the dialog labels (code page 932 under wine).
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  echo "setup: generating ja_JP.UTF-8"
  $SUDO sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

# The mingw posix-thread flavour is the one with std::thread support; pin it.
for target in i686-w64-mingw32 x86_64-w64-mingw32; do
  if [ -x "/usr/bin/$target-g++-posix" ]; then
    $SUDO update-alternatives --set "$target-g++" "/usr/bin/$target-g++-posix" >/dev/null 2>&1 || true
    $SUDO update-alternatives --set "$target-gcc" "/usr/bin/$target-gcc-posix" >/dev/null 2>&1 || true
  fi
done

"$(dirname "$0")/wine-prefix.sh"
echo "setup: ready"
