// The module's boundary checks; see boundary.h.
#include "boundary.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "io/costFile.h"

namespace lattis::python {

namespace {

[[noreturn]] void refuse(const std::string& name, const std::string& what) {
    throw py::value_error(name + ": " + what);
}

py::array_t<double> realArray(const py::handle& a, const std::string& name, std::size_t count) {
    py::array raw = py::array::ensure(a);
    if (!raw || raw.ndim() != 1) refuse(name, "expected a one-dimensional array of numbers");
    const char kind = raw.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u') refuse(name, "expected numbers, got an array of another kind");
    if (static_cast<std::size_t>(raw.shape(0)) != count)
        refuse(name, "holds " + std::to_string(raw.shape(0)) + " values, expected " + std::to_string(count) +
                         " (one for each node of the network)");
    return py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(raw);
}

}  // namespace

void checkInterrupt() {
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) throw Interrupted{};
}

void withoutGil(const std::function<void()>& work) {
    bool interrupted = false;
    {
        py::gil_scoped_release release;
        try {
            work();
        } catch (const Interrupted&) {
            interrupted = true;
        }
    }
    if (interrupted) throw py::error_already_set();
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

std::vector<std::int64_t> idArray(const py::handle& a, const char* name, std::int64_t lo, std::int64_t hi) {
    py::array raw = py::array::ensure(a);
    if (!raw || raw.ndim() != 1) refuse(name, "expected a one-dimensional array of node ids");
    const char kind = raw.dtype().kind();
    if (raw.size() > 0 && kind != 'i' && kind != 'u') refuse(name, "expected integer node ids");
    auto ids = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(raw);
    if (!ids) refuse(name, "expected node ids within the range of a 64-bit integer");
    std::vector<std::int64_t> out(ids.data(), ids.data() + ids.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        if (out[i] < lo || out[i] > hi)
            refuse(name, "entry " + std::to_string(i) + " (" + std::to_string(out[i]) + ") is outside " +
                             std::to_string(lo) + ".." + std::to_string(hi));
    return out;
}

std::vector<double> benefitArray(const py::handle& a, std::uint32_t n) {
    if (a.is_none()) return std::vector<double>(n, 1.0);
    auto values = realArray(a, "benefits", n);
    std::vector<double> out(values.data(), values.data() + n);
    double sum = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (!std::isfinite(out[i]))
            refuse("benefits", "entry " + std::to_string(i) + " (the benefit of node " + std::to_string(i + 1) +
                                   ") is not finite");
        sum += out[i];
    }
    if (!std::isfinite(sum)) refuse("benefits", "the benefits sum past the range of a double; scale them down");
    return out;
}

std::vector<float> costArray(const py::handle& a, std::uint32_t n) {
    std::vector<float> costs(static_cast<std::size_t>(n) + 1, 0.0f);
    if (a.is_none()) {
        for (std::uint32_t i = 0; i < n; ++i) costs[i] = 1.0f;
        return costs;
    }
    auto values = realArray(a, "costs", n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const double c = values.data()[i];
        const float f = static_cast<float>(c);
        if (!(c > 0) || !std::isfinite(f))
            refuse("costs", "entry " + std::to_string(i) + " (the cost of node " + std::to_string(i + 1) + ", " +
                                std::to_string(c) + ") is not a positive finite number within single precision");
        costs[i] = c <= 1e-9 ? kMinCost : f;
    }
    return costs;
}

std::vector<float> probabilityArray(const py::handle& a, std::size_t count) {
    auto values = realArray(a, "probabilities", count);
    std::vector<float> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double p = values.data()[i];
        if (!(p >= 0) || !std::isfinite(p))
            refuse("probabilities", "entry " + std::to_string(i) + " (" + std::to_string(p) +
                                        ") is not a finite number of at least 0");
        out[i] = static_cast<float>(p);
    }
    return out;
}

}  // namespace lattis::python
