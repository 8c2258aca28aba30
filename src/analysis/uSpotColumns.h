#pragma once

// The spot readout's quantities at every point of an impedance curve, as the extra columns of
// a CSV export: what a spreadsheet user would otherwise work out from Re and Im by hand.

#include <vector>

#include "uTrace.h"
#include "uTraceExport.h"

namespace tavrin {

// "Cs (F)", "Ls (H)", "ESR (Ohm)", "Cp (F)", "Lp (H)", "Rp (Ohm)", "D", "Q", each point read in
// both models whatever the model chosen; none for a transfer function.
std::vector<TExtraColumn> SpotReadoutColumns(TTraceKind kind);

}  // namespace tavrin
