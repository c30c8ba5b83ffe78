// The constants that set how fast the programs run, in one place, each with
// why it is there and what was measured for it; and, first, the one block
// size that looks like a speed setting but fixes results.
//
// None of the speed constants changes an output: the hyperedges, seeds and
// estimates of a -seed are the same whatever their values. The figures are
// of marlet on web-NotreDame packed with weighted-cascade probabilities,
// unit benefits and unit costs (325,729 nodes, 1,469,679 arcs), -m IC
// -sampler fast -k 10 -epsilon 0.02 -t 2 -seed 1 (1.25 million
// hyperedges), three runs each way alternated, the constant at its value
// and switched off. Page faults are counted by the system and barely vary
// from run to run; wall times on a shared machine vary by a third, so a
// constant is kept on time only where switching it off was slower in every
// alternated pair. Constants that
// decide results (the samples in flight, kWalksInFlight; the live-set
// draws, kFewLive; the estimate's block, kEstimateBlock) stay with the code
// whose output they define.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lattis {

// Hyperedges per block. Each block of a store draws from its own stream
// keyed by its number, so this size is part of which hyperedges a -seed
// gives, and a run split over processes maps hyperedge ids by it: it is not
// free to change.
inline constexpr long long kHyperedgeBlock = 10000;

// A memory bound, not a speed one: each indexing thread after the first
// keeps a cursor of 8 bytes per node, so it joins only for every this many
// new ids per node, which keeps the cursors within an eighth of a byte per
// new id whatever -t is (at 1, every batch on the team: page faults 3,200
// -> 3,830).
inline constexpr std::int64_t kIdsPerNodeForTeam = 64;

// From this many bytes on, growing arrays and per-node tables are whole
// 2 MB huge pages: a page fault then clears 2 MB instead of 4 kB, and faults
// cost about 11 us each on this kind of virtual machine (never huge: page
// faults 3,200 -> 34,500).
inline constexpr std::size_t kHugeFrom = std::size_t{1} << 18;

// Freed blocks below this size are kept by the C library's allocator for
// reuse (the mapping and the trim thresholds), so per-batch tables are not
// faulted in afresh each batch; larger ones still go back to the system
// (the library's 128 kB instead: page faults 3,190 -> 4,760).
inline constexpr int kAllocatorReuseBelow = 32 << 20;

// Room each sampling thread's buffer keeps from batch to batch: a block's
// sizes and a first stretch of ids, so that the buffer starts on huge pages
// instead of growing through small ones (no ids kept: page faults 3,195 ->
// 3,580; no sizes kept: 3,190 -> 3,470).
inline constexpr std::size_t kBufferSizesKept = static_cast<std::size_t>(kHyperedgeBlock);
inline constexpr std::size_t kBufferIdsKept = std::size_t{1} << 18;

// Entries (4 bytes each) of the network file that a loading thread reads,
// checks and converts at a time: small enough that a block is still in the
// cache when it is checked, large enough that the reads cost little
// (bench_load -file r22.bin -t 1, five loads, CPU time in three runs:
// 1 << 12: 1.55-1.81 s; 1 << 16: 1.05-1.39 s; 1 << 20: 1.02-1.20 s, no
// better beyond noise, and fewer blocks to share).
inline constexpr std::size_t kLoadBlock = std::size_t{1} << 16;

// Bytes of a benefit or cost file that a thread reads, counts the tokens of
// and then parses at a time (textBlocks.h): half the second-level cache, so
// the block is still there when it is parsed; and the blocks of one window,
// the memory the read holds at once (32 MB), enough blocks for the team to
// share evenly.
inline constexpr std::size_t kTextBlock = std::size_t{1} << 20;
inline constexpr std::size_t kTextWindowBlocks = 32;

// How many places ahead in a covered node's hyperedge list the greedy
// selection requests the next list, so its cache miss overlaps the work on
// the current one (no lookahead: selection 0.26 0.36 0.24 s -> 0.33 0.38
// 0.41 s).
inline constexpr std::size_t kSelectionLookahead = 8;
// The selection asks for a covered hyperedge's nodes' gains and heap
// places this many nodes ahead, their heap entries two thirds as far and
// the entries' children a third: on R-MAT scale 22 (IC, unit costs,
// 150,000 hyperedges, bench_selection, best of 7, 3 alternations)
// 0.258-0.313 s against 0.288-0.293 s without; on R-MAT 24 (-t 1, a
// million hyperedges) the picks take 1.6 s, 2.0 s without the children's.
inline constexpr std::size_t kSelectionNodeLookahead = 16;
// The nodes a pick lowers are gathered this many at a time and then lowered
// in the same order, so that the lookahead above runs across hyperedge
// boundaries (R-MAT scale 26, IC, unit costs, k 50, -t 2, 5 selections,
// alternating: 3.10 3.23 s against 3.44 3.48 s lowering hyperedge by
// hyperedge; scale 24: 0.81-0.92 s against 0.82-1.16 s). On two threads
// or more a stretch is also the step of the pick's pipeline: one thread
// gathers and lowers the gains of a stretch while another re-sifts the last.
inline constexpr std::size_t kSelectionLoweredStretch = 4096;
// The selection marks and lists the nodes the store holds, reads their
// gains from the index and builds its heap over them on the run's threads
// only from this many nodes on (2^24, R-MAT scale 24; measured for the
// gains, which the heap build follows): below it one thread is faster than
// two once waking the second thread on a busy machine is counted (R-MAT scale 22, IC, unit
// costs, bench_selection -doubling 5 on kept tables: 3-16 ms a selection on
// one thread, 41-50 ms on two).
inline constexpr int kParallelGainsFrom = 1 << 24;

// How much work goes by between two looks for progress and an interrupt
// (Ctrl-C in the Python module, which can act only outside a parallel
// region): the estimate's rounds hold at most this many blocks per thread
// (2^18 samples), and the forward simulation looks between chunks of this
// many runs per thread. Neither changes a result. What they cost, on
// web-NotreDame under IC at -t 2, alternated with both unbounded: ostrand
// -epsilon 0.004 (10.9 million samples, 42 rounds) fast 2.57-2.77 s against
// 2.51-2.76 s, classic 4.93-5.30 s against 5.07-6.17 s; 40,000 simulation
// runs (about 1 ms each) 20.1-21.0 s against 20.8-21.0 s.
inline constexpr long long kEstimateRoundBlocksPerThread = 64;
inline constexpr long long kSimulationRunsPerThread = 256;

}  // namespace lattis
