#include "TempLine.h"

#include <algorithm>

void TempLine::Add(double minute, int degrees) {
    if (!started_) {
        origin_ = minute;
        started_ = true;
    }
    const double x = minute - origin_, y = degrees;
    n_ += 1;
    sx_ += x;
    sxx_ += x * x;
    sy_ += y;
    sxy_ += x * y;
    syy_ += y * y;
    ++degrees_[degrees];
}

void TempLine::Remove(double minute, int degrees) {
    const double x = minute - origin_, y = degrees;
    n_ -= 1;
    sx_ -= x;
    sxx_ -= x * x;
    sy_ -= y;
    sxy_ -= x * y;
    syy_ -= y * y;
    if (auto it = degrees_.find(degrees); it != degrees_.end() && --it->second <= 0)
        degrees_.erase(it);
    if (n_ <= 0)
        Clear();
}

void TempLine::Clear() {
    *this = TempLine();
}

bool TempLine::At(double minute, double spread, double& value) const {
    if (n_ < 3 || degrees_.empty() || degrees_.rbegin()->first - degrees_.begin()->first < 2)
        return false;
    const double cxx = sxx_ - sx_ * sx_ / n_;
    const double cxy = sxy_ - sx_ * sy_ / n_;
    const double cyy = syy_ - sy_ * sy_ / n_;
    if (cxx <= 0)
        return false;
    const double slope = cxy / cxx;
    const double residual = std::max(0.0, cyy - slope * cxy) / n_;
    if (residual > spread * spread)
        return false;
    const double x = minute - origin_;
    value = std::clamp(sy_ / n_ + slope * (x - sx_ / n_), degrees_.begin()->first - 0.5,
                       degrees_.rbegin()->first + 0.5);
    return true;
}
