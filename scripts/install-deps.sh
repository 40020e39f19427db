#!/usr/bin/env bash
# Install the Debian packages this project needs, by group.
#
#   scripts/install-deps.sh [GROUP...]      (no GROUP = all groups)
#
#   build    cross compiler (mingw-w64, i686, win32 thread model), cmake,
#            ninja, googletest, clang/lld/clang-format, llvm (llvm-windres
#            for the clang build), python3-pefile
#   e2e      Wine (64-bit plus the 32-bit i386 half), qemu-user-static from
#            bookworm-backports, Xvfb, xdotool, ImageMagick, procps
#   checks   clang-tidy, cppcheck, clang's runtime (libFuzzer, sanitizers)
#   release  osslsigncode, openssl
#
# Idempotent: when every requested package is present it only asks dpkg and
# exits; apt runs only when something is missing.  Must run as root.
#
# apt runs against a private copy of the system's sources (under
# $INSTALL_DEPS_STATE_DIR, default /var/lib/molk2014-apt):
#   * the security suite is left out: once i386 is enabled its i386 index can
#     be missing on the mirror, and then `apt-get update` fails for everything;
#   * a <codename>-backports source is added with the same URIs, components
#     and keyring as the main suite, because bookworm's qemu 7.2 needs ~50 s
#     to start each emulated 32-bit process where backports' qemu 10 needs
#     ~0.5 s (this matters only on hosts that cannot run i386 code natively,
#     see wine-env.sh);
#   * the copy has its own lists directory, so the system's apt state and its
#     sources files are never touched.
# Files whose names do not end in .list/.sources (e.g. *.disabled-by-farm)
# are ignored, exactly as apt itself ignores them.

set -euo pipefail

readonly PROG=install-deps
readonly STATE_DIR=${INSTALL_DEPS_STATE_DIR:-/var/lib/molk2014-apt}
readonly ALL_GROUPS=(build e2e checks release)

log() { printf '%s: %s\n' "$PROG" "$*"; }
die() { printf '%s: error: %s\n' "$PROG" "$*" >&2; exit 1; }

# Oldest qemu-user-static that starts 32-bit processes quickly enough.
readonly QEMU_MIN_VERSION=1:8.0

group_packages() {
  case $1 in
    build)
      echo cmake ninja-build g++ g++-mingw-w64-i686-win32 llvm \
           libgtest-dev libgmock-dev googletest python3-pefile \
           clang lld clang-format ;;
    # imagemagick: `import -window root shot.png` saves an Xvfb screen.
    # x11-utils: xwininfo/xprop, handy when looking for a window by hand.
    # xauth: xvfb-run needs it and it is only a Recommends of xvfb.
    # fonts-liberation / fonts-wine: without a usable font Wine draws dialogs
    # with empty labels, which makes screenshots useless.
    e2e)
      echo wine wine64 wine32:i386 qemu-user-static \
           xvfb xauth xdotool x11-utils imagemagick procps \
           fonts-wine fonts-liberation ;;
    checks)
      echo clang-tidy cppcheck libclang-rt-14-dev ;;
    release)
      echo osslsigncode openssl ;;
    *) return 1 ;;
  esac
}

# "ii" in dpkg's abbreviated status means installed and configured.
is_installed() {
  local status
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null) || return 1
  [[ $status == ii* ]]
}

installed_version() {
  dpkg-query -W -f='${Version}' "$1" 2>/dev/null
}

qemu_is_recent() {
  local v
  is_installed qemu-user-static || return 1
  v=$(installed_version qemu-user-static) || return 1
  dpkg --compare-versions "$v" ge "$QEMU_MIN_VERSION"
}

codename() {
  local c=
  # shellcheck disable=SC1091
  c=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [[ -n $c ]] || die "cannot read VERSION_CODENAME from /etc/os-release"
  echo "$c"
}

# --- private copy of the apt sources ---------------------------------------

# deb822 (*.sources): drop security suites (and stanzas left without a
# suite); remember one enabled stanza carrying the plain codename suite so a
# backports stanza can be cloned from it.  Continuation lines (leading
# blank) belong to the field above them and are copied through.
filter_deb822() {  # file codename backports_out
  awk -v codename="$2" -v bpo_out="$3" '
    function flush(   i, n, kept, s, line, out, had_suites) {
      if (nlines == 0) return
      out = ""; had_suites = 0
      for (i = 1; i <= nlines; i++) {
        line = lines[i]
        if (line ~ /^[Ss]uites:/) {
          had_suites = 1
          n = split(substr(line, index(line, ":") + 1), s, /[ \t]+/)
          kept = ""
          for (j = 1; j <= n; j++) {
            if (s[j] == "" || s[j] ~ /-security$/ || s[j] ~ /\/updates$/) continue
            kept = kept " " s[j]
            if (s[j] == codename) has_main = 1
            if (s[j] == codename "-backports") has_bpo = 1
          }
          if (kept == "") { nlines = 0; has_main = 0; disabled = 0; return }
          line = "Suites:" kept
        }
        if (line ~ /^[Uu][Rr][Ii][Ss]:.*debian-security/) { nlines = 0; has_main = 0; disabled = 0; return }
        if (line ~ /^[Ee]nabled:[ \t]*[Nn]o/) disabled = 1
        out = out line "\n"
      }
      printf "%s\n", out
      if (has_main && !disabled && template == "") {
        # Clone the stanza for backports: same URIs, components, keyring.
        template = ""
        for (i = 1; i <= nlines; i++) {
          line = lines[i]
          if (line ~ /^#/) continue
          if (line ~ /^[Ss]uites:/) line = "Suites: " codename "-backports"
          template = template line "\n"
        }
      }
      nlines = 0; has_main = 0; disabled = 0
    }
    /^[ \t]*$/ { flush(); next }
    { lines[++nlines] = $0 }
    END {
      flush()
      if (template != "") printf "%s", template > bpo_out
      if (has_bpo) printf "present\n" > (bpo_out ".present")
    }
  ' "$1"
}

# One-line format (*.list, sources.list): the same filtering, line by line.
filter_oneline() {  # file codename backports_out
  awk -v codename="$2" -v bpo_out="$3" '
    /^[ \t]*(#|$)/ { print; next }
    {
      # Fields: type [options] uri suite components...
      n = split($0, f, /[ \t]+/)
      i = 2
      if (f[i] ~ /^\[/) { while (i <= n && f[i] !~ /\]$/) i++; i++ }
      uri = f[i]; suite = f[i + 1]
      if (suite ~ /-security$/ || suite ~ /\/updates$/ || uri ~ /debian-security/) next
      if (suite == codename "-backports") printf "present\n" > (bpo_out ".present")
      print
      if (suite == codename && f[1] == "deb" && !done) {
        line = $0
        sub("[ \t]" codename "([ \t]|$)", " " codename "-backports ", line)
        printf "%s\n", line > bpo_out
        done = 1
      }
    }
  ' "$1"
}

prepare_sources() {
  local cn=$1 parts=$STATE_DIR/sources.list.d f base bpo
  log "preparing private apt sources in $parts"
  rm -rf "$parts" "$STATE_DIR/tmp"
  mkdir -p "$parts" "$STATE_DIR/tmp" "$STATE_DIR/lists/partial"
  bpo=$STATE_DIR/tmp/backports

  if [[ -f /etc/apt/sources.list ]]; then
    filter_oneline /etc/apt/sources.list "$cn" "$bpo.list" \
      >"$parts/00-sources.list"
  fi
  shopt -s nullglob
  for f in /etc/apt/sources.list.d/*.list; do
    base=$(basename "$f")
    filter_oneline "$f" "$cn" "$bpo.list" >"$parts/$base"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    base=$(basename "$f")
    filter_deb822 "$f" "$cn" "$bpo.sources" >"$parts/$base"
  done
  shopt -u nullglob

  if [[ -e $bpo.list.present || -e $bpo.sources.present ]]; then
    log "system sources already carry $cn-backports"
  elif [[ -s $bpo.sources ]]; then
    cp "$bpo.sources" "$parts/zz-$cn-backports.sources"
  elif [[ -s $bpo.list ]]; then
    cp "$bpo.list" "$parts/zz-$cn-backports.list"
  else
    die "no enabled '$cn' source found to derive $cn-backports from"
  fi
}

APT_OPTS=()
apt_private() {
  DEBIAN_FRONTEND=noninteractive apt-get "${APT_OPTS[@]}" "$@"
}

apt_update() {
  local try
  for try in 1 2 3; do
    log "apt-get update (attempt $try)"
    # --error-on=any: a half-failed update would leave stale or missing
    # indexes behind and make the install fail later for an unclear reason.
    if apt_private update -q --error-on=any \
        >"$STATE_DIR/update.log" 2>&1; then
      return 0
    fi
    sleep $((try * 5))
  done
  tail -n 20 "$STATE_DIR/update.log" >&2
  die "apt-get update failed (full log: $STATE_DIR/update.log)"
}

# apt's own output goes to a log; it is shown only when the step fails.
apt_install() {
  local log=$STATE_DIR/install.log
  if ! apt_private install -y -q "$@" >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    die "apt-get install $* failed (full log: $log)"
  fi
  grep -E '^[0-9]+ upgraded, ' "$log" | sed "s/^/$PROG:   /" || true
}

# --- main --------------------------------------------------------------------

main() {
  local groups=("$@") g pkgs=() missing=() p need_i386=0 need_qemu=0
  ((${#groups[@]})) || groups=("${ALL_GROUPS[@]}")
  for g in "${groups[@]}"; do
    group_packages "$g" >/dev/null \
      || die "unknown group '$g' (known: ${ALL_GROUPS[*]})"
    # shellcheck disable=SC2207
    pkgs+=($(group_packages "$g"))
  done

  for p in "${pkgs[@]}"; do
    [[ $p == *:i386 ]] && need_i386=1
    if [[ $p == qemu-user-static ]]; then
      qemu_is_recent || need_qemu=1
      continue
    fi
    is_installed "$p" || missing+=("$p")
  done

  local have_i386=0
  dpkg --print-foreign-architectures | grep -qx i386 && have_i386=1

  if ((${#missing[@]} == 0 && need_qemu == 0 && (need_i386 == 0 || have_i386 == 1))); then
    log "all packages present (${groups[*]})"
  else
    ((EUID == 0)) || die "must run as root to install: ${missing[*]}"
    if ((need_i386 && !have_i386)); then
      log "enabling the i386 architecture"
      dpkg --add-architecture i386 || die "dpkg --add-architecture i386 failed"
    fi

    local cn
    cn=$(codename)
    mkdir -p "$STATE_DIR"
    prepare_sources "$cn"
    APT_OPTS=(
      -o "Dir::Etc::SourceList=/dev/null"
      -o "Dir::Etc::SourceParts=$STATE_DIR/sources.list.d"
      -o "Dir::State::Lists=$STATE_DIR/lists"
      -o "DPkg::Lock::Timeout=600"
      -o "Acquire::Retries=3"
      -o "Dpkg::Options::=--force-confdef"
      -o "Dpkg::Options::=--force-confold"
    )
    apt_update

    if ((${#missing[@]})); then
      log "installing: ${missing[*]}"
      apt_install --no-install-recommends "${missing[@]}"
    fi
    if ((need_qemu)); then
      log "installing qemu-user-static from $cn-backports"
      apt_install --no-install-recommends -t "$cn-backports" qemu-user-static
      qemu_is_recent \
        || die "qemu-user-static $(installed_version qemu-user-static) is older than $QEMU_MIN_VERSION"
    fi
  fi

  for g in "${groups[@]}"; do
    [[ $g == build ]] && check_mingw
  done
  log "done"
}

# The project builds with the win32 thread model (no winpthread DLL to ship).
# Debian installs the compilers as i686-w64-mingw32-{gcc,g++}-win32 and points
# the unsuffixed names at them through alternatives; if the -posix variant is
# also installed the unsuffixed names may point there, so pin them.
check_mingw() {
  local tool target current
  for tool in gcc g++; do
    target=/usr/bin/i686-w64-mingw32-$tool-win32
    [[ -x $target ]] || die "$target missing after install"
    current=$(readlink -f "/usr/bin/i686-w64-mingw32-$tool" 2>/dev/null || true)
    if [[ $current != "$(readlink -f "$target")" ]]; then
      log "pointing i686-w64-mingw32-$tool at the win32 variant"
      update-alternatives --quiet --set "i686-w64-mingw32-$tool" "$target" \
        || die "update-alternatives --set i686-w64-mingw32-$tool failed"
    fi
  done
  log "mingw: i686-w64-mingw32-g++ -> $(readlink -f /usr/bin/i686-w64-mingw32-g++)"
}

main "$@"
