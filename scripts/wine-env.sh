#!/usr/bin/env bash
# Wine environment for running the project's 32-bit Windows programs.
#
# As a command:
#   scripts/wine-env.sh setup     PREFIX      make i386 code runnable, create
#                                             the Wine prefix (once), verify it
#   scripts/wine-env.sh start     PREFIX      start a persistent wineserver
#   scripts/wine-env.sh stop      PREFIX      stop it (and every Wine process
#                                             of PREFIX); flushes the registry
#   scripts/wine-env.sh run [OPTS] PREFIX EXE [ARGS...]
#                                             run a Windows program, exit with
#                                             its exit code
#   scripts/wine-env.sh print-env PREFIX      print `export VAR='value'` lines
#   scripts/wine-env.sh i386                  only the i386 part of `setup`
#
#   run options (before PREFIX):
#     --stdout FILE   write the program's stdout to FILE (kept)
#     --stderr FILE   write its stderr (and Wine's own messages) to FILE
#     --inherit       hand the caller's stdout/stderr straight to Wine
#   Without options the output goes to temporary files and is copied to
#   stdout/stderr once the program has exited (see "pipes" below).
#
# Sourced (`source scripts/wine-env.sh`), it only defines functions:
#   wine_env_setup PREFIX, wine_env_start PREFIX, wine_env_stop PREFIX,
#   wine_env_run [OPTS] PREFIX EXE [ARGS...], wine_env_print_env PREFIX,
#   wine_env_export PREFIX (exports the variables into the current shell),
#   wine_env_i386.
# They return non-zero on failure instead of exiting; every failure prints
# "wine-env: <step> failed: <why>" on stderr.
#
# Settings (environment):
#   WINEDEBUG          default -all (a caller's value is kept)
#   WINE_ENV_I386      auto (default) | qemu | native, see wine_env_i386
#
# Why it looks like this
# ----------------------
# * Some hosts cannot execute 32-bit x86 Linux programs at all (the kernel
#   has no IA-32 emulation; exec fails with "Exec format error").  Wine runs
#   a 32-bit .exe by starting its 32-bit loader /usr/lib/wine/wine (i386
#   ELF, package wine32:i386), so there Wine needs qemu-user to run the i386
#   half.  Wine's experimental "new WoW64" mode does not help on such a host.
#   qemu must come from bookworm-backports (qemu 10): bookworm's 7.2 needs
#   ~50 s to start each 32-bit process, 10 about half a second.  The i386
#   ELF format is handed to qemu through binfmt_misc with the F flag (the
#   kernel opens the interpreter once, at registration).  Hosts that run i386
#   natively keep the native path.
# * The prefix is 64-bit (WINEARCH=win64) and programs are started with the
#   64-bit loader; Wine switches to the 32-bit loader for a 32-bit .exe by
#   itself.  A 32-bit prefix does not come up under qemu, and one prefix
#   kind everywhere keeps hosts alike.  In that prefix a 32-bit program sees
#   the registry's 32-bit view (HKLM\Software\Wow6432Node) by default,
#   exactly like on 64-bit Windows; `reg ... /reg:32` writes there.
# * wineserver: Debian's /usr/bin/wineserver wrapper and the server that the
#   loader starts by itself both run with -p0, i.e. the server exits with its
#   last client and the next Wine call pays a restart (and a restart of
#   Wine's services).  `start` runs /usr/lib/wine/wineserver64 -p (persist
#   until killed); `stop` kills it, which also writes the registry to disk.
# * pipes: the first Wine program of a session starts Wine's background
#   services (services.exe, winedevice.exe, plugplay.exe, svchost.exe ...)
#   and they inherit that program's stdout/stderr.  With a persistent server
#   they stay alive, so a caller that reads Wine's output through a pipe
#   never sees end-of-file and waits forever.  Hence: `start` boots the
#   services with their output going to a log in the prefix, `run` writes to
#   files by default, and callers that start $WINE themselves should also
#   send its output to files, not pipes.
# * Without an X display (no DISPLAY) user32 cannot create windows:
#   MessageBoxA returns at once with -1 instead of showing a box.  Under
#   Xvfb the box is real and waits for a click/key.
# * A crashing program would make Wine open a "program error" dialog under
#   X, which waits for a human; setup turns that dialog off
#   (HKCU\Software\Wine\WineDbg ShowCrashDialog=0), so a crash just ends the
#   process and winedbg prints a backtrace to stderr.

# --- constants ----------------------------------------------------------------

_WE_WINEDIR=/usr/lib/wine
_WE_WINE64=$_WE_WINEDIR/wine64          # 64-bit loader, used for everything
_WE_WINE32=$_WE_WINEDIR/wine            # i386 loader, started by wine64
_WE_SERVER=$_WE_WINEDIR/wineserver64
# mscoree/mshtml disabled: no prompt to install Mono/Gecko (and no wait for
# it) when the prefix is created.  winemenubuilder disabled: no .desktop
# files and icons written into $HOME for the programs we run.
_WE_DLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'

_WE_QEMU=/usr/bin/qemu-i386-static
_WE_QEMU_MIN_MAJOR=8
_WE_BINFMT_DIR=/proc/sys/fs/binfmt_misc
_WE_BINFMT_NAME=qemu-i386
# The standard qemu-i386 entry: ELF, 32-bit, little endian, ET_EXEC or
# ET_DYN, e_machine EM_386.  Kept as text: the kernel decodes the \x escapes.
_WE_I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
_WE_I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# Remembers which qemu file our registration pinned (see _we_i386_trusted).
# /run is emptied at boot, like the binfmt_misc registrations themselves.
_WE_BINFMT_STAMP=/run/wine-env-binfmt-i386

_WE_READY=.wine-env-ready               # marker inside a finished prefix
_WE_SERVER_PID=.wine-env-server.pid     # persistent server started by `start`
_WE_LOG=wine-env.log                    # setup / services output, in prefix

# --- helpers ----------------------------------------------------------------

_we_log() { printf 'wine-env: %s\n' "$*" >&2; }
_we_fail() {  # step, reason
  printf 'wine-env: %s failed: %s\n' "$1" "$2" >&2
  return 1
}

# Absolute prefix path: Wine rejects relative WINEPREFIX values.
_we_prefix() {  # step, prefix
  [[ -n ${2:-} ]] || { _we_fail "$1" "no prefix directory given"; return 1; }
  local p
  p=$(realpath -m -- "$2") || { _we_fail "$1" "bad prefix path '$2'"; return 1; }
  printf '%s\n' "$p"
}

_we_check_wine() {
  local f
  for f in "$_WE_WINE64" "$_WE_WINE32" "$_WE_SERVER"; do
    [[ -x $f ]] || {
      _we_fail "wine check" "$f missing (run scripts/install-deps.sh e2e)"
      return 1
    }
  done
}

# Environment for every Wine call; the caller's WINEDEBUG wins.
_we_env() {  # prefix -> prints NAME=value lines
  printf '%s\n' \
    "WINEPREFIX=$1" \
    "WINEARCH=win64" \
    "WINE=$_WE_WINE64" \
    "WINESERVER=$_WE_SERVER" \
    "WINEDEBUG=${WINEDEBUG:--all}" \
    "WINEDLLOVERRIDES=$_WE_DLLOVERRIDES"
}

# `env` arguments for a Wine call in a prefix, in _WE_ENVARGS.  HOME must
# be set for Wine (it links the profile folders to it); some CI runners
# leave it unset.
_WE_ENVARGS=()
_we_envargs() {  # prefix
  mapfile -t _WE_ENVARGS < <(_we_env "$1")
  _WE_ENVARGS+=("HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}")
}

_we_with_env() {  # prefix, command...
  _we_envargs "$1"
  shift
  env "${_WE_ENVARGS[@]}" "$@"
}

_we_server_pid() {  # prefix -> pid of our persistent server, if alive
  local pidfile=$1/$_WE_SERVER_PID pid exe
  [[ -r $pidfile ]] || return 1
  pid=$(<"$pidfile")
  [[ $pid =~ ^[0-9]+$ ]] || return 1
  # A zombie (nobody reaped it) has no exe link: counts as gone.
  exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || return 1
  [[ $exe == "$_WE_SERVER" ]] || return 1
  printf '%s\n' "$pid"
}

# --- i386 execution (binfmt_misc + qemu) ------------------------------------

# A minimal static i386 ELF (96 bytes) that calls exit(42) through int 0x80.
# Static, so it needs no 32-bit libc: it tells whether the kernel (or a
# binfmt_misc handler) can run i386 code at all.
_we_write_probe() {  # path
  printf '%b' \
    '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
    '\x00\x00\x00\x00' \
    '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
    '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
    '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$1" && chmod 755 "$1"
}

_WE_PROBE_ERR=
_we_probe_i386() {  # 0 if an i386 program runs here
  local dir rc
  dir=$(mktemp -d "${TMPDIR:-/tmp}/wine-env-probe.XXXXXX") || return 2
  _we_write_probe "$dir/probe" || { rm -rf "$dir"; return 2; }
  _WE_PROBE_ERR=$("$dir/probe" 2>&1)
  rc=$?
  rm -rf "$dir"
  [[ $rc == 42 ]] && return 0
  [[ $_WE_PROBE_ERR == *"Permission denied"* ]] && return 2  # noexec mount
  return 1
}

_we_qemu_identity() {  # identity of the installed qemu file
  stat -L -c '%d:%i:%Y:%s' "$_WE_QEMU" 2>/dev/null
}

# binfmt_misc entries that claim i386 ELF files: their magic is an ELF
# header with class 32/little endian and e_machine 3 (offset 18).
_we_i386_entries() {
  local f magic
  for f in "$_WE_BINFMT_DIR"/*; do
    [[ -f $f && ${f##*/} != register && ${f##*/} != status ]] || continue
    magic=$(sed -n 's/^magic //p' "$f" 2>/dev/null)
    [[ ${#magic} -ge 40 && ${magic:0:10} == 7f454c4601 && ${magic:36:4} == 0300 ]] \
      || continue
    grep -qx enabled "$f" 2>/dev/null || continue
    printf '%s\n' "$f"
  done
}

# Our entry is trusted only if it names the installed qemu, has the F flag,
# and was registered by us while that very file (device, inode, mtime, size)
# was installed.  With F the kernel keeps the file it opened at
# registration: after qemu is upgraded (e.g. bookworm's 7.2 -> backports'
# 10) an old entry shows the same path but still runs the old binary.
_we_i386_trusted() {  # entry, mode
  local entry=$1 mode=$2 interp flags
  interp=$(sed -n 's/^interpreter //p' "$entry")
  flags=$(sed -n 's/^flags: //p' "$entry")
  [[ $(readlink -f "$interp") == "$(readlink -f "$_WE_QEMU")" ]] || return 1
  [[ $flags == *F* ]] || return 1
  [[ -r $_WE_BINFMT_STAMP ]] || return 1
  [[ $(<"$_WE_BINFMT_STAMP") == "$mode $(_we_qemu_identity)" ]]
}

_we_qemu_register() {
  local major
  [[ -x $_WE_QEMU ]] || {
    _we_fail "binfmt registration" "$_WE_QEMU missing (run scripts/install-deps.sh e2e)"
    return 1
  }
  major=$("$_WE_QEMU" --version 2>/dev/null | sed -n '1s/.*version \([0-9]*\).*/\1/p')
  [[ -n $major && $major -ge $_WE_QEMU_MIN_MAJOR ]] || {
    _we_fail "binfmt registration" "$_WE_QEMU is version '${major:-?}', need >= $_WE_QEMU_MIN_MAJOR (older ones take ~50 s per 32-bit process; install qemu-user-static from bookworm-backports: scripts/install-deps.sh e2e)"
    return 1
  }
  if [[ -e $_WE_BINFMT_DIR/$_WE_BINFMT_NAME ]]; then
    echo -1 >"$_WE_BINFMT_DIR/$_WE_BINFMT_NAME" 2>/dev/null || {
      _we_fail "binfmt registration" "cannot remove old entry $_WE_BINFMT_NAME"
      return 1
    }
  fi
  printf ':%s:M::%s:%s:%s:F' "$_WE_BINFMT_NAME" "$_WE_I386_MAGIC" \
    "$_WE_I386_MASK" "$_WE_QEMU" >"$_WE_BINFMT_DIR/register" 2>/dev/null || {
    _we_fail "binfmt registration" "writing $_WE_BINFMT_DIR/register was refused (root needed?)"
    return 1
  }
}

# Make i386 ELF programs runnable.  WINE_ENV_I386:
#   auto    native if the kernel runs i386 code, else qemu via binfmt_misc
#   qemu    always qemu (exercises the emulated path on a capable host)
#   native  drop any i386 binfmt entry and require native execution
wine_env_i386() {
  local mode=${WINE_ENV_I386:-auto} entry rc
  case $mode in auto|qemu|native) ;; *)
    _we_fail "i386 check" "WINE_ENV_I386='$mode' (expected auto, qemu or native)"
    return 1 ;;
  esac

  if [[ ! -e $_WE_BINFMT_DIR/register ]]; then
    mount -t binfmt_misc binfmt_misc "$_WE_BINFMT_DIR" 2>/dev/null || {
      # Without binfmt_misc only native execution can work.
      if [[ $mode != qemu ]] && _we_probe_i386; then
        _we_log "i386: native (binfmt_misc unavailable)"
        return 0
      fi
      _we_fail "binfmt registration" "cannot mount binfmt_misc on $_WE_BINFMT_DIR"
      return 1
    }
  fi

  # Keep our own fresh entry; remove every other i386 entry (stale qemu from
  # qemu-user-binfmt/systemd-binfmt, an entry pinning an old qemu file, or a
  # forced-qemu entry when native is wanted) before deciding anew.
  local kept=0
  while read -r entry; do
    [[ -n $entry ]] || continue
    if [[ $mode != native ]] && _we_i386_trusted "$entry" "$mode"; then
      kept=1
      continue
    fi
    _we_log "i386: removing binfmt entry ${entry##*/} ($(sed -n 's/^interpreter //p' "$entry"))"
    echo -1 >"$entry" 2>/dev/null || {
      _we_fail "binfmt registration" "cannot remove stale entry $entry"
      return 1
    }
    [[ ${entry##*/} != "$_WE_BINFMT_NAME" ]] || rm -f "$_WE_BINFMT_STAMP"
  done < <(_we_i386_entries)

  if ((kept)); then
    if _we_probe_i386; then
      _we_log "i386: via $_WE_QEMU (registered)"
      return 0
    fi
    _we_log "i386: registered qemu entry does not work, registering again"
  elif [[ $mode != qemu ]]; then
    _we_probe_i386
    rc=$?
    if ((rc == 0)); then
      _we_log "i386: native"
      return 0
    elif ((rc == 2)); then
      _we_fail "i386 check" "cannot run a probe in ${TMPDIR:-/tmp} (noexec?): $_WE_PROBE_ERR"
      return 1
    elif [[ $mode == native ]]; then
      _we_fail "i386 check" "this kernel does not run i386 programs: $_WE_PROBE_ERR"
      return 1
    fi
  fi

  _we_qemu_register || return 1
  printf '%s %s\n' "$mode" "$(_we_qemu_identity)" >"$_WE_BINFMT_STAMP" 2>/dev/null || {
    _we_fail "binfmt registration" "cannot write $_WE_BINFMT_STAMP"
    return 1
  }
  _we_probe_i386 || {
    # Do not leave a handler behind that breaks i386 programs for everyone.
    echo -1 >"$_WE_BINFMT_DIR/$_WE_BINFMT_NAME" 2>/dev/null
    rm -f "$_WE_BINFMT_STAMP"
    _we_fail "binfmt registration" "i386 probe still fails through $_WE_QEMU: $_WE_PROBE_ERR"
    return 1
  }
  _we_log "i386: via $_WE_QEMU ($("$_WE_QEMU" --version | sed -n '1s/.*version //p'))"
}

# --- prefix -------------------------------------------------------------------

# Contents of the ready marker: a Wine upgrade makes Wine refresh the prefix
# on its next start (slow, and with output), so setup does it instead.
_we_marker_text() { "$_WE_WINE64" --version 2>/dev/null; }

wine_env_setup() {
  local prefix
  prefix=$(_we_prefix setup "${1:-}") || return 1
  _we_check_wine || return 1
  wine_env_i386 || return 1

  local marker=$prefix/$_WE_READY want
  want=$(_we_marker_text)
  if [[ -f $marker && $(<"$marker") == "$want" ]]; then
    _we_log "prefix $prefix ready (reused)"
    return 0
  fi

  local update=0 t0=$SECONDS
  if [[ -f $marker ]]; then
    update=1
  elif [[ -d $prefix && -n $(ls -A "$prefix") ]]; then
    # A prefix without the marker is half made (e.g. an interrupted
    # wineboot): start over rather than trust it, but never wipe a
    # directory that is not a Wine prefix.
    if [[ -f $prefix/system.reg || -d $prefix/drive_c || -f $prefix/$_WE_LOG ]]; then
      _we_log "prefix $prefix incomplete, recreating"
      _we_with_env "$prefix" "$_WE_SERVER" -k >/dev/null 2>&1
      rm -rf -- "$prefix" || { _we_fail "prefix creation" "cannot remove $prefix"; return 1; }
    else
      _we_fail "prefix creation" "$prefix exists and is not a Wine prefix"
      return 1
    fi
  fi
  mkdir -p -- "$prefix" || { _we_fail "prefix creation" "cannot create $prefix"; return 1; }

  # Several Wine calls follow: one server for all of them, started before
  # the first so that no call waits for a -p0 server to wind down.
  _we_server_up "$prefix" || return 1
  local started=$_WE_STARTED rc=0
  _we_setup_steps "$prefix" "$update" || rc=1
  if ((started)); then
    wine_env_stop "$prefix" >/dev/null || rc=1  # also writes the registry
  fi
  ((rc == 0)) || return 1
  printf '%s\n' "$want" >"$marker" || {
    _we_fail "prefix creation" "cannot write $marker"
    return 1
  }
  _we_log "prefix $prefix ready ($((SECONDS - t0)) s)"
}

_we_setup_steps() {  # prefix, update(0/1)
  local prefix=$1 log=$1/$_WE_LOG
  if (($2)); then
    _we_log "updating prefix $prefix for $(_we_marker_text) (wineboot -u)"
    _we_with_env "$prefix" env -u DISPLAY "$_WE_WINE64" wineboot -u \
        >>"$log" 2>&1 </dev/null || {
      _we_fail "prefix update" "wineboot -u exited $? (log: $log)"
      return 1
    }
  else
    _we_log "creating prefix $prefix (wineboot -i)"
    # No DISPLAY: wineboot would otherwise show its "updating" window.
    _we_with_env "$prefix" env -u DISPLAY "$_WE_WINE64" wineboot -i \
        >>"$log" 2>&1 </dev/null || {
      _we_fail "prefix creation" "wineboot -i exited $? (log: $log)"
      return 1
    }
  fi

  _we_with_env "$prefix" "$_WE_WINE64" reg add 'HKCU\Software\Wine\WineDbg' \
      /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$log" 2>&1 </dev/null || {
    _we_fail "prefix settings" "reg add ShowCrashDialog exited $? (log: $log)"
    return 1
  }

  # The prefix exists to run 32-bit programs: prove that the 32-bit side
  # starts (a WoW64 process sees PROCESSOR_ARCHITECTURE=x86) and that exit
  # codes come back.  Output goes to a file, never a pipe (see "pipes").
  local out=$prefix/.wine-env-check.out rc text
  _we_with_env "$prefix" "$_WE_WINE64" 'C:\windows\syswow64\cmd.exe' \
      /c 'echo arch=%PROCESSOR_ARCHITECTURE%& exit 3' >"$out" 2>>"$log" </dev/null
  rc=$?
  text=$(tr -d '\r' <"$out")
  rm -f "$out"
  if [[ $rc != 3 || $text != *arch=x86* ]]; then
    _we_fail "prefix check" "32-bit cmd.exe gave exit $rc and output '$text' (log: $log)"
    return 1
  fi
}

# --- server -----------------------------------------------------------------

# Start the persistent server of a prefix unless ours already runs.  Sets
# _WE_STARTED=1 when it started one.
_WE_STARTED=0
_we_server_up() {  # prefix
  local prefix=$1 pid log=$1/$_WE_LOG
  _WE_STARTED=0
  if pid=$(_we_server_pid "$prefix"); then
    _we_log "wineserver already running (pid $pid)"
    return 0
  fi
  # A server started by a plain Wine call (-p0) may still be winding down;
  # a second server for the same prefix would refuse to start.
  _we_with_env "$prefix" timeout 30 "$_WE_SERVER" -w >/dev/null 2>&1 \
    || _we_with_env "$prefix" "$_WE_SERVER" -k >/dev/null 2>&1

  # -f keeps it in the foreground so that $! is the server itself (env and
  # nohup exec it); nohup lets it outlive the caller's terminal.
  _we_envargs "$prefix"
  env "${_WE_ENVARGS[@]}" nohup "$_WE_SERVER" -f -p </dev/null >>"$log" 2>&1 &
  pid=$!
  printf '%s\n' "$pid" >"$prefix/$_WE_SERVER_PID"
  # Wait until it listens: a client arriving earlier would start a server
  # of its own (with -p0), and ours would then give up.  The server works
  # in its socket directory, so its cwd shows when the socket exists.
  # ($pid is env, then nohup, then the server: only the socket tells.)
  for _ in $(seq 1 200); do
    [[ -S /proc/$pid/cwd/socket ]] && break
    [[ $(ps -o stat= -p "$pid" 2>/dev/null) == [^Z]* ]] || break  # exited
    sleep 0.05
  done
  if ! [[ -S /proc/$pid/cwd/socket ]] || ! _we_server_pid "$prefix" >/dev/null; then
    kill "$pid" 2>/dev/null
    rm -f "$prefix/$_WE_SERVER_PID"
    _we_fail "server start" "$_WE_SERVER did not come up (log: $log)"
    return 1
  fi
  _WE_STARTED=1
  _we_log "wineserver started (pid $pid)"
}

wine_env_start() {
  local prefix
  prefix=$(_we_prefix start "${1:-}") || return 1
  _we_check_wine || return 1
  [[ -f $prefix/$_WE_READY ]] || {
    _we_fail "server start" "prefix $prefix is not set up (run: scripts/wine-env.sh setup $prefix)"
    return 1
  }
  # Ensure i386 programs still run (binfmt entries vanish at reboot); cheap.
  local msg
  msg=$(wine_env_i386 2>&1) || { printf '%s\n' "$msg" >&2; return 1; }
  _we_server_up "$prefix" || return 1
  ((_WE_STARTED)) || return 0
  # Boot Wine's services now, with output to the log, so that they do not
  # hold on to the stdout/stderr of the first program a caller runs.
  _we_with_env "$prefix" "$_WE_WINE64" wineboot >>"$prefix/$_WE_LOG" 2>&1 </dev/null || {
    _we_fail "server start" "wineboot (starting Wine's services) exited $? (log: $prefix/$_WE_LOG)"
    return 1
  }
}

wine_env_stop() {
  local prefix pid
  prefix=$(_we_prefix stop "${1:-}") || return 1
  _we_check_wine || return 1
  pid=$(_we_server_pid "$prefix") || pid=
  # -k ends every Wine process of the prefix, then the server, which saves
  # the registry.  Exit status 1 only means "no server was running".
  _we_with_env "$prefix" "$_WE_SERVER" -k >/dev/null 2>&1
  if [[ -n $pid ]]; then
    for _ in $(seq 1 100); do
      _we_server_pid "$prefix" >/dev/null || break
      sleep 0.1
    done
    if _we_server_pid "$prefix" >/dev/null; then
      _we_fail "server stop" "wineserver pid $pid still running after 10 s"
      return 1
    fi
    _we_log "wineserver stopped (pid $pid)"
  else
    _we_log "no persistent wineserver was running"
  fi
  rm -f "$prefix/$_WE_SERVER_PID"
}

# --- running programs -------------------------------------------------------

wine_env_run() {
  local out='' err='' inherit=0
  while (($#)); do
    case $1 in
      --stdout) out=${2:?}; shift 2 ;;
      --stderr) err=${2:?}; shift 2 ;;
      --inherit) inherit=1; shift ;;
      --) shift; break ;;
      -*) _we_fail run "unknown option '$1'"; return 1 ;;
      *) break ;;
    esac
  done
  local prefix exe
  prefix=$(_we_prefix run "${1:-}") || return 1
  exe=${2:-}
  [[ -n $exe ]] || { _we_fail run "no program given"; return 1; }
  shift 2
  [[ -f $prefix/$_WE_READY ]] || {
    _we_fail run "prefix $prefix is not set up (run: scripts/wine-env.sh setup $prefix)"
    return 1
  }
  # A Unix path must exist; anything else (reg, cmd, C:\...) is for Wine.
  if [[ $exe == */* && $exe != *\\* && ! -f $exe ]]; then
    _we_fail run "no such file: $exe"
    return 1
  fi

  local rc
  if ((inherit)); then
    _we_with_env "$prefix" "$_WE_WINE64" "$exe" "$@"
    return
  fi
  local tmp='' o=$out e=$err
  if [[ -z $out || -z $err ]]; then
    tmp=$(mktemp -d "${TMPDIR:-/tmp}/wine-env-run.XXXXXX") || {
      _we_fail run "mktemp failed"
      return 1
    }
    [[ -n $o ]] || o=$tmp/stdout
    [[ -n $e ]] || e=$tmp/stderr
  fi
  _we_with_env "$prefix" "$_WE_WINE64" "$exe" "$@" >"$o" 2>"$e"
  rc=$?
  [[ -n $out ]] || cat -- "$o"
  [[ -n $err ]] || cat -- "$e" >&2
  [[ -z $tmp ]] || rm -rf -- "$tmp"
  return "$rc"
}

# --- environment for other tools -----------------------------------------------

_we_quote() {  # single-quote for sh (and Python's shlex)
  local v=$1
  printf "'%s'" "${v//\'/\'\\\'\'}"
}

wine_env_print_env() {
  local prefix line
  prefix=$(_we_prefix print-env "${1:-}") || return 1
  while IFS= read -r line; do
    printf 'export %s=%s\n' "${line%%=*}" "$(_we_quote "${line#*=}")"
  done < <(_we_env "$prefix")
}

wine_env_export() {
  local prefix line
  prefix=$(_we_prefix export "${1:-}") || return 1
  while IFS= read -r line; do
    export "${line?}"
  done < <(_we_env "$prefix")
}

# --- command mode -------------------------------------------------------------

_we_usage() {
  sed -n '2,/^# Why it looks/{/^# Why it looks/d;s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}" >&2
}

_we_main() {
  local cmd=${1:-}
  (($#)) && shift
  case $cmd in
    setup)     wine_env_setup "$@" ;;
    start)     wine_env_start "$@" ;;
    stop)      wine_env_stop "$@" ;;
    run)       wine_env_run "$@" ;;
    print-env) wine_env_print_env "$@" ;;
    i386)      wine_env_i386 ;;
    -h|--help|help) _we_usage ;;
    *) _we_usage; _we_fail "command" "unknown command '${cmd}'"; return 2 ;;
  esac
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -uo pipefail
  _we_main "$@"
  exit $?
fi
