#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages, and only
# what is missing: a second run on the same machine installs nothing.
#   tools/install-deps.sh [--build-only] [EXTRA-PACKAGE...]
# --build-only takes just what building the library and the command needs.
set -euo pipefail

build_only=false
if [ "${1:-}" = "--build-only" ]; then
  build_only=true
  shift
fi

packages=(
  cmake ninja-build g++ binutils  # build, and nm for the export check
  libgtest-dev                    # GoogleTest
  libbenchmark-dev                # Google Benchmark, for bench/
  imagemagick                     # independent BMP reader/writer for round-trip tests
  wine64-tools                    # winedump, an independent reader of the type library
  valgrind                        # memory checker run over the command line
  clang-format clang-tidy         # style and static checks in CI
  pkg-config                      # the consumer test that links through pkg-config
  dpkg-dev file lintian           # the Debian packages: shlibdeps, and their checks
  devscripts                      # hardening-check, over every built program and library
  python3 python3-pytest          # the Python module's tests, under /usr/bin/python3
  python3-pil python3-numpy       # Pillow and numpy: the reference decoding of each format, arrays
  libspng-dev libtiff-dev libjpeg62-turbo-dev  # PNG, TIFF and JPEG, read and written by the command line
  libtiff-tools                   # tiffcp: the TIFF layouts of the format tests that Pillow and ImageMagick do not write
  python3-venv python3-setuptools python3-wheel  # pip install of the module, offline, in a venv
  python3-distributed             # dask.distributed, for the cluster example and its test
  python3-cryptography            # the certificate of the cluster example's local cluster
  clang libclang-rt-dev           # libFuzzer and clang's sanitizer runtimes
  llvm                            # llvm-symbolizer, for readable sanitizer reports
)
if $build_only; then
  packages=(cmake ninja-build g++ pkg-config libspng-dev libtiff-dev libjpeg62-turbo-dev)
fi
packages+=("$@")  # extra packages a caller needs

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
