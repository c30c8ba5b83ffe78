// One block of reverse samples tested against a seed set, as the
// block-ordered counters (the benefit estimate, the validation of a
// certificate) draw it: a fixed number of samples from a stream the caller
// seeded for the block, none stored, each counted as a hit when it reaches a
// seed. Samples (in flight or not) finish in an order fixed by the block's
// stream, so a block drawn again stops at the same sample.
#pragma once

#include <vector>

#include "core/types.h"
#include "graph/rootDistribution.h"
#include "sampling/sampler.h"
#include "sampling/threadScratch.h"

namespace lattis {

// What every block of one count shares: the sampler, the roots and the
// seeds' link table (link[v] < k exactly for the seeds, seedLinks).
struct SeedHitTest {
    const Sampler* sampler = nullptr;
    const RootDistribution* roots = nullptr;
    const UI* link = nullptr;
    UI k = 0;
};

struct BlockTally {
    long long samples = 0;
    long long hits = 0;
};

// n + 1 entries: the seed's position for each seed (the last one for a seed
// listed twice), the seed count elsewhere.
std::vector<UI> seedLinks(UI n, const std::vector<int>& seeds);

// Draws `size` samples from s.rng (seeded by the caller for the block), and
// with stopAt > 0 stops at the sample whose hit makes stopAt hits.
BlockTally countBlockHits(const SeedHitTest& test, ThreadScratch& s, long long size, long long stopAt);

}  // namespace lattis
