#include "uSpotColumns.h"

#include <array>
#include <cmath>

#include "uSpotReadout.h"

namespace tavrin {

std::vector<TExtraColumn> SpotReadoutColumns(TTraceKind kind) {
    if (kind != TTraceKind::Impedance) {
        return {};
    }
    constexpr std::array kQuantities = {TSpotQuantity::Cs, TSpotQuantity::Ls, TSpotQuantity::Rs,
                                        TSpotQuantity::Cp, TSpotQuantity::Lp, TSpotQuantity::Rp,
                                        TSpotQuantity::D,  TSpotQuantity::Q};
    std::vector<TExtraColumn> columns;
    for (const TSpotQuantity quantity : kQuantities) {
        const std::string unit = SpotQuantityUnit(quantity);
        columns.push_back({SpotQuantityName(quantity) + (unit.empty() ? "" : " (" + unit + ")"),
                           [quantity](const TTracePoint& p) -> double {
                               // A point at 0 Hz has no reactance to read.
                               if (!(p.Frequency > 0)) {
                                   return NAN;
                               }
                               return SpotQuantity(
                                   SpotReadout(p.Value, p.Frequency, TModelChoice::Series),
                                   quantity);
                           }});
    }
    return columns;
}

}  // namespace tavrin
