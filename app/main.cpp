#include "app/application.h"

int main(int argc, char** argv) {
    TonyxApplication app(argc, argv);
    return runTonyx(app);
}
