# Installs the Debian packages a stage needs, only those that are missing.
# Sourced by tools/test-all and tools/run-probe.

ovrin_have_pkg() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# ovrin_install_packages PKG... : installs whichever of PKG are missing.
ovrin_install_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    ovrin_have_pkg "$pkg" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || { echo "need root or sudo to install: ${missing[*]}" >&2; return 1; }
    sudo="sudo"
  fi
  # wine32 is an i386 package: the architecture must be known to dpkg first.
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  fi
  echo "== installing: ${missing[*]}"
  $sudo apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

OVRIN_NATIVE_PACKAGES=(cmake ninja-build g++ googletest libbenchmark-dev)
OVRIN_TERMINAL_PACKAGES=(tmux)
OVRIN_WINDOWS_PACKAGES=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386)
