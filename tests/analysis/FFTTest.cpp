#include "analysis/MMFFT.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr double kFullScale = 32768.0;

struct PlanPtr {
    TMMFFTPlan *p;
    explicit PlanPtr(int log2) : p(InitFFTPlan(log2)) {}
    ~PlanPtr() { DoneFFTPlan(p); }
};

// X[k] for k = 0..n/2 of a real signal, in double.
std::vector<std::complex<double>> NaiveDFT(const std::vector<float> &x) {
    const std::size_t n = x.size();
    std::vector<double> cs(n), sn(n);
    for (std::size_t i = 0; i < n; ++i) {
        cs[i] = std::cos(2.0 * M_PI * static_cast<double>(i) / static_cast<double>(n));
        sn[i] = std::sin(2.0 * M_PI * static_cast<double>(i) / static_cast<double>(n));
    }
    std::vector<std::complex<double>> out(n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        double re = 0, im = 0;
        std::size_t idx = 0;
        for (std::size_t m = 0; m < n; ++m) {
            re += x[m] * cs[idx];
            im -= x[m] * sn[idx];
            idx += k;
            if (idx >= n) idx -= n;
        }
        out[k] = {re, im};
    }
    return out;
}

// Largest deviation from the naive DFT, relative to N/2 * full scale.
double WorstError(const std::vector<float> &signal) {
    const std::size_t n = signal.size();
    PlanPtr plan(static_cast<int>(std::log2(n)));
    std::vector<float> x = signal;
    DoRealFFT(plan.p, x.data(), 1);
    const auto ref = NaiveDFT(signal);
    double worst = std::fabs(x[0] - ref[0].real());
    worst = std::max(worst, std::fabs(static_cast<double>(x[1])));
    for (std::size_t k = 1; k < n / 2; ++k) {
        worst = std::max(worst, std::fabs(x[2 * k] - ref[k].real()));
        worst = std::max(worst, std::fabs(x[2 * k + 1] - ref[k].imag()));
    }
    return worst / (static_cast<double>(n / 2) * kFullScale);
}

std::vector<float> Tone(std::size_t n, double bin, double amplitude, double phase) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = static_cast<float>(
            std::round(amplitude * std::cos(2.0 * M_PI * bin * static_cast<double>(i) / n + phase)));
    return x;
}

} // namespace

TEST(FFTPlan, ExistsOnlyForOneToThirtyOneBits) {
    EXPECT_EQ(InitFFTPlan(0), nullptr);
    EXPECT_EQ(InitFFTPlan(-3), nullptr);
    EXPECT_EQ(InitFFTPlan(32), nullptr);
    TMMFFTPlan *plan = InitFFTPlan(1);
    ASSERT_NE(plan, nullptr);
    EXPECT_EQ(plan->Length, 2);
    DoneFFTPlan(plan);
    EXPECT_EQ(plan, nullptr);
    DoneFFTPlan(plan); // an empty reference is fine
    EXPECT_EQ(plan, nullptr);
}

TEST(FFTPlan, TablesFollowTheRotations) {
    PlanPtr plan(10);
    const TMMFFTPlan &p = *plan.p;
    EXPECT_EQ(p.Log2Length, 10);
    EXPECT_EQ(p.Length, 1024);
    EXPECT_FLOAT_EQ(p.InvLength, 1.0f / 1024);
    ASSERT_EQ(p.BitReverse.size(), 512u);
    ASSERT_EQ(p.ComplexTwiddles.size(), 128u * 4);
    ASSERT_EQ(p.RealTwiddles.size(), 256u * 2);
    std::vector<bool> seen(512);
    for (std::size_t i = 0; i < 512; ++i) {
        const int r = p.BitReverse[i];
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 512);
        EXPECT_FALSE(seen[r]);
        seen[r] = true;
        EXPECT_EQ(p.BitReverse[r], static_cast<int>(i)); // an involution
    }
    EXPECT_EQ(p.BitReverse[1], 256);
    EXPECT_EQ(p.BitReverse[6], 192);
    const double t = 2 * M_PI / 512, f = 2 * M_PI / 1024;
    for (std::size_t k = 0; k < 128; ++k) {
        EXPECT_NEAR(p.ComplexTwiddles[4 * k], std::cos(k * t), 1e-7);
        EXPECT_NEAR(p.ComplexTwiddles[4 * k + 1], -std::sin(k * t), 1e-7);
        EXPECT_NEAR(p.ComplexTwiddles[4 * k + 2], std::cos(3 * k * t), 1e-7);
        EXPECT_NEAR(p.ComplexTwiddles[4 * k + 3], -std::sin(3 * k * t), 1e-7);
    }
    for (std::size_t k = 1; k <= 256; ++k) {
        EXPECT_NEAR(p.RealTwiddles[2 * k - 2], 0.5 * std::cos(k * f), 1e-7);
        EXPECT_NEAR(p.RealTwiddles[2 * k - 1], 0.5 - 0.5 * std::sin(k * f), 1e-7);
    }
    // A second plan for the same length has identical tables.
    PlanPtr again(10);
    EXPECT_EQ(again.p->ComplexTwiddles, p.ComplexTwiddles);
    EXPECT_EQ(again.p->RealTwiddles, p.RealTwiddles);
}

TEST(FFTTables, BitReversal) {
    std::vector<std::int32_t> t(8);
    FillBitReversal(t.data(), 3);
    EXPECT_EQ(t, (std::vector<std::int32_t>{0, 4, 2, 6, 1, 5, 3, 7}));
    FillBitReversal(t.data(), 0);
    EXPECT_EQ(t[0], 0);
}

TEST(FFTWindows, KnownTables) {
    std::vector<std::int32_t> t(4096);
    FillWindowTable(t.data(), fwRectangular, 12);
    for (int v : t)
        ASSERT_EQ(v, 32767);
    FillWindowTable(t.data(), fwHanning, 3);
    EXPECT_EQ(std::vector<std::int32_t>(t.begin(), t.begin() + 8),
              (std::vector<std::int32_t>{0, 4799, 16384, 27968, 32767, 27968, 16384, 4799}));
    FillWindowTable(t.data(), fwHamming, 3);
    EXPECT_EQ(t[0], 2621); // 0.08 rounded to single first: 2621.36, not 2621.5
    FillWindowTable(t.data(), fwBlackman, 3);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[4], 32767);
    FillWindowTable(t.data(), fwGaussian, 3);
    EXPECT_EQ(t[0], 221); // exp(-5)
    FillWindowTable(t.data(), fwParzen, 3);
    EXPECT_EQ(t[0], 3641); // 1/9
    EXPECT_EQ(t[4], 32767);
    FillWindowTable(t.data(), fwWelch, 3);
    EXPECT_EQ(t[0], 6877); // 1 - (8/9)^2
    FillWindowTable(t.data(), 9, 3);
    EXPECT_EQ(t[0], 32767); // an unknown kind is rectangular
}

TEST(FFTWindows, PeriodicFormsAreSymmetricAboutTheMiddle) {
    for (int kind = fwRectangular; kind <= fwParzen; ++kind) {
        std::vector<std::int32_t> t(1024);
        FillWindowTable(t.data(), kind, 10);
        EXPECT_EQ(t[512], 32767) << kind;
        for (int i = 1; i < 512; ++i)
            ASSERT_EQ(t[i], t[1024 - i]) << kind << " " << i;
        EXPECT_LE(t[0], t[1]) << kind; // w(0) is the minimum
        EXPECT_FLOAT_EQ(FFTWindowValue(kind, 0, 1024), FFTWindowValue(kind, 1024, 1024));
    }
}

// Runs a test body under each kernel set the machine has, then restores the default.
class FFTKernelSets : public ::testing::TestWithParam<const char *> {
  protected:
    void SetUp() override {
        const std::string name = GetParam();
        const TMMFFTKernels *set = name == "portable" ? &PortableFFTKernels() : SSE2FFTKernels();
        if (set == nullptr) GTEST_SKIP() << "no SSE2 here";
        SetFFTKernels(set);
    }
    void TearDown() override { SetFFTKernels(nullptr); }
};

INSTANTIATE_TEST_SUITE_P(All, FFTKernelSets, ::testing::Values("portable", "sse2"),
                         [](const auto &info) { return std::string(info.param); });

TEST_P(FFTKernelSets, MatchesNaiveDFTForEveryLength) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    double worst = 0;
    for (int log2 = 3; log2 <= 12; ++log2) {
        const std::size_t n = std::size_t{1} << log2;
        std::vector<float> random(n);
        for (float &v : random)
            v = static_cast<float>(sample(rng));
        std::vector<float> dc(n, 32767.0f), nyquist(n);
        for (std::size_t i = 0; i < n; ++i)
            nyquist[i] = i % 2 ? -32768.0f : 32767.0f;
        const std::vector<std::vector<float>> signals = {random,
                                                         dc,
                                                         nyquist,
                                                         Tone(n, 1, 32767, 0),
                                                         Tone(n, n / 4 - 1, 32767, 0.3),
                                                         Tone(n, n / 2 - 1, 32767, -1.1),
                                                         Tone(n, 3 * n / 8 + 1, 32767, 2.0)};
        for (std::size_t s = 0; s < signals.size(); ++s) {
            const double e = WorstError(signals[s]);
            EXPECT_LT(e, 1e-5) << "N=" << n << " signal " << s;
            worst = std::max(worst, e);
        }
    }
    std::printf("[ worst ] %s: %.3g of N/2 x full scale\n", GetParam(), worst);
    RecordProperty("WorstRelativeError", std::to_string(worst));
}

TEST_P(FFTKernelSets, ShortestLengths) {
    PlanPtr two(1);
    float x2[2] = {3, 5};
    DoRealFFT(two.p, x2, 1);
    EXPECT_EQ(x2[0], 8);
    EXPECT_EQ(x2[1], 0);

    PlanPtr four(2);
    float x4[4] = {1, 2, 4, 8};
    DoRealFFT(four.p, x4, 1);
    EXPECT_FLOAT_EQ(x4[0], 15);
    EXPECT_FLOAT_EQ(x4[1], 0);
    EXPECT_FLOAT_EQ(x4[2], 1 - 4); // X[1] = (x0 - x2) + i(x3 - x1)
    EXPECT_FLOAT_EQ(x4[3], 8 - 2);
}

TEST_P(FFTKernelSets, OutputOrderAndScaling) {
    const std::size_t n = 256, k = 37;
    PlanPtr plan(8);
    // cos at bin k: X[k] = A*N/2 real; sin: X[k] = -i*A*N/2.
    std::vector<float> x = Tone(n, k, 1000, 0);
    DoRealFFT(plan.p, x.data(), 1);
    EXPECT_NEAR(x[2 * k], 1000.0 * n / 2, 8); // the tone is rounded to integers
    EXPECT_NEAR(x[2 * k + 1], 0, 1);
    EXPECT_NEAR(x[2 * (k + 1)], 0, 1);
    x = Tone(n, k, 1000, -M_PI / 2);
    DoRealFFT(plan.p, x.data(), 1);
    EXPECT_NEAR(x[2 * k], 0, 1);
    EXPECT_NEAR(x[2 * k + 1], -1000.0 * n / 2, 8);
    EXPECT_NEAR(x[2 * k - 1], 0, 1);
}

TEST_P(FFTKernelSets, DirectionIsClampedAndInverseRoundTrips) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-32768, 32767);
    for (int log2 = 1; log2 <= 12; ++log2) {
        const std::size_t n = std::size_t{1} << log2;
        PlanPtr plan(log2);
        std::vector<float> signal(n);
        for (float &v : signal)
            v = std::round(d(rng));
        // The forward transform drops the Nyquist term, so compare with the signal without it.
        double nyq = 0;
        for (std::size_t i = 0; i < n; ++i)
            nyq += (i % 2 ? -1.0 : 1.0) * signal[i];
        nyq /= static_cast<double>(n);

        std::vector<float> a = signal, b = signal;
        DoRealFFT(plan.p, a.data(), 1);
        DoRealFFT(plan.p, b.data(), 17);
        EXPECT_EQ(a, b);
        b = signal;
        DoRealFFT(plan.p, b.data(), 0);
        EXPECT_EQ(a, b);

        DoRealFFT(plan.p, a.data(), -5);
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_NEAR(a[i], signal[i] - (i % 2 ? -nyq : nyq), 0.05) << "N=" << n << " i=" << i;
    }
}

TEST(FFTTransform, NothingWithoutPlanOrData) {
    float x[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    DoRealFFT(nullptr, x, 1);
    EXPECT_EQ(x[0], 1);
    EXPECT_EQ(x[7], 8);
    PlanPtr plan(3);
    DoRealFFT(plan.p, nullptr, 1); // must not crash
}

namespace {
int gComplexCalls = 0;
void CountingComplexFFT(const TMMFFTPlan &plan, float *z) {
    ++gComplexCalls;
    DefaultFFTKernels().ComplexFFT(plan, z);
}
} // namespace

TEST(FFTKernels, TableCanBeReplaced) {
    static TMMFFTKernels counting = DefaultFFTKernels();
    counting.ComplexFFT = CountingComplexFFT;
    const TMMFFTKernels &before = FFTKernels();
    SetFFTKernels(&counting);
    PlanPtr plan(6);
    std::vector<float> x = Tone(64, 5, 100, 0), y = x;
    DoRealFFT(plan.p, x.data(), 1);
    EXPECT_EQ(gComplexCalls, 1);
    SetFFTKernels(&before);
    DoRealFFT(plan.p, y.data(), 1);
    EXPECT_EQ(gComplexCalls, 1);
    EXPECT_EQ(x, y);
    SetFFTKernels(nullptr);
    EXPECT_EQ(&FFTKernels(), &DefaultFFTKernels());
#if defined(__SSE2__)
    EXPECT_EQ(&DefaultFFTKernels(), SSE2FFTKernels());
#endif
}

TEST_P(FFTKernelSets, HelperRoutines) {
    const TMMFFTKernels &k = FFTKernels();
    std::vector<float> a = {1, 2, 3, 4}, b = {5, 6, -1, 0.5f};
    k.ComplexMultiply(a.data(), b.data(), 2);
    EXPECT_EQ(a, (std::vector<float>{1 * 5 - 2 * 6, 1 * 6 + 2 * 5, -3 - 4 * 0.5f, 3 * 0.5f - 4}));
    k.Scale(a.data(), 4, 0.5f);
    EXPECT_EQ(a[0], -3.5f);
    k.Clear(a.data(), 3);
    EXPECT_EQ(a, (std::vector<float>{0, 0, 0, (3 * 0.5f - 4) * 0.5f}));
}

TEST(FFTKernels, SSE2AgreesWithThePortableSet) {
    const TMMFFTKernels *sse2 = SSE2FFTKernels();
    if (sse2 == nullptr) GTEST_SKIP() << "no SSE2 here";
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    double worst = 0;
    for (int log2 = 1; log2 <= 12; ++log2) {
        const std::size_t n = std::size_t{1} << log2;
        const double fullScale = static_cast<double>(n / 2) * kFullScale;
        PlanPtr plan(log2);
        std::vector<float> signal(n);
        for (float &v : signal)
            v = static_cast<float>(sample(rng));
        for (int direction : {1, -1}) {
            std::vector<float> a = signal, b = signal;
            SetFFTKernels(&PortableFFTKernels());
            DoRealFFT(plan.p, a.data(), direction);
            SetFFTKernels(sse2);
            DoRealFFT(plan.p, b.data(), direction);
            const double scale = direction > 0 ? fullScale : kFullScale;
            for (std::size_t i = 0; i < n; ++i) {
                const double e = std::fabs(static_cast<double>(a[i]) - b[i]) / scale;
                ASSERT_LE(e, 1e-6) << "N=" << n << " dir " << direction << " i " << i;
                worst = std::max(worst, e);
            }
        }
    }
    SetFFTKernels(nullptr);
    std::vector<float> a(64, 1.5f), b(64, -2.0f), c = a, d = b;
    PortableFFTKernels().ComplexMultiply(a.data(), b.data(), 31); // odd count: a scalar tail
    sse2->ComplexMultiply(c.data(), d.data(), 31);
    EXPECT_EQ(a, c);
    PortableFFTKernels().Scale(a.data(), 63, 0.25f);
    sse2->Scale(c.data(), 63, 0.25f);
    EXPECT_EQ(a, c);
    std::printf("[ worst ] sse2 vs portable: %.3g of full scale\n", worst);
}
