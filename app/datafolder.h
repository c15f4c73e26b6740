#pragma once

#include <QProcessEnvironment>
#include <QString>

// Where the program keeps errors.dat and hiscore.dat and reads readme.txt.
// Run from its build folder (by run.sh or the tests) the program uses the
// folder it was started in. Installed, it ships readme.txt in its shared
// data folder and runs in the user's data folder, wherever it was started
// from (a menu starts programs in the home folder).
namespace datafolder {

// ${XDG_DATA_HOME:-$HOME/.local/share}/tonyx; a relative XDG_DATA_HOME is
// ignored, as the base directory rules say.
[[nodiscard]] QString userFolder(const QProcessEnvironment& env);

// The readme.txt an installed program ships, found from the folder of its
// executable; empty when the program was not installed.
[[nodiscard]] QString installedReadme(const QString& executableFolder);

// Makes the folder if missing, copies the readme into it when it has none,
// and makes it the current folder. Throws Exception when any step fails.
void enter(const QString& folder, const QString& readme);

// For the program: enters the user's folder when installed, else stays in
// the current folder. Returns the folder it runs in.
QString settle(const QString& executableFolder, const QProcessEnvironment& env);

// The folder of the running program's executable (read before the
// application object exists).
[[nodiscard]] QString executableFolder();

} // namespace datafolder
