#include "uAxisTicks.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <span>

namespace tavrin {
namespace {

// Plain labels longer than this give way to the exponent form when that is shorter.
constexpr size_t kLongPlainText = 7;
constexpr double kMinorSpacing = 4;  // pixels between minor ticks at least
// A span narrower than this part of its magnitude is beyond what doubles can label distinctly.
constexpr double kFinestRelativeSpan = 1e-11;
// Bounds the step search: more than twenty decades of steps never fit any screen.
constexpr int kMaxSteps = 64;
// Lets a tick that sits on an end of the span within rounding count as inside it.
constexpr double kEndTolerance = 1e-9;

constexpr std::array<int, 3> kOneTwoFive = {1, 2, 5};

using TPosition = std::function<double(double value)>;

// mantissa x 10^exponent as exactly as a double allows: 0.1 is 1 / 10, not 1 x 0.1.
double Scaled(int mantissa, int exponent) {
    return exponent >= 0 ? mantissa * std::pow(10.0, exponent)
                         : mantissa / std::pow(10.0, -exponent);
}

std::string StripZeros(std::string text) {
    const size_t e = text.find_first_of("eE");
    std::string tail = e == std::string::npos ? std::string() : text.substr(e);
    std::string head = text.substr(0, e);
    if (head.find('.') != std::string::npos) {
        while (head.back() == '0') {
            head.pop_back();
        }
        if (head.back() == '.') {
            head.pop_back();
        }
    }
    return head + tail;
}

bool Usable(double lower, double upper, const TTickRoom& room) {
    return std::isfinite(lower) && std::isfinite(upper) && lower < upper &&
           std::isfinite(room.Length) && room.Length > 0 && room.Extent != nullptr;
}

// How many intervals of at least MinSpacing pixels the scale holds.
double MaxIntervals(const TTickRoom& room) {
    return std::max(1.0, std::floor(room.Length / std::max(1.0, room.MinSpacing)));
}

struct TCandidate {
    std::vector<double> Values;
    std::vector<int> Resolutions;  // per value: the power of ten its label must resolve
};

// The labels of one scale in one form: the exponent form only where plain labels grow long.
std::vector<std::string> LabelTexts(const TCandidate& candidate) {
    std::vector<std::string> plain;
    std::vector<std::string> exponent;
    size_t longestPlain = 0;
    size_t longestExponent = 0;
    for (size_t i = 0; i < candidate.Values.size(); ++i) {
        plain.push_back(TickText(candidate.Values[i], candidate.Resolutions[i], false));
        exponent.push_back(TickText(candidate.Values[i], candidate.Resolutions[i], true));
        longestPlain = std::max(longestPlain, plain.back().size());
        longestExponent = std::max(longestExponent, exponent.back().size());
    }
    return longestPlain > kLongPlainText && longestExponent < longestPlain ? exponent : plain;
}

std::vector<TScaleTick> Place(const TCandidate& candidate, const TPosition& position) {
    const std::vector<std::string> texts = LabelTexts(candidate);
    std::vector<TScaleTick> ticks;
    for (size_t i = 0; i < candidate.Values.size(); ++i) {
        ticks.push_back({candidate.Values[i], position(candidate.Values[i]), texts[i]});
    }
    return ticks;
}

bool Fits(const std::vector<TScaleTick>& ticks, const TTickRoom& room) {
    std::vector<double> extents;
    for (const TScaleTick& tick : ticks) {
        extents.push_back(room.Extent(tick.Text));
    }
    for (size_t i = 1; i < ticks.size(); ++i) {
        const double distance = ticks[i].Position - ticks[i - 1].Position;
        const double needed = room.LabelStartsAtTick ? extents[i - 1] + room.Gap
                                                     : (extents[i - 1] + extents[i]) / 2 + room.Gap;
        if (distance < room.MinSpacing || distance < needed || ticks[i].Text == ticks[i - 1].Text) {
            return false;
        }
    }
    return true;
}

// Leaves out the labels at the ends whose text would be cut off at the edge.
void KeepWithinRoom(std::vector<TScaleTick>& ticks, const TTickRoom& room) {
    std::erase_if(ticks, [&room](const TScaleTick& tick) {
        const double extent = room.Extent(tick.Text);
        const double start = room.LabelStartsAtTick ? tick.Position : tick.Position - extent / 2;
        return start < -room.Before || start + extent > room.Length + room.After;
    });
}

// Minor ticks are all drawn or none: a scale with some of them missing would read as uneven.
std::vector<double> SpacedOrNone(std::vector<double> values, const TPosition& position) {
    for (size_t i = 1; i < values.size(); ++i) {
        if (position(values[i]) - position(values[i - 1]) < kMinorSpacing) {
            return {};
        }
    }
    return values;
}

// Labels every step = mantissa x 10^exponent; the finest step whose labels fit wins.
TScaleTicks ChooseEvenSteps(double lower, double upper, const TTickRoom& room,
                            const TPosition& position) {
    const double span = upper - lower;
    if (span < std::max(std::fabs(lower), std::fabs(upper)) * kFinestRelativeSpan) {
        return {};
    }
    const double intervals = MaxIntervals(room);
    int exponent = static_cast<int>(std::floor(std::log10(span / intervals)));
    size_t mantissa = 0;
    std::optional<TScaleTicks> single;
    for (int attempt = 0; attempt < kMaxSteps; ++attempt) {
        const double step = Scaled(kOneTwoFive[mantissa], exponent);
        const int stepExponent = exponent;
        const int stepMantissa = kOneTwoFive[mantissa];
        if (++mantissa == kOneTwoFive.size()) {
            mantissa = 0;
            ++exponent;
        }
        const double first = std::ceil(lower / step - kEndTolerance);
        const double last = std::floor(upper / step + kEndTolerance);
        const double count = last - first + 1;
        if (count > intervals + 1) {
            continue;
        }
        if (count < 1) {
            break;
        }
        TCandidate candidate;
        for (double i = first; i <= last; ++i) {
            candidate.Values.push_back(i == 0 ? 0.0 : i * step);
            candidate.Resolutions.push_back(stepExponent);
        }
        TScaleTicks ticks{Place(candidate, position), {}};
        if (!Fits(ticks.Labelled, room)) {
            if (!single) {
                single = TScaleTicks{{ticks.Labelled.front()}, {}};
            }
            continue;
        }
        const int parts = stepMantissa == 2 ? 2 : 5;
        const double minor = step / parts;
        std::vector<double> minors;
        for (double j = std::ceil(lower / minor - kEndTolerance);
             j <= std::floor(upper / minor + kEndTolerance); ++j) {
            if (std::fmod(j, parts) != 0) {
                minors.push_back(j * minor);
            }
        }
        ticks.Minor = SpacedOrNone(std::move(minors), position);
        return ticks;
    }
    return single.value_or(TScaleTicks{});
}

constexpr std::array<int, 8> kTwoToNine = {2, 3, 4, 5, 6, 7, 8, 9};
constexpr std::array<int, 1> kOne = {1};

// Ticks at the given mantissas of every `decadeStep`-th decade inside lower..upper.
TCandidate DecadeTicks(double lower, double upper, std::span<const int> mantissas, int decadeStep) {
    TCandidate candidate;
    const int lowest = static_cast<int>(std::floor(std::log10(lower))) - 1;
    const int highest = static_cast<int>(std::ceil(std::log10(upper))) + 1;
    for (int k = lowest; k <= highest; ++k) {
        if (((k % decadeStep) + decadeStep) % decadeStep != 0) {
            continue;
        }
        for (int m : mantissas) {
            const double value = Scaled(m, k);
            if (value >= lower * (1 - kEndTolerance) && value <= upper * (1 + kEndTolerance)) {
                candidate.Values.push_back(value);
                candidate.Resolutions.push_back(k);
            }
        }
    }
    return candidate;
}

// Adds 2 and 5 to the decades' labels wherever both fit between their neighbours: the decades
// with short labels or more room read finer, the others keep their decade labels alone.
TCandidate WithTwosAndFives(TCandidate candidate, double lower, double upper, const TTickRoom& room,
                            const TPosition& position) {
    const int lowest = static_cast<int>(std::floor(std::log10(lower)));
    const int highest = static_cast<int>(std::ceil(std::log10(upper)));
    for (int k = lowest; k <= highest; ++k) {
        std::vector<std::pair<double, int>> ticks;
        for (size_t i = 0; i < candidate.Values.size(); ++i) {
            ticks.emplace_back(candidate.Values[i], candidate.Resolutions[i]);
        }
        const size_t before = ticks.size();
        for (int m : {2, 5}) {
            const double value = Scaled(m, k);
            if (value >= lower * (1 - kEndTolerance) && value <= upper * (1 + kEndTolerance)) {
                ticks.emplace_back(value, k);
            }
        }
        if (ticks.size() == before) {
            continue;
        }
        std::sort(ticks.begin(), ticks.end());
        TCandidate tried;
        for (const auto& [value, resolution] : ticks) {
            tried.Values.push_back(value);
            tried.Resolutions.push_back(resolution);
        }
        if (Fits(Place(tried, position), room)) {
            candidate = std::move(tried);
        }
    }
    return candidate;
}

TScaleTicks ChooseDecadeTicks(double lower, double upper, const TTickRoom& room) {
    if (!Usable(lower, upper, room) || !(lower > 0)) {
        return {};
    }
    const double decades = std::log10(upper / lower);
    if (!std::isfinite(decades) || !(decades > 0)) {
        return {};
    }
    const double length = room.Length;
    const TPosition position = [lower, decades, length](double value) {
        return std::log10(value / lower) / decades * length;
    };
    std::optional<TScaleTicks> fallback;
    if (decades < 1) {
        // Within a decade the 1-2-5 ticks are one or two: even steps read better.
        TScaleTicks even = ChooseEvenSteps(lower, upper, room, position);
        if (even.Labelled.size() >= 2) {
            return even;
        }
        fallback = std::move(even);
    }
    const double intervals = MaxIntervals(room);
    // Every decade first, then every 2nd, 5th, 10th, ... decade.
    std::vector<int> decadeSteps = {1};
    for (int power = 0; power < 300 && Scaled(1, power) <= 2 * decades + 1; ++power) {
        for (int m : kOneTwoFive) {
            const double step = Scaled(m, power);
            if (step > 1 && step <= 2 * decades + 1) {
                decadeSteps.push_back(static_cast<int>(step));
            }
        }
    }
    for (const int decadeStep : decadeSteps) {
        if (decades / decadeStep > intervals + 2) {
            continue;
        }
        TCandidate candidate = DecadeTicks(lower, upper, kOne, decadeStep);
        if (candidate.Values.empty()) {
            continue;
        }
        TScaleTicks ticks{Place(candidate, position), {}};
        if (!Fits(ticks.Labelled, room)) {
            if (!fallback || fallback->Labelled.empty()) {
                fallback = TScaleTicks{{ticks.Labelled.front()}, {}};
            }
            continue;
        }
        if (decadeStep == 1) {
            candidate = WithTwosAndFives(std::move(candidate), lower, upper, room, position);
            ticks.Labelled = Place(candidate, position);
        }
        // Minor ticks at the other mantissas of each decade, or at the decades left unlabelled.
        TCandidate minors = DecadeTicks(
            lower, upper,
            decadeStep == 1 ? std::span<const int>(kTwoToNine) : std::span<const int>(kOne), 1);
        std::erase_if(minors.Values, [&candidate](double value) {
            return std::find(candidate.Values.begin(), candidate.Values.end(), value) !=
                   candidate.Values.end();
        });
        ticks.Minor = SpacedOrNone(std::move(minors.Values), position);
        return ticks;
    }
    return fallback.value_or(TScaleTicks{});
}

// One label says nothing about the scale: where the preferred spacing leaves fewer than two,
// labels as close as their sizes allow are better.
TScaleTicks WithTwoLabelsIfAny(const TTickRoom& room,
                               const std::function<TScaleTicks(const TTickRoom&)>& choose) {
    TScaleTicks ticks = choose(room);
    KeepWithinRoom(ticks.Labelled, room);
    if (ticks.Labelled.size() < 2) {
        TTickRoom closer = room;
        closer.MinSpacing = 0;
        TScaleTicks closerTicks = choose(closer);
        KeepWithinRoom(closerTicks.Labelled, room);
        if (closerTicks.Labelled.size() > ticks.Labelled.size()) {
            return closerTicks;
        }
    }
    return ticks;
}

}  // namespace

std::string TickText(double value, int resolution, bool exponentForm) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "NaN" : value > 0 ? "INF" : "-INF";
    }
    // Wide enough for any double in fixed notation with every decimal a resolution can ask for.
    char buffer[1100];
    if (!exponentForm || value == 0) {
        const int decimals = std::clamp(-resolution, 0, 700);
        const auto end =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals)
                .ptr;
        std::string text = StripZeros(std::string(buffer, end));
        return text == "-0" ? "0" : text;
    }
    const int leading = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    const int decimals = std::clamp(leading - resolution, 0, 30);
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::scientific, decimals)
                         .ptr;
    const std::string text(buffer, end);
    const size_t e = text.find('e');
    int exponent = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                    exponent);
    return StripZeros(text.substr(0, e)) + "E" + std::to_string(exponent);
}

TScaleTicks ChooseLinearTicks(double lower, double upper, const TTickRoom& room) {
    if (!Usable(lower, upper, room)) {
        return {};
    }
    const double length = room.Length;
    return WithTwoLabelsIfAny(room, [&](const TTickRoom& tried) {
        return ChooseEvenSteps(lower, upper, tried, [lower, upper, length](double value) {
            return (value - lower) / (upper - lower) * length;
        });
    });
}

TScaleTicks ChooseLogTicks(double lower, double upper, const TTickRoom& room) {
    return WithTwoLabelsIfAny(
        room, [&](const TTickRoom& tried) { return ChooseDecadeTicks(lower, upper, tried); });
}

}  // namespace tavrin
