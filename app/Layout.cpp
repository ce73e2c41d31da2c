#include "app/Layout.h"

#include <iterator>

namespace {

struct TLayoutRow {
    QPoint PnlPhase;
    QPoint PnlVU;
    int VUPos;
};

// By TConsoleLayout; PanelSpectrum follows PnlPhase, so it has no column of its own.
constexpr TLayoutRow Rows[] = {
    {{4, 6}, {4, 337}, 0}, // Lower
    {{4, 264}, {4, 6}, 1}, // Upper
};
static_assert(std::size(Rows) == static_cast<std::size_t>(TConsoleLayout::Upper) + 1);

} // namespace

TLayoutPlaces LayoutPlaces(TConsoleLayout layout) {
    const TLayoutRow &row = Rows[static_cast<std::size_t>(layout)];
    return {row.PnlPhase, row.PnlVU, row.PnlPhase + SmallWindowInPhase.topLeft(), row.VUPos};
}

TConsoleLayout LayoutOfVUPos(int vuPos) {
    return vuPos == 1 ? TConsoleLayout::Upper : TConsoleLayout::Lower;
}
