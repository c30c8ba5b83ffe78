// One block of seed-tested samples; see blockHits.h.
#include "estimate/blockHits.h"

namespace lattis {

std::vector<UI> seedLinks(UI n, const std::vector<int>& seeds) {
    const UI k = static_cast<UI>(seeds.size());
    std::vector<UI> link(static_cast<std::size_t>(n) + 1, k);
    for (UI i = 0; i < k; ++i) link[static_cast<std::size_t>(seeds[i])] = i;
    return link;
}

BlockTally countBlockHits(const SeedHitTest& test, ThreadScratch& s, long long size, long long stopAt) {
    BlockTally tally;
    test.sampler->sampleBlock<SeedTest::Exit>(*test.roots, s, size, test.link, test.k, [&](const int*, UI, bool hit) {
        ++tally.samples;
        if (hit) ++tally.hits;
        return stopAt > 0 && tally.hits == stopAt;
    });
    return tally;
}

}  // namespace lattis
