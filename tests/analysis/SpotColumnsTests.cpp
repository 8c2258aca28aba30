// The spot readout's columns of a CSV export: each quantity against its closed form at every
// point, a file that still loads as the curve it was, and no columns for a transfer function.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "uSpotColumns.h"
#include "uTraceImport.h"

namespace tavrin {
namespace {

constexpr double kFarads = 4.7e-6;
constexpr double kOhms = 0.2;

TTrace Capacitor() {
    TTrace trace;
    for (const double f : {100.0, 1000.0, 10000.0}) {
        trace.Points.push_back({f, {kOhms, -1 / (2 * std::numbers::pi * f * kFarads)}});
    }
    return trace;
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream stream(line);
    std::string cell;
    while (std::getline(stream, cell, ',')) {
        cells.push_back(cell);
    }
    return cells;
}

// The header row and the data rows, comments left out.
std::vector<std::string> Rows(const std::string& text) {
    std::vector<std::string> rows;
    std::stringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.front() != '#') {
            rows.push_back(line);
        }
    }
    return rows;
}

TEST(SpotColumns, EveryQuantityAtEveryPointAndTheFileLoadsBack) {
    const TTrace trace = Capacitor();
    const std::vector<TExtraColumn> columns = SpotReadoutColumns(TTraceKind::Impedance);
    const std::string text = FormatTrace(trace, TTraceFormat::Csv, columns);
    const std::vector<std::string> rows = Rows(text);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0],
              "Frequency (Hz),Re (Ohm),Im (Ohm),|Z| (Ohm),Phase (deg),Cs (F),Ls (H),ESR (Ohm),"
              "Cp (F),Lp (H),Rp (Ohm),D,Q");
    for (size_t i = 0; i < trace.Points.size(); ++i) {
        const double w = 2 * std::numbers::pi * trace.Points[i].Frequency;
        const double d = w * kFarads * kOhms;
        const std::vector<std::string> cells = Split(rows[i + 1]);
        ASSERT_EQ(cells.size(), 13u) << rows[i + 1];
        const auto cell = [&](size_t k) { return std::stod(cells[k]); };
        SCOPED_TRACE(rows[i + 1]);
        EXPECT_NEAR(cell(5) / kFarads, 1, 1e-10);
        EXPECT_NEAR(cell(6) * w * w * kFarads, -1, 1e-10);  // the negative inductance
        EXPECT_NEAR(cell(7) / kOhms, 1, 1e-10);
        EXPECT_NEAR(cell(8) * (1 + d * d) / kFarads, 1, 1e-10);
        EXPECT_NEAR(cell(10) / (kOhms * (1 + 1 / (d * d))), 1, 1e-10);
        EXPECT_NEAR(cell(11) / d, 1, 1e-10);
        EXPECT_NEAR(cell(12) * d, 1, 1e-10);
    }

    const TTraceRead read = ParseTraceText(text, TTraceFormat::Csv, "capacitor.csv");
    ASSERT_TRUE(read.Trace) << read.Error;
    ASSERT_EQ(read.Trace->Points.size(), trace.Points.size());
    for (size_t i = 0; i < trace.Points.size(); ++i) {
        EXPECT_LT(std::abs(read.Trace->Points[i].Value / trace.Points[i].Value - 1.0), 1e-9);
    }
}

TEST(SpotColumns, NoneForATransferFunctionAndEmptyCellsAtZeroHertz) {
    EXPECT_TRUE(SpotReadoutColumns(TTraceKind::Transfer).empty());
    const std::vector<TExtraColumn> columns = SpotReadoutColumns(TTraceKind::Impedance);
    for (const TExtraColumn& column : columns) {
        EXPECT_TRUE(std::isnan(column.Value({0.0, {1.0, -1.0}}))) << column.Header;
    }
}

}  // namespace
}  // namespace tavrin
