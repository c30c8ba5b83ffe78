"""lattis: cost-aware, benefit-targeted influence maximisation in Python.

The same library as the programs marlet and ostrand: choose_seeds gives
marlet's seeds and figures, estimate ostrand's figure, for the same seed on
the same network, costs and benefits. simulate is a forward Monte Carlo
estimate, an independent check of the reverse estimates.

Seeds, in and out, are the network's own labels: 0..n-1 for a network from
arrays, the original ids of a SNAP or Matrix Market file, the node labels
of a networkx graph, and the ids 1..n of a binary network file.
"""
from dataclasses import dataclass, field
from typing import Optional

import numpy as np

from . import _core

__all__ = ["Network", "SeedResult", "choose_seeds", "estimate", "simulate"]


class Network:
    """A directed network with an influence probability on every arc.

    Network(sources, targets, probabilities=None, n=None, weights="wc", p=0.01,
    seed=1, normalize=False): arcs sources[i] -> targets[i] between nodes
    0..n-1 (n defaults to the largest id plus 1). Without probabilities the
    arcs are weighted as netpack -w does: "wc" (weighted cascade, 1 / in-degree
    of the target), "uniform" (p each) or "trivalency" (0.1, 0.01 or 0.001,
    drawn from seed). Self-loops are dropped and repeated arcs merged, as
    netpack does. normalize scales in-probabilities that sum above 1.

    Network.from_networkx, Network.from_file (binary, as netpack writes it) and
    Network.from_text (SNAP edge list or Matrix Market, plain or gzip) make the
    others. Attributes: n, m, in_degree and out_degree (numpy arrays, node i at i),
    labels.
    """

    def __init__(self, sources, targets, probabilities=None, *, n=None, weights="wc", p=0.01, seed=1,
                 normalize=False):
        sources = np.asarray(sources)
        targets = np.asarray(targets)
        if n is None:
            n = int(max(sources.max(initial=-1), targets.max(initial=-1))) + 1
        self._data = _core.from_arcs(int(n), sources, targets, probabilities, weights, p, seed, normalize)
        self._labels = None  # 0..n-1
        self._index = None

    @classmethod
    def _wrap(cls, data, labels):
        net = cls.__new__(cls)
        net._data = data
        net._labels = labels
        net._index = None
        return net

    @classmethod
    def from_file(cls, path):
        """The binary network file netpack writes; labels are its ids 1..n."""
        data = _core.from_file(str(path))
        return cls._wrap(data, np.arange(1, data.n + 1, dtype=np.int64))

    @classmethod
    def from_text(cls, path, *, undirected=False, weights="wc", p=0.01, seed=1, normalize=False):
        """A SNAP edge list or Matrix Market file through netpack's reader and
        weights; labels are the file's original ids."""
        data = _core.from_text(str(path), undirected, weights, p, seed, normalize)
        ids = data.original_ids
        if ids is None:  # Matrix Market: ids 1..n as written
            ids = np.arange(1, data.n + 1, dtype=np.uint64)
        return cls._wrap(data, ids)

    @classmethod
    def from_networkx(cls, graph, *, probability=None, weights="wc", p=0.01, seed=1, normalize=False):
        """A networkx graph: its nodes (in graph order) become the labels. With
        `probability`, the edge attribute of that name is each arc's
        probability; otherwise `weights` as for Network. An undirected graph
        gives both arcs of every edge."""
        nodes = list(graph.nodes())
        index = {label: i for i, label in enumerate(nodes)}
        edges = list(graph.edges(data=True))
        if not graph.is_directed():
            edges = edges + [(v, u, d) for u, v, d in edges]
        src = np.fromiter((index[u] for u, _, _ in edges), dtype=np.int64, count=len(edges))
        dst = np.fromiter((index[v] for _, v, _ in edges), dtype=np.int64, count=len(edges))
        prob = None
        if probability is not None:
            prob = np.array([d[probability] for _, _, d in edges], dtype=np.float64)
        data = _core.from_arcs(len(nodes), src, dst, prob, weights, p, seed, normalize)
        net = cls._wrap(data, nodes)
        net._index = index
        return net

    n = property(lambda self: self._data.n, doc="node count")
    m = property(lambda self: self._data.m, doc="arc count")
    in_degree = property(lambda self: self._data.in_degree, doc="in-degree of every node, node i at i")
    out_degree = property(lambda self: self._data.out_degree, doc="out-degree of every node, node i at i")

    @property
    def labels(self):
        """The label of every node, node i at i."""
        return np.arange(self.n) if self._labels is None else self._labels

    def _ids(self, seeds, name="seeds"):
        """Labels to the library's ids 1..n (ValueError naming `name`)."""
        seeds = list(seeds) if not isinstance(seeds, np.ndarray) else seeds
        if self._labels is None:
            return np.asarray(seeds, dtype=np.int64) + 1 if len(seeds) else np.zeros(0, np.int64)
        if self._index is None:
            self._index = {(x.item() if hasattr(x, "item") else x): i for i, x in enumerate(self._labels)}
        try:
            return np.array([self._index[x.item() if hasattr(x, "item") else x] + 1 for x in seeds], dtype=np.int64)
        except KeyError as e:
            raise ValueError(f"{name}: {e.args[0]!r} is not a node of the network") from None

    def _labels_of(self, ids):
        if self._labels is None:
            return [i - 1 for i in ids]
        return [self._labels[i - 1].item() if isinstance(self._labels, np.ndarray) else self._labels[i - 1]
                for i in ids]

    def __repr__(self):
        return f"lattis.Network(n={self.n}, m={self.m})"


@dataclass
class SeedResult:
    """What choose_seeds found: the seeds (network labels) and marlet's figures."""
    seeds: list
    cost_spent: float
    total_benefit: float
    in_sample_benefit: float
    hyperedges: int
    iterations: int
    timings: dict
    certified_ratio: Optional[float]
    figures: dict = field(repr=False)


def _seed(seed):
    return None if seed is None else int(seed)


def choose_seeds(net, budget, costs=None, benefits=None, *, model="IC", epsilon=0.1, delta=None, threads=1,
                 seed=None, sampler="classic", select="stop", stop="threshold", ratio=None, memory_mb=None):
    """Seeds within `budget` that reach the most benefit, as marlet chooses them.

    costs: one positive cost per node (node i at i); None means every cost 1,
    so the budget is a seed count. (marlet without -c gives every node the
    cost 1e-9, which buys every node.) benefits: one finite benefit per node;
    None means every benefit 1. delta defaults to 1/n, seed to the clock.
    sampler "classic"|"fast", select "stop"|"fill", stop "threshold"|"certified"
    with `ratio` (default 1 - 1/sqrt(e) - epsilon) as marlet's options.
    The same seed, network, costs and benefits give marlet -seed's seeds and
    Total Benefit. Ctrl-C stops the run between iterations (KeyboardInterrupt).
    """
    r = _core.choose_seeds(net._data, float(budget), costs, benefits, model, epsilon, delta, int(threads),
                           _seed(seed), sampler, select, stop, ratio, memory_mb)
    timings = {k: r[k] for k in ("sampling_seconds", "selection_seconds", "estimate_seconds", "wall_seconds")}
    return SeedResult(seeds=net._labels_of(r["seeds"]), cost_spent=r["cost_spent"], total_benefit=r["total_benefit"],
                      in_sample_benefit=r["in_sample_benefit"], hyperedges=r["hyperedges"],
                      iterations=r["iterations"], timings=timings, certified_ratio=r.get("certified_ratio"),
                      figures=r)


def estimate(net, seeds, benefits=None, *, model="IC", epsilon=0.1, delta=0.01, threads=1, seed=None,
             sampler="classic", max_samples=1000000000):
    """ostrand's estimate of the benefit the seeds (network labels) reach:
    the same figure as ostrand -seed for the same seed. Returns a dict with
    estimate, samples, hits, capped and seed. Raises ValueError when epsilon
    and delta ask for more hits than max_samples samples could give, and
    KeyboardInterrupt on Ctrl-C (looked for between rounds of samples)."""
    return _core.estimate(net._data, net._ids(seeds), benefits, model, epsilon, delta, int(threads), _seed(seed),
                          sampler, int(max_samples))


def simulate(net, seeds, benefits=None, *, model="IC", runs=10000, seed=None, threads=1):
    """Forward Monte Carlo estimate of the benefit the seeds reach: a dict with
    mean, standard_error, runs and seed. Depends on the seed only, not on
    the thread count. Ctrl-C stops it between chunks of runs
    (KeyboardInterrupt)."""
    return _core.simulate(net._data, net._ids(seeds), benefits, model, int(runs), _seed(seed), int(threads))
