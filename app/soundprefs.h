#pragma once

#include <QString>

#include <memory>
#include <optional>

class QSettings;

// The sound and reveal choices the user makes in the Settings menu, kept
// between runs in the toolkit's settings file for the program. Nothing
// else is kept there: the drill's own settings start at their defaults.
struct SoundPreferences {
    std::optional<int> instrument; // a General MIDI program, once chosen
    bool revealAnswer = false;

    void load(QSettings& store);
    void save(QSettings& store) const;

    // Where the program keeps them: the user's configuration file, once
    // the program has asked for it. A window made on its own (in tests)
    // keeps its choices for its lifetime only, unless given a file.
    [[nodiscard]] static std::unique_ptr<QSettings> openStore();
    static void useUserStore();
    static void useStoreFile(const QString& path); // empty: none
};
