#!/usr/bin/env python3
"""Times process start to the dialog shown, and the memory, of a build's
start-up programs, in interleaved rounds after a warm-up round; prints min
and median of each, and ratios as min / median / paired (the median of the
per-round ratios). Run by scripts/bench-startup.sh on its X server:

    bench-startup.py BIN_DIR ROUNDS WORK CONFIG NOTE [OTHER.exe]

Linux: the bench_startup_* programs print when their dialog is painted
(shown_ns=) and end; memory is their peak RSS. Windows (run under Wine):
shown is when the first window titled as the dialog maps (Direct3D may map
windows of its own before); memory is the VmRSS a second later, and the
peak. Programs that are not first runs find CONFIG as their config.ini.
"""
import os, queue, re, shutil, statistics, subprocess, sys, threading, time

bindir, rounds, work, config, note, *other = sys.argv[1:]
rounds, linux = int(rounds), os.path.exists(os.path.join(bindir, "bench_startup_dialog"))
caption = "环境配置"
maps = queue.Queue()  # (monotonic ns, window id) of every window mapped


def watch_maps(events):
    mapped = None  # xev names the window on the line after the event's
    for line in events:
        if line.startswith("MapNotify"):
            mapped = time.monotonic_ns()
        elif mapped:
            maps.put((mapped, re.search(r"window (0x[0-9a-f]+)", line)[1]))
            mapped = None


def dialog_mapped(deadline):
    """When the window titled as the dialog next maps; None past the deadline."""
    try:
        while True:
            mapped, window = maps.get(timeout=max(0, deadline - time.monotonic()))
            name = subprocess.run(["xdotool", "getwindowname", window], capture_output=True, text=True)
            if name.stdout.strip() == caption:
                return mapped
    except queue.Empty:
        return None


def run(command, folder, first_run):
    """One start: ms to the dialog shown, then the memory figures in KiB."""
    ini = os.path.join(folder, "config.ini")
    if first_run and os.path.exists(ini):
        os.remove(ini)
    elif not first_run and not os.path.exists(ini):
        shutil.copy(config, ini)
    while not maps.empty():  # nothing left from the run before
        maps.get()
    start = time.monotonic_ns()
    proc = subprocess.Popen(command, cwd=folder, stderr=subprocess.DEVNULL,
                            stdout=subprocess.PIPE if linux else subprocess.DEVNULL)
    if linux:
        shown = re.search(r"^shown_ns=(\d+)$", proc.stdout.read().decode(), re.M)
        _, status, usage = os.wait4(proc.pid, 0)
        result = shown and status == 0 and ((int(shown[1]) - start) / 1e6, usage.ru_maxrss)
    else:
        shown, memory = dialog_mapped(time.monotonic() + 300), []
        if shown:
            time.sleep(1)
            with open(f"/proc/{proc.pid}/status") as status:
                fields = status.read()
            memory = [int(re.search(rf"^{key}:\s*(\d+)", fields, re.M)[1]) for key in ("VmRSS", "VmHWM")]
        proc.kill()
        proc.wait()
        result = shown and ((shown - start) / 1e6, *memory)
    if not result:
        sys.exit(f"{command[-1]}: no dialog shown")
    if first_run and not os.path.exists(ini):
        sys.exit(f"{command[-1]}: no config.ini once the dialog was shown on a first run")
    return result


if linux:
    bare = os.path.join(bindir, "bench_startup_bare")
    dialog = [os.path.join(bindir, "bench_startup_dialog")]
    # The yardstick shows a line of Chinese, so it pays for a CJK font as the
    # dialog must; the same dialog with a Latin line is shown for reference.
    programs = {"bare Qt dialog": ([bare], False), "bare, Latin only": ([bare, "Settings"], False),
                "start-up": (dialog, False), "first run": (dialog, True)}
    ratios = [("start-up", "bare Qt dialog"), ("first run", "start-up"),
              ("start-up", "bare, Latin only")]
    memories = ["peak"]
else:
    loader = "/usr/lib/wine/wine" if os.access("/usr/lib/wine/wine", os.X_OK) else "wine"
    exe = os.path.join(bindir, "zarv_settings.exe")
    programs = {"yardstick": ([loader, os.path.join(bindir, "bench_startup_yardstick.exe")], False),
                "normal": ([loader, exe], False), "first run": ([loader, exe], True)}
    if other:
        programs |= {"other normal": ([loader, *other], False),
                     "other first run": ([loader, *other], True)}
    ratios = [(key, "yardstick") for key in programs if key != "yardstick"]
    memories = ["RSS", "peak"]
    xev = subprocess.Popen(["xev", "-root", "-event", "substructure"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True, errors="replace")
    threading.Thread(target=watch_maps, args=(xev.stdout,), daemon=True).start()
    subprocess.run(["wineserver", "-p"], check=True)  # stays up between the runs
    time.sleep(1)  # xev is watching before the first window maps

folders = {key: os.path.join(work, str(index), "game") for index, key in enumerate(programs)}
samples = {key: [] for key in programs}
for warm_up in [True] + [False] * rounds:  # the first round warms the caches
    for key, (command, first_run) in programs.items():
        os.makedirs(folders[key], exist_ok=True)
        sample = run(command, folders[key], first_run)
        if not warm_up:
            samples[key].append(sample)
if not linux:
    subprocess.run(["wineserver", "-k"])
    xev.kill()

median = statistics.median
print(f"start to the dialog shown, {rounds} interleaved rounds, {note}")
print(f"{'program':18} {'min ms':>8} {'median ms':>10}" + "".join(f" {m + ' MiB':>9}" for m in memories))
for key, values in samples.items():
    times = [v[0] for v in values]
    print(f"{key:18} {min(times):8.1f} {median(times):10.1f}" +
          "".join(f" {median(v[i] for v in values) / 1024:9.1f}" for i in range(1, len(memories) + 1)))
print("ratios: min / median / paired")
for a, b in ratios:
    for index, what in ((0, "time"), (1, memories[0])):
        x, y = [v[index] for v in samples[a]], [v[index] for v in samples[b]]
        paired = median(p / q for p, q in zip(x, y))
        print(f"{f'{a} / {b}, {what}':40} {min(x) / min(y):.2f} / {median(x) / median(y):.2f} / {paired:.2f}")
