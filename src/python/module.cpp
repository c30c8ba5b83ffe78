// The extension lattis._core: the network object and the three runs, over
// the library. The Python package lattis (lattis/__init__.py) wraps them in
// keyword arguments and the network's labels.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <limits>
#include <stdexcept>

#include "boundary.h"
#include "network.h"
#include "runs.h"

namespace py = pybind11;
using lattis::python::NetworkData;

namespace {

netpack::WeightModel weightModel(const std::string& name) {
    if (name == "wc" || name == "weighted_cascade") return netpack::WeightModel::WeightedCascade;
    if (name == "uniform") return netpack::WeightModel::Uniform;
    if (name == "trivalency") return netpack::WeightModel::Trivalency;
    throw py::value_error("weights: \"" + name + "\" is not one of \"wc\", \"uniform\", \"trivalency\"");
}

// netpack's chain after reading: the in-lists, then the weights.
NetworkData packed(netpack::ArcList&& arcs, const std::string& source, bool withProbability,
                   const std::string& weights, double p, std::uint64_t seed, bool normalize) {
    const netpack::WeightModel model = withProbability ? netpack::WeightModel::File : weightModel(weights);
    netpack::BuildCounts counts;
    netpack::Network net = netpack::buildNetwork(std::move(arcs), counts, source);
    if (model != netpack::WeightModel::File) netpack::assignWeights(net, model, p, seed);
    if (normalize) netpack::normalizeWeights(net);
    return NetworkData(std::move(net));
}

// Arcs between nodes 0..n-1 (node i + 1 inside); labels 0..n-1.
NetworkData fromArcs(std::uint32_t n, const py::handle& sources, const py::handle& targets,
                     const py::handle& probabilities, const std::string& weights, double p, std::uint64_t seed,
                     bool normalize) {
    if (n < 1) throw py::value_error("n: a network needs at least one node");
    const auto hi = static_cast<std::int64_t>(n) - 1;
    const auto src = lattis::python::idArray(sources, "sources", 0, hi);
    const auto dst = lattis::python::idArray(targets, "targets", 0, hi);
    if (src.size() != dst.size())
        throw py::value_error("targets: holds " + std::to_string(dst.size()) + " ids, but sources holds " +
                              std::to_string(src.size()));
    netpack::ArcList arcs;
    arcs.n = n;
    arcs.src.resize(src.size());
    arcs.dst.resize(dst.size());
    for (std::size_t i = 0; i < src.size(); ++i) {
        arcs.src[i] = static_cast<std::uint32_t>(src[i] + 1);
        arcs.dst[i] = static_cast<std::uint32_t>(dst[i] + 1);
    }
    const bool given = !probabilities.is_none();
    if (given) {
        const auto prob = lattis::python::probabilityArray(probabilities, src.size());
        arcs.prob.resize(prob.size());
        for (std::size_t i = 0; i < prob.size(); ++i) arcs.prob[i] = prob[i];
    }
    arcs.firstId = 0;
    return packed(std::move(arcs), "the arrays", given, weights, p, seed, normalize);
}

NetworkData fromText(const std::string& path, bool undirected, const std::string& weights, double p,
                     std::uint64_t seed, bool normalize) {
    netpack::ReadOptions opt;
    opt.undirected = undirected;
    weightModel(weights);
    return packed(netpack::readEdgeFile(path, opt), path, false, weights, p, seed, normalize);
}

py::array_t<std::int64_t> degreeArray(const std::vector<std::uint32_t>& degrees) {
    py::array_t<std::int64_t> a(static_cast<py::ssize_t>(degrees.size()));
    auto w = a.mutable_unchecked<1>();
    for (std::size_t i = 0; i < degrees.size(); ++i) w(static_cast<py::ssize_t>(i)) = degrees[i];
    return a;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "lattis: the library's network, seed selection, estimate and forward simulation";
    py::register_exception_translator([](std::exception_ptr e) {
        try {
            if (e) std::rethrow_exception(e);
        } catch (const lattis::python::Interrupted&) {
            PyErr_SetNone(PyExc_KeyboardInterrupt);
        }
    });
    py::class_<NetworkData>(m, "NetworkData")
        .def_property_readonly("n", &NetworkData::n)
        .def_property_readonly("m", &NetworkData::m)
        .def_property_readonly("in_degree", [](const NetworkData& d) { return degreeArray(d.inDegree()); })
        .def_property_readonly("out_degree", [](const NetworkData& d) { return degreeArray(d.outDegree()); })
        .def_property_readonly("original_ids", [](const NetworkData& d) -> py::object {
            if (d.originalIds().empty()) return py::none();
            return py::array_t<std::uint64_t>(static_cast<py::ssize_t>(d.originalIds().size()), d.originalIds().data());
        });
    m.def("from_arcs", &fromArcs, py::arg("n"), py::arg("sources"), py::arg("targets"), py::arg("probabilities"),
          py::arg("weights"), py::arg("p"), py::arg("seed"), py::arg("normalize"));
    m.def("from_text", &fromText, py::arg("path"), py::arg("undirected"), py::arg("weights"), py::arg("p"),
          py::arg("seed"), py::arg("normalize"));
    m.def("from_file", [](const std::string& path) { return NetworkData(path); }, py::arg("path"));
    m.def(
        "choose_seeds",
        [](const NetworkData& net, double budget, const py::object& costs, const py::object& benefits,
           const std::string& model, float epsilon, std::optional<double> delta, int threads,
           std::optional<std::uint32_t> seed, const std::string& sampler, const std::string& select,
           const std::string& stop, std::optional<double> ratio, std::optional<double> memoryMB) {
            lattis::python::SeedRequest r;
            r.budget = budget;
            r.model = model;
            r.epsilon = epsilon;
            r.delta = delta;
            r.threads = threads;
            r.seed = seed;
            r.sampler = sampler;
            r.select = select;
            r.stop = stop;
            r.ratio = ratio;
            r.memoryMB = memoryMB;
            return lattis::python::chooseSeeds(net, r, costs, benefits);
        },
        py::arg("net"), py::arg("budget"), py::arg("costs"), py::arg("benefits"), py::arg("model"),
        py::arg("epsilon"), py::arg("delta"), py::arg("threads"), py::arg("seed"), py::arg("sampler"),
        py::arg("select"), py::arg("stop"), py::arg("ratio"), py::arg("memory_mb"));
    m.def("estimate", &lattis::python::estimateBenefit, py::arg("net"), py::arg("seeds"), py::arg("benefits"),
          py::arg("model"), py::arg("epsilon"), py::arg("delta"), py::arg("threads"), py::arg("seed"),
          py::arg("sampler"), py::arg("max_samples"));
    m.def("simulate", &lattis::python::simulateSpread, py::arg("net"), py::arg("seeds"), py::arg("benefits"),
          py::arg("model"), py::arg("runs"), py::arg("seed"), py::arg("threads"));
}
