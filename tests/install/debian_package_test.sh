#!/usr/bin/env bash
# Builds the Debian package with CPack and checks it as a user and Debian's
# tools see it: name, version and computed dependencies; every file in its
# usual place; no lintian errors; and the unpacked pavonize recolours the
# sample.
# Usage: debian_package_test.sh BUILD_DIR SCRATCH SAMPLE
set -euo pipefail
build=$1 scratch=$2 sample=$3

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$scratch"
mkdir -p "$scratch"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
deb="$scratch/orvanepavonize_1.0.0.1_${arch}.deb"
[ -f "$deb" ] || fail "no $deb; made: $(ls "$scratch")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = orvanepavonize ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = 1.0.0.1 ] || fail "Version is '$(field Version)'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
# Computed by dpkg-shlibdeps from what the binaries link, with versions.
depends=$(field Depends)
for library in libc6 'libstdc\+\+6'; do
  [[ "$depends" =~ (^|, )$library\ \(\>=\ [0-9] ]] || fail "Depends lacks $library: '$depends'"
done
dpkg-deb -I "$deb" shlibs | grep -qx 'liborvanepavonize 1 orvanepavonize (>= 1.0.0.1)' ||
  fail "shlibs is '$(dpkg-deb -I "$deb" shlibs)'"
dpkg-deb -I "$deb" triggers | grep -qx 'activate-noawait ldconfig' || fail "no ldconfig trigger"

# Every entry: "mode owner/group size date time path[ -> target]".
listing=$(dpkg-deb -c "$deb")
expect_entry() {
  grep -qE "^$1 root/root +[0-9]+ [0-9-]+ [0-9:]+ \./$2\$" <<<"$listing" ||
    fail "no $1 entry ./$2 in:"$'\n'"$listing"
}
expect_entry -rwxr-xr-x usr/bin/pavonize
expect_entry -rw-r--r-- usr/lib/liborvanepavonize\\.so\\.1\\.0\\.0\\.1
expect_entry lrwxrwxrwx 'usr/lib/liborvanepavonize\.so\.1 -> liborvanepavonize\.so\.1\.0\.0\.1'
expect_entry lrwxrwxrwx 'usr/lib/liborvanepavonize\.so -> liborvanepavonize\.so\.1'
expect_entry -rw-r--r-- usr/include/orvanepavonize/orvanepavonize\\.h
expect_entry -rw-r--r-- usr/lib/liborvanepavonize_framework\\.so\\.1\\.0\\.0\\.1
expect_entry lrwxrwxrwx 'usr/lib/liborvanepavonize_framework\.so\.1 -> liborvanepavonize_framework\.so\.1\.0\.0\.1'
expect_entry -rw-r--r-- usr/include/orvanepavonize/framework/loader\\.h
expect_entry -rw-r--r-- usr/share/man/man1/pavonize\\.1\\.gz
expect_entry -rw-r--r-- usr/lib/cmake/OrvanePavonize/OrvanePavonizeConfig\\.cmake
expect_entry -rw-r--r-- usr/lib/cmake/OrvanePavonize/OrvanePavonizeConfigVersion\\.cmake
expect_entry -rw-r--r-- usr/lib/pkgconfig/orvanepavonize\\.pc
expect_entry -rw-r--r-- usr/share/doc/orvanepavonize/copyright
expect_entry -rw-r--r-- usr/share/doc/orvanepavonize/changelog\\.gz

# Warnings are expected (one package holds library, development files and
# command); errors are not.
lintian --fail-on error "$deb" ||
  fail "lintian reports errors"

# The unpacked tree runs where it lies: pavonize finds its library beside it.
dpkg-deb -x "$deb" "$scratch/root"
out=$(env -u LD_LIBRARY_PATH "$scratch/root/usr/bin/pavonize" "$sample" "$scratch/out.bmp")
[ "$out" = $'BMP image loaded successfully!\nimage saved' ] || fail "pavonize printed '$out'"
[ "$(stat -c %s "$scratch/out.bmp")" = "$(stat -c %s "$sample")" ] || fail "output size differs"
echo "package ok: $deb"
