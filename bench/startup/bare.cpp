// The yardstick for start-up: the least a Qt 6 program does to show a
// main window. With "--label" the window also shows one line of text, the
// least a window with words in it does: the toolkit then reads the font
// configuration, loads a font and lays the text out before the window
// shows.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include <cstring>

int main(int argc, char** argv) {
    const bool label = argc > 1 && std::strcmp(argv[1], "--label") == 0;
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Identify intervals");
    if (label) {
        auto* text = new QLabel("Correct:", &window);
        text->move(52, 25);
        text->adjustSize();
    }
    window.resize(640, 480);
    window.show();
    return app.exec();
}
