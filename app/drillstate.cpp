#include "app/drillstate.h"

#include "app/drillevents.h"
#include "app/keyguidemarkers.h"
#include "midi/midilib.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

namespace {
constexpr int kSound = 64;
constexpr int kSilence = 0;
constexpr int kMarkerMs = 2000;
// Longest answer line read; a longer one is graded wrong unread.
constexpr std::size_t kMaxAnswerChars = 99;
// Highest answer with a piWrong slot.
constexpr int kHighestTallied = kTallyRows - 1;
} // namespace

std::string drillClockText(int32_t elapsedMs) {
    const int32_t s = elapsedMs / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%d:%.2d", static_cast<int>(s / 60), static_cast<int>(s % 60));
    return text;
}

DrillState::DrillState(Clock& clock)
    : clock_(&clock), random_(static_cast<uint32_t>(std::time(nullptr))) {
    for (int k = 1; k <= 12; ++k)
        allowed[k] = true;
}

void DrillState::clearSessionTally() {
    for (auto& row : sessionTally)
        row.clear();
}

bool DrillState::filtersInUse() const {
    for (int k = 1; k <= 12; ++k)
        if (!allowed[k])
            return true;
    return false;
}

bool DrillState::anyIntervalAllowed() const {
    const int widest = std::min(highNote - lowNote, 24);
    for (int d = 1; d <= widest; ++d)
        if (allowed[d])
            return true;
    return false;
}

// ---- Questions and playback ---------------------------------------------

void DrillState::seedRandom(uint32_t seed) {
    random_.seed(seed);
}

int DrillState::randomBelow(int n) {
    const auto value = static_cast<int>(random_() >> 1); // non-negative 31 bits
    return n > 0 ? value % n : 0;
}

bool DrillState::drawQuestion() {
    // Without an allowed interval the redraw loop below would never end.
    if (!anyIntervalAllowed())
        return false;
    // A question is two distinct notes (playOrder and toneLength hold two).
    const int span = highNote - lowNote + 1;
    int drawn[2] = {};
    do {
        drawn[0] = lowNote + randomBelow(span);
        do {
            drawn[1] = lowNote + randomBelow(span);
        } while (drawn[1] == drawn[0]);
    } while (std::abs(drawn[1] - drawn[0]) > 24 || !allowed[std::abs(drawn[1] - drawn[0])]);

    playOrder[0] = drawn[0];
    playOrder[1] = drawn[1];
    toneLength[0] = toneBase;
    toneLength[1] = toneBase;
    notes[0] = std::min(drawn[0], drawn[1]);
    notes[1] = std::max(drawn[0], drawn[1]);
    pitchInterval = notes[1] - notes[0];
    m12Interval = mod12Of(pitchInterval);
    intervalClass = intervalClassOf(m12Interval);
    if (events_)
        events_->questionDrawn();
    return true;
}

void DrillState::sendNote(int note, int velocity) {
    if (!noteOutput_)
        return;
    MIDIEVENT event{};
    event.time = MIDILIB_TIME_NOW;
    event.status = 0x90;
    event.data1 = static_cast<uint8_t>(note & 0xFF);
    event.data2 = static_cast<uint8_t>(velocity);
    if (!noteOutput_->Put(&event) && events_)
        events_->noteRefused();
}

void DrillState::playQuestion() {
    const int count = std::clamp(noteCount, 1, 2);
    const int keep = std::clamp(sustain, 0, 2); // earlier playbacks that ring on
    // Row sustain + 1 holds this playback, so row 0 now holds the one played
    // sustain + 1 playbacks ago: those notes stop, the newer ones ring on.
    for (int k = 0; k < 3; ++k)
        std::copy_n(ringHistory[k + 1], count, ringHistory[k]);
    std::fill_n(ringHistory[3], count, 0);
    // Rows 1 to 3 now hold the earlier playbacks still sounding, oldest
    // first. After the setting was lowered there may be more of them than
    // may ring on, some in the row this playback takes or above it, where
    // they would never come down to row 0: the oldest extra ones stop now,
    // and the rest move down below this playback's row (each stops no
    // later than the setting it was sounded under said).
    int rows[3] = {};
    int held = 0;
    for (int k = 1; k <= 3; ++k)
        if (std::any_of(ringHistory[k], ringHistory[k] + count, [](int n) { return n != 0; }))
            rows[held++] = k;
    const int extra = std::max(0, held - keep);
    for (int h = 0; h < extra; ++h) {
        for (int i = 0; i < count; ++i)
            if (ringHistory[rows[h]][i] != 0)
                sendNote(ringHistory[rows[h]][i], kSilence);
        std::fill_n(ringHistory[rows[h]], count, 0);
    }
    if (held > extra && rows[held - 1] > keep) {
        for (int h = extra; h < held; ++h) {
            const int to = keep - (held - 1 - h);
            if (to == rows[h])
                continue;
            std::copy_n(ringHistory[rows[h]], count, ringHistory[to]);
            std::fill_n(ringHistory[rows[h]], count, 0);
        }
    }
    std::copy_n(notes, count, ringHistory[keep + 1]);
    for (int i = 0; i < count; ++i)
        sendNote(ringHistory[0][i], kSilence);

    if (presentation() == 0) {
        for (int i = 0; i < count; ++i)
            sendNote(notes[i], kSound);
        return;
    }
    for (int m = 0; m < count; ++m) {
        if (dampenFirst && m > 0)
            sendNote(playOrder[m - 1], kSilence);
        sendNote(playOrder[m], kSound);
        if (m < count - 1)
            clock_->wait(toneLength[m]);
        if (m == 1 && dampenSecond) {
            clock_->wait(toneLength[1]);
            sendNote(playOrder[1], kSilence);
        }
    }
}

void DrillState::repeatQuestion() {
    if (running)
        playQuestion();
}

void DrillState::arpeggiateUp() {
    if (!running)
        return;
    const int count = std::clamp(noteCount, 1, 2);
    for (int i = 0; i < count; ++i) {
        sendNote(notes[i], kSound);
        if (i < count - 1)
            clock_->wait(2 * toneBase);
    }
}

void DrillState::arpeggiateDown() {
    if (!running)
        return;
    const int count = std::clamp(noteCount, 1, 2);
    for (int i = count - 1; i >= 0; --i) {
        sendNote(notes[i], kSound);
        if (i > 0)
            clock_->wait(2 * toneBase);
    }
}

// ---- Answers and grading ----------------------------------------------

void DrillState::answerKey(int virtualKey) {
    const int key = answerForKey(virtualKey);
    const int mode = identifyMode();
    if (key == 0 || !running || (mode != 1 && mode != 2))
        return;
    answer = key;
    // The row is the answered question's: markCorrect draws the next one.
    IntervalTally& row = sessionTally[pitchInterval];
    if (mode == 1) {
        const bool correct = answer == 12 ? m12Interval == 0 : answer == m12Interval;
        if (correct) {
            ++row.m12Correct;
            markCorrect();
        } else {
            ++row.m12Wrong[answer == 12 ? 0 : answer];
            markWrong();
        }
        return;
    }
    const int named = (answer == 12 || answer == 10) ? 0 : answer;
    if (named == intervalClass) {
        ++row.icCorrect;
        markCorrect();
    } else {
        // Answers 7, 8, 9 and 11 name no interval class.
        if (named < 7)
            ++row.icWrong[named];
        markWrong();
    }
}

void DrillState::typedAnswer(const std::string& text) {
    if (!running || identifyMode() != 0)
        return;
    // The last line that holds text.
    std::string line;
    std::size_t end = text.size();
    while (end > 0) {
        const std::size_t start = text.rfind('\n', end - 1);
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        std::string candidate = text.substr(from, end - from);
        if (!candidate.empty() && candidate.back() == '\r')
            candidate.pop_back();
        if (!candidate.empty()) {
            line = std::move(candidate);
            break;
        }
        if (start == std::string::npos)
            break;
        end = start;
    }

    if (line.size() > kMaxAnswerChars) {
        markUnreadable();
        return;
    }
    int64_t value = 0;
    for (const char c : line) {
        if (c < '0' || c > '9')
            continue;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int32_t>::max()) {
            markUnreadable();
            return;
        }
    }
    answer = static_cast<int>(value);
    IntervalTally& row = sessionTally[pitchInterval];
    if (answer == pitchInterval) {
        ++row.piCorrect;
        markCorrect();
    } else {
        // An answer beyond the table's rows is counted but has no slot.
        if (answer <= kHighestTallied)
            ++row.piWrong[answer];
        markWrong();
    }
}

void DrillState::markUnreadable() {
    answer = -1; // no answer key stands for it: no marker
    markWrong();
}

void DrillState::markCorrect() {
    ++correctCount;
    if (drawQuestion())
        playQuestion();
    else
        showMessage(kNoIntervalsMessage);
    refreshControls();
}

void DrillState::markWrong() {
    ++incorrectCount;
    refreshControls();
    showWrongMarker();
    if (events_)
        events_->wrongAnswerCounted();
}

void DrillState::showWrongMarker() {
    if (!keyGuide_ || !keyGuide_->guideVisible())
        return;
    int marker = -1;
    if (answer >= 1 && answer <= 12)
        marker = answer - 1;
    else if (answer == 0)
        marker = 11;
    if (marker < 0)
        return;
    keyGuide_->showMarker(marker);
    keyGuide_->markerDeadlines[marker] = msClock() + kMarkerMs;
}

// ---- The drill cycle ------------------------------------------------------

bool DrillState::beginDrill() {
    if (running)
        return false;
    if (!drawQuestion()) {
        showMessage(kNoIntervalsMessage);
        return false;
    }
    playQuestion();
    running = true;
    startTime = msClock();
    endedAt_.reset();
    clockVisible = true;
    showClockText(drillClockText(0));
    refreshControls();
    return true;
}

void DrillState::endDrill() {
    if (!running)
        return;
    running = false;
    endedAt_ = msClock();
    refreshControls();
    const bool filtered = filtersInUse();
    writeSessionReport();
    if (!filtered || includeFilteredDrill())
        updateErrorFile();
    // Modal: the reset below waits until the score window closes.
    showScoreWindow();
    correctCount = 0;
    incorrectCount = 0;
    clockVisible = false;
    refreshControls();
    clearSessionTally();
    clearReportBox();
    if (events_)
        events_->drillReset();
}

void DrillState::clockTick() {
    if (!running)
        return;
    const int32_t now = msClock();
    showClockText(drillClockText(now - startTime));
    if (!keyGuide_ || !keyGuide_->guideVisible())
        return;
    for (int i = 0; i < 12; ++i) {
        int32_t& deadline = keyGuide_->markerDeadlines[i];
        if (deadline >= 0 && deadline < now) {
            keyGuide_->hideMarker(i);
            deadline = -1;
        }
    }
}
