#!/usr/bin/env bash
# The release's files, checked without running them:
#   - one version: the CMake project's reaches both binaries' version
#     resources (both kinds) and the installer packages' ProductVersion;
#   - each package's Registry table is the registration plan, row for row
#     (the generator's expected rows against msiinfo's export), its entries
#     under the per-machine-or-per-user root, and its upgrade rules;
#   - signing: a test code-signing certificate from a test CA signs every
#     binary and a package; osslsigncode accepts each against that CA and
#     refuses a copy with one byte changed.
# Needs the win32 and win64 builds and the native one (the generator). One
# PASS or FAIL line per check.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
source "$ROOT/scripts/lib.sh"

WORK="$WEX_SCRATCH_HOST/release_files"
rm -rf "$WORK"; mkdir -p "$WORK"
VERSION="$(wex_version)"
GENERATOR="$BUILD/native/packaging/msi/wex_msi_registry"
check() {  # check <name> <command...>
  local name="$1"; shift
  if "$@" >>"$WORK/checks.log" 2>&1; then echo "PASS $name"; else echo "FAIL $name"; fi
}
for needed in "$BUILD/win32/bin/Wexlo.exe" "$BUILD/win64/bin/Velmora.dll" "$GENERATOR"; do
  [ -e "$needed" ] || { echo "FAIL release_files_builds: $needed is missing"; exit 1; }
done

# The release's layout, as scripts/package stages it.
STAGE="$WORK/stage"
mkdir -p "$STAGE/x86" "$STAGE/x64"
cp "$BUILD/win32/bin/Wexlo.exe" "$BUILD/win32/server/wexlo.tlb" "$STAGE/"
cp "$BUILD/win32/bin/Velmora.dll" "$BUILD/win32/dialogs/velmora.tlb" "$STAGE/x86/"
cp "$BUILD/win64/bin/Velmora.dll" "$BUILD/win64/dialogs/velmora.tlb" "$STAGE/x64/"
cp "$ROOT/README.md" "$ROOT/LICENSE" "$ROOT/docs/guide.md" "$STAGE/"

# The version block's strings are UTF-16: "FileVersion" then the version.
has_version() { strings -el "$1" | grep -A1 -x 'FileVersion' | grep -qx "$VERSION"; }
for file in Wexlo.exe x86/Velmora.dll x64/Velmora.dll; do
  check "version_resource_${file//\//_}" has_version "$STAGE/$file"
done

# table_rows <msi>: the Registry table without its row ids, sorted.
table_rows() { msiinfo export "$1" Registry | tail -n +4 | cut -f2- | tr -d '\r' | sort; }
# plan_rows <platform>: what the generator says the table must hold.
plan_rows() {
  {
    "$GENERATOR" downloader 32 WexloExe Wexlo.exe 0 INSTALLDIR Server rows
    "$GENERATOR" browser 32 VelmoraDll32 Velmora.dll 0 X86DIR Browser32 rows
    if [ "$1" = x64 ]; then
      "$GENERATOR" downloader 64 WexloExe Wexlo.exe 0 INSTALLDIR Server64 rows
      "$GENERATOR" browser 64 VelmoraDll64 Velmora.dll 1 X64DIR Browser64 rows
    fi
  } | sort
}
property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v p="$2" '$1 == p {print $2}'; }
for platform in x64 x86; do
  msi="$WORK/wexlo-$VERSION-$platform.msi"
  if ! "$ROOT/packaging/msi/build_msi.sh" "$platform" "$VERSION" "$STAGE" "$msi" "$GENERATOR" \
      >"$WORK/build-$platform.log" 2>&1; then
    echo "FAIL msi_builds_$platform"; continue
  fi
  check "msi_registry_is_the_plan_$platform" diff <(table_rows "$msi") <(plan_rows "$platform")
  check "msi_product_version_$platform" test "$(property "$msi" ProductVersion)" = "$VERSION"
  # Per machine unless MSIINSTALLPERUSER=1 asks for the user: the dual form.
  check "msi_dual_purpose_$platform" test "$(property "$msi" ALLUSERS)" = 2
  check "msi_upgrade_code_$platform" test "$(property "$msi" UpgradeCode)" = \
    '{D3CFD56B-FAC6-450F-AB24-3AD289775D00}'
  check "msi_refuses_downgrade_$platform" \
    grep -q 'NOT WIX_DOWNGRADE_DETECTED.*A newer version' <(msiinfo export "$msi" LaunchCondition)
  check "msi_runs_no_program_$platform" test -z "$(msiinfo export "$msi" CustomAction | tail -n +4)"
done

# Signing with a test code-signing certificate from a test CA.
SIGN="$WORK/sign"
mkdir -p "$SIGN"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$SIGN/ca.key" -out "$SIGN/ca.pem" -days 30 \
  -subj "/CN=Wexlo Test Signing CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -new -newkey rsa:2048 -nodes -keyout "$SIGN/signer.key" -out "$SIGN/signer.csr" \
  -subj "/CN=Quarnet Test Code Signing" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
  >"$SIGN/signer.ext"
openssl x509 -req -in "$SIGN/signer.csr" -CA "$SIGN/ca.pem" -CAkey "$SIGN/ca.key" \
  -CAcreateserial -days 30 -extfile "$SIGN/signer.ext" -out "$SIGN/signer.pem" 2>/dev/null
echo "test-password" >"$SIGN/password"
openssl pkcs12 -export -inkey "$SIGN/signer.key" -in "$SIGN/signer.pem" -certfile "$SIGN/ca.pem" \
  -passout file:"$SIGN/password" -out "$SIGN/signer.pfx"
mkdir -p "$SIGN/files"
cp "$STAGE/Wexlo.exe" "$SIGN/files/Wexlo.exe"
cp "$STAGE/x86/Velmora.dll" "$SIGN/files/Velmora-x86.dll"
cp "$STAGE/x64/Velmora.dll" "$SIGN/files/Velmora-x64.dll"
cp "$WORK/wexlo-$VERSION-x64.msi" "$SIGN/files/wexlo-x64.msi"
cp "$WORK/wexlo-$VERSION-x86.msi" "$SIGN/files/wexlo-x86.msi"
verify() { osslsigncode verify -CAfile "$SIGN/ca.pem" -in "$1"; }
# One byte changed in the middle of the file.
tampered() {
  cp "$1" "$1.tampered"
  local at=$(( $(stat -c %s "$1") / 2 ))
  printf '\x5A' | dd of="$1.tampered" bs=1 seek="$at" conv=notrunc status=none
  ! verify "$1.tampered"
}
if WEX_SIGN_PFX="$SIGN/signer.pfx" WEX_SIGN_PASSWORD_FILE="$SIGN/password" \
    "$ROOT/packaging/sign.sh" "$SIGN"/files/* >"$WORK/sign.log" 2>&1; then
  for file in "$SIGN"/files/*; do
    name="$(basename "$file")"
    check "signed_$name" verify "$file"
    check "signature_refuses_a_changed_byte_$name" tampered "$file"
  done
else
  echo "FAIL signing"; cat "$WORK/sign.log"
fi
