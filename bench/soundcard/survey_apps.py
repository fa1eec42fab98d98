"""What ALSA applications do through tsoundcard when the engine is killed under them (called by
survey_apps.sh, which gives it a private /dev/shm, an ALSA configuration naming the plug-in and a
work folder holding tone.wav).

    survey_apps.py ENGINE ALSA_CONFIG_PATH WORK_DIR

Each application starts against a fresh stand-in engine, runs KILL_AFTER seconds (default 4),
then the engine gets SIGKILL and the application is watched up to WATCH_SECONDS (default 40).
One row per application: it ended (its exit status, after how long, its last message), or it is
still alive at the end of the watch. Then, over the last 10 s, a player's read position in its
input file or a recorder's output size tells whether audio still moves: "plays on" at half real
time or more; else "retries" when the plug-in opened the area again in that time (the
application reopens the PCM), "hangs" otherwise; with the wakes of its threads apart from the
plug-in's worker (the one real-time thread) and where its main thread sleeps. speaker-test has no
file: it "plays on" when those threads woke at least MIN_WAKES times a second. An application
still alive then gets a new engine for up to RESUME_SECONDS (default 15): the row says whether and
when a second of audio moved again. ONLY runs the applications whose names hold it. Figures only.
"""
import os
import select
import signal
import subprocess
import sys
import time

KILL_AFTER = float(os.environ.get("KILL_AFTER", "4"))
WATCH = float(os.environ.get("WATCH_SECONDS", "40"))
RESUME = float(os.environ.get("RESUME_SECONDS", "15"))
ENGINE_PERIOD = os.environ.get("ENGINE_PERIOD", "48")
MIN_WAKES = 5.0
QUIET_WINDOW = 10.0
SCHED_OTHER_POLICIES = {0, 3, 5}  # SCHED_OTHER, SCHED_BATCH, SCHED_IDLE

# Name, command ({work} stands for the work folder), the file whose progress shows that audio
# moves (played: read position of the input; recorded: size of the output) and its bytes per
# second of audio. speaker-test makes its own sound: its threads' wakes stand in.
TONE = "{work}/tone.wav"  # 48 kHz, 2 channels, 16 bits: 192000 bytes a second
APPLICATIONS = [
    ("aplay", ["aplay", "-D", "tarvo", TONE], TONE, 192000),
    ("arecord", ["arecord", "-D", "tarvo", "-t", "raw", "-f", "S32_LE", "-c", "2", "-r", "48000",
                 "{work}/arecord.raw"], "{work}/arecord.raw", 384000),
    ("speaker-test", ["speaker-test", "-D", "tarvo", "-c", "2", "-r", "48000", "-F", "S32_LE",
                      "-t", "sine"], None, 0),
    ("SoX play", ["play", "-q", TONE], TONE, 192000),
    ("SoX rec", ["rec", "-q", "-r", "48000", "-c", "2", "-t", "s32", "{work}/rec.raw"],
     "{work}/rec.raw", 384000),
    # The header's 44 bytes play as audio: wavparse is not in the packages the tests install.
    ("GStreamer alsasink", ["gst-launch-1.0", "-q", "filesrc", "location=" + TONE, "!",
                            "rawaudioparse", "pcm-format=s16le", "sample-rate=48000",
                            "num-channels=2", "!", "audioconvert", "!", "alsasink",
                            "device=tarvo"], TONE, 192000),
    ("GStreamer alsasrc", ["gst-launch-1.0", "-q", "alsasrc", "device=tarvo", "!",
                           "audio/x-raw,format=S32LE,rate=48000,channels=2", "!", "filesink",
                           "location={work}/gst.raw"], "{work}/gst.raw", 384000),
    ("ffmpeg out", ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "warning", "-i", TONE,
                    "-f", "alsa", "tarvo"], TONE, 192000),
    ("ffmpeg in", ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "warning", "-f", "alsa",
                   "-sample_rate", "48000", "-channels", "2", "-i", "tarvo", "-f", "s16le",
                   "{work}/ffmpeg.raw"], "{work}/ffmpeg.raw", 192000),
    ("mpv", ["mpv", "--no-config", "--no-video", "--no-input-terminal", "--msg-level=all=warn",
             "--ao=alsa", "--audio-device=alsa/tarvo", TONE], TONE, 192000),
]


def start_engine(engine):
    ring = str(max(4096, 10 * int(ENGINE_PERIOD)))
    process = subprocess.Popen([engine, "--fifo", "--spp", ENGINE_PERIOD, "--spc", ring],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
    ready, _, _ = select.select([process.stdout], [], [], 10)
    if not ready or "ready" not in process.stdout.readline():
        process.kill()
        sys.exit("the stand-in engine did not start")
    return process


def read(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ""


def threads(pid):
    """{tid: (context switches so far, is the plug-in's worker)} of a living process."""
    out = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return out
    for tid in tids:
        stat = read(f"/proc/{pid}/task/{tid}/stat")
        status = read(f"/proc/{pid}/task/{tid}/status")
        if not stat or not status:
            continue
        policy = int(stat.rsplit(") ", 1)[1].split()[38])
        switches = sum(int(line.split()[1]) for line in status.splitlines()
                       if "ctxt_switches:" in line)
        out[tid] = (switches, policy not in SCHED_OTHER_POLICIES)
    return out


def audio_position(pid, path):
    """Bytes of audio moved so far: the output's size (recorders write .raw files), or the read
    position of the input."""
    if path.endswith(".raw"):
        try:
            return os.stat(path).st_size
        except OSError:
            return 0
    try:
        fds = os.listdir(f"/proc/{pid}/fd")
    except OSError:
        return 0
    for fd in fds:
        try:
            if os.readlink(f"/proc/{pid}/fd/{fd}") == path:
                for line in read(f"/proc/{pid}/fdinfo/{fd}").splitlines():
                    if line.startswith("pos:"):
                        return int(line.split()[1])
        except OSError:
            continue
    return 0


class Snapshot:
    def __init__(self, pid, progress, log_path):
        self.time = time.monotonic()
        self.threads = threads(pid)
        self.position = audio_position(pid, progress) if progress else 0
        # The plug-in says "Connecting..." at each open of the engine's area.
        self.connects = read(log_path).count("Connecting...")


def last_message(log_path):
    text = read(log_path).replace("\r", "\n")
    lines = [line.strip() for line in text.splitlines() if line.strip()]
    return lines[-1][:90] if lines else "(no message)"


def describe_status(code):
    return f"signal {signal.Signals(-code).name}" if code < 0 else f"status {code}"


def describe_alive(pid, first, last, bytes_per_second, log_path):
    seconds = last.time - first.time

    def wakes(worker):
        return sum(switches - first.threads.get(tid, (0, worker))[0]
                   for tid, (switches, is_worker) in last.threads.items()
                   if is_worker == worker) / seconds

    activity = (f"application threads {wakes(False):.0f} wakes/s, worker {wakes(True):.0f}/s, "
                f"{last.connects - first.connects} new connections")
    if bytes_per_second:
        speed = (last.position - first.position) / bytes_per_second / seconds
        moving = speed >= 0.5
        activity = f"audio {speed:.2f}x real time, " + activity
    else:
        moving = wakes(False) >= MIN_WAKES
    verdict = "plays on" if moving else "retries" if last.connects > first.connects else "hangs"
    where = read(f"/proc/{pid}/wchan") or "?"
    return (f"{verdict} ({WATCH:.0f} s; over the last {seconds:.0f} s: {activity}; main thread in "
            f"{where}); last message: {last_message(log_path)}")


def resume(app, progress, bytes_per_second, engine_path, log_path):
    """How long after a new engine starts audio moves again (a second of it), if it does."""
    engine = start_engine(engine_path)
    try:
        first = Snapshot(app.pid, progress, log_path)
        while time.monotonic() - first.time < RESUME:
            if app.poll() is not None:
                return (f"; with a new engine it ends, {describe_status(app.returncode)}, after "
                        f"{time.monotonic() - first.time:.1f} s")
            if audio_position(app.pid, progress) - first.position >= bytes_per_second:
                return (f"; with a new engine audio moves again after "
                        f"{time.monotonic() - first.time:.1f} s")
            time.sleep(0.1)
        return f"; with a new engine no audio moves in {RESUME:g} s"
    finally:
        engine.kill()
        engine.wait()


def survey(command, progress, bytes_per_second, engine_path, config, work):
    env = dict(os.environ, ALSA_CONFIG_PATH=config, AUDIODRIVER="alsa", AUDIODEV="tarvo",
               HOME=work)
    command = [arg.replace("{work}", work) for arg in command]
    progress = progress.replace("{work}", work) if progress else None
    log_path = os.path.join(work, "app.log")
    engine = start_engine(engine_path)
    with open(log_path, "w") as log:
        app = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=log,
                               stderr=subprocess.STDOUT, start_new_session=True, cwd=work)
    try:
        time.sleep(KILL_AFTER)
        if app.poll() is not None:
            return (f"ended before the kill ({describe_status(app.returncode)}): "
                    f"{last_message(log_path)}")
        moved = ""
        if bytes_per_second:
            moved = (f" [{audio_position(app.pid, progress) / bytes_per_second:.1f} s of audio "
                     "before the kill]")
        engine.kill()
        killed = time.monotonic()
        first = None
        while time.monotonic() - killed < WATCH:
            if app.poll() is not None:
                return (f"ends, {describe_status(app.returncode)} after "
                        f"{time.monotonic() - killed:.1f} s: {last_message(log_path)}{moved}")
            if first is None and time.monotonic() - killed >= WATCH - QUIET_WINDOW:
                first = Snapshot(app.pid, progress, log_path)
            time.sleep(0.1)
        outcome = describe_alive(app.pid, first, Snapshot(app.pid, progress, log_path),
                                 bytes_per_second, log_path) + moved
        if bytes_per_second:
            outcome += resume(app, progress, bytes_per_second, engine_path, log_path)
        return outcome
    finally:
        if app.poll() is None:
            os.killpg(app.pid, signal.SIGKILL)
            app.wait()
        if engine.poll() is None:
            engine.kill()
        engine.wait()
        for leftover in ("arecord.raw", "rec.raw", "gst.raw", "ffmpeg.raw"):
            if os.path.exists(os.path.join(work, leftover)):
                os.remove(os.path.join(work, leftover))


def main():
    engine_path, config, work = sys.argv[1:]
    print(f"Engine period {ENGINE_PERIOD} samples; each application runs {KILL_AFTER:g} s, then "
          f"the engine gets SIGKILL; watched {WATCH:g} s")
    only = os.environ.get("ONLY", "")  # a part of the names to run, e.g. "GStreamer"
    for name, command, progress, bytes_per_second in APPLICATIONS:
        if only not in name:
            continue
        if subprocess.run(["which", command[0]], capture_output=True).returncode != 0:
            print(f"{name:20} not installed", flush=True)
            continue
        outcome = survey(command, progress, bytes_per_second, engine_path, config, work)
        print(f"{name:20} {outcome}", flush=True)


if __name__ == "__main__":
    main()
