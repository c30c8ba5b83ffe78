#!/usr/bin/env python3
"""The benefit reached at ten budgets, by the reverse estimate and by forward
simulation with their error bars, drawn to a PNG and printed as a table.

A SNAP edge list (weighted cascade probabilities), out-degree costs (at least
1, as netpack -cost degree gives them) and a target list: a fifth of the nodes,
drawn with a fixed seed, carry benefit 1, the others 0.

    PYTHONPATH=build/python python3 examples/budget_sweep.py \
        [EDGE_LIST] [-o budget_sweep.png] [-m IC|LT] [-t THREADS]
"""
import argparse
import math
import os

import numpy as np

import lattis

here = os.path.dirname(os.path.abspath(__file__))
parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
parser.add_argument("network", nargs="?", default=os.path.join(here, "..", "..", "shared", "data",
                                                               "email-Eu-core.txt.gz"))
parser.add_argument("-o", "--output", default="budget_sweep.png")
parser.add_argument("-m", "--model", default="IC", choices=["IC", "LT"])
parser.add_argument("-t", "--threads", type=int, default=2)
parser.add_argument("--runs", type=int, default=5000, help="forward simulation runs per budget")
args = parser.parse_args()

net = lattis.Network.from_text(args.network)
costs = np.maximum(net.out_degree, 1).astype(float)
benefits = (np.random.default_rng(1).random(net.n) < 0.2).astype(float)
budgets = np.linspace(10, 100, 10)

rows = []
for k in budgets:
    r = lattis.choose_seeds(net, k, costs, benefits, model=args.model, seed=1, sampler="fast", threads=args.threads)
    e = lattis.estimate(net, r.seeds, benefits, model=args.model, seed=2, sampler="fast", threads=args.threads)
    q = e["hits"] / e["samples"] if e["samples"] else 0.0
    e_se = e["estimate"] * math.sqrt((1 - q) / e["hits"]) if e["hits"] else 0.0
    s = lattis.simulate(net, r.seeds, benefits, model=args.model, runs=args.runs, seed=3, threads=args.threads)
    rows.append((k, len(r.seeds), r.cost_spent, e["estimate"], e_se, s["mean"], s["standard_error"]))

print(f"{os.path.basename(args.network)}: n {net.n}, m {net.m}, {args.model}, targets {int(benefits.sum())}")
print(f"{'budget':>7} {'seeds':>6} {'spent':>7} {'estimate':>10} {'+-':>6} {'simulated':>10} {'+-':>6}")
for k, count, spent, est, est_se, sim, sim_se in rows:
    print(f"{k:7.0f} {count:6d} {spent:7.0f} {est:10.2f} {est_se:6.2f} {sim:10.2f} {sim_se:6.2f}")

import matplotlib  # noqa: E402  (only for the picture)
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

table = np.array(rows)
fig, ax = plt.subplots(figsize=(6, 4))
ax.errorbar(table[:, 0] - 0.8, table[:, 3], yerr=2 * table[:, 4], fmt="o-", capsize=3,
            label="reverse estimate (ostrand), 2 s.e.")
ax.errorbar(table[:, 0] + 0.8, table[:, 5], yerr=2 * table[:, 6], fmt="s--", capsize=3,
            label=f"forward simulation, {args.runs} runs, 2 s.e.")
ax.set_xlabel("budget (out-degree cost units)")
ax.set_ylabel("expected benefit reached (targets)")
ax.set_title(f"{os.path.basename(args.network)}, {args.model}")
ax.legend()
fig.tight_layout()
fig.savefig(args.output, dpi=120)
print(f"wrote {args.output}")
