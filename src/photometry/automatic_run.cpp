#include "photometry/automatic_run.h"

#include <algorithm>

#include "core/conventions.h"
#include "core/fits_header.h"
#include "core/folder_job.h"
#include "core/fits_reader.h"
#include "photometry/night_table.h"

namespace lv {

namespace {

// Value of the characters from 0-based `at`, `n` long, of a text.
double part(const std::string& text, std::size_t at, std::size_t n)
{
    return at < text.size() ? leadingNumber(std::string_view(text).substr(at, n)) : 0.0;
}

// Split at the first two ":" (missing parts are 0) and rebuilt "00:00:00".
std::string rebuiltTime(const std::string& text)
{
    const auto t = parseTime(text);
    return t ? clockText(t->hours, t->minutes, t->seconds) : clockText(0, 0, 0);
}

}  // namespace

std::string nextDayText(const std::string& date)
{
    // The parts by position: day/month/year of an 8-character date, else
    // the two-digit year, month and day of yyyy-mm-dd.
    CalendarDate d;
    d.dayFirst = true;
    if (date.size() == 8) {
        d.day = static_cast<int>(part(date, 0, 2));
        d.month = static_cast<int>(part(date, 3, 2));
        d.year = static_cast<int>(part(date, 6, 2));
    } else {
        d.year = static_cast<int>(part(date, 2, 2));
        d.month = static_cast<int>(part(date, 5, 2));
        d.day = static_cast<int>(part(date, 8, 2));
    }
    return dateText(nextDay(d));
}

SavedLineHeader readSavedLineHeader(const FitsImage& image, double runExposure, int timeZoneHours)
{
    SavedLineHeader h;
    // An extension's own values first, then the primary's.
    const std::vector<HeaderCard> cards = singleImageCards(image);
    auto first = [&](auto&& matches) -> const HeaderCard* {
        for (const HeaderCard& card : cards)
            if (matches(cardKeyword(card))) return &card;
        return nullptr;
    };
    bool combined = false;
    if (const HeaderCard* date = first([](std::string_view k) { return k == "DATE-OBS"; })) {
        const int p = firstDigitColumn(*date, 10, 25);
        if (p != 0 && cardColumn(*date, p + 10) == 'T') {
            // The combined year-month-dayThh:mm:ss form.
            h.date = cardColumns(*date, p, 10);
            h.time = cardColumns(*date, p + 11, 8);
            h.exposure = runExposure;
            combined = true;
        } else {
            // The value from its first digit up to the closing quote.
            for (int d = 10; d <= 21; ++d) {
                if (!isDigit(cardColumn(*date, d))) continue;
                for (int q = d; q <= 25; ++q)
                    if (cardColumn(*date, q) == '\'') {
                        h.date = cardColumns(*date, d, q - d);
                        break;
                    }
                break;
            }
        }
    }
    bool jstSeen = false;
    if (!combined) {
        auto timeOf = [](const HeaderCard& card) {
            const int p = firstDigitColumn(card, 10, 21);
            return p ? cardColumns(card, p, 8) : std::string();
        };
        if (const HeaderCard* ut = first([](std::string_view k) { return k == "UT      " || k == "UT-START"; }))
            if (const std::string t = timeOf(*ut); !t.empty()) h.time = t;
        if (const HeaderCard* jst = first([](std::string_view k) { return k == "JST     "; })) {
            jstSeen = true;
            if (const std::string t = timeOf(*jst); !t.empty()) h.time = rebuiltTime(t);
        }
        if (h.time == "00:00:00")
            if (const HeaderCard* obs = first([](std::string_view k) { return k == "TIME-OBS"; }))
                if (const std::string t = timeOf(*obs); !t.empty()) h.time = t;
        if (const HeaderCard* exp = first([](std::string_view k) { return k == "EXPTIME "; }))
            h.exposure = leadingNumber(std::string_view(*exp).substr(std::min<std::size_t>(9, exp->size()), 21));
    }
    // The texts go into one line of mag_est.txt: a line end or other control
    // character in a header value would split it, so they end before one.
    for (std::string* text : {&h.date, &h.time}) {
        const auto cut = std::find_if(text->begin(), text->end(),
                                      [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; });
        text->erase(cut, text->end());
    }
    if (jstSeen && part(h.time, 0, 2) < 9) {
        bool utc = false;
        for (const HeaderCard& card : cards)
            if (card.compare(0, 20, "TIMESYS = 'UTC     '") == 0) utc = true;
        if (utc) h.date = nextDayText(h.date);
    }
    if (timeZoneHours == 9) h.time = clockText(part(h.time, 0, 2) + 9, part(h.time, 3, 2), part(h.time, 6, 2));
    return h;
}

std::string AutomaticRun::magEstPath() const { return joinPath(setup_.currentFolder, kMagEstName); }

std::string AutomaticRun::nightTable() const { return nightTablePath(magEstPath()); }

void AutomaticRun::reset() { *this = AutomaticRun{}; }

AutomaticStatus AutomaticRun::ended(AutomaticEnd why)
{
    end_ = why;
    waiting_ = false;
    if (why == AutomaticEnd::Finished || why == AutomaticEnd::WriteFailed) {
        prepared_ = false;
        loaded_ = false;
    }
    return AutomaticStatus::Ended;
}

bool AutomaticRun::load(AutomaticContext& ctx)
{
    const std::string path = entryPath(setup_.readFolder, ctx.queue.name(ctx.queue.current));
    int status;
    {
        BusyPointer busy(ctx.platform);
        status = readFitsFile(ctx.image, ctx.state, path, ReadForm::Command, ctx.platform, ctx.pool);
    }
    loaded_ = status == 0;
    return loaded_;
}

PrepareOutcome AutomaticRun::prepare(AutomaticContext& ctx, const AutomaticSetup& setup)
{
    reset();
    setup_ = setup;
    std::string error;
    // The night's table starts again with the data file.
    if (!emptyMagEst(magEstPath(), error) || !emptyNightTable(nightTablePath(magEstPath()), error)) {
        ctx.platform.error(error);
        return PrepareOutcome::FileFailed;
    }
    prepared_ = true;
    FileQueue& q = ctx.queue;
    FolderWalk walk = FolderWalk::whole(q, true, &q.current);
    if (walk.next()) {
        // A first frame that cannot be read would leave the previous image
        // to be measured under its name: the preparation ends here.
        if (!load(ctx)) {
            prepared_ = false;
            return PrepareOutcome::LoadFailed;
        }
        return PrepareOutcome::Loaded;
    }
    q.current = q.count() + 1;  // past the last entry
    return PrepareOutcome::NoFrame;
}

AutomaticStatus AutomaticRun::measure(AutomaticContext& ctx)
{
    if (waiting_) return AutomaticStatus::AwaitingChoice;
    end_ = AutomaticEnd::None;
    // Only a frame of the queue is measured, never whatever image is left.
    if (!prepared_ || !loaded_ || ctx.queue.current < 1 || ctx.queue.current > ctx.queue.count()) {
        ctx.platform.message(kAutomaticEndMessage);
        return ended(AutomaticEnd::Finished);
    }
    const PhotometryState& ph = ctx.photometry;
    if (ph.slotPositions[kVariable] == ph.slotPositions[kComparison]) {
        ctx.platform.message(kPositionsNotSetMessage);
        return ended(AutomaticEnd::PositionsNotSet);
    }
    outcome_ = runPhotometry(ctx.image, ctx.photometry, ctx.state.beepOn, ctx.platform);
    measured_ = true;
    if (setup_.picturesNotChecked) return choose(ctx, FrameChoice::Save);
    waiting_ = true;
    return AutomaticStatus::AwaitingChoice;
}

AutomaticStatus AutomaticRun::choose(AutomaticContext& ctx, FrameChoice choice)
{
    waiting_ = false;
    if (!measured_ || choice == FrameChoice::Waiting) return AutomaticStatus::AwaitingChoice;
    measured_ = false;
    if (choice == FrameChoice::Cancel) return ended(AutomaticEnd::Cancelled);
    const std::string& name = ctx.queue.name(ctx.queue.current);
    if (choice == FrameChoice::Save) {
        if (!outcome_.allMeasured) {
            // The fields still hold an earlier frame's value for the star
            // that failed: such a line would be wrong.
            ctx.platform.error(name + ": not every star was measured; no line was written for this frame");
        } else {
            const PhotometryState& ph = ctx.photometry;
            const ObservationHeader run = readObservationHeader(ctx.image);
            const SavedLineHeader h = readSavedLineHeader(ctx.image, run.exposureTime, ph.settings.timeZoneHours);
            MagEstRecord r;
            r.date = h.date;
            r.time = h.time;
            r.exposure = h.exposure;
            r.check = leadingNumber(ph.checkMagnitude);
            r.comparison = leadingNumber(ph.comparisonMagnitude);
            r.variable = leadingNumber(ph.variableMagnitude);
            r.framePath = setup_.currentFolder + pathSeparator() + name;
            std::string error;
            if (!appendMagEstLine(magEstPath(), magEstLine(r, ph.settings.digits), error)) {
                ctx.platform.error(error);
                return ended(AutomaticEnd::WriteFailed);
            }
            ++linesWritten_;
            // The stars are placed after the preparation: the first row decides
            // whether the table has the ensemble's columns.
            if (tableRows_ == 0 && ph.ensemble() != ensembleColumns_) {
                ensembleColumns_ = ph.ensemble();
                if (!emptyNightTable(nightTablePath(magEstPath()), error, ensembleColumns_)) {
                    ctx.platform.error(error);
                    return ended(AutomaticEnd::WriteFailed);
                }
            }
            if (!appendNightTableRow(nightTablePath(magEstPath()), nightTableRow(name, outcome_, ensembleColumns_),
                                     error)) {
                ctx.platform.error(error);
                return ended(AutomaticEnd::WriteFailed);
            }
            ++tableRows_;
            // A saturated star's magnitude is too faint: the line stays, and the observer is told.
            static const char* const kNames[] = {"comparison", "variable", "check"};
            std::string saturated;
            for (std::size_t i = 0; i < 3; ++i)
                if (outcome_.quality[i] && outcome_.quality[i]->saturated)
                    saturated += std::string(saturated.empty() ? "" : ", ") + kNames[i] + " (peak " +
                                 plainNumberText(static_cast<std::int64_t>(outcome_.quality[i]->peak)) + " ADU)";
            if (!saturated.empty())
                ctx.platform.message(name + ": " + saturated + " reached the linearity limit of " +
                                     plainNumberText(outcome_.camera.linearity) +
                                     " ADU; the line was kept and is flagged in " + kNightTableName);
        }
    }
    return next(ctx);
}

AutomaticStatus AutomaticRun::next(AutomaticContext& ctx)
{
    FileQueue& q = ctx.queue;
    FolderWalk walk(q, q.current + 1, q.count(), true, &q.current);
    if (!walk.next()) {
        q.current = q.count() + 1;  // past the last entry
        ctx.platform.message(kAutomaticEndMessage);
        return ended(AutomaticEnd::Finished);
    }
    if (!load(ctx)) {
        ctx.platform.message(kAutomaticEndMessage);
        return ended(AutomaticEnd::Finished);
    }
    return AutomaticStatus::FrameLoaded;
}

}  // namespace lv
