# Shared by the packaging tests: failures and the files an install holds.
fail() { echo "FAIL: $*" >&2; exit 1; }

# check_files ROOT PREFIX: the program, its private MIDI library, the
# shipped readme, the menu entry, the icons and the metadata under ROOT.
check_files() {
  local root="$1" prefix="$2"
  local f
  for f in bin/tonyx share/tonyx/readme.txt \
           share/applications/org.tonyx.Tonyx.desktop \
           share/metainfo/org.tonyx.Tonyx.metainfo.xml \
           share/icons/hicolor/scalable/apps/org.tonyx.Tonyx.svg; do
    [ -f "$root$prefix/$f" ] || fail "missing $prefix/$f"
  done
  local size
  for size in 16 22 24 32 48 64 128 256; do
    f="$root$prefix/share/icons/hicolor/${size}x$size/apps/org.tonyx.Tonyx.png"
    [ -f "$f" ] || fail "missing the ${size}px icon"
    file "$f" | grep -q "PNG image data, $size x $size" || fail "the ${size}px icon is $(file -b "$f")"
  done
  [ -x "$root$prefix/bin/tonyx" ] || fail "the program is not executable"
  lib=$(find "$root$prefix/lib" -path '*/tonyx/libMidiLib32.so' -type f)
  [ -n "$lib" ] || fail "no private libMidiLib32.so under $prefix/lib"
  # Private: no header, no development link, nothing on the system's path.
  [ -z "$(find "$root$prefix" -name '*.h' -o -name '*.a')" ] || fail "development files installed"
  # The program finds the library through its RUNPATH, relative to itself.
  local runpath libdir
  runpath=$(readelf -d "$root$prefix/bin/tonyx" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  libdir=$(dirname "${lib#"$root$prefix"/}")
  [ "$runpath" = "\$ORIGIN/../$libdir" ] || fail "RUNPATH is '$runpath', not \$ORIGIN/../$libdir"
  # The menu entry starts this program and passes the validators.
  grep -qx "Exec=$prefix/bin/tonyx" "$root$prefix/share/applications/org.tonyx.Tonyx.desktop" ||
    fail "the menu entry does not start $prefix/bin/tonyx"
  desktop-file-validate "$root$prefix/share/applications/org.tonyx.Tonyx.desktop" ||
    fail "desktop-file-validate"
  appstreamcli validate --no-net --strict "$root$prefix/share/metainfo/org.tonyx.Tonyx.metainfo.xml" \
    >/dev/null || fail "appstreamcli validate"
}
