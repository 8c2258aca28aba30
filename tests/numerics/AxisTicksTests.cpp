#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "uAxisTicks.h"
#include "uNumberText.h"

namespace tavrin {
namespace {

// A font of 7-pixel characters, 13 pixels high.
TTickRoom Horizontal(double length, bool startsAtTick = false) {
    TTickRoom room;
    room.Length = length;
    room.Extent = [](const std::string& text) { return 7.0 * static_cast<double>(text.size()); };
    room.LabelStartsAtTick = startsAtTick;
    room.MinSpacing = 30;
    room.Gap = 7;
    return room;
}

TTickRoom Vertical(double length) {
    TTickRoom room;
    room.Length = length;
    room.Extent = [](const std::string&) { return 13.0; };
    room.MinSpacing = 25;
    room.Gap = 4;
    return room;
}

std::vector<std::string> Texts(const TScaleTicks& ticks) {
    std::vector<std::string> texts;
    for (const TScaleTick& tick : ticks.Labelled) {
        texts.push_back(tick.Text);
    }
    return texts;
}

// What a reader of the scale relies on: labels in order, distinct, each reading the value of its
// tick closer than any neighbour's, inside the scale and never touching each other.
void ExpectReadable(const TScaleTicks& ticks, double lower, double upper, const TTickRoom& room,
                    const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_FALSE(ticks.Labelled.empty());
    const double tolerance = (upper - lower) * 1e-6;
    for (size_t i = 0; i < ticks.Labelled.size(); ++i) {
        const TScaleTick& tick = ticks.Labelled[i];
        SCOPED_TRACE(tick.Text);
        EXPECT_GE(tick.Value, lower - tolerance);
        EXPECT_LE(tick.Value, upper + tolerance);
        EXPECT_GE(tick.Position, -1e-6 * room.Length);
        EXPECT_LE(tick.Position, room.Length * (1 + 1e-6));
        const std::optional<double> read = ParseDecimal(tick.Text);
        ASSERT_TRUE(read.has_value());
        if (i > 0) {
            const TScaleTick& before = ticks.Labelled[i - 1];
            EXPECT_LT(before.Value, tick.Value);
            EXPECT_NE(before.Text, tick.Text);
            EXPECT_LT(std::fabs(*read - tick.Value), (tick.Value - before.Value) / 2);
            const double a = room.Extent(before.Text);
            const double b = room.Extent(tick.Text);
            const double end =
                room.LabelStartsAtTick ? before.Position + a : before.Position + a / 2;
            const double start = room.LabelStartsAtTick ? tick.Position : tick.Position - b / 2;
            EXPECT_GE(start - end, room.Gap);
        }
    }
    for (size_t i = 1; i < ticks.Minor.size(); ++i) {
        EXPECT_LT(ticks.Minor[i - 1], ticks.Minor[i]);
    }
}

TEST(AxisTicks, TickTextResolvesItsStepOnly) {
    EXPECT_EQ(TickText(47.005, -3, false), "47.005");
    EXPECT_EQ(TickText(47.0, -3, false), "47");
    EXPECT_EQ(TickText(0.0025, -4, false), "0.0025");
    EXPECT_EQ(TickText(-1e-20, -3, false), "0");  // a rounding residue is no "-0"
    EXPECT_EQ(TickText(22000, 3, false), "22000");
    EXPECT_EQ(TickText(1.5e-9, -10, true), "1.5E-9");
    EXPECT_EQ(TickText(-2e8, 8, true), "-2E8");
    EXPECT_EQ(TickText(1.05e8, 6, true), "1.05E8");
    EXPECT_EQ(TickText(0, -10, true), "0");
}

// The readouts that repeated: ticks every 0.005 around 47 ohms, and a short's values near zero.
TEST(AxisTicks, NarrowLinearRangesKeepTheirLabelsApart) {
    const TScaleTicks resistor = ChooseLinearTicks(46.985, 47.025, Vertical(300));
    ExpectReadable(resistor, 46.985, 47.025, Vertical(300), "47 ohm");
    EXPECT_GE(resistor.Labelled.size(), 5u);

    const TScaleTicks shortCircuit = ChooseLinearTicks(-0.001, 0.012, Vertical(300));
    ExpectReadable(shortCircuit, -0.001, 0.012, Vertical(300), "short");
    // The usual "0.##" form where the step allows it.
    const TScaleTicks plain = ChooseLinearTicks(0, 1, Vertical(300));
    EXPECT_EQ(Texts(plain).front(), "0");
    EXPECT_EQ(Texts(plain).back(), "1");
    EXPECT_EQ(plain.Labelled[1].Text.size(), 3u);  // "0.1" or "0.2"
}

TEST(AxisTicks, LinearScalesOverManyRangesAndLengths) {
    const std::vector<std::pair<double, double>> ranges = {
        {0, 22000},     {20, 22000},     {-180, 180},     {-1e-9, 1e-9},      {-3e-12, 5e-11},
        {46.99, 47.02}, {1e6, 1.0001e6}, {9e7, 1.1e8},    {-5e9, 1e10},       {1e-5, 2e-5},
        {0.3, 0.7},     {0.51, 0.99},    {-47.02, -46.9}, {99999.9, 100000.1}};
    for (const auto& [lower, upper] : ranges) {
        for (double length : {90.0, 240.0, 900.0}) {
            const std::string what = std::to_string(lower) + ".." + std::to_string(upper) +
                                     " over " + std::to_string(length);
            ExpectReadable(ChooseLinearTicks(lower, upper, Horizontal(length)), lower, upper,
                           Horizontal(length), what + " horizontal");
            ExpectReadable(ChooseLinearTicks(lower, upper, Vertical(length)), lower, upper,
                           Vertical(length), what + " vertical");
        }
    }
}

TEST(AxisTicks, LogScalesTickOneTwoFiveWhenTheyHaveRoom) {
    const TScaleTicks wide = ChooseLogTicks(20, 22000, Horizontal(700));
    ExpectReadable(wide, 20, 22000, Horizontal(700), "wide");
    EXPECT_EQ(Texts(wide), (std::vector<std::string>{"20", "50", "100", "200", "500", "1000",
                                                     "2000", "5000", "10000", "20000"}));
    const TScaleTicks narrow = ChooseLogTicks(20, 22000, Horizontal(200));
    ExpectReadable(narrow, 20, 22000, Horizontal(200), "narrow");
    EXPECT_EQ(Texts(narrow), (std::vector<std::string>{"100", "1000", "10000"}));

    // Less than a decade: even steps instead of one lone label.
    const TScaleTicks subDecade = ChooseLogTicks(10000, 17500, Horizontal(400));
    ExpectReadable(subDecade, 10000, 17500, Horizontal(400), "sub-decade");
    EXPECT_GE(subDecade.Labelled.size(), 3u);
}

TEST(AxisTicks, LogScalesOverManyRangesAndLengths) {
    const std::vector<std::pair<double, double>> ranges = {
        {20, 22000}, {1, 96000},   {1e-3, 1e5},   {1e-12, 1e3}, {10000, 17500}, {0.5, 0.9},
        {47, 47.1},  {1e-9, 1e-8}, {1e-30, 1e30}, {3, 300000},  {999, 1001}};
    for (const auto& [lower, upper] : ranges) {
        for (double length : {90.0, 240.0, 900.0}) {
            const std::string what = std::to_string(lower) + ".." + std::to_string(upper) +
                                     " over " + std::to_string(length);
            ExpectReadable(ChooseLogTicks(lower, upper, Horizontal(length)), lower, upper,
                           Horizontal(length), what + " horizontal");
            ExpectReadable(ChooseLogTicks(lower, upper, Horizontal(length, true)), lower, upper,
                           Horizontal(length, true), what + " starting at ticks");
            ExpectReadable(ChooseLogTicks(lower, upper, Vertical(length)), lower, upper,
                           Vertical(length), what + " vertical");
        }
    }
}

TEST(AxisTicks, LabelsThatWouldBeCutOffAreLeftOut) {
    TTickRoom room = Horizontal(300);
    room.Before = 0;
    room.After = 5;
    const TScaleTicks ticks = ChooseLinearTicks(0, 22000, room);
    ASSERT_FALSE(ticks.Labelled.empty());
    for (const TScaleTick& tick : ticks.Labelled) {
        EXPECT_GE(tick.Position - room.Extent(tick.Text) / 2, 0) << tick.Text;
        EXPECT_LE(tick.Position + room.Extent(tick.Text) / 2, 305) << tick.Text;
    }
    EXPECT_NE(ticks.Labelled.front().Text, "0");  // centred on the very end, half of it is cut
}

TEST(AxisTicks, NothingToLabelGivesNoTicks) {
    EXPECT_TRUE(ChooseLinearTicks(1, 1, Horizontal(300)).Labelled.empty());
    EXPECT_TRUE(ChooseLinearTicks(2, 1, Horizontal(300)).Labelled.empty());
    EXPECT_TRUE(ChooseLinearTicks(0, NAN, Horizontal(300)).Labelled.empty());
    EXPECT_TRUE(ChooseLinearTicks(0, 1, Horizontal(0)).Labelled.empty());
    EXPECT_TRUE(ChooseLogTicks(0, 100, Horizontal(300)).Labelled.empty());
    EXPECT_TRUE(ChooseLogTicks(-1, 100, Horizontal(300)).Labelled.empty());
    // Beyond what doubles resolve: no labels rather than equal ones.
    EXPECT_TRUE(ChooseLinearTicks(47, 47 + 1e-13, Horizontal(300)).Labelled.empty());
}

}  // namespace
}  // namespace tavrin
