#include "info/about.h"

#include "core/designunits.h"

#include <QLabel>

TYellow* Yellow = nullptr;

#ifndef TONYX_VERSION
#define TONYX_VERSION "1.0"
#endif

namespace {

QLabel* staticLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->adjustSize();
    label->move(design::px(left), design::px(top));
    return label;
}

} // namespace

TYellow::TYellow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                          Qt::WindowTitleHint) {
    setObjectName("Yellow");
    setWindowTitle("About Tonyx");
    setFont(design::sansFont(14));
    move(design::px(316), design::px(229));
    setFixedSize(design::px(378), design::px(161));

    Label1 = staticLabel(this, "Label1", "Tonyx  (version " TONYX_VERSION ")", 72, 27);
    Label2 = staticLabel(this, "Label2", "Written by the Tonyx team", 96, 59);
    Label3 = staticLabel(this, "Label3", "Notes sound through the MidiLib32 library", 54, 98);
    Label4 = staticLabel(this, "Label4", "and its built-in FluidSynth synthesizer", 102, 118);
}
