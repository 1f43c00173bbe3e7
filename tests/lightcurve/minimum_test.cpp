// Times of minimum of synthetic eclipses against their truth, and the
// honesty of the errors over repeated noise realisations.
#include "lightcurve/minimum.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

namespace lv {
namespace {

constexpr double kTrueMinimum = 2458165.1234;

// An eclipse of depth 0.8 mag and half-width about 0.02 d, sampled at `n`
// random instants over 0.12 d with Gaussian noise; `lean` makes the egress
// that much wider than the ingress.
TimedPoints eclipse(int n, double noise, double lean, std::mt19937& gen)
{
    std::uniform_real_distribution<double> when(-0.06, 0.06);
    std::normal_distribution<double> scatter(0, noise);
    TimedPoints p;
    p.scale = "BJD_TDB";
    for (int i = 0; i < n; ++i) {
        const double dt = when(gen);
        const double width = 0.018 * (dt > 0 ? 1 + lean : 1.0);
        p.time.push_back(kTrueMinimum + dt);
        p.magnitude.push_back(1.2 + 0.8 * std::exp(-dt * dt / (2 * width * width)) + scatter(gen));
    }
    return p;
}

TEST(TimeOfMinimum, SyntheticEclipsesAgainstTheirTruth)
{
    std::mt19937 gen(56);
    for (const MinimumMethod method : {MinimumMethod::KweeVanWoerden, MinimumMethod::SymmetricPolynomial})
        for (const int n : {20, 60, 300})
            for (const double noise : {0.002, 0.01, 0.05}) {
                const MinimumResult r = timeOfMinimum(eclipse(n, noise, 0.0, gen), method);
                ASSERT_TRUE(r.minimum) << methodName(method) << " " << n << " " << noise << ": " << r.why;
                EXPECT_EQ(r.minimum->points, n);
                EXPECT_GT(r.minimum->sigma, 0);
                EXPECT_LT(std::fabs(r.minimum->time - kTrueMinimum), std::max(4 * r.minimum->sigma, 2e-5))
                    << methodName(method) << " " << n << " " << noise << " sigma " << r.minimum->sigma;
                // Within about a minute for a well sampled, quiet eclipse.
                if (n >= 60 && noise <= 0.002) {
                    EXPECT_LT(std::fabs(r.minimum->time - kTrueMinimum), 0.0008);
                }
            }
    // A slightly asymmetric eclipse (egress 5 % wider) is still timed within a few minutes.
    const MinimumResult lean = timeOfMinimum(eclipse(200, 0.005, 0.05, gen), MinimumMethod::KweeVanWoerden);
    ASSERT_TRUE(lean.minimum);
    EXPECT_LT(std::fabs(lean.minimum->time - kTrueMinimum), 0.003);
}

// Over repeated noise realisations of one eclipse, the scatter of the times
// agrees with the mean error within a factor of 1.5, and the truth lies
// within 3 sigma in at least 95 % of the trials.
TEST(TimeOfMinimum, TheErrorDescribesTheScatter)
{
    for (const MinimumMethod method : {MinimumMethod::KweeVanWoerden, MinimumMethod::SymmetricPolynomial})
        for (const double noise : {0.005, 0.03}) {
            std::mt19937 gen(method == MinimumMethod::KweeVanWoerden ? 7 : 8);
            const int trials = 300;
            std::vector<double> times;
            double meanSigma = 0;
            int within = 0;
            for (int k = 0; k < trials; ++k) {
                const MinimumResult r = timeOfMinimum(eclipse(80, noise, 0.0, gen), method);
                ASSERT_TRUE(r.minimum) << r.why;
                times.push_back(r.minimum->time);
                meanSigma += r.minimum->sigma / trials;
                within += std::fabs(r.minimum->time - kTrueMinimum) <= 3 * r.minimum->sigma;
            }
            double mean = 0;
            for (double t : times) mean += t / trials;
            double sq = 0;
            for (double t : times) sq += (t - mean) * (t - mean);
            const double scatter = std::sqrt(sq / (trials - 1));
            const double ratio = meanSigma / scatter;
            EXPECT_GT(ratio, 1 / 1.5) << methodName(method) << " noise " << noise << ": mean sigma " << meanSigma
                                      << ", scatter " << scatter;
            EXPECT_LT(ratio, 1.5) << methodName(method) << " noise " << noise << ": mean sigma " << meanSigma
                                  << ", scatter " << scatter;
            EXPECT_GE(within, 0.95 * trials) << methodName(method) << " noise " << noise;
        }
}

TEST(TimeOfMinimum, TooFewPointsOrNoMinimumSaySo)
{
    std::mt19937 gen(3);
    const TimedPoints p = eclipse(60, 0.005, 0.0, gen);
    // A range of a few points.
    const MinimumResult few = timeOfMinimum(p, MinimumMethod::KweeVanWoerden, kTrueMinimum - 0.004, kTrueMinimum + 0.004);
    EXPECT_FALSE(few.minimum);
    EXPECT_NE(few.why.find("at least 10"), std::string::npos) << few.why;
    // Only the ingress: the light falls all through the range.
    for (const MinimumMethod method : {MinimumMethod::KweeVanWoerden, MinimumMethod::SymmetricPolynomial}) {
        const MinimumResult ingress = timeOfMinimum(p, method, kTrueMinimum - 0.06, kTrueMinimum - 0.012);
        EXPECT_FALSE(ingress.minimum) << methodName(method) << " found " << (ingress.minimum ? ingress.minimum->time : 0);
    }
    // A maximum of light is no minimum.
    TimedPoints hump = p;
    for (double& m : hump.magnitude) m = 3.0 - m;
    EXPECT_FALSE(timeOfMinimum(hump, MinimumMethod::KweeVanWoerden).minimum);
    EXPECT_FALSE(timeOfMinimum(hump, MinimumMethod::SymmetricPolynomial).minimum);
}

TEST(TimeOfMinimum, ObservedMinusCalculatedAndTheTimeScales)
{
    EXPECT_NEAR(observedMinusCalculated(2458165.1234, 2458000.0, 1.5), 2458165.1234 - (2458000.0 + 110 * 1.5), 1e-9);
    EXPECT_NEAR(observedMinusCalculated(2458165.9, 2458000.0, 1.5), 2458165.9 - (2458000.0 + 111 * 1.5), 1e-9);
    std::vector<NightRow> rows(2);
    rows[0].jdUtc = 1;
    rows[0].hjdUtc = 2;
    rows[0].bjdTdb = 3;
    rows[0].vMinusC = 0.5;
    rows[1].jdUtc = 1.1;
    rows[1].hjdUtc = 2.1;
    rows[1].vMinusC = 0.6;  // no BJD: the whole night is timed in HJD
    const TimedPoints p = pointsOfNightTable(rows);
    EXPECT_EQ(p.scale, "HJD");
    EXPECT_EQ(p.time, (std::vector<double>{2, 2.1}));
    EXPECT_EQ(p.magnitude, (std::vector<double>{0.5, 0.6}));
}

}  // namespace
}  // namespace lv
