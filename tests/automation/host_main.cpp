// A document on the session bus without a window: opens the file given and serves it until terminated.
// The automation tests drive it with real D-Bus clients.
#include "automation/quadrel_automation.h"
#include "document/quadrel_doc.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: automation_host FILE\n");
        return 2;
    }
    quadrel::CQuadrelDoc doc;
    std::string error;
    if (!doc.OnOpenDocument(argv[1], error)) {
        std::fprintf(stderr, "automation_host: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    quadrel::QuadrelAutomation automation([&doc] { return &doc; });
    QString why;
    if (!automation.registerOn(QDBusConnection::sessionBus(), true, why)) {
        std::fprintf(stderr, "automation_host: %s\n", qPrintable(why));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
