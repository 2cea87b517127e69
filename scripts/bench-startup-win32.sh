#!/usr/bin/env bash
# Start-up benchmark of the Windows program under Wine: process start to the
# settings dialog's window mapped on the X server (the first top-level window
# titled as the dialog: Direct3D may map windows of its own before), and the
# process's memory once it is shown (VmRSS a second later; and the peak,
# VmHWM). Measured in one run, interleaved round by round, under one warm
# wineserver on a private Xvfb (scripts/wine-run.sh --env):
#   yardstick  bench_startup_yardstick.exe: the settings dialog from the same
#              resources shown by a plain DialogBoxParamW, asking the display
#              probe in WM_INITDIALOG, reading and writing no file
#   normal     zarv_settings.exe with a config.ini in its folder
#   first run  zarv_settings.exe without one
# Twice: without a GL driver (the X server offers no GLX), then with Debian's
# i386 Mesa (installed when missing: needs root or sudo). Prints min and
# median of each, and the ratios to the yardstick as min / median / paired
# (the median of the per-round ratios); goal <= 1.05.
#   scripts/bench-startup-win32.sh [--also PROGRAM.exe] <build-dir> [rounds]
#   --also  another zarv_settings.exe (say, an older build) measured as
#           "other normal" and "other first run" in the same rounds
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
also=
if [ "${1:-}" = --also ]; then
  also=$(realpath "$2") && shift 2
fi
build=$(cd "${1:?usage: $0 [--also PROGRAM.exe] <build-dir> [rounds]}" && pwd)
rounds=${2:-30}

missing=()
for p in libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386; do
  [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" = "install ok installed" ] ||
    missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=scripts/xvfb.sh
. "$root/scripts/xvfb.sh"
export LANG=zh_CN.UTF-8 LOCPATH=$build/locales ZARV_USE_DISPLAY=1

# measure [GL]: one benchmark on a fresh Xvfb, with GLX when GL is given.
measure() {
  if [ -n "${1:-}" ]; then
    start_xvfb 1024x768x24
  else
    start_xvfb 1024x768x24 -extension GLX
  fi
  rm -rf "${work:?}"/*
  "$root/scripts/wine-run.sh" --env "$build" python3 - "$build/bin" "$rounds" "$work" \
    "$root/tests/app/win32/expected/existing-before.ini" "${1:+GL driver}" "$also" <<'PY'
import ctypes, ctypes.util, os, select, shutil, signal, statistics, subprocess, sys, time

bindir, rounds, work, config, gl, also = sys.argv[1:7]
rounds = int(rounds)
loader = "/usr/lib/wine/wine" if os.access("/usr/lib/wine/wine", os.X_OK) else "wine"

# The X server's map notifications for top-level windows.
x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
for name in ("XDefaultRootWindow", "XConnectionNumber", "XPending", "XFlush"):
    getattr(x11, name).argtypes = [ctypes.c_void_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XGetWindowProperty.argtypes = [
    ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long, ctypes.c_int,
    ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
    ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
    ctypes.POINTER(ctypes.c_void_p)]
x11.XFree.argtypes = [ctypes.c_void_p]
# A window may be gone by the time its title is read: no error ends the run.
x11_error_handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore_errors = x11_error_handler(lambda _display, _error: 0)
x11.XSetErrorHandler(ignore_errors)
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no X display")
SUBSTRUCTURE_NOTIFY, MAP_NOTIFY = 1 << 19, 19
x11.XSelectInput(display, x11.XDefaultRootWindow(display), SUBSTRUCTURE_NOTIFY)
x11.XFlush(display)
event = (ctypes.c_long * 32)()
net_wm_name = x11.XInternAtom(display, b"_NET_WM_NAME", False)
caption = "环境配置"

def title(window):
    kind, size, count, after = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong()
    data = ctypes.c_void_p()
    if x11.XGetWindowProperty(display, window, net_wm_name, 0, 256, False, 0, ctypes.byref(kind),
                              ctypes.byref(size), ctypes.byref(count), ctypes.byref(after),
                              ctypes.byref(data)) != 0 or not data:
        return ""
    text = ctypes.string_at(data, count.value).decode("utf-8", "replace")
    x11.XFree(data)
    return text

def next_map(deadline):
    """The monotonic time at which the dialog's window next maps, None past the deadline."""
    while True:
        while x11.XPending(display):
            x11.XNextEvent(display, event)
            if ctypes.c_int.from_buffer(event).value == MAP_NOTIFY:
                now = time.monotonic_ns()
                # XMapEvent: type, serial, send_event, display, event, window.
                if title(event[5]) == caption:
                    return now
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([x11.XConnectionNumber(display)], [], [], left)[0]:
            return None

def memory(pid):
    fields = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, value = line.partition(":")
            fields[key] = value
    return int(fields["VmRSS"].split()[0]), int(fields["VmHWM"].split()[0])

def run(exe, folder, first_run):
    """One start: (ms to the dialog mapped, VmRSS KiB a second later, VmHWM KiB)."""
    ini = os.path.join(folder, "config.ini")
    if first_run:
        if os.path.exists(ini):
            os.remove(ini)
    elif not os.path.exists(ini):
        shutil.copy(config, ini)
    while x11.XPending(display):  # nothing left from the run before
        x11.XNextEvent(display, event)
    start = time.monotonic_ns()
    proc = subprocess.Popen([loader, exe], cwd=folder,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shown = next_map(time.monotonic() + 300)
    written = os.path.exists(ini)
    result = None
    if shown is not None:
        time.sleep(1)
        result = ((shown - start) / 1e6, *memory(proc.pid))
    proc.send_signal(signal.SIGKILL)
    proc.wait()
    if result is None:
        sys.exit(f"{exe}: no window shown")
    if first_run and not written:
        sys.exit(f"{exe}: no config.ini once the window was shown on a first run")
    return result

programs = {"yardstick": (os.path.join(bindir, "bench_startup_yardstick.exe"), False),
            "normal": (os.path.join(bindir, "zarv_settings.exe"), False),
            "first run": (os.path.join(bindir, "zarv_settings.exe"), True)}
if also:
    programs["other normal"] = (also, False)
    programs["other first run"] = (also, True)
folders = {}
for key in programs:
    folders[key] = os.path.join(work, key.replace(" ", "-"), "game")
    os.makedirs(folders[key])

subprocess.run(["wineserver", "-p"], check=True)  # stays up between the runs
for key, (exe, first) in programs.items():  # warm the caches
    run(exe, folders[key], first)
samples = {key: [] for key in programs}
for _ in range(rounds):
    for key, (exe, first) in programs.items():
        samples[key].append(run(exe, folders[key], first))
subprocess.run(["wineserver", "-k"])

mib = lambda kib: kib / 1024
print(f"start to the dialog mapped, {rounds} interleaved rounds, Wine, Xvfb 1024x768, "
      f"{gl or 'no GL driver'}")
print(f"{'program':16} {'min ms':>8} {'median ms':>10} {'RSS MiB':>8} {'peak MiB':>9}")
for key, values in samples.items():
    times = [t for t, _, _ in values]
    print(f"{key:16} {min(times):8.1f} {statistics.median(times):10.1f} "
          f"{mib(statistics.median(r for _, r, _ in values)):8.1f} "
          f"{mib(statistics.median(p for _, _, p in values)):9.1f}")

def ratio(label, a, index):
    x, y = samples[a], samples["yardstick"]
    lo = min(v[index] for v in x) / min(v[index] for v in y)
    med = statistics.median(v[index] for v in x) / statistics.median(v[index] for v in y)
    paired = statistics.median(p[index] / q[index] for p, q in zip(x, y))
    print(f"{label:36} {lo:.2f} / {med:.2f} / {paired:.2f}")

print("against the yardstick (goal <= 1.05): min / median / paired")
for key in programs:
    if key != "yardstick":
        ratio(f"{key}, time", key, 0)
        ratio(f"{key}, RSS", key, 1)
PY
  kill "$xvfb_pid"
  xvfb_pid=
}

measure
measure gl
