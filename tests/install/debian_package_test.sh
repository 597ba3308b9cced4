#!/usr/bin/env bash
# Builds the Debian packages with CPack and checks them as Debian's tools and
# a user see them: names, versions, dependencies and control files; every
# file in its place; a clean lintian; then, installed with dpkg (as root),
# pkg-config, the C example, pavonize and the Python module work with no
# extra paths, and purging leaves nothing behind.
# Usage: debian_package_test.sh BUILD_DIR SCRATCH SAMPLE SOURCE_DIR VERSION
#          INSTALL_PREFIX GENERATOR C_COMPILER
# The packages hold what installs under /usr; a build configured for another
# prefix gets a build for /usr made beside the packages (kept between runs).
# Exits with 77 (skipped) after the package checks when not run as root.
set -euo pipefail
build=$1 scratch=$2 sample=$3 source=$4 version=$5 install_prefix=$6 generator=$7 cc=$8

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

mkdir -p "$scratch"
if [ "$install_prefix" != /usr ]; then
  build="$scratch/build-usr"
  { cmake -S "$source" -B "$build" -G "$generator" -DCMAKE_INSTALL_PREFIX=/usr \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANEPAVONIZE_TESTS=OFF -DORVANEPAVONIZE_BENCHMARKS=OFF &&
    cmake --build "$build"; } >"$scratch/build.log" 2>&1 ||
    { cat "$scratch/build.log"; fail "building for /usr failed"; }
fi
debs="$scratch/debs"
rm -rf "$debs"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$debs" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack failed"; }

arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir="usr/lib/$multiarch"
packages=(liborvanepavonize1 liborvanepavonize-dev pavonize python3-orvanepavonize)
declare -A deb
for package in "${packages[@]}"; do
  package_arch=$arch
  [ "$package" = python3-orvanepavonize ] && package_arch=all
  deb[$package]="$debs/${package}_${version}_${package_arch}.deb"
  [ -f "${deb[$package]}" ] || fail "no ${deb[$package]}; made: $(ls "$debs")"
  [ "$(dpkg-deb -f "${deb[$package]}" Package)" = "$package" ] || fail "$package: wrong Package field"
  [ "$(dpkg-deb -f "${deb[$package]}" Version)" = "$version" ] || fail "$package: Version is not $version"
  [ "$(dpkg-deb -f "${deb[$package]}" Architecture)" = "$package_arch" ] ||
    fail "$package: Architecture is not $package_arch"
done
[ "$(ls "$debs"/*.deb | wc -l)" = "${#packages[@]}" ] || fail "made more packages: $(ls "$debs")"

depends() { dpkg-deb -f "${deb[$1]}" Depends; }
# Worked out by dpkg-shlibdeps from what the binaries link, with versions.
for package in liborvanepavonize1 pavonize; do
  for library in libc6 'libstdc\+\+6'; do
    [[ "$(depends $package)" =~ (^|, )$library\ \(\>=\ [0-9] ]] ||
      fail "$package: Depends lacks $library: '$(depends $package)'"
  done
done
[[ "$(depends liborvanepavonize-dev)" == "liborvanepavonize1 (= $version)" ]] ||
  fail "liborvanepavonize-dev must depend on the exact runtime: '$(depends liborvanepavonize-dev)'"
[[ "$(depends pavonize)" =~ (^|, )liborvanepavonize1\ \(\>=\ $version\) ]] ||
  fail "pavonize: Depends lacks liborvanepavonize1: '$(depends pavonize)'"
[[ "$(depends python3-orvanepavonize)" =~ python3.*liborvanepavonize1\ \(\>=\ $version\) ]] ||
  fail "python3-orvanepavonize: Depends is '$(depends python3-orvanepavonize)'"

control_files() { dpkg-deb --ctrl-tarfile "${deb[$1]}" | tar -t | sed 's|^\./||' | grep -v '^$' | sort | xargs; }
[ "$(control_files liborvanepavonize1)" = "control md5sums shlibs triggers" ] ||
  fail "liborvanepavonize1 control files: $(control_files liborvanepavonize1) (ldconfig runs by trigger only)"
[ "$(control_files python3-orvanepavonize)" = "control md5sums postinst prerm" ] ||
  fail "python3-orvanepavonize control files: $(control_files python3-orvanepavonize)"
shlibs=$(dpkg-deb -I "${deb[liborvanepavonize1]}" shlibs)
[ "$shlibs" = "liborvanepavonize 1 liborvanepavonize1 (>= $version)
liborvanepavonize_framework 1 liborvanepavonize1 (>= $version)" ] || fail "shlibs is '$shlibs'"
grep -qx 'activate-noawait ldconfig' <<<"$(dpkg-deb -I "${deb[liborvanepavonize1]}" triggers)" ||
  fail "no ldconfig trigger"

# Every entry: "mode owner/group size date time path[ -> target]".
expect_entry() {
  grep -qE "^$2 root/root +[0-9]+ [0-9-]+ [0-9:]+ \./$3\$" <<<"$(dpkg-deb -c "${deb[$1]}")" ||
    fail "no $2 entry ./$3 in $1:"$'\n'"$(dpkg-deb -c "${deb[$1]}")"
}
so_version=${version//./\\.}
for library in liborvanepavonize liborvanepavonize_framework; do
  expect_entry liborvanepavonize1 -rw-r--r-- "$libdir/$library\\.so\\.$so_version"
  expect_entry liborvanepavonize1 lrwxrwxrwx "$libdir/$library\\.so\\.1 -> $library\\.so\\.$so_version"
  expect_entry liborvanepavonize-dev lrwxrwxrwx "$libdir/$library\\.so -> $library\\.so\\.1"
done
expect_entry liborvanepavonize-dev -rw-r--r-- usr/include/orvanepavonize/orvanepavonize\\.h
expect_entry liborvanepavonize-dev -rw-r--r-- usr/include/orvanepavonize/framework/loader\\.h
expect_entry liborvanepavonize-dev -rw-r--r-- "$libdir/cmake/OrvanePavonize/OrvanePavonizeConfig\\.cmake"
expect_entry liborvanepavonize-dev -rw-r--r-- "$libdir/pkgconfig/orvanepavonize\\.pc"
expect_entry liborvanepavonize-dev -rw-r--r-- usr/share/doc/liborvanepavonize-dev/examples/c-host/recolour_file\\.c
expect_entry liborvanepavonize-dev -rw-r--r-- usr/share/doc/liborvanepavonize-dev/examples/load-at-run-time/load_at_run_time\\.cpp
for page in command-line embedding formats python reading-bmp safe-replacement; do
  expect_entry liborvanepavonize-dev -rw-r--r-- "usr/share/doc/liborvanepavonize-dev/docs/$page\\.md"
done
for page in Pavonize PavonizeFile; do
  expect_entry liborvanepavonize-dev -rw-r--r-- "usr/share/man/man3/$page\\.3\\.gz"
done
for call in PavonizeMemory PavonizeRelease PavonizePixels PavonizeWriteFile; do
  expect_entry liborvanepavonize-dev lrwxrwxrwx "usr/share/man/man3/$call\\.3\\.gz -> PavonizeFile\\.3\\.gz"
done
expect_entry pavonize -rwxr-xr-x usr/bin/pavonize
expect_entry pavonize -rw-r--r-- usr/share/man/man1/pavonize\\.1\\.gz
expect_entry pavonize -rw-r--r-- usr/share/bash-completion/completions/pavonize
for module_file in __init__ _batch _build_info _errors _images _library; do
  expect_entry python3-orvanepavonize -rw-r--r-- "usr/lib/python3/dist-packages/orvanepavonize/$module_file\\.py"
done
expect_entry python3-orvanepavonize -rw-r--r-- usr/lib/python3/dist-packages/orvanepavonize/py\\.typed
for example in recolour recolour_on_dask; do
  expect_entry python3-orvanepavonize -rw-r--r-- "usr/share/doc/python3-orvanepavonize/examples/$example\\.py"
done
for package in "${packages[@]}"; do
  expect_entry "$package" -rw-r--r-- "usr/share/doc/$package/copyright"
  expect_entry "$package" -rw-r--r-- "usr/share/doc/$package/changelog\\.gz"
  changelog=$(dpkg-deb --fsys-tarfile "${deb[$package]}" | tar -xO "./usr/share/doc/$package/changelog.gz" | zcat)
  [[ "$changelog" == "orvanepavonize ($version) "* ]] || fail "$package: changelog does not start with $version"
done
dpkg-deb -x "${deb[liborvanepavonize1]}" "$scratch/unpacked"
grep -q '^License: Expat' "$scratch/unpacked/usr/share/doc/liborvanepavonize1/copyright" ||
  fail "the copyright file names no licence"

# No errors and no warnings; the packages carry no overrides.
lintian --fail-on error,warning "${deb[@]}" >"$scratch/lintian.log" 2>&1 ||
  { cat "$scratch/lintian.log"; fail "lintian reports warnings or errors"; }

if [ "$(id -u)" != 0 ]; then
  echo "packages ok; installing them needs root: skipped"
  exit 77
fi

# Installing touches the machine's /usr: one run at a time, never over a
# copy someone installed, and purged again whatever happens.
exec 9>/run/lock/orvanepavonize-package-test.lock
flock -w 900 9 || fail "another package test holds the lock"
for package in "${packages[@]}"; do
  dpkg-query -W -f '${Status}\n' "$package" 2>/dev/null | grep -q ' installed$' &&
    fail "$package is installed on this machine already; remove it first"
done
purge() { dpkg -P "${packages[@]}" >>"$scratch/dpkg.log" 2>&1; }
trap purge EXIT
dpkg -i "${deb[@]}" >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log"; fail "dpkg -i failed"; }

# /lib is /usr/lib on a merged system, and the cache may name either.
grep -qE "liborvanepavonize\.so\.1 .*=> (/usr)?/lib/$multiarch/liborvanepavonize\.so\.1$" <<<"$(ldconfig -p)" ||
  fail "the loader's cache lacks the library: the ldconfig trigger did not run"
flags=$(env -u PKG_CONFIG_PATH -u PKG_CONFIG_LIBDIR pkg-config --cflags --libs orvanepavonize | xargs)
[ "$flags" = -lorvanepavonize ] || fail "pkg-config gives '$flags'"
success=$'BMP image loaded successfully!\nimage saved'
run() { env -u LD_LIBRARY_PATH -u PYTHONPATH -u ORVANEPAVONIZE_LIBRARY "$@"; }

examples=/usr/share/doc/liborvanepavonize-dev/examples
# shellcheck disable=SC2086 # the flags are words
"$cc" -Wall -Wextra -Werror "$examples/c-host/recolour_file.c" $flags -o "$scratch/recolour_file" ||
  fail "the C example does not build with pkg-config's flags"
out=$(run "$scratch/recolour_file" "$sample" "$scratch/c.bmp")
[ "$out" = "recoloured $sample" ] || fail "the C example printed '$out'"
# find_package needs no path either.
{ cmake -S "$examples/c-host" -B "$scratch/c-host" -G "$generator" -DCMAKE_C_COMPILER="$cc" &&
  cmake --build "$scratch/c-host"; } >"$scratch/c-host.log" 2>&1 ||
  { cat "$scratch/c-host.log"; fail "the C example does not build through find_package"; }
out=$(run "$scratch/c-host/recolour_file" "$sample" "$scratch/cmake.bmp")
[ "$out" = "recoloured $sample" ] || fail "the CMake-built example printed '$out'"

out=$(run /usr/bin/pavonize "$sample" "$scratch/pavonize.bmp")
[ "$out" = "$success" ] || fail "the installed pavonize printed '$out'"
[ "$(stat -c %s "$scratch/pavonize.bmp")" = "$(stat -c %s "$sample")" ] || fail "output size differs"

(cd "$scratch" && run /usr/bin/python3 -c "import orvanepavonize") || fail "the module does not import"
rm -rf "$scratch/python"
# The module's pytest suite, on the package's module; byte code goes to the
# scratch folder, never beside the installed module.
(cd "$scratch" && run MODULE_DIR=/usr/lib/python3/dist-packages/orvanepavonize \
  MODULE_SAMPLE="$sample" MODULE_VERSION="$version" MODULE_SCRATCH="$scratch/python" \
  PYTHONPYCACHEPREFIX="$scratch/python/byte-code" /usr/bin/python3 -m pytest -p no:cacheprovider \
  -rs "$source"/tests/python/test_module_*.py) || fail "the module's tests failed"
out=$(run /usr/bin/python3 /usr/share/doc/python3-orvanepavonize/examples/recolour.py "$sample" "$scratch/python.bmp")
[ "$out" = "Pavonize returned 999" ] || fail "the Python example printed '$out'"

# Purging takes every file of the packages and the folders that are theirs
# alone, byte-compiled Python files included.
trap - EXIT
purge || { cat "$scratch/dpkg.log"; fail "dpkg -P failed"; }
for package in "${packages[@]}"; do
  while read -r mode _ _ _ _ path _; do
    [ "${mode:0:1}" = d ] && continue
    [ ! -e "${path#.}" ] && [ ! -L "${path#.}" ] || fail "${path#.} is left after purging $package"
  done < <(dpkg-deb -c "${deb[$package]}")
  [ ! -e "/usr/share/doc/$package" ] || fail "/usr/share/doc/$package is left"
done
for folder in /usr/include/orvanepavonize "/$libdir/cmake/OrvanePavonize" \
  /usr/lib/python3/dist-packages/orvanepavonize; do
  [ ! -e "$folder" ] || fail "$folder is left: $(find "$folder")"
done
grep -q 'liborvanepavonize\.so' <<<"$(ldconfig -p)" && fail "the loader's cache still lists the library"
echo "packages ok: ${deb[*]}"
