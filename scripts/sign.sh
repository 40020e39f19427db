#!/usr/bin/env bash
# Signs the launcher with Authenticode (osslsigncode), when a certificate is
# given.
#
#   scripts/sign.sh [OPTIONS] [EXE]          EXE defaults to dist/molk2014.exe
#
#   --pfx FILE            PKCS#12 file with the code-signing certificate, its
#                         chain and private key            [$MOLK_SIGN_PFX]
#   --password-file FILE  read the PFX password from FILE (or a pipe, e.g.
#                         <(pass show molk/pfx))     [$MOLK_SIGN_PASSWORD_FILE]
#                         Without it: $MOLK_SIGN_PASSWORD, else a prompt on
#                         the terminal, else an empty password.
#   --timestamp URL       RFC 3161 time-stamp server   [$MOLK_SIGN_TIMESTAMP_URL]
#                         Without one the signature carries no time stamp and
#                         stops validating when the certificate expires.
#   --description TEXT    program name shown by Windows   [$MOLK_SIGN_DESCRIPTION,
#                         default "molk2014"]
#   --url URL             "more information" link         [$MOLK_SIGN_URL]
#   -o, --output FILE     where the signed exe goes (default: next to EXE, with
#                         -signed before .exe: dist/molk2014-signed.exe)
#   --in-place            replace EXE by its signed form instead
#
# Without a certificate nothing is signed: it says so once and exits 0, so a
# build can call it unconditionally.
#
# The unsigned dist/molk2014.exe is what the build reproduces byte for byte;
# by default it is left as it is and the signed copy is a separate file.
# Signing adds only the certificate table and sets the PE checksum:
# `osslsigncode remove-signature` gives back the unsigned bytes (with the
# checksum filled in where the linker left it 0, as lld does).
#
# The password never reaches a file or a command line: osslsigncode reads it
# with -readpass from a pipe (/dev/fd/N of a process substitution fed by the
# printf builtin, which runs no program), and MOLK_SIGN_PASSWORD is removed
# from osslsigncode's environment. -pass would show it in ps and
# /proc/PID/cmdline to every user of the machine.
set -euo pipefail

readonly PROG=sign
log() { printf '%s: %s\n' "$PROG" "$*"; }
die() { printf '%s: error: %s\n' "$PROG" "$*" >&2; exit 1; }

root=$(cd "$(dirname "$0")/.." && pwd)
exe=
output=
in_place=0
pfx=${MOLK_SIGN_PFX:-}
password_file=${MOLK_SIGN_PASSWORD_FILE:-}
timestamp=${MOLK_SIGN_TIMESTAMP_URL:-}
description=${MOLK_SIGN_DESCRIPTION:-molk2014}
url=${MOLK_SIGN_URL:-}

while (($#)); do
  case $1 in
    --pfx) pfx=${2:?--pfx needs a file}; shift 2 ;;
    --password-file) password_file=${2:?--password-file needs a file}; shift 2 ;;
    --timestamp) timestamp=${2:?--timestamp needs a URL}; shift 2 ;;
    --description) description=${2:?--description needs a text}; shift 2 ;;
    --url) url=${2:?--url needs a URL}; shift 2 ;;
    -o|--output) output=${2:?--output needs a file}; shift 2 ;;
    --in-place) in_place=1; shift ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    -*) die "unknown option '$1' (see --help)" ;;
    *) [[ -z $exe ]] || die "only one EXE can be signed at a time"; exe=$1; shift ;;
  esac
done

exe=${exe:-$root/dist/molk2014.exe}
[[ -f $exe ]] || die "no such file: $exe (build it first: cmake --build --preset win32)"
((in_place == 0)) || [[ -z $output ]] || die "--in-place and --output exclude each other"

if [[ -z $pfx ]]; then
  log "no certificate (MOLK_SIGN_PFX or --pfx): $exe left unsigned"
  exit 0
fi
[[ -r $pfx ]] || die "cannot read the certificate file $pfx"
command -v osslsigncode >/dev/null || die "osslsigncode not found (scripts/install-deps.sh release)"

# The password, held only in this shell's memory.
if [[ -n $password_file ]]; then
  [[ -r $password_file ]] || die "cannot read the password file $password_file"
  # Up to the first newline, as osslsigncode itself reads it.
  IFS= read -r password <"$password_file" || true
elif [[ -n ${MOLK_SIGN_PASSWORD+set} ]]; then
  password=$MOLK_SIGN_PASSWORD
elif [[ -t 0 ]]; then
  IFS= read -r -s -p "$PROG: password of $pfx: " password
  echo >&2
else
  password=
fi

if ((in_place)); then
  target=$exe
elif [[ -n $output ]]; then
  target=$output
else
  case $exe in
    *.exe) target=${exe%.exe}-signed.exe ;;
    *) target=$exe-signed ;;
  esac
fi
[[ $(realpath -m "$target") != "$(realpath "$exe")" || $in_place == 1 ]] \
  || die "the output would overwrite $exe; use --in-place for that"

unsigned_hash=$(sha256sum "$exe" | cut -d' ' -f1)
unsigned_size=$(stat -c %s "$exe")

# osslsigncode writes a new file; it lands next to the target and is renamed
# over it only when signing succeeded, so a failure never leaves half a file.
partial=$(mktemp "$(dirname "$target")/.$(basename "$target").XXXXXX")
output_log=$partial.log
trap 'rm -f -- "$partial" "$output_log"' EXIT
rm -f -- "$partial"  # osslsigncode creates it

args=(sign -pkcs12 "$pfx" -h sha256 -n "$description")
[[ -z $url ]] || args+=(-i "$url")
[[ -z $timestamp ]] || args+=(-ts "$timestamp")
args+=(-in "$exe" -out "$partial")

# osslsigncode cannot read an empty password from a file; a PFX without one
# needs no password argument at all.
if [[ -n $password ]]; then
  sign() {
    env -u MOLK_SIGN_PASSWORD osslsigncode "${args[@]}" -readpass <(printf '%s' "$password")
  }
else
  sign() { env -u MOLK_SIGN_PASSWORD osslsigncode "${args[@]}"; }
fi
if ! sign >"$output_log" 2>&1; then
  sed 's/^/  /' "$output_log" >&2
  die "osslsigncode could not sign $exe (wrong password? not a code-signing PFX?${timestamp:+ time-stamp server $timestamp unreachable?})"
fi
unset password
chmod --reference="$exe" "$partial"
mv -f -- "$partial" "$target"

if [[ -n $timestamp ]]; then
  log "signed $target (SHA-256, time stamp from $timestamp)"
else
  log "signed $target (SHA-256, no time stamp)"
fi
log "  unsigned: $unsigned_hash  $unsigned_size bytes"
log "  signed:   $(sha256sum "$target" | cut -d' ' -f1)  $(stat -c %s "$target") bytes"
