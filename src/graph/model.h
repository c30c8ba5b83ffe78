// The diffusion model a network is loaded for: Independent Cascade or Linear
// Threshold. The Graph carries the model it was loaded under, and everything
// that samples it (generation, estimates, the fast tables, the reachability
// test) reads the model from there, so no caller passes it again.
#pragma once

namespace lattis {

enum class Model { IC, LT };

// "IC" or "LT", as the -m option spells it.
constexpr const char* modelName(Model m) { return m == Model::IC ? "IC" : "LT"; }

}  // namespace lattis
