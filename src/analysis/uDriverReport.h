#pragma once

// The driver's results as one text, for the panel and for the file beside the curve: a line
// per quantity, name, value and unit separated by blanks, "." as decimal separator, lines
// ended by CR LF.

#include <string>

#include "uDriverMechanics.h"

namespace tavrin {

struct TDriverResults {
    TDriverFit FreeAir;
    TDriverMethod Method = TDriverMethod::FreeAirOnly;
    double Amount = 0;  // kg of added mass, or m³ of closed volume
    double Sd = 0;      // m²
    TDriverFit Second;  // with the mass or in the box
    TDriverMechanics Mechanics;
};

// Fills Mechanics from the rest.
void EvaluateMechanics(TDriverResults& results);

// "No fit: " and the reason, for a fit that has none.
std::string NoFitText(const TDriverFit& fit);

std::string DriverResultsText(const TDriverResults& results);

}  // namespace tavrin
