#include "uChartOutline.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

void TColumnOutline::Add(int index, double x, double y) {
    if (std::isnan(x) || std::isnan(y)) {
        Flush();
        mKept.push_back(index);
        return;
    }
    // The painter fills column floor(x) for a line at x when it does not smooth.
    const double column = std::floor(x);
    if (!mInRun || column != mColumn) {
        Flush();
        mInRun = true;
        mColumn = column;
        mFirst = mHighest = mLowest = {index, y};
    } else if (y < mHighest.Y) {
        mHighest = {index, y};
    } else if (y > mLowest.Y) {
        mLowest = {index, y};
    }
    // Which extreme is drawn higher does not matter: both are kept, in the order they came.
    mLast = index;
}

void TColumnOutline::Finish() {
    Flush();
}

void TColumnOutline::Flush() {
    if (!mInRun) {
        return;
    }
    mInRun = false;
    const int chain[] = {mFirst.Index, std::min(mHighest.Index, mLowest.Index),
                         std::max(mHighest.Index, mLowest.Index), mLast};
    mKept.push_back(chain[0]);
    for (int i = 1; i < 4; ++i) {
        if (chain[i] != chain[i - 1]) {
            mKept.push_back(chain[i]);
        }
    }
}

}  // namespace tavrin
