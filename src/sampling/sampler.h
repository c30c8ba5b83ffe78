// The reverse sampler of a run: the model and the sampler kind chosen once,
// and one sampleBlock that generation and both estimates draw from.
//
// The classic kind is the walk and the search of reverseSampler.h, one
// sample after another; the fast kind is the tables of fastSampler.h (built
// for the same graph and model) with their batches. A block's samples draw
// from the thread record's stream in the order the kind fixes, so what a
// block yields depends on the stream, the model and the kind alone.
#pragma once

#include "graph/graphView.h"
#include "graph/rootDistribution.h"
#include "sampling/fastSampler.h"
#include "sampling/reverseSampler.h"
#include "sampling/threadScratch.h"

namespace lattis {

class Sampler {
public:
    // Samples under the view's model; the fast kind when fast is given
    // (built for the same graph), the classic one when null.
    Sampler(const GraphView& view, const FastSampler* fast) : view(view), ic(view.model == Model::IC), fast(fast) {}

    // `count` samples on s's stream, each finished one passed to
    // done(nodes, size, hit), which returns true to end the block there.
    // Under SeedTest::Exit a sample ends at the first seed (link[v] < k) and
    // comes with no nodes; under SeedTest::None, link may be null.
    template <SeedTest mode, class Done>
    void sampleBlock(const RootDistribution& roots, ThreadScratch& s, long long count, const UI* link, UI k,
                     Done&& done) const {
        if (fast != nullptr) {
            if (ic)
                fast->batchIC<mode>(view, roots, s.rng, count, s.walks, s.visit, s.mark.data(), link, k,
                                    s.live.data(), done);
            else
                fast->walksLT<mode>(view, roots, s.rng, count, s.walks, link, k, done);
            return;
        }
        int* mark = s.mark.data();
        for (long long i = 0; i < count; ++i) {
            // The hyperedge stays in `mark` until the next sample starts.
            const int* nodes = nullptr;
            UI size = 0;
            auto sink = [&](const int* h, UI c) {
                nodes = h;
                size = c;
            };
            const bool hit = ic ? searchIC<mode>(view, roots, s.rng, sink, link, k, s.visit, mark)
                                : walkLT<mode>(view, roots, s.rng, sink, link, k, s.visit, mark);
            if (done(nodes, size, hit)) return;
        }
    }

private:
    GraphView view;
    bool ic;
    const FastSampler* fast;
};

}  // namespace lattis
