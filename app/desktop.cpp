#include "app/desktop.h"

#include <QApplication>
#include <QIcon>

// The icon's PNGs are compiled into the program (packaging/icons.qrc), so
// the window has its icon also when run from the build folder.
static void loadIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace desktop {

void identify(QApplication& app) {
    app.setDesktopFileName(QLatin1String(kAppId));
}

void showIcon(QApplication& app) {
    loadIconResources();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/icons/%1-%2.png").arg(QLatin1String(kAppId)).arg(size),
                     QSize(size, size));
    app.setWindowIcon(icon);
}

} // namespace desktop
