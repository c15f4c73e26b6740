#include "app/soundprefs.h"

#include <QSettings>

namespace {

constexpr auto kInstrumentKey = "sound/instrument";
constexpr auto kRevealKey = "drill/revealAnswer";

enum class Store { None, User, File };
Store storeKind = Store::None;
QString storeFile;

} // namespace

void SoundPreferences::load(QSettings& store) {
    instrument.reset();
    bool ok = false;
    const int program = store.value(kInstrumentKey).toInt(&ok);
    if (ok && program >= 0 && program < 128)
        instrument = program;
    revealAnswer = store.value(kRevealKey, false).toBool();
}

void SoundPreferences::save(QSettings& store) const {
    if (instrument)
        store.setValue(kInstrumentKey, *instrument);
    else
        store.remove(kInstrumentKey);
    store.setValue(kRevealKey, revealAnswer);
    store.sync();
}

std::unique_ptr<QSettings> SoundPreferences::openStore() {
    switch (storeKind) {
    case Store::User:
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "tonyx",
                                           "tonyx");
    case Store::File:
        return std::make_unique<QSettings>(storeFile, QSettings::IniFormat);
    case Store::None:
        break;
    }
    return nullptr;
}

void SoundPreferences::useUserStore() {
    storeKind = Store::User;
}

void SoundPreferences::useStoreFile(const QString& path) {
    storeKind = path.isEmpty() ? Store::None : Store::File;
    storeFile = path;
}
