// The runs the module offers, over the library's steps: choose_seeds as
// marlet runs it (programs/selectionRun.h), estimate as ostrand does
// (programs/entrySteps.h estimateSeeds) and the forward simulation
// (estimate/forwardSimulation.h). Seeds here are node ids 1..n; the Python
// layer maps them to and from the network's labels.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <optional>
#include <string>

#include "network.h"

namespace lattis::python {

namespace py = pybind11;

struct SeedRequest {
    double budget = 0;
    std::string model = "IC", sampler = "classic", select = "stop", stop = "threshold";
    float epsilon = 0.1f;
    std::optional<double> delta, ratio, memoryMB;
    int threads = 1;
    std::optional<std::uint32_t> seed;
};

// A dict of the run's figures; "seeds" holds node ids.
py::dict chooseSeeds(const NetworkData& net, const SeedRequest& r, const py::handle& costs, const py::handle& benefits);

py::dict estimateBenefit(const NetworkData& net, const py::handle& seeds, const py::handle& benefits,
                         const std::string& model, float epsilon, float delta, int threads,
                         std::optional<std::uint32_t> seed, const std::string& sampler, long long maxSamples);

py::dict simulateSpread(const NetworkData& net, const py::handle& seeds, const py::handle& benefits,
                        const std::string& model, long long runs, std::optional<std::uint32_t> seed, int threads);

}  // namespace lattis::python
