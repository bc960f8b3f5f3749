#include "shell/quadrel_app.h"

int main(int argc, char** argv) {
    return quadrel::runQuadrel(argc, argv);
}
