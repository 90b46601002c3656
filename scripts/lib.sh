# Shared by the project's scripts: where things are built, how to build them,
# and how to run Windows programs under Wine. Source it; it defines functions.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${WEX_BUILD_DIR:-$ROOT/build}"
JOBS="${WEX_JOBS:-$(nproc)}"

log() { printf '%s\n' "$*" >&2; }

# configure_and_build <dir> <cmake args...>
configure_and_build() {
  local dir="$1"; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || {
      cat "$dir.configure.log" >&2; return 1; }
  fi
  cmake --build "$dir" -j "$JOBS" >"$dir.build.log" 2>&1 || {
    grep -E -B2 -A8 'error|Error' "$dir.build.log" | head -80 >&2; return 1; }
}

# The release's version, as the CMake project states it (its one place).
wex_version() { sed -n 's/^project(Wexlo VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt"; }

build_native() { mkdir -p "$BUILD"; configure_and_build "$BUILD/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo; }
build_asan() { mkdir -p "$BUILD"; configure_and_build "$BUILD/asan" -DCMAKE_BUILD_TYPE=Debug -DWEX_SANITIZE=ON; }
build_fuzz() {
  mkdir -p "$BUILD"
  configure_and_build "$BUILD/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEX_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
}
# The deliverables are 32-bit (win32). The 64-bit build (win64) of the same
# sources is what the Wine suite runs on machines whose kernel cannot execute
# 32-bit code (see wine_setup).
build_windows() {
  mkdir -p "$BUILD"
  local arch
  for arch in "$@"; do
    local tc=i686; [ "$arch" = win64 ] && tc=x86_64
    configure_and_build "$BUILD/$arch" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-$tc.cmake" || return 1
  done
}

# Picks the Wine flavour this machine can run: the 32-bit one where the kernel
# executes i386 code, else the 64-bit one. Sets WEX_WIN_ARCH, WINEARCH, WINE,
# WINESERVER. A kernel booted with 32-bit emulation off refuses wine32 with
# "Exec format error", which is what the probe below detects.
wine_select() {
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  if [ -z "${WEX_WIN_ARCH:-}" ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then WEX_WIN_ARCH=win32; else WEX_WIN_ARCH=win64; fi
  fi
  export WEX_WIN_ARCH
  if [ "$WEX_WIN_ARCH" = win32 ]; then
    export WINEARCH=win32 WINE=/usr/lib/wine/wine
    export WINESERVER=/usr/lib/wine/wineserver32
    [ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver
  else
    export WINEARCH=win64 WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
  fi
}

# wine_prefix <dir> [fresh]: makes (or reuses) a prefix and exports WINEPREFIX.
wine_prefix() {
  local dir fresh="${2:-}"
  dir="$(realpath -m "$1")"
  if [ -n "$fresh" ] && [ -d "$dir" ]; then
    WINEPREFIX="$dir" "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$dir"
  fi
  export WINEPREFIX="$dir"
  if [ ! -f "$dir/system.reg" ]; then
    mkdir -p "$dir"
    "$WINE" wineboot -i >"$dir.boot.log" 2>&1 || { cat "$dir.boot.log" >&2; return 1; }
    "$WINESERVER" -w
  fi
}

wine_stop() { [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k >/dev/null 2>&1 || true; }

# Windows form of a host path, through Wine's Z: drive.
winpath() { printf 'Z:%s' "$(realpath -m "$1" | sed 's|/|\\|g')"; }

# wine_script <script> <folder>: writes the suite script as cscript runs it,
# the shared preamble of its language first (cscript has no include), into
# folder and prints the copy's path.
wine_script() {
  local copy="$2/$(basename "$1")" preamble="$ROOT/tests/wine/scripts/preamble/preamble.${1##*.}"
  mkdir -p "$2"
  cat "$preamble" "$1" >"$copy" && echo "$copy"
}

# A free TCP port on 127.0.0.1.
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# http_fixture_start <root> [log]: starts tests/support/http_fixture.py on
# 127.0.0.1 serving <root> and returns once it listens, with HTTP_PID and
# HTTP_PORT set. The caller stops it (kill "$HTTP_PID").
http_fixture_start() {
  local fifo
  fifo="$(mktemp -u)"
  mkfifo "$fifo"
  python3 "$ROOT/tests/support/http_fixture.py" --root "$1" >"$fifo" 2>"${2:-/dev/null}" &
  HTTP_PID=$!
  read -r HTTP_PORT <"$fifo"
  rm -f "$fifo"
}

# tls_certificates <dir>: the test certificate authority (ca.pem) and the
# server certificates made with it (localhost.pem for localhost and
# 127.0.0.1, with server.key; expired.pem, wrongname.pem, untrusted.pem),
# made once into <dir>. Nothing trusts the CA unless told: the tests trust it
# through their own trust file, the Wine prefixes through wine_trust_test_ca.
tls_certificates() { "$ROOT/tests/support/make_test_ca.sh" "$1"; }

# wine_trust_test_ca <arch dir> <ca.pem>: the current WINEPREFIX trusts the
# CA (the local machine's Root store), through the tool the Windows build makes.
wine_trust_test_ca() {
  "$WINE" "$1/tools/trust_test_ca.exe" "$(winpath "$2")"
}

# tls_fixture_start <root> <cert dir> <certificate file> [--silent|--plain|--trickle N]:
# starts tests/support/tls_fixture.py on 127.0.0.1 and returns once it
# listens, with TLS_PID and TLS_PORT set. The caller stops it.
tls_fixture_start() {
  local root="$1" dir="$2" cert="$3" fifo; shift 3
  fifo="$(mktemp -u)"
  mkfifo "$fifo"
  python3 "$ROOT/tests/support/tls_fixture.py" --root "$root" --cert "$dir/$cert" \
    --key "$dir/server.key" "$@" >"$fifo" 2>/dev/null &
  TLS_PID=$!
  read -r TLS_PORT <"$fifo"
  rm -f "$fifo"
}
