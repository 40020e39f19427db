#!/usr/bin/env bash
# Checks scripts/sign.sh end to end with a throwaway certificate.
#
#   scripts/check-signing.sh [--exe EXE] [--fixtures DIR] [--prefix DIR]
#                            [--work DIR] [--no-e2e]
#
#   --exe       the exe to sign a copy of           (default dist/molk2014.exe)
#   --fixtures  the end-to-end helper programs       (default build/win32/tests)
#   --prefix    the Wine prefix to run the signed copy in
#                                               (default build/win32/wineprefix)
#   --work      folder for the end-to-end run     (default build/win32/release-signing)
#   --no-e2e    leave out the run under Wine
#
# In a temporary folder it makes a self-signed code-signing certificate (RSA
# key, extended key usage codeSigning) and a password-protected PFX of it,
# then checks that
#   * without a certificate sign.sh signs nothing and says so once;
#   * sign.sh signs a copy (SHA-256, description, URL) into a separate file,
#     leaving the unsigned file as it was;
#   * the password reached osslsigncode through a pipe: not on its command
#     line, not in its environment, not in any file;
#   * osslsigncode verify, trusting the throwaway certificate, finds one
#     signature whose message digest matches the file, with the description
#     and URL; the unsigned file has no signature; a copy changed after
#     signing and a wrong password both fail;
#   * removing the signature gives back the unsigned bytes, and --in-place
#     signs in place;
#   * the signed copy passes tests/check_pe.py and, under Wine, still starts
#     the runtime from a folder with blanks (one end-to-end test).
# No time-stamp server is used (none is reachable offline).
# Prints one line per check and exits 1 if any failed.
set -uo pipefail

readonly PROG=check-signing
root=$(cd "$(dirname "$0")/.." && pwd)
readonly PYTHON=/usr/bin/python3  # Debian's, with python3-pefile

exe=$root/dist/molk2014.exe
fixtures=$root/build/win32/tests
prefix=$root/build/win32/wineprefix
work=$root/build/win32/release-signing
e2e=1
while (($#)); do
  case $1 in
    --exe) exe=${2:?}; shift 2 ;;
    --fixtures) fixtures=${2:?}; shift 2 ;;
    --prefix) prefix=${2:?}; shift 2 ;;
    --work) work=${2:?}; shift 2 ;;
    --no-e2e) e2e=0; shift ;;
    -h|--help) sed -n '2,/^set -uo/{/^set -uo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) printf '%s: unknown argument %s (see --help)\n' "$PROG" "$1" >&2; exit 2 ;;
  esac
done

passed=0
failed=0
ok() { passed=$((passed + 1)); printf '%s: ok: %s\n' "$PROG" "$*"; }
fail() { failed=$((failed + 1)); printf '%s: FAIL: %s\n' "$PROG" "$*"; }
die() { printf '%s: error: %s\n' "$PROG" "$*" >&2; exit 1; }
# check DESCRIPTION COMMAND...: a check that passes when COMMAND succeeds.
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else fail "$what"; fi
}
# The conditions the checks are made of.
has_lines() {  # file, fixed lines...
  local file=$1 line
  shift
  for line; do grep -qxF -e "$line" "$file" || return 1; done
}
has_text() {  # file, patterns...
  local file=$1 pattern
  shift
  for pattern; do grep -q -e "$pattern" "$file" || return 1; done
}
nowhere() {  # text, files or folders...
  ! grep -rqF -e "$1" "${@:2}"
}
failed_saying() {  # exit code, pattern, output file
  (($1 != 0)) && grep -q -e "$2" "$3"
}

for tool in osslsigncode openssl sha256sum "$PYTHON"; do
  command -v "$tool" >/dev/null || die "$tool not found (scripts/install-deps.sh release)"
done
[[ -f $exe ]] || die "no such file: $exe (build it first)"
real_osslsigncode=$(command -v osslsigncode)

tmp=$(mktemp -d "${TMPDIR:-/tmp}/molk-sign.XXXXXX")
trap 'rm -rf -- "$tmp"' EXIT
t0=$SECONDS

# --- a throwaway certificate ------------------------------------------------

# The password lives in this shell and in the environment of the two commands
# that need it, never in a file.
password="throwaway $(openssl rand -hex 12)"
openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -nodes \
    -keyout "$tmp/key.pem" -out "$tmp/cert.pem" \
    -subj "/CN=molk2014 throwaway test signer" \
    -addext "extendedKeyUsage=codeSigning" \
    -addext "keyUsage=critical,digitalSignature" >"$tmp/openssl.log" 2>&1 \
  || { cat "$tmp/openssl.log" >&2; die "openssl could not make the test certificate"; }
MOLK_TEST_PFX_PASSWORD=$password openssl pkcs12 -export \
    -inkey "$tmp/key.pem" -in "$tmp/cert.pem" -name "molk2014 test" \
    -out "$tmp/cert.pfx" -passout env:MOLK_TEST_PFX_PASSWORD >>"$tmp/openssl.log" 2>&1 \
  || { cat "$tmp/openssl.log" >&2; die "openssl could not make the test PFX"; }
rm -f "$tmp/key.pem"  # from here on the key exists only inside the PFX
ok "throwaway certificate with codeSigning usage and a password-protected PFX"

# --- osslsigncode, watched --------------------------------------------------

# A stand-in first on PATH writes down how sign.sh called osslsigncode (its
# arguments, whether its password file was a pipe or a file, whether the
# password was in its environment) and then runs the real one.
mkdir "$tmp/watch"
cat >"$tmp/watch/osslsigncode" <<EOF
#!/usr/bin/env bash
log=$tmp/osslsigncode-calls.log
printf 'argument: %s\n' "\$@" >>"\$log"
args=("\$@")
for ((i = 0; i < \${#args[@]}; i++)); do
  if [[ \${args[i]} == -readpass ]]; then
    f=\${args[i + 1]}
    if [[ -p \$f ]]; then echo "readpass: pipe \$f" >>"\$log"
    elif [[ -f \$f ]]; then echo "readpass: regular file \$f" >>"\$log"
    else echo "readpass: other \$f" >>"\$log"; fi
  fi
done
env | sed 's/^/environment: /' >>"\$log"
exec $real_osslsigncode "\$@"
EOF
chmod +x "$tmp/watch/osslsigncode"

unsigned=$tmp/molk2014.exe
cp "$exe" "$unsigned"
exe_hash=$(sha256sum "$exe" | cut -d' ' -f1)
unsigned_hash=$(sha256sum "$unsigned" | cut -d' ' -f1)
signed=$tmp/molk2014-signed.exe
url=https://example.invalid/molk2014
description="molk2014 test build"

# --- without a certificate ----------------------------------------------------

out=$(env -u MOLK_SIGN_PFX -u MOLK_SIGN_PASSWORD PATH="$tmp/watch:$PATH" \
      "$root/scripts/sign.sh" "$unsigned" 2>&1)
code=$?
check "without a certificate: exit 0" test "$code" -eq 0
check "without a certificate: one line saying it is left unsigned" \
  test "$(printf '%s\n' "$out" | grep -c .)" -eq 1 -a -n "$(printf '%s' "$out" | grep 'left unsigned')"
check "without a certificate: nothing signed, osslsigncode not run" \
  test ! -e "$signed" -a ! -e "$tmp/osslsigncode-calls.log"

# --- signing a copy -----------------------------------------------------------

out=$(MOLK_SIGN_PFX=$tmp/cert.pfx MOLK_SIGN_PASSWORD=$password \
      MOLK_SIGN_URL=$url MOLK_SIGN_DESCRIPTION=$description \
      PATH="$tmp/watch:$PATH" "$root/scripts/sign.sh" "$unsigned" 2>&1)
code=$?
printf '%s\n' "$out" | sed 's/^/  /'
check "sign.sh exits 0" test "$code" -eq 0
check "signed copy written next to the input as molk2014-signed.exe" test -f "$signed"
check "unsigned input left as it was" \
  test "$(sha256sum "$unsigned" | cut -d' ' -f1)" = "$unsigned_hash"
check "the build's own exe left as it was" \
  test "$(sha256sum "$exe" | cut -d' ' -f1)" = "$exe_hash"

calls=$tmp/osslsigncode-calls.log
check "osslsigncode called with -h sha256, the description and URL" \
  has_lines "$calls" "argument: -h" "argument: sha256" \
    "argument: -n" "argument: $description" "argument: -i" "argument: $url"
check "password read from a pipe" has_text "$calls" '^readpass: pipe /dev/fd/'
check "password not in osslsigncode's arguments or environment" nowhere "$password" "$calls"
check "password in no file left behind" nowhere "$password" "$tmp" "$(dirname "$exe")"

# --- verification ---------------------------------------------------------------

verify() {  # file, output
  osslsigncode verify -in "$1" -CAfile "$tmp/cert.pem" >"$2" 2>&1
}
verify "$signed" "$tmp/verify.log"
code=$?
sed 's/^/  | /' "$tmp/verify.log"
check "osslsigncode verify succeeds, trusting the test certificate" test "$code" -eq 0
digest() {  # label, log
  sed -n "s/^$1 *: *\([0-9A-Fa-f]*\).*/\1/p" "$2" | head -n 1
}
current=$(digest "Current message digest" "$tmp/verify.log")
calculated=$(digest "Calculated message digest" "$tmp/verify.log")
check "message digest in the signature matches the file's ($calculated)" \
  test -n "$current" -a "$current" = "$calculated"
check "SHA-256 digest" grep -q "^Message digest algorithm *: *SHA256" "$tmp/verify.log"
check "one signature, by the test certificate" has_text "$tmp/verify.log" \
  "^Number of verified signatures: 1" "Subject: /CN=molk2014 throwaway test signer"
check "signature verification ok" has_text "$tmp/verify.log" "^Signature verification: ok"
check "description and URL in the signature" has_text "$tmp/verify.log" \
  "Text description: $description\$" "URL description: $url\$"

verify "$unsigned" "$tmp/verify-unsigned.log"
code=$?
check "unsigned file: verify fails, no signature found" \
  failed_saying "$code" "No signature found" "$tmp/verify-unsigned.log"

# One byte of code changed after signing.
tampered=$tmp/tampered.exe
cp "$signed" "$tampered"
text_offset=$("$PYTHON" -c 'import pefile, sys
pe = pefile.PE(sys.argv[1], fast_load=True)
text = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".text")
print(text.PointerToRawData + 16)' "$tampered")
byte=$(od -An -tu1 -j "$text_offset" -N1 "$tampered" | tr -d ' ')
printf '%b' "\\$(printf '%03o' $(((byte + 1) % 256)))" \
  | dd of="$tampered" bs=1 seek="$text_offset" conv=notrunc status=none
verify "$tampered" "$tmp/verify-tampered.log"
code=$?
check "copy changed after signing: verify fails on the digest" \
  failed_saying "$code" "MISMATCH" "$tmp/verify-tampered.log"

MOLK_SIGN_PFX=$tmp/cert.pfx MOLK_SIGN_PASSWORD="not the password" \
  "$root/scripts/sign.sh" "$unsigned" -o "$tmp/wrong-password.exe" >"$tmp/wrong.log" 2>&1
code=$?
check "wrong password: sign.sh fails, saying so" failed_saying "$code" "could not sign" "$tmp/wrong.log"
check "wrong password: no file written" \
  test ! -e "$tmp/wrong-password.exe" -a -z "$(find "$tmp" -name '.wrong-password.exe.*')"

# osslsigncode fills in the PE checksum; a linker that leaves it 0 (lld) gets
# a checksum back with the unsigned bytes, which is the only difference
# allowed.
same_but_checksum() {  # unsigned, unsigned-again
  "$PYTHON" - "$1" "$2" <<'PY'
import sys, pefile
a, b = (open(name, "rb").read() for name in sys.argv[1:])
pe = pefile.PE(data=a, fast_load=True)
at = pe.OPTIONAL_HEADER.get_field_absolute_offset("CheckSum")
if pe.OPTIONAL_HEADER.CheckSum == 0:
    b = b[:at] + bytes(4) + b[at + 4:]
sys.exit(0 if a == b else 1)
PY
}
osslsigncode remove-signature -in "$signed" -out "$tmp/unsigned-again.exe" >/dev/null 2>&1
check "removing the signature gives back the unsigned bytes" \
  same_but_checksum "$unsigned" "$tmp/unsigned-again.exe"

cp "$unsigned" "$tmp/in-place.exe"
MOLK_SIGN_PFX=$tmp/cert.pfx MOLK_SIGN_PASSWORD=$password \
  "$root/scripts/sign.sh" --in-place "$tmp/in-place.exe" >/dev/null 2>&1
code=$?
verify "$tmp/in-place.exe" "$tmp/verify-in-place.log"
verified=$?
check "--in-place signs the file itself" \
  test "$code" -eq 0 -a "$verified" -eq 0 -a ! -e "$tmp/in-place-signed.exe"

# --- the signed copy as Windows sees it -------------------------------------------

if "$PYTHON" "$root/tests/check_pe.py" "$signed" >"$tmp/check_pe.log" 2>&1; then
  ok "signed copy passes tests/check_pe.py"
else
  sed 's/^/  /' "$tmp/check_pe.log"
  fail "signed copy passes tests/check_pe.py"
fi

if ((e2e)); then
  # Kept in the build tree (not $tmp) so a failure can be looked at.
  rm -rf -- "$work"
  mkdir -p "$work"
  cp "$signed" "$work/molk2014-signed.exe"
  t1=$SECONDS
  if "$PYTHON" "$root/tests/e2e/run_e2e.py" --exe "$work/molk2014-signed.exe" \
      --fixtures "$fixtures" --prefix "$prefix" --work "$work/e2e" \
      LocalRuntime.test_folder_with_blanks_hidden_and_waited_for >"$work/e2e.log" 2>&1; then
    ok "signed copy starts the runtime under Wine ($((SECONDS - t1)) s; log $work/e2e.log)"
  else
    sed 's/^/  /' "$work/e2e.log"
    fail "signed copy starts the runtime under Wine (log $work/e2e.log)"
  fi
fi

printf '%s: unsigned %s bytes, signed %s bytes; %d passed, %d failed (%d s)\n' "$PROG" \
  "$(stat -c %s "$unsigned")" "$(stat -c %s "$signed" 2>/dev/null || echo '?')" \
  "$passed" "$failed" "$((SECONDS - t0))"
((failed == 0))
