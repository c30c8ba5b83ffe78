// The build must round every product before a following sum: the seeds
// depend on exact single-precision rounding, and a fused multiply-add (which
// -march=native with floating-point contraction allowed would emit) rounds
// once instead of twice. These cases have a product whose rounding shows in
// the sum; they fail in a build that contracts multiply-adds.
#include <gtest/gtest.h>

#include <cmath>

namespace {

// The operands pass through volatile copies, so that the compiler cannot
// fold the expression at compile time and must form it as the build says.
template <class T>
T mulAdd(T a, T b, T c) {
    volatile T va = a, vb = b, vc = c;
    const T x = va, y = vb, z = vc;
    return x * y + z;
}

TEST(Rounding, ProductsAreRoundedBeforeTheSum) {
    // (1 + 2^-12)^2 = 1 + 2^-11 + 2^-24: the 2^-24 is half an ulp of 1 and the
    // tie goes to the even 1 + 2^-11, so adding -(1 + 2^-11) leaves exactly 0.
    // Fused, the sum keeps the 2^-24.
    const float a = 1.0f + std::ldexp(1.0f, -12);
    EXPECT_EQ(mulAdd(a, a, -(1.0f + std::ldexp(1.0f, -11))), 0.0f);
    // In double: (1 + 2^-27)^2 = 1 + 2^-26 + 2^-54, and 2^-54 is a quarter ulp.
    const double d = 1.0 + std::ldexp(1.0, -27);
    EXPECT_EQ(mulAdd(d, d, -(1.0 + std::ldexp(1.0, -26))), 0.0);
}

}  // namespace
