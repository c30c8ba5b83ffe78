// The module's boundary: numpy arrays checked and converted (ValueError
// naming the argument, with the rules the programs' files follow), and the
// interrupt check the long runs call between their parallel steps.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lattis::python {

namespace py = pybind11;

// Thrown by the interrupt check once Python has a pending exception
// (KeyboardInterrupt); the binding re-raises it with the GIL held.
struct Interrupted {};

// Called between blocks or iterations with the GIL released: takes the GIL,
// lets Python run its signal handlers, and throws Interrupted when one raised.
void checkInterrupt();

// Runs work with the GIL released; an interrupt becomes the pending Python
// exception (py::error_already_set).
void withoutGil(const std::function<void()>& work);

// Integer ids of `name`, each in lo..hi: ValueError otherwise.
std::vector<std::int64_t> idArray(const py::handle& a, const char* name, std::int64_t lo, std::int64_t hi);

// n finite doubles of `name` (ValueError naming it otherwise); ones for None.
std::vector<double> benefitArray(const py::handle& a, std::uint32_t n);

// n costs for the selection, as the cost file gives them: finite, positive,
// within single precision; values up to 1e-9 count as 1e-9. Every cost 1
// for None. n + 1 entries, the last 0.
std::vector<float> costArray(const py::handle& a, std::uint32_t n);

// Floats of `name` with `count` entries, each finite and >= 0.
std::vector<float> probabilityArray(const py::handle& a, std::size_t count);

}  // namespace lattis::python
