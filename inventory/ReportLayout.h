#pragma once
// The geometry of the printed report, apart from any painter: blocks placed on pages with
// table headers repeated, the ticks of the chart's axes, and a level line thinned to what
// a page can show. Plain C++, so that pagination is tested without a printer.

#include <vector>

namespace ReportLayout {

// One block of the document in the order it is printed; heights in points.
struct Block {
    double height = 0;
    bool newPage = false;      // starts a fresh page (each tank's section)
    bool keepWithNext = false; // never the last block of a page (headings, captions, headers)
    int header = -1;           // a table row: the index of its header block, repeated above
                               // it when the row opens a page
};

struct Placed {
    int block = 0;
    double y = 0; // from the top of the page's content area
};
using Page = std::vector<Placed>;

// Places the blocks on pages of `pageHeight` points. A block that does not fit below what
// the page holds goes to the next page, together with the blocks it is kept with; a block
// taller than a page gets a page of its own (and is cut by the painter). Never fewer than
// one page, so that even an empty document has its heading page.
std::vector<Page> Paginate(const std::vector<Block>& blocks, double pageHeight);

// A step of 1, 2 or 5 times a power of ten that divides `span` into at most `maxTicks`
// parts (and at least one unit); 1 for an empty or invalid span.
double NiceStep(double span, int maxTicks);

// Steps of the time axis, in days: from a minute to four weeks, each a whole number of
// minutes, hours or days, so that ticks fall on round local times.
double TimeStep(double spanDays, int maxTicks);

// The multiples of `step` in [from, to].
std::vector<double> Ticks(double from, double to, double step);

struct Vertex {
    double x = 0, y = 0; // y NaN where the line breaks
};
// The line thinned to at most four vertices per one of `buckets` equal slices of
// [x0, x1): the first, the lowest, the highest and the last of the slice, in time order, so
// that no peak or dip of the level disappears. Breaks are kept. Vertices outside [x0, x1)
// are dropped.
std::vector<Vertex> Thin(const std::vector<Vertex>& line, double x0, double x1, int buckets);

} // namespace ReportLayout
