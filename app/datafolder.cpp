#include "app/datafolder.h"

#include "core/exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace datafolder {

QString userFolder(const QProcessEnvironment& env) {
    QString base = env.value("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = env.value("HOME", QDir::homePath()) + "/.local/share";
    return QDir::cleanPath(base + "/tonyx");
}

QString installedReadme(const QString& executableFolder) {
    const QString readme =
        QDir::cleanPath(executableFolder + "/" TONYX_DATA_FROM_BINARIES "/readme.txt");
    return QFileInfo(readme).isFile() ? readme : QString();
}

void enter(const QString& folder, const QString& readme) {
    if (!QDir().mkpath(folder))
        throw Exception("Cannot create the data folder " + folder.toStdString());
    const QString target = folder + "/readme.txt";
    if (!QFileInfo::exists(target)) {
        if (!QFile::copy(readme, target))
            throw Exception("Cannot copy readme.txt into " + folder.toStdString());
        // A copy keeps the installed file's read-only mode; the user's copy
        // is theirs to edit.
        QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
    }
    if (!QDir::setCurrent(folder))
        throw Exception("Cannot enter the data folder " + folder.toStdString());
}

QString settle(const QString& executableFolder, const QProcessEnvironment& env) {
    const QString readme = installedReadme(executableFolder);
    if (!readme.isEmpty())
        enter(userFolder(env), readme);
    return QDir::currentPath();
}

QString executableFolder() {
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

} // namespace datafolder
