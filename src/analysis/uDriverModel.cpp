#include "uDriverModel.h"

#include <numbers>

namespace tavrin {

double TotalQ(const TDriverParameters& p) {
    const double sum = p.Qms + p.Qes;
    return sum > 0 ? p.Qms * p.Qes / sum : 0.0;
}

double MotionalResistance(const TDriverParameters& p) {
    return p.Qes > 0 ? p.Re * p.Qms / p.Qes : 0.0;
}

std::complex<double> DriverImpedance(const TDriverParameters& p, double frequency) {
    const std::complex<double> j(0.0, 1.0);
    const double w = 2.0 * std::numbers::pi * frequency;
    std::complex<double> z = p.Re + j * w * p.Le;
    if (p.Model == TDriverModel::LR2) {
        const std::complex<double> sum = p.R2 + j * w * p.L2;
        if (sum != 0.0) {
            z += j * w * p.L2 * p.R2 / sum;
        }
    }
    if (p.Fs > 0 && frequency > 0) {
        const double detuning = frequency / p.Fs - p.Fs / frequency;
        z += MotionalResistance(p) / (1.0 + j * p.Qms * detuning);
    }
    return z;
}

}  // namespace tavrin
