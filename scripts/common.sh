# Shared by the scripts: installs the Debian packages the build needs and
# configures and builds a tree. Sourced, not run.

QX25_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-translations-l10n libcli11-dev fonts-dejavu-core locales
  file lintian
  # The API reference, built with the library (cmake/Reference.cmake).
  doxygen
  # The hosts in other languages (tests/hosts).
  python3 fp-compiler
)

# What scripts/test-windows needs besides; scripts/test runs it when they are
# installed, and CI installs them.
QX25_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine64 xvfb xauth imagemagick)

# Prints those of the packages named that are not installed, one a line.
missing_packages() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# Installs whatever of the packages named (QX25_PACKAGES by default) is
# missing (apt-get, as root).
ensure_packages() {
  local missing
  mapfile -t missing < <(missing_packages "${@:-${QX25_PACKAGES[@]}}")
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Run this script as root, or install them with: sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build PRESET: configures the tree of CMakePresets.json's
# configure preset PRESET and builds it with the build preset of that name.
configure_and_build() {
  cmake --preset "$1"
  cmake --build --preset "$1"
}
