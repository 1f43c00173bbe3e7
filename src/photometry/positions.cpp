#include "photometry/positions.h"

#include <algorithm>
#include <cmath>

#include "core/conventions.h"
#include "display/grey_mapping.h"

namespace lv {

std::string apertureFieldText(const PhotometrySettings& s)
{
    if (s.apertureShape == ApertureShape::Circle) return "  Radii" + numberText(s.apertureSize);
    return " " + numberText(s.apertureSize) + " x " + numberText(s.apertureSize);
}

std::string positionModeText(PositionMode mode)
{
    switch (mode) {
    case PositionMode::Fixed: return " Fix position";
    case PositionMode::PeakCast: return " Peak cast";
    case PositionMode::PeakCastAndMove: break;
    }
    return " Peak & Move";
}

void setStarPosition(PhotometryState& state, int starSlot, PixelPosition click)
{
    const PixelPosition sky{click.x + 20, click.y};
    state.slotPositions[static_cast<std::size_t>(starSlot)] = click;
    state.slotPositions[static_cast<std::size_t>(starSlot + 1)] = sky;
    state.setFieldPosition(starSlot, click);
    state.setFieldPosition(starSlot + 1, sky);
}

void setSkyPosition(PhotometryState& state, int skySlot, PixelPosition click)
{
    state.slotPositions[static_cast<std::size_t>(skySlot)] = click;
    state.setFieldPosition(skySlot, click);
    state.skyChosen[static_cast<std::size_t>(skySlot)] = true;
}

void typePosition(PhotometryState& state, int slot)
{
    const PixelPosition p = state.fieldPosition(slot);
    if (slot % 2 == 0) {
        setSkyPosition(state, slot, p);
        return;
    }
    // A typed star is a star set by hand; its sky comes along until the
    // user chooses one.
    if (!state.skyChosen[static_cast<std::size_t>(slot + 1)]) {
        setStarPosition(state, slot, p);
        return;
    }
    state.slotPositions[static_cast<std::size_t>(slot)] = p;
    state.setFieldPosition(slot, p);
}

bool setEnsembleStar(PhotometryState& state, int number, PixelPosition click)
{
    if (number < 2 || number > std::min(state.comparisonCount + 1, kMaxComparisons)) return false;
    state.comparisonCount = std::max(state.comparisonCount, number);
    setStarPosition(state, comparisonSlot(number), click);
    return true;
}

bool removeEnsembleStar(PhotometryState& state, int number)
{
    if (number < 2 || number > state.comparisonCount) return false;
    for (int n = number; n < state.comparisonCount; ++n)
        for (int k = 0; k < 2; ++k) {
            const auto to = static_cast<std::size_t>(comparisonSlot(n) + k);
            const auto from = static_cast<std::size_t>(comparisonSlot(n + 1) + k);
            state.slotPositions[to] = state.slotPositions[from];
            state.fieldX[to] = state.fieldX[from];
            state.fieldY[to] = state.fieldY[from];
            state.skyChosen[to] = state.skyChosen[from];
        }
    const int last = comparisonSlot(state.comparisonCount);
    for (int slot : {last, last + 1}) {
        state.slotPositions[static_cast<std::size_t>(slot)] = {};
        state.setFieldPosition(slot, {0, 0});
        state.skyChosen[static_cast<std::size_t>(slot)] = false;
    }
    --state.comparisonCount;
    return true;
}

std::string ensemblePositionsText(const PhotometryState& state)
{
    std::string text;
    for (int n = 2; n <= state.comparisonCount; ++n) {
        const PixelPosition p = state.slotPositions[static_cast<std::size_t>(comparisonSlot(n))];
        text += (text.empty() ? "" : " ") + plainNumberText(p.x) + " " + plainNumberText(p.y);
    }
    return text;
}

void takeEnsemblePositions(PhotometryState& state, const std::string& text)
{
    while (state.comparisonCount > 1) removeEnsembleStar(state, state.comparisonCount);
    // A line that is not all whole numbers near a frame is no ensemble: a
    // star made of a stray word would be measured at 0, 0 unseen.
    std::vector<int> numbers;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ',')) ++i;
        std::size_t j = i;
        while (j < text.size() && text[j] != ' ' && text[j] != ',') ++j;
        if (j > i) {
            const auto v = decimalNumber(std::string_view(text).substr(i, j - i));
            if (!v || *v != std::floor(*v) || std::fabs(*v) > 2.0 * kMaxAxis) return;
            numbers.push_back(static_cast<int>(*v));
        }
        i = j;
    }
    for (std::size_t k = 0; k + 1 < numbers.size(); k += 2)
        if (!setEnsembleStar(state, state.comparisonCount + 1, {numbers[k], numbers[k + 1]})) break;
}

std::string skyAreaCaption(const PhotometrySettings& s)
{
    const std::string size = numberText(s.apertureSize);
    if (s.apertureShape == ApertureShape::Circle) return "Size Set (Aperture" + size + " radii)";
    return "Size Set (Aperture" + size + "x" + size + ")";
}

bool skyAreaTooSmall(const PhotometrySettings& s) { return s.apertureSize >= s.skyInner; }

SkyAreaCheck applySkyArea(PhotometrySettings& s, int size, double inside, double outside)
{
    if (size < 1) return SkyAreaCheck::SizeError;
    if (!(size < inside)) return SkyAreaCheck::ApertureTooLarge;
    s.apertureSize = size;
    s.skyInner = inside;
    s.skyOuter = outside;
    return SkyAreaCheck::Stored;
}

std::pair<double, double> standardSkyArea(ApertureShape shape, int size)
{
    if (shape == ApertureShape::Circle && size < 5) return {10, 20};
    return {2.0 * size, 4.0 * size};
}

void acceptComparisonStar(PhotometryState& state, const std::string& starName, const std::string& magnitudeText,
                          int option, const std::string& observerCode)
{
    ComparisonStar& c = state.comparison;
    c.starName = starName;
    c.comparisonMagnitude = leadingNumber(magnitudeText);
    ReportTexts& r = state.reportTexts;
    if (option >= 0 && option < static_cast<int>(kFilterTexts.size())) {
        c.filterIndex = option;
        r.colour = kFilterTexts[static_cast<std::size_t>(option)];
    } else {
        c.filterIndex = -1;  // the report colour stays as it was
    }
    c.observerCode = observerCode;
    r.starName = starName;
    r.comparisonMagnitude = magnitudeText;
    r.observerCode = observerCode;
    r.set = true;
}


namespace {

class PointList {
public:
    PointList(const FitsImage& image, int scale, bool erase)
        : width_(pictureExtent(image.naxis1, scale)), height_(pictureExtent(image.naxis2, scale)), erase_(erase)
    {
    }
    void add(int x, int y, Rgb colour)
    {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) points.push_back({x, y, colour});
    }
    void squareOutline(int cx, int cy, int h, Rgb colour)
    {
        for (int x = cx - h; x <= cx + h; ++x) {
            add(x, cy - h, colour);
            add(x, cy + h, colour);
        }
        for (int y = cy - h + 1; y <= cy + h - 1; ++y) {
            add(cx - h, y, colour);
            add(cx + h, y, colour);
        }
    }
    void cross(int cx, int cy)
    {
        for (int x = cx - 5; x <= cx + 5; ++x) add(x, cy, kMarkerWhite);
        for (int y = cy - 5; y <= cy + 5; ++y)
            if (y != cy) add(cx, y, kMarkerWhite);
    }
    void circle(int cx, int cy, int r)
    {
        if (erase_) {
            // Erasing a circle repaints the whole square around it.
            for (int y = cy - r; y <= cy + r; ++y)
                for (int x = cx - r; x <= cx + r; ++x) add(x, y, kMarkerGreen);
            return;
        }
        // Midpoint circle: the outline a circle primitive draws.
        int x = r, y = 0, err = 1 - r;
        while (x >= y) {
            const int pts[8][2] = {{x, y}, {y, x}, {-y, x}, {-x, y}, {-x, -y}, {-y, -x}, {y, -x}, {x, -y}};
            for (const auto& p : pts) add(cx + p[0], cy + p[1], kMarkerGreen);
            ++y;
            if (err < 0) {
                err += 2 * y + 1;
            } else {
                --x;
                err += 2 * (y - x) + 1;
            }
        }
    }
    std::vector<MarkerPoint> points;

private:
    int width_, height_;
    bool erase_;
};

}  // namespace

std::vector<MarkerPoint> markerPoints(const FitsImage& image, const PhotometryState& state, int scale, bool erase)
{
    PointList list(image, scale, erase);
    const PhotometrySettings& s = state.settings;
    auto at = [&](int slot) {
        const PixelPosition p = state.fieldPosition(slot);
        return std::pair{pictureCoordinate(p.x, scale), pictureCoordinate(p.y, scale)};
    };
    if (s.skyMode == SkyMode::Aperture) {
        const int span = pictureCoordinate(s.searchSpan, scale);
        for (int star : state.starSlotsInUse())
            for (int slot : {star, star + 1}) {
                const auto [x, y] = at(slot);
                if (slot % 2 == 1) list.squareOutline(x, y, span, kMarkerGreen);
                list.cross(x, y);
            }
    } else {
        for (int star : state.starSlotsInUse()) {
            const auto [x, y] = at(star);
            for (double v : {static_cast<double>(s.apertureSize), s.skyInner, s.skyOuter}) {
                const int r = pictureCoordinate(v, scale);
                if (s.apertureShape == ApertureShape::Circle)
                    list.circle(x, y, r);
                else
                    list.squareOutline(x, y, r, kMarkerGreen);
            }
        }
    }
    return std::move(list.points);
}

std::vector<MarkerPoint> searchSpanPoints(const FitsImage& image, const PhotometryState& state, int scale, bool erase)
{
    PointList list(image, scale, erase);
    const int span = pictureCoordinate(state.settings.searchSpan, scale);
    for (int star : state.starSlotsInUse()) {
        const PixelPosition p = state.fieldPosition(star);
        list.squareOutline(pictureCoordinate(p.x, scale), pictureCoordinate(p.y, scale), span, kMarkerGreen);
    }
    return std::move(list.points);
}

}  // namespace lv
