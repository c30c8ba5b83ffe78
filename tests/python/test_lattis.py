# The Python module against the programs and against exact values: the
# same seeds and figures as marlet and ostrand for one -seed on a network
# netpack packs; labels of a networkx graph round-trip; arrays are checked
# at the boundary; the forward simulation agrees with the reverse estimate
# and both with enumeration on a tiny network; Ctrl-C ends a long run.
import itertools
import math
import os
import signal
import subprocess
import threading
import time

import numpy as np
import pytest

import lattis

BIN = os.environ.get("LATTIS_BIN", "")
DATA = os.path.join(os.environ.get("LATTIS_SHARED", ""), "data", "email-Eu-core.txt.gz")


@pytest.fixture(scope="module")
def packed(tmp_path_factory):
    if not (BIN and os.path.exists(DATA)):
        pytest.skip("needs LATTIS_BIN and ../shared/data/email-Eu-core.txt.gz")
    d = tmp_path_factory.mktemp("eu")
    subprocess.run([f"{BIN}/netpack", "-i", DATA, "-o", d / "eu.bin", "-bo", d / "eu.benefit", "-co",
                    d / "eu.cost", "-cost", "degree"], check=True, capture_output=True)
    return d


def run(program, *args, cwd):
    return subprocess.run([f"{BIN}/{program}", *map(str, args)], check=True, capture_output=True, text=True, cwd=cwd)


CERTIFIED = {"select": "fill", "stop": "certified"}


@pytest.mark.parametrize("model,sampler,options", [("IC", "classic", {}), ("LT", "fast", {}),
                                                   ("IC", "fast", CERTIFIED)])
def test_same_seeds_and_figures_as_the_programs(packed, model, sampler, options):
    d = packed
    common = ["-i", d / "eu.bin", "-b", d / "eu.benefit", "-m", model, "-seed", 7, "-sampler", sampler]
    flags = [x for name, value in options.items() for x in (f"-{name}", value)]
    marlet = run("marlet", *common, *flags, "-c", d / "eu.cost", "-k", 20, "-o", d / "eu.seeds", "-pairs", "none",
                 cwd=d)
    report = marlet.stdout
    seeds = [int(x) for x in report.split("Seed Nodes:")[1].split("\n")[0].split()]
    total = float(report.split("Total Benefit:")[1].split()[0])
    costs = np.loadtxt(d / "eu.cost")
    benefits = np.loadtxt(d / "eu.benefit")
    net = lattis.Network.from_file(d / "eu.bin")
    assert np.array_equal(np.maximum(net.out_degree, 1), costs)  # netpack's -cost degree
    r = lattis.choose_seeds(net, 20, costs, benefits, model=model, seed=7, sampler=sampler, **options)
    assert r.seeds == seeds
    if options:
        assert f"certified ratio {r.certified_ratio:.2f} " in marlet.stderr
    assert f"{r.total_benefit:.2f}" == f"{total:.2f}"
    assert r.cost_spent == pytest.approx(sum(costs[s - 1] for s in seeds))
    # The SNAP file through netpack's reader is the same network, its labels the file's ids.
    text = lattis.Network.from_text(DATA)
    original = np.loadtxt(d / "eu.bin.map", dtype=np.int64)
    assert lattis.choose_seeds(text, 20, costs, benefits, model=model, seed=7, sampler=sampler, **options).seeds == \
        [int(original[s - 1]) for s in seeds]
    figure = float(run("ostrand", *common, "-s", d / "eu.seeds", cwd=d).stdout)
    e = lattis.estimate(net, seeds, benefits, model=model, seed=7, sampler=sampler)
    assert e["estimate"] == pytest.approx(figure, rel=1e-5)


def test_networkx_labels_round_trip():
    nx = pytest.importorskip("networkx")
    g = nx.gnp_random_graph(60, 0.08, seed=3, directed=True)
    names = {v: f"user-{v}" for v in g.nodes()}
    h = nx.relabel_nodes(g, names)
    net = lattis.Network.from_networkx(h)
    assert list(net.labels) == list(h.nodes())
    by_id = lattis.Network([u for u, _ in g.edges()], [v for _, v in g.edges()], n=60)
    a = lattis.choose_seeds(net, 5, seed=2)
    b = lattis.choose_seeds(by_id, 5, seed=2)
    assert a.seeds == [names[v] for v in b.seeds]
    assert np.array_equal(net.in_degree, [g.in_degree(v) for v in g.nodes()])
    assert np.array_equal(net.out_degree, [g.out_degree(v) for v in g.nodes()])
    assert lattis.estimate(net, a.seeds, seed=4)["estimate"] == lattis.estimate(by_id, b.seeds, seed=4)["estimate"]


@pytest.fixture
def small():
    return lattis.Network([0, 1, 2, 3], [1, 2, 3, 0])


@pytest.mark.parametrize("call,name", [
    (lambda net: lattis.choose_seeds(net, 1, costs=np.ones(3)), "costs"),
    (lambda net: lattis.choose_seeds(net, 1, costs=np.array([1, -1, 1, 1.0])), "costs"),
    (lambda net: lattis.choose_seeds(net, 1, benefits=np.array([1, np.nan, 1, 1])), "benefits"),
    (lambda net: lattis.estimate(net, [4]), "seeds"),
    (lambda net: lattis.simulate(net, [-1]), "seeds"),
    (lambda net: lattis.Network([0, 5], [1, 2], n=4), "sources"),
    (lambda net: lattis.Network([0, 1], [1, 2], probabilities=[0.5, np.inf]), "probabilities"),
    (lambda net: lattis.choose_seeds(net, 1, model="XY"), "model"),
    (lambda net: lattis.estimate(net, [0], epsilon=0.01, max_samples=10000), "epsilon"),
])
def test_bad_arguments_raise_value_error_naming_them(small, call, name):
    with pytest.raises(ValueError, match=f"^{name}"):
        call(small)


# A tiny network whose spread is computed by enumerating live-edge outcomes.
ARCS = [(0, 1, 0.5), (1, 2, 0.4), (0, 2, 0.3), (2, 3, 0.9), (3, 0, 0.2)]
BENEFIT = np.array([1.0, 2.0, 3.0, 4.0])


def exact_spread(seeds, model):
    total = 0.0
    if model == "IC":  # each arc live on its own
        outcomes = itertools.product([True, False], repeat=len(ARCS))
        weight = lambda live: math.prod(p if on else 1 - p for (_, _, p), on in zip(ARCS, live))
        arcs_of = lambda live: [(u, v) for (u, v, _), on in zip(ARCS, live) if on]
    else:  # each node keeps at most one in-arc, arc by its weight
        choices = [[None] + [i for i, a in enumerate(ARCS) if a[1] == v] for v in range(4)]
        outcomes = itertools.product(*choices)
        def weight(pick):
            w = 1.0
            for v, i in enumerate(pick):
                ins = [a[2] for a in ARCS if a[1] == v]
                w *= (1 - sum(ins)) if i is None else ARCS[i][2]
            return w
        arcs_of = lambda pick: [(ARCS[i][0], ARCS[i][1]) for i in pick if i is not None]
    for outcome in outcomes:
        reached, frontier = set(seeds), list(seeds)
        live = arcs_of(outcome)
        while frontier:
            u = frontier.pop()
            for a, b in live:
                if a == u and b not in reached:
                    reached.add(b)
                    frontier.append(b)
        total += weight(outcome) * sum(BENEFIT[v] for v in reached)
    return total


@pytest.mark.parametrize("model", ["IC", "LT"])
@pytest.mark.parametrize("sampler", ["classic", "fast"])
def test_estimate_and_simulation_match_enumeration(model, sampler):
    net = lattis.Network([a[0] for a in ARCS], [a[1] for a in ARCS], [a[2] for a in ARCS])
    exact = exact_spread([0], model)
    s = lattis.simulate(net, [0], BENEFIT, model=model, runs=40000, seed=5, threads=2)
    assert abs(s["mean"] - exact) < 4 * s["standard_error"]
    assert lattis.simulate(net, [0], BENEFIT, model=model, runs=40000, seed=5, threads=1) == s
    e = lattis.estimate(net, [0], BENEFIT, model=model, epsilon=0.05, seed=5, sampler=sampler)
    # Each sample is a hit with probability exact / mass: the estimate's
    # relative standard error is about sqrt((1 - q) / hits).
    q = exact / BENEFIT.sum()
    assert abs(e["estimate"] - exact) < 4 * exact * math.sqrt((1 - q) / e["hits"])


def test_simulation_agrees_with_estimate_on_a_real_network(packed):
    net = lattis.Network.from_file(packed / "eu.bin")
    seeds = lattis.choose_seeds(net, 10, seed=1, sampler="fast").seeds
    e = lattis.estimate(net, seeds, epsilon=0.05, seed=3, sampler="fast")
    s = lattis.simulate(net, seeds, runs=4000, seed=3, threads=2)
    q = e["hits"] / e["samples"]
    estimate_se = e["estimate"] * math.sqrt((1 - q) / e["hits"])
    assert abs(s["mean"] - e["estimate"]) < 4 * math.hypot(s["standard_error"], estimate_se)


@pytest.mark.parametrize("run", [
    lambda net: lattis.simulate(net, [0], runs=10**9, seed=1),
    lambda net: lattis.estimate(net, [0], epsilon=0.001, seed=1, sampler="classic"),
])
def test_ctrl_c_ends_a_long_run_with_keyboard_interrupt(run):
    # A random network of 20,000 nodes: either run would take minutes.
    rng = np.random.default_rng(3)
    net = lattis.Network(rng.integers(0, 20000, 100000), rng.integers(0, 20000, 100000), n=20000)
    timer = threading.Timer(0.3, signal.pthread_kill, (threading.main_thread().ident, signal.SIGINT))
    start = time.monotonic()
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        run(net)
    timer.join()
    assert time.monotonic() - start < 5
