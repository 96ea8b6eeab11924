#pragma once
// The least-squares line through a moving window of whole-degree readings, kept as running
// sums so that each reading costs the same however long the window. Pure: no Qt.

#include <map>

class TempLine {
public:
    void Add(double minute, int degrees);
    void Remove(double minute, int degrees);
    void Clear();
    // The line's value at `minute`, clamped to half a degree beyond the window's lowest and
    // highest degrees. False when the window holds fewer than two changes of degree (one
    // step says where the fuel crossed the half degree, not how fast it goes), or when the
    // readings lie further than `spread` (°C, root mean square) from the line: a jump, as
    // when warmer fuel is delivered, which a line would carry on past.
    bool At(double minute, double spread, double& value) const;
    int Count() const { return static_cast<int>(n_); }
    double Origin() const { return origin_; }

private:
    double origin_ = 0; // minutes are summed relative to it, to keep the sums small
    bool started_ = false;
    double n_ = 0, sx_ = 0, sxx_ = 0, sy_ = 0, sxy_ = 0, syy_ = 0;
    std::map<int, int> degrees_; // readings of each degree in the window
};
