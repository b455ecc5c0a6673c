"""talkwire benchmarks: each measures the product and its baselines in the
same process and run, and prints figures and ratios (never pass or fail).

    python3 bench/run.py --build build-bench [--json bench-results.json] [--quick]

scripts/bench.sh builds the modules and runs this."""
from __future__ import division, print_function

import argparse
import json
import os
import platform
import sys
import threading
import time

from harness import Quiet, Session, find_modules, floor_run, heap_bytes, median, percentile, resident_bytes, timer
from host_loop import GOALS as HOST_LOOP_GOALS, bench_host_loop

try:
    range = xrange  # noqa: F821 (Python 2)
except NameError:
    pass

try:
    import queue
except ImportError:  # Python 2
    import Queue as queue

CHANNEL = "lobby"
HANDLE = "sess-lobby"
PEER = "sip:peer-00000@voice.example"
KEY_EVENT = 18
PARTICIPANT_UPDATED = 28


class CountingListener(object):
    """The listener every contender calls: one attribute update per event.
    A key event (the benchmark's end marker) ends the pump."""

    def __init__(self, sdk):
        self.count = 0
        self.sdk = sdk

    def OnParticipantStateChanged(self, uri, channel, flag_a, flag_b):
        self.count += 1

    def OnKeyEvent(self, name, state):
        self.sdk.post_quit()


def handle_of(name):
    return "sess-" + name


def best(runs, key):
    return max(runs, key=key)


# ---- 1. event throughput ----------------------------------------------------

def dispatch_run(session, count, uri=PEER, handle=HANDLE):
    """One burst of participant-updated events through the bridge.  Returns
    (seconds from the burst being queued at the SDK, whose notification
    thread then delivers it, to the last callback; seconds including the
    stand-in making the events beforehand on this thread)."""
    sdk = session.sdk
    listener = session.listener
    listener.count = 0
    with Quiet():
        start = timer()
        sdk.event_burst(count, PARTICIPANT_UPDATED, session_handle=handle, participant_uri=uri,
                        flag_a=1, flag_b=0, level=0.5)
        queued = timer()
        sdk.event(KEY_EVENT, binding_name="end", key_state=0)
        session.connector.Run()
        done = timer()
    if listener.count != count:
        raise RuntimeError("%d of %d events reached the listener" % (listener.count, count))
    return done - queued, done - start


def queue_run(listener, count, uri=PEER, channel=CHANNEL):
    """A pure-Python bridge: a producer thread puts tuples into a
    queue.Queue; the main thread takes them and calls the listener."""
    items = queue.Queue()

    def produce():
        put = items.put
        for _ in range(count):
            put((uri, channel, 1, 0))
        put(None)

    method = listener.OnParticipantStateChanged
    get = items.get
    producer = threading.Thread(target=produce)
    with Quiet():
        start = timer()
        producer.start()
        while True:
            item = get()
            if item is None:
                break
            method(*item)
        elapsed = timer() - start
    producer.join()
    return elapsed


def bench_throughput(config):
    """The contenders take turns, round after round, so that a load that
    comes and goes on the machine meets them all alike; each keeps its best
    round."""
    count = config.events
    session = Session(CountingListener(None))
    session.listener.sdk = session.sdk
    ours, floor, bridge = [], [], []
    try:
        session.join([CHANNEL], handle_of)
        session.add_participants(HANDLE, [PEER])
        dispatch_run(session, min(count, 20000))  # warm-up
        for _ in range(config.repeat):
            ours.append(dispatch_run(session, count))
            floor.append(floor_run(session.listener, count, PEER, CHANNEL))
            bridge.append(queue_run(session.listener, count))
    finally:
        session.close()
    ours_rate = count / min(run[0] for run in ours)
    with_making = count / min(run[1] for run in ours)
    floor_rate = count / min(floor)
    queue_rate = count / min(bridge)
    return {
        "events": count,
        "ours_events_per_s": ours_rate,
        "ours_with_standin_making_events_per_s": with_making,
        "floor_events_per_s": floor_rate,
        "queue_events_per_s": queue_rate,
        "ours_over_floor": ours_rate / floor_rate,
        "ours_over_queue": ours_rate / queue_rate,
        "ours_with_making_over_floor": with_making / floor_rate,
    }


# ---- 2. synchronous round trip ------------------------------------------------

def bench_round_trip(config):
    """Rounds in turn, as for throughput; medians and 99th percentiles over
    every sample of each contender."""
    rounds = config.repeat * 3
    count = config.round_trips // rounds
    python_count = config.python_round_trips // rounds
    session = Session(CountingListener(None))
    sdk = session.sdk
    ours, floor, python = [], [], []
    try:
        sdk.answer("aux_get_mic_level", level=50)
        read = session.connector.GetMicrophoneVolume
        for _ in range(3):  # warm-up
            read()
        session.pump()
        for _ in range(rounds):
            with Quiet():
                for done in range(0, count, 500):
                    for _ in range(min(500, count - done)):
                        start = timer()
                        read()
                        ours.append(timer() - start)
                    # The posted copies are released by the pump, as in a client.
                    session.pump()
                    sdk.clear_requests()
            floor.extend(sdk.wake_round_trips(count))
            python.extend(python_event_ping_pong(python_count))
    finally:
        session.close()

    result = {"round_trips": len(ours)}
    for name, values in (("ours", ours), ("floor", floor), ("python_event", python)):
        result[name + "_median_us"] = median(values) * 1e6
        result[name + "_p99_us"] = percentile(values, 0.99) * 1e6
    result["ours_over_floor_median"] = result["ours_median_us"] / result["floor_median_us"]
    result["ours_over_python_event_median"] = result["ours_median_us"] / result["python_event_median_us"]
    # A synchronous call makes at least the two hand-offs the C++ ping-pong
    # makes, so this is as low as the ratio above can go on this machine.
    result["floor_over_python_event_median"] = result["floor_median_us"] / result["python_event_median_us"]
    result["ours_over_floor_p99"] = result["ours_p99_us"] / result["floor_p99_us"]
    return result


def python_event_ping_pong(count):
    ping = threading.Event()
    pong = threading.Event()
    times = []

    def echo():
        for _ in range(count):
            ping.wait()
            ping.clear()
            pong.set()

    partner = threading.Thread(target=echo)
    partner.start()
    with Quiet():
        for _ in range(count):
            start = timer()
            ping.set()
            pong.wait()
            pong.clear()
            times.append(timer() - start)
    partner.join()
    return times


# ---- 3. method overhead --------------------------------------------------------

def mute_batch(connector, batch):
    """Seconds per call over one batch, written as a game would call it."""
    with Quiet():
        start = timer()
        for _ in range(batch):
            connector.MuteChannelOutput(CHANNEL, 1)
        return (timer() - start) / batch


def noop_batch(connector, batch):
    with Quiet():
        start = timer()
        for _ in range(batch):
            connector.DisableGlobalPushToTalkMode()
        return (timer() - start) / batch


def bench_method_overhead(config):
    """Batches of each method in turn; each keeps its best batch."""
    session = Session(CountingListener(None))
    sdk = session.sdk
    batch = 5000
    mute, noop = [], []
    try:
        session.join([CHANNEL], handle_of)
        connector = session.connector
        for _ in range(max(1, config.calls // batch)):
            mute.append(mute_batch(connector, batch))
            sdk.clear_requests()  # the stand-in's record of them, outside the timing
            noop.append(noop_batch(connector, batch))
        connector.MuteChannelOutput(CHANNEL, 1)
        issued = [r["kind"] for r in sdk.requests()]
        sdk.clear_requests()
        if issued != ["session_mute_local_speaker"]:
            raise RuntimeError("MuteChannelOutput issued %r" % issued)
    finally:
        session.close()
    return {
        "calls": config.calls,
        "mute_channel_output_ns": min(mute) * 1e9,
        "noop_entry_ns": min(noop) * 1e9,
        "ratio": min(mute) / min(noop),
    }


# ---- 4. scaling ------------------------------------------------------------------

def event_cost(session, count, uri, handle):
    """Seconds per event of one burst, after a short warm-up burst."""
    dispatch_run(session, min(count, 5000), uri, handle)
    return dispatch_run(session, count, uri, handle)[0] / count


def participant_uris(count):
    return ["sip:peer-%05d@voice.example" % i for i in range(count)]


def bench_scaling(config):
    """Small and large take turns wherever one session can hold both, so
    that the machine's load meets them alike; each keeps its best round."""
    count = config.scaling_events
    result = {"events": count}

    # Participants: one channel with one, another with many, in one session.
    session = Session(CountingListener(None))
    session.listener.sdk = session.sdk
    small_name, large_name = "small", CHANNEL
    try:
        session.join([small_name, large_name], handle_of)
        uris = participant_uris(config.participants)
        session.add_participants(handle_of(small_name), uris[:1])
        session.add_participants(handle_of(large_name), uris)
        middle = uris[len(uris) // 2]
        small, large = [], []
        for _ in range(config.repeat):
            small.append(event_cost(session, count, uris[0], handle_of(small_name)))
            large.append(event_cost(session, count, middle, handle_of(large_name)))
        small_list = get_participants_cost(session, small_name, 1)
        large_list = get_participants_cost(session, large_name, len(uris))
    finally:
        session.close()
    small, large = min(small), min(large)
    result.update({
        "participants_large": config.participants,
        "event_ns_1_participant": small * 1e9,
        "event_ns_many_participants": large * 1e9,
        "participants_ratio": large / small,
        "get_participants_ns_per_participant_1": small_list * 1e9,
        "get_participants_ns_per_participant_many": large_list * 1e9,
        "get_participants_ratio": large_list / small_list,
    })

    # Channels in the registry: one, then many, then one again.
    session = Session(CountingListener(None))
    session.listener.sdk = session.sdk
    costs = {1: [], config.channels: []}
    try:
        names = ["channel-%05d" % i for i in range(config.channels)]
        target = names[len(names) // 2]
        session.join([target], handle_of)
        session.add_participants(handle_of(target), [PEER])
        others = [name for name in names if name != target]
        for _ in range(2):
            costs[1].append(event_cost(session, count, PEER, handle_of(target)))
            session.join(others, handle_of)
            costs[config.channels].append(event_cost(session, count, PEER, handle_of(target)))
            session.leave(others, handle_of)
        costs[1].append(event_cost(session, count, PEER, handle_of(target)))
    finally:
        session.close()
    small, large = min(costs[1]), min(costs[config.channels])
    result.update({
        "channels_large": config.channels,
        "event_ns_1_channel": small * 1e9,
        "event_ns_many_channels": large * 1e9,
        "channels_ratio": large / small,
    })

    # The re-placing walk when the first of many created channels connects.
    walk = {}
    for channels in (config.channels // 10, config.channels):
        walk[channels] = min(replacing_walk(channels) for _ in range(2))
    small_n, large_n = config.channels // 10, config.channels
    result.update({
        "walk_small_channels": small_n,
        "walk_large_channels": large_n,
        "walk_us_per_waiting_channel_small": walk[small_n] / (small_n - 1) * 1e6,
        "walk_us_per_waiting_channel_large": walk[large_n] / (large_n - 1) * 1e6,
        "walk_ratio": (walk[large_n] / (large_n - 1)) / (walk[small_n] / (small_n - 1)),
    })
    return result


def get_participants_cost(session, channel, expected):
    get = session.connector.GetParticipants
    if len(get(channel)) != expected:
        raise RuntimeError("GetParticipants did not list %d participants" % expected)
    rounds = max(3, 20000 // expected)
    best = None
    for _ in range(3):
        with Quiet():
            start = timer()
            for _ in range(rounds):
                get(channel)
            elapsed = (timer() - start) / rounds / expected
        best = elapsed if best is None else min(best, elapsed)
    return best


def replacing_walk(channels):
    """Seconds to handle the connection of the first of `channels` created
    channels, which places all the others."""
    session = Session(CountingListener(None))
    sdk = session.sdk
    try:
        names = ["channel-%05d" % i for i in range(channels)]
        for name in names:
            session.connector.JoinChannelEx(name)
        for name in names:
            sdk.respond_to(34, "account_channel_create", {"channel_name": name},
                           channel_uri="sip:" + name + "@voice.example")
        session.pump()
        first = names[0]
        sdk.respond_to(8, "sessiongroup_add_session", {"channel_name": first}, session_handle=handle_of(first))
        session.pump()
        sdk.clear_requests()
        sdk.event(20, session_handle=handle_of(first), media_state=2)
        if not sdk.flush(30.0):
            raise RuntimeError("the stand-in did not deliver its queue")
        with Quiet():
            start = timer()
            sdk.post_quit()
            session.connector.Run()
            elapsed = timer() - start
        placed = len(sdk.requests())
        if placed != channels - 1:
            raise RuntimeError("%d of %d waiting channels were placed" % (placed, channels - 1))
    finally:
        session.close()
    return elapsed


# ---- 5. memory -------------------------------------------------------------------

def bench_memory(config):
    result = {}
    session = Session(CountingListener(None))
    session.listener.sdk = session.sdk
    sdk = session.sdk
    try:
        session.join([CHANNEL], handle_of)
        session.add_participants(HANDLE, [PEER])
        burst = 50000
        dispatch_run(session, burst)  # the allocator's working set
        rss_before, heap_before = resident_bytes(), heap_bytes()
        for _ in range(config.memory_events // burst):
            dispatch_run(session, burst)
        rss_after, heap_after = resident_bytes(), heap_bytes()
        result.update(memory_figures("events", config.memory_events, rss_before, rss_after,
                                     heap_before, heap_after))

        names = ["cycle-%04d" % i for i in range(config.cycle_batch)]
        session.join(names, handle_of)  # warm-up
        session.leave(names, handle_of)
        rss_before, heap_before = resident_bytes(), heap_bytes()
        for _ in range(config.cycles // config.cycle_batch):
            session.join(names, handle_of)
            session.leave(names, handle_of)
        rss_after, heap_after = resident_bytes(), heap_bytes()
        result.update(memory_figures("join_leave_cycles", config.cycles, rss_before, rss_after,
                                     heap_before, heap_after))

        # Record sizes, from the allocator's count.
        before = heap_bytes()
        names = ["room-%05d" % i for i in range(config.record_channels)]
        session.join(names, handle_of)
        sdk.clear_requests()
        after = heap_bytes()
        if before is not None:
            result["bytes_per_channel_record"] = (after - before) / len(names)
        before = heap_bytes()
        session.add_participants(handle_of(names[0]), participant_uris(config.record_participants))
        after = heap_bytes()
        if before is not None:
            result["bytes_per_participant"] = (after - before) / config.record_participants
    finally:
        session.close()
    return result


def memory_figures(what, count, rss_before, rss_after, heap_before, heap_after):
    figures = {what: count}
    if rss_before is not None:
        figures[what + "_rss_before_kib"] = rss_before / 1024
        figures[what + "_rss_after_kib"] = rss_after / 1024
        figures[what + "_rss_growth_kib"] = (rss_after - rss_before) / 1024
        # A leak shows as bytes per item; allocator slack as a constant.
        figures[what + "_rss_growth_bytes_each"] = (rss_after - rss_before) / float(count)
    if heap_before is not None:
        figures[what + "_heap_growth_kib"] = (heap_after - heap_before) / 1024
    return figures


# ---- 6. Ctrl-C and idleness ------------------------------------------------------

def thread_switches():
    """Voluntary context switches of the calling thread so far (Linux), or
    None: each is one time the thread went to sleep."""
    try:
        with open("/proc/thread-self/status") as status:
            for line in status:
                if line.startswith("voluntary_ctxt_switches:"):
                    return int(line.split()[1])
    except (IOError, OSError):
        pass
    return None


def main_thread_sleeps():
    """The main thread's state is 'sleeping' (Linux); True elsewhere."""
    try:
        with open("/proc/%d/stat" % os.getpid()) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] == "S"
    except (IOError, OSError):
        return True


def sigint_delay(connector):
    """Seconds from SIGINT sent to this process, while Run waits idle, to
    the KeyboardInterrupt that Run raises."""
    import signal
    sent = []
    running = threading.Event()

    def interrupt():
        running.wait()
        time.sleep(0.005)
        while not main_thread_sleeps():  # until Run is asleep
            time.sleep(0.001)
        sent.append(timer())
        os.kill(os.getpid(), signal.SIGINT)

    sender = threading.Thread(target=interrupt)
    sender.start()
    try:
        running.set()
        connector.Run()
        raise RuntimeError("Run returned instead of raising KeyboardInterrupt")
    except KeyboardInterrupt:
        caught = timer()
    sender.join()
    return caught - sent[0]


def bench_interrupt(config):
    """The delay from SIGINT to KeyboardInterrupt in an idle Run, and how
    often an idle Run's thread wakes (it should not: it sleeps until a
    message or a signal)."""
    if not hasattr(os, "kill") or sys.platform == "win32":
        return {"skipped": "needs POSIX signals"}
    import signal
    import _talkwire
    import voicesdk
    voicesdk.reset()
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    connector = _talkwire.Connector(CountingListener(voicesdk))
    delays = []
    try:
        for _ in range(config.interrupts):
            delays.append(sigint_delay(connector))
        # An idle second: a quit from another thread ends it.
        quitter = threading.Timer(1.0, voicesdk.post_quit, [voicesdk.thread_id()])
        quitter.start()
        before = thread_switches()
        started = timer()
        connector.Run()
        idle = timer() - started
        after = thread_switches()
        quitter.join()
    finally:
        signal.signal(signal.SIGINT, previous)
        connector = None
        voicesdk.reset()
    result = {
        "interrupts": len(delays),
        "sigint_to_keyboardinterrupt_median_ms": median(delays) * 1e3,
        "sigint_to_keyboardinterrupt_max_ms": max(delays) * 1e3,
    }
    if before is not None:
        result["idle_run_wakeups_per_second"] = (after - before) / idle
    return result


# ---- report ------------------------------------------------------------------------

GOALS = [
    # (figure, benchmark, key, goal text, met)
    ("throughput / floor", "throughput", "ours_over_floor", ">= 0.5", lambda v: v >= 0.5),
    ("throughput / queue.Queue", "throughput", "ours_over_queue", ">= 5", lambda v: v >= 5),
    ("round trip median / C++ ping-pong", "round_trip", "ours_over_floor_median", "<= 2", lambda v: v <= 2),
    ("round trip median / threading.Event", "round_trip", "ours_over_python_event_median", "<= 0.25",
     lambda v: v <= 0.25),
    ("  its bound: C++ ping-pong / threading.Event", "round_trip", "floor_over_python_event_median", "", None),
    ("async control / no-op entry", "method_overhead", "ratio", "<= 5", lambda v: v <= 5),
    ("event cost, participants large/small", "scaling", "participants_ratio", "<= 1.5", lambda v: v <= 1.5),
    ("event cost, channels large/small", "scaling", "channels_ratio", "<= 1.5", lambda v: v <= 1.5),
    ("re-placing walk per channel, large/small", "scaling", "walk_ratio", "linear (~1)", lambda v: v <= 1.5),
    ("resident growth over the events (KiB)", "memory", "events_rss_growth_kib", "flat", None),
    ("heap growth over the events (KiB)", "memory", "events_heap_growth_kib", "flat", None),
    ("resident growth over join/leave (KiB)", "memory", "join_leave_cycles_rss_growth_kib", "flat", None),
    ("heap growth over join/leave (KiB)", "memory", "join_leave_cycles_heap_growth_kib", "flat", None),
    ("SIGINT to KeyboardInterrupt, idle Run (ms)", "interrupt", "sigint_to_keyboardinterrupt_median_ms", "< 50",
     lambda v: v < 50),
    ("  the slowest of them (ms)", "interrupt", "sigint_to_keyboardinterrupt_max_ms", "", None),
    ("wake-ups of an idle Run per second", "interrupt", "idle_run_wakeups_per_second", "none (~1)",
     lambda v: v <= 2),
] + HOST_LOOP_GOALS


def fmt(value):
    if isinstance(value, float):
        if abs(value) >= 1000:
            return "{:,.0f}".format(value)
        return "%.3g" % value
    return str(value)


def print_report(info, results):
    print("talkwire benchmarks: Python %s (%s), %s cores, %s" % (
        info["python"], info["implementation"], info["cores"], info["machine"]))
    for name, figures in results.items():
        print("\n[%s]" % name)
        for key in sorted(figures):
            print("  %-48s %s" % (key, fmt(figures[key])))
    print("\nGoals")
    print("  %-44s %12s  %-12s %s" % ("figure", "measured", "goal", "met"))
    for label, bench, key, goal, met in GOALS:
        value = results.get(bench, {}).get(key)
        if value is None:
            continue
        verdict = "-" if met is None else ("yes" if met(value) else "NO")
        print("  %-44s %12s  %-12s %s" % (label, fmt(value), goal, verdict))


BENCHMARKS = [
    ("throughput", bench_throughput),
    ("round_trip", bench_round_trip),
    ("method_overhead", bench_method_overhead),
    ("scaling", bench_scaling),
    ("memory", bench_memory),
    ("interrupt", bench_interrupt),
    ("host_loop", bench_host_loop),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                                                        "build-bench"))
    parser.add_argument("--json", default=None, help="where to write the figures (default: none)")
    parser.add_argument("--quick", action="store_true", help="small counts, to check the harness")
    parser.add_argument("--only", default=None, help="comma-separated benchmark names")
    config = parser.parse_args()
    scale = 0.05 if config.quick else 1.0
    config.events = int(200000 * scale)
    config.repeat = 5
    config.round_trips = int(20000 * scale)
    config.python_round_trips = int(5000 * scale)
    config.calls = int(200000 * scale)
    config.scaling_events = int(100000 * scale)
    config.participants = 10000
    config.channels = 1000
    config.memory_events = int(1000000 * scale) // 50000 * 50000 or 50000
    config.cycles = int(100000 * scale)
    config.cycle_batch = 1000
    config.record_channels = 2000
    config.record_participants = 20000
    config.interrupts = 5 if config.quick else 30
    config.latency_samples = int(5000 * scale)

    find_modules(config.build)
    import _talkwire  # noqa: F401 (fails here rather than half-way)

    info = {
        "python": platform.python_version(),
        "implementation": platform.python_implementation(),
        "cores": cpu_count(),
        "machine": platform.machine(),
        "quick": config.quick,
    }
    only = set(config.only.split(",")) if config.only else None
    results = {}
    for name, bench in BENCHMARKS:
        if only and name not in only:
            continue
        started = timer()
        results[name] = bench(config)
        results[name]["benchmark_seconds"] = timer() - started
    print_report(info, results)
    if config.json:
        with open(config.json, "w") as out:
            json.dump({"info": info, "results": results}, out, indent=2, sort_keys=True)
        print("\nfigures written to %s" % config.json)


def cpu_count():
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        import multiprocessing
        return multiprocessing.cpu_count()


if __name__ == "__main__":
    main()
