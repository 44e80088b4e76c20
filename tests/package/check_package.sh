#!/usr/bin/env bash
# Installs the build twice (staged with DESTDIR, and straight into a prefix), makes the
# Debian package and unpacks it into a temporary root, and checks there what the desktop
# gets: the files, the validators' verdicts, the file type by content, the package's
# fields and lintian's errors. When the build has the Python package, the same for
# python3-kinaro, made in the same run, whose module must import from the unpacked tree.
# Usage: check_package.sh BUILD_DIR SOURCE_DIR METAFILE
set -euo pipefail
build=$1 source=$2 metafile=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

python=false
grep -q '^KINARO_PYTHON:BOOL=ON$' "$build/CMakeCache.txt" && python=true
python_files() {  # the Python package's files under PREFIX ($1)
  local p=$1 dir=$1/lib/python3/dist-packages/kinaro
  for f in "$source"/python/kinaro/{*.py,*.pyi,py.typed}; do echo "$dir/$(basename "$f")"; done
  echo "$dir/_kinaro$(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')"
  echo "$p/share/doc/python3-kinaro/changelog.Debian.gz" "$p/share/doc/python3-kinaro/copyright"
}
installed_files() {  # what cmake --install puts under PREFIX ($1), sorted
  { expected_files "$1"; if $python; then python_files "$1"; fi; } | tr ' ' '\n' | sort
}
expected_files() {  # the viewer package's files under PREFIX ($1), sorted
  local p=$1
  {
    printf '%s\n' "$p/bin/kinaro" "$p/bin/rmtool" \
      "$p/share/applications/kinaro.desktop" \
      "$p/share/doc/kinaro/changelog.Debian.gz" "$p/share/doc/kinaro/copyright" \
      "$p/share/icons/hicolor/scalable/apps/kinaro.svg" \
      "$p/share/metainfo/org.kinaro.kinaro.metainfo.xml" \
      "$p/share/mime/packages/kinaro.xml" "$p/share/thumbnailers/kinaro.thumbnailer"
    for size in 16 22 24 32 48 64 128 256; do
      echo "$p/share/icons/hicolor/${size}x${size}/apps/kinaro.png"
    done
    for page in "$source"/doc/man/*.1; do
      [ -e "$page" ] && echo "$p/share/man/man1/$(basename "$page").gz"
    done
  } | sort
}
same_list() {  # NAME EXPECTED ACTUAL
  if ! diff -u <(echo "$2") <(echo "$3") >"$work/diff"; then
    fail "$1 differs from the expected list:"; cat "$work/diff"
  fi
}

echo "== staged install (DESTDIR)"
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >/dev/null
same_list "staged install" "$(installed_files "$work/stage/usr")" \
  "$(find "$work/stage" -type f -o -type l | sort)"

echo "== install into a prefix"
env -u DESTDIR cmake --install "$build" --prefix "$work/prefix" >/dev/null
outside=$(grep -v "^$work/prefix/" "$build/install_manifest.txt" || true)
[ -z "$outside" ] || fail "installed outside the prefix: $outside"
for cache in share/mime/mime.cache share/applications/mimeinfo.cache \
             share/icons/hicolor/icon-theme.cache; do
  [ -f "$work/prefix/$cache" ] || fail "no $cache after installing into the prefix"
done
grep -q '^image/x-raster-metafile=kinaro.desktop;' "$work/prefix/share/applications/mimeinfo.cache" ||
  fail "the desktop database does not give image/x-raster-metafile to kinaro.desktop"

echo "== package"
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null)
deb="$work/package/kinaro_1.62-1_amd64.deb"
if [ ! -f "$deb" ]; then
  fail "no $(basename "$deb"), found: $(ls "$work/package")"
  exit 1
fi
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kinaro ] && [ "$(field Version)" = 1.62-1 ] &&
  [ "$(field Architecture)" = amd64 ] || fail "package name, version or architecture"
for lib in libc6 libgtk-3-0 libpng16-16 libgif7 libimagequant0; do
  field Depends | grep -q "\b$lib\b" || fail "Depends lacks $lib: $(field Depends)"
done
[ "$(field Description | wc -l)" -gt 3 ] || fail "no long description"
dpkg-deb -x "$deb" "$work/root"
same_list "package contents" "$(expected_files ./usr)" \
  "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)"
dpkg-deb -e "$deb" "$work/control"
extra=$(ls "$work/control" | grep -v -x -e control -e md5sums || true)
[ -z "$extra" ] || fail "maintainer scripts or other control files: $extra"
for f in "$work/root/usr/bin/kinaro" "$work/root/usr/bin/rmtool"; do
  file -b "$f" | grep -q ', stripped' || fail "$f is not stripped"
done

echo "== validators"
share="$work/root/usr/share"
desktop-file-validate "$share/applications/kinaro.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$share/metainfo/org.kinaro.kinaro.metainfo.xml" >"$work/as" ||
  { fail "appstreamcli validate"; cat "$work/as"; }
for page in "$share"/man/man1/*.gz; do
  [ -e "$page" ] || continue
  name=$(basename "$page" .gz)
  zcat "$page" >"$work/$name"
  # Warnings and errors; the style notes left are cross references (rmtool(1), ffmpeg(1))
  # that mandoc looks up only in /usr/share/man, where they are once the package is installed.
  (cd "$work" && mandoc -T lint -W warning "$name") >"$work/lint" 2>&1 && [ ! -s "$work/lint" ] ||
    { fail "mandoc -T lint $name"; cat "$work/lint"; }
done
grep -qx 'Exec=rmtool thumbnail -s %s %i %o' "$share/thumbnailers/kinaro.thumbnailer" ||
  fail "thumbnailer Exec"
for size in 16 22 24 32 48 64 128 256; do
  png="$share/icons/hicolor/${size}x${size}/apps/kinaro.png"
  file -b "$png" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" ||
    fail "icon $size: $(file -b "$png")"
done

echo "== file type by content"
update-mime-database "$share/mime" 2>/dev/null
mkdir "$work/files"
cp "$metafile" "$work/files/movie.rm"
cp "$metafile" "$work/files/movie.dat"
{ printf '.RMF\0\0\0\x12\0\0'; head -c 502 /dev/zero; } >"$work/files/x.rm"
# An MP4 whose first box is 224 bytes long begins like a metafile.
{ printf '\0\0\0\xe0ftypisom'; head -c 500 /dev/zero; } >"$work/files/clip.dat"
for check in "movie.rm image/x-raster-metafile" "movie.dat image/x-raster-metafile" \
             "x.rm application/vnd.rn-realmedia" "clip.dat video/mp4"; do
  set -- $check
  # GLib (GNOME's xdg-mime) and File::MimeInfo (xdg-mime elsewhere) read the database apart.
  for desktop in GNOME generic; do
    got=$(cd "$work/files" && env -u DESKTOP_SESSION -u GNOME_DESKTOP_SESSION_ID \
          -u KDE_FULL_SESSION XDG_DATA_DIRS="$share:/usr/share" XDG_CURRENT_DESKTOP=$desktop \
          xdg-mime query filetype "$1")
    [ "$got" = "$2" ] || fail "$1 ($desktop): $got, expected $2"
  done
done

echo "== lintian"
lintian --fail-on error "$deb" | tee "$work/lintian" || fail "lintian reports errors"

if $python; then
  echo "== python3-kinaro"
  pydeb="$work/package/python3-kinaro_1.62-1_amd64.deb"
  [ -f "$pydeb" ] || { fail "no $(basename "$pydeb"), found: $(ls "$work/package")"; exit 1; }
  pyfield() { dpkg-deb -f "$pydeb" "$1"; }
  [ "$(pyfield Package)" = python3-kinaro ] && [ "$(pyfield Version)" = 1.62-1 ] &&
    [ "$(pyfield Section)" = python ] || fail "python3-kinaro name, version or section"
  for dep in python3-numpy libc6 libstdc++6; do
    pyfield Depends | grep -q "\b$dep\b" || fail "python3-kinaro Depends lacks $dep"
  done
  [ "$(pyfield Description | wc -l)" -gt 3 ] || fail "python3-kinaro has no long description"
  same_list "python3-kinaro contents" "$(python_files ./usr | tr ' ' '\n' | sort)" \
    "$(dpkg-deb -c "$pydeb" | awk '$1 !~ /^d/ {print $6}' | sort)"
  dpkg-deb -x "$pydeb" "$work/pyroot"
  frames=$(cd "$work" && PYTHONPATH="$work/pyroot/usr/lib/python3/dist-packages" \
    /usr/bin/python3 -c 'import sys, kinaro; print(len(kinaro.open(sys.argv[1])), kinaro.__file__)' \
    "$metafile") || fail "the packaged module does not import or read $metafile"
  case "$frames" in *"$work/pyroot/"*) ;; *) fail "imported another kinaro: $frames" ;; esac
  lintian --fail-on error "$pydeb" || fail "lintian reports errors in python3-kinaro"
fi

if [ $failures -gt 0 ]; then
  echo "$failures checks failed"
  exit 1
fi
echo "package checks passed"
