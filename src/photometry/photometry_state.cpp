#include "photometry/photometry_state.h"

#include "core/conventions.h"

namespace lv {

PhotometryState::PhotometryState()
{
    for (int s = 1; s <= kAllSlots; ++s) setFieldPosition(s, {0, 0});
}

PixelPosition PhotometryState::fieldPosition(int slot) const
{
    // Typed fractions land on the nearest pixel, as an array index would.
    return {toInt32Saturated(leadingNumber(fieldX[static_cast<std::size_t>(slot)])),
            toInt32Saturated(leadingNumber(fieldY[static_cast<std::size_t>(slot)]))};
}

void PhotometryState::setFieldPosition(int slot, PixelPosition p)
{
    fieldX[static_cast<std::size_t>(slot)] = numberText(p.x);
    fieldY[static_cast<std::size_t>(slot)] = numberText(p.y);
}

std::string& PhotometryState::magnitudeField(int starSlot)
{
    return starSlot == kComparison ? comparisonMagnitude : starSlot == kVariable ? variableMagnitude : checkMagnitude;
}

const std::string& PhotometryState::magnitudeField(int starSlot) const
{
    return starSlot == kComparison ? comparisonMagnitude : starSlot == kVariable ? variableMagnitude : checkMagnitude;
}

std::vector<int> PhotometryState::starSlotsInUse() const
{
    std::vector<int> slots(kStarSlots.begin(), kStarSlots.end());
    for (int n = 2; n <= comparisonCount; ++n) slots.push_back(comparisonSlot(n));
    return slots;
}

}  // namespace lv
