#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "audio/BpmEstimator.h"

namespace {

// Pushes `count` values of an onset train: 1 every `period` values, else 0.
void pushTrain(BpmEstimator& estimator, double period, int count, double& phase)
{
    for (int i = 0; i < count; ++i) {
        estimator.push(phase < 1.0 ? 1.0f : 0.0f);
        phase += 1.0;
        if (phase >= period)
            phase -= period;
    }
}

// Two-second steps of the pump: 60 pushes, then one update.
bool stepTwoSeconds(BpmEstimator& estimator, double period, double& phase)
{
    pushTrain(estimator, period, 60, phase);
    return estimator.update();
}

}  // namespace

TEST(BpmEstimator, NeedsTwelveSecondsAndTwoAgreeingEstimatesAndFoldsInto70To180)
{
    // Onset period, the tempo it reads as, and how close.
    const std::tuple<const char*, double, double, double> rows[] = {
        {"period 15 is 120 BPM", 15, 120.0, 0.0},
        {"period 40 is 45 BPM, doubled", 40, 90.0, 0.05},
        {"period 10 is 180 BPM, kept", 10, 180.0, 0.05},
    };
    for (const auto& [name, period, bpm, tolerance] : rows) {
        SCOPED_TRACE(name);
        BpmEstimator estimator;
        double phase = 0;
        pushTrain(estimator, period, BpmEstimator::kMinHistory - 1, phase);
        EXPECT_FALSE(estimator.update());
        pushTrain(estimator, period, 1, phase);
        EXPECT_FALSE(estimator.update()) << "the first estimate is only a candidate";
        EXPECT_EQ(estimator.bpm(), 0.0);
        EXPECT_TRUE(stepTwoSeconds(estimator, period, phase));
        EXPECT_NEAR(estimator.bpm(), bpm, tolerance);
        EXPECT_FALSE(stepTwoSeconds(estimator, period, phase)) << "an unchanged tempo is not republished";
    }
}

TEST(BpmEstimator, ALockedTempoAveragesCloseValuesNeedsTwoVotesToMoveAndDropsOnceInSilence)
{
    // What an onset every 12.2 values reads as on its own: close to 150 BPM, not at it.
    BpmEstimator alone;
    double phase = 0;
    pushTrain(alone, 12.2, BpmEstimator::kHistory, phase);
    alone.update();
    ASSERT_TRUE(alone.update());
    const double near = alone.bpm();
    ASSERT_GT(std::fabs(near - 150.0), 0.5);
    ASSERT_LT(std::fabs(near - 150.0), 3.0);

    BpmEstimator estimator;
    phase = 0;
    pushTrain(estimator, 15, BpmEstimator::kHistory, phase);
    estimator.update();
    ASSERT_TRUE(stepTwoSeconds(estimator, 15, phase));
    ASSERT_DOUBLE_EQ(estimator.bpm(), 120.0);

    // A whole history at 150 BPM: one computation is only a candidate...
    phase = 0;
    pushTrain(estimator, 12, BpmEstimator::kHistory, phase);
    EXPECT_FALSE(estimator.update());
    EXPECT_DOUBLE_EQ(estimator.bpm(), 120.0);
    // ...the second agreeing one replaces the lock outright, without averaging.
    EXPECT_TRUE(estimator.update());
    EXPECT_NEAR(estimator.bpm(), 150.0, 0.05);

    // Close to the lock: the published value is the mean of the lock and the new value.
    phase = 0;
    pushTrain(estimator, 12.2, BpmEstimator::kHistory, phase);
    EXPECT_TRUE(estimator.update());
    EXPECT_NEAR(estimator.bpm(), (near + 150.0) / 2.0, 0.1);

    for (int i = 0; i < BpmEstimator::kHistory; ++i)
        estimator.push(0.0f);
    EXPECT_TRUE(estimator.update()) << "0 is published once";
    EXPECT_EQ(estimator.bpm(), 0.0);
    EXPECT_FALSE(estimator.update());
}
