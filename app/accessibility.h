#pragma once

#include <QString>

// Names and descriptions for screen readers. The windows are made as they
// are; once they exist, nameControls() gives every control an accessible
// name (and a description where the name alone does not say enough), and
// has the labels that show a bare value (the counters, the clock, the
// score's figures) read with their caption: "Correct: 3".
namespace accessibility {

// Names the controls of every window that exists. Call once the windows
// are made; calling again changes nothing.
void nameControls();

// The spoken form of an interval's caption in the filter window: "m3" is
// "minor 3rd", "8ve + P5" is "octave plus perfect 5th", "IC [2]" is
// "interval class 2". Unknown captions come back unchanged.
[[nodiscard]] QString spokenInterval(const QString& caption);

// The name of the interval of the given size in semitones (1..24).
[[nodiscard]] QString intervalName(int semitones);

// The drill clock's "m:ss" as words: "1 minute 5 seconds".
[[nodiscard]] QString spokenClock(const QString& text);

// The Key Guide as text: one line per key, "Key 1: minor 2nd".
[[nodiscard]] QString keyGuideText();

} // namespace accessibility
