// Tests of the figures the programs print: ostrand's check of marlet's seeds
// is independent of marlet's draws under the same -seed, accuracy settings
// past any sample cap are refused before loading, estimates of benefits near
// the largest double stay finite, and in-weights summing above 1 are noted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/testNetwork.h"

using namespace lattis;

namespace {

using testnet::contains;

class EstimateFigures : public testing::Test {
protected:
    testnet::RunResult run(const std::string& program, const std::vector<std::string>& args) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        return testnet::run(argv, dir.root().string());
    }
    testnet::TempDir dir;
};

// An edgeless network of 2000 nodes with unit benefits and costs: a seed set
// reaches exactly its own nodes, so k seeds are worth exactly k. marlet's
// selection takes the k nodes drawn most often as roots of its samples, so
// an estimate that redraws those samples counts them several times over.
TEST_F(EstimateFigures, OstrandWithMarletsSeedIsAnIndependentCheck) {
    constexpr int kN = 2000;
    constexpr int kSeeds = 20;
    testnet::writeNetwork(dir.path("flat.bin"), kN, {});
    testnet::writeValues(dir.path("flat.ben"), std::vector<double>(kN, 1.0));
    testnet::writeValues(dir.path("flat.cost"), std::vector<double>(kN, 1.0));
    for (const char* sampler : {"classic", "fast"})
        for (const char* seed : {"1", "2", "3"}) {
            SCOPED_TRACE(std::string(sampler) + " -seed " + seed);
            const testnet::RunResult sel =
                run(MARLET_BIN, {"-i", "flat.bin", "-b", "flat.ben", "-c", "flat.cost", "-k", std::to_string(kSeeds),
                                 "-seed", seed, "-sampler", sampler, "-o", "flat.seeds", "-pairs", "none"});
            ASSERT_EQ(sel.status, 0) << sel.err;
            // -epsilon 0.5 stops at 1 + (2 + 1/3) 1.5 ln(200) / 0.25 = 75.2, so
            // 76 hits: a relative standard error of 1/sqrt(76) = 0.115.
            const testnet::RunResult est = run(OSTRAND_BIN, {"-i", "flat.bin", "-b", "flat.ben", "-s", "flat.seeds",
                                                             "-seed", seed, "-sampler", sampler, "-epsilon", "0.5"});
            ASSERT_EQ(est.status, 0) << est.err;
            const double estimate = std::stod(est.out);
            EXPECT_NEAR(estimate, kSeeds, 4 * kSeeds / std::sqrt(76.0)) << est.out;
        }
}

// The stopping bound for -epsilon 1e-9 is about 1e19 hits: past every cap,
// refused from the options alone (the network named does not exist).
TEST_F(EstimateFigures, BoundsPastTheSampleCapAreRefusedBeforeLoading) {
    for (const char* sampler : {"classic", "fast"})
        for (const auto& [epsilon, shown] : {std::pair{"1e-9", "1e-09"}, std::pair{"1e-5", "1e-05"}}) {
            SCOPED_TRACE(std::string(sampler) + " " + epsilon);
            const testnet::RunResult r =
                run(OSTRAND_BIN, {"-i", "missing.bin", "-s", "s.txt", "-epsilon", epsilon, "-sampler", sampler});
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_TRUE(contains(r.err, "ostrand: options -epsilon " + std::string(shown))) << r.err;
            EXPECT_TRUE(contains(r.err, "samples (-maxsamples) could ever give")) << r.err;
        }
}

// One benefit of 1.7e308: hits times the benefit overflows, the estimate
// (at most the benefit) does not.
TEST_F(EstimateFigures, ABenefitNearTheLargestDoubleGivesAFiniteEstimate) {
    constexpr int kN = 40;
    testnet::writeProgramNetwork(dir, kN);
    std::vector<double> ben(kN, 0.0);
    ben[0] = 1.7e308;
    testnet::writeValues(dir.path("huge.ben"), ben);
    testnet::writeBytes(dir.path("s.txt"), "1\n");
    const testnet::RunResult sel = run(
        MARLET_BIN, {"-i", "net.bin", "-b", "huge.ben", "-c", "net.cost", "-k", "5", "-seed", "1", "-pairs", "none"});
    ASSERT_EQ(sel.status, 0) << sel.err;
    EXPECT_FALSE(contains(sel.out, "inf")) << sel.out;
    const testnet::RunResult est = run(OSTRAND_BIN, {"-i", "net.bin", "-b", "huge.ben", "-s", "s.txt", "-seed", "1"});
    ASSERT_EQ(est.status, 0) << est.err;
    // Node 1 is a seed and the only root: every sample is a hit.
    EXPECT_EQ(std::stod(est.out), 1.7e308) << est.out;
}

// Node 4 has three in-edges of 0.9 (a sum of 3 * 0.9f); the others at most
// one of 0.5.
TEST_F(EstimateFigures, InWeightsSummingAboveOneAreNoted) {
    testnet::writeNetwork(dir.path("heavy.bin"), 6,
                          {{1, 4, 0.9f}, {2, 4, 0.9f}, {3, 4, 0.9f}, {4, 5, 0.5f}, {5, 6, 0.5f}});
    testnet::writeValues(dir.path("heavy.ben"), std::vector<double>(6, 1.0));
    testnet::writeBytes(dir.path("s.txt"), "1\n");
    char largest[32];
    std::snprintf(largest, sizeof largest, "%.9g", 3.0 * static_cast<double>(0.9f));
    const std::string note = "note: under LT the in-weights of 1 nodes sum above 1 (the largest to " +
                             std::string(largest) + ")";
    const testnet::RunResult sel =
        run(MARLET_BIN, {"-i", "heavy.bin", "-b", "heavy.ben", "-k", "2", "-seed", "1", "-pairs", "none"});
    EXPECT_EQ(sel.status, 0) << sel.err;
    EXPECT_TRUE(contains(sel.err, "marlet: " + note)) << sel.err;
    const testnet::RunResult est = run(OSTRAND_BIN, {"-i", "heavy.bin", "-b", "heavy.ben", "-s", "s.txt"});
    EXPECT_EQ(est.status, 0) << est.err;
    EXPECT_TRUE(contains(est.err, "ostrand: " + note)) << est.err;
    // Under IC the weights are probabilities of their own: no note.
    const testnet::RunResult ic = run(OSTRAND_BIN, {"-i", "heavy.bin", "-b", "heavy.ben", "-s", "s.txt", "-m", "IC"});
    EXPECT_FALSE(contains(ic.err, "note: under LT")) << ic.err;
    const testnet::RunResult info = run(NETPACK_BIN, {"-info", "heavy.bin"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(contains(info.err, "netpack: note: under LT the in-probabilities of 1 nodes sum above 1 (the largest to " +
                                       std::string(largest) + ")"))
        << info.err;
}

}  // namespace
