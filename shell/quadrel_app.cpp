#include "shell/quadrel_app.h"

#include "document/quadrel_doc.h"
#include "grids/class_grid.h"
#include "grids/feature_grid.h"
#include "grids/grid_model.h"
#include "shell/about_dialog.h"
#include "shell/logging.h"
#include "shell/main_frame.h"
#include "shell/registration.h"
#include "automation/quadrel_automation.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QTimer>
#include <cstdio>
#include <spdlog/spdlog.h>

namespace quadrel {

namespace {

// --screenshot PATH: after the window has been shown and the file loaded, the window grabs itself
// into PATH and the program ends. Used to make the pictures of the documentation, which show the cells
// inside the region outlined and a few cells selected, as a user would pick them.
void scheduleScreenshot(CMainFrame& frame, const QString& path) {
    QTimer::singleShot(1500, &frame, [&frame, path] {
        CClassGridView& classes = *frame.classGrid();
        for (int r = 0; r < classes.table().rows; ++r)
            if (classes.table().at(r, 0).value.toString() == kInsideROI) classes.selectRow(r);
        CFeatureGridView& features = *frame.featureGrid();
        if (features.table().rows > 3)
            features.selectionModel()->select(
                QItemSelection(features.model().index(1, 0), features.model().index(3, features.table().columns - 1)),
                QItemSelectionModel::Select);
        QApplication::processEvents();
        const bool ok = frame.grab().save(path);
        std::fprintf(stderr, ok ? "quadrel: wrote %s\n" : "quadrel: cannot write %s\n", qPrintable(path));
        QApplication::exit(ok ? 0 : 1);
    });
}

} // namespace

int runQuadrel(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quadrel");
    QApplication::setOrganizationName("Norvane");
    QApplication::setApplicationVersion(programVersion());

    std::string logError;
    if (!setupLogging(logError)) std::fprintf(stderr, "quadrel: no log file: %s\n", logError.c_str());
    spdlog::info("Quadrel {} starting", programVersion().toStdString());

    QCommandLineParser parser;
    parser.setApplicationDescription("Counts and measures cells in microscope images.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("file", "An image (.bmp, .png, .jpg, .tif, .dat) or a document (.ddm) to open.",
                                 "[FILE]");
    const QCommandLineOption registerOption(
        "register", "Install the desktop entry, the .ddm file type and the D-Bus service for this user, then exit.");
    const QCommandLineOption unregisterOption("unregister", "Remove what --register installed, then exit.");
    QCommandLineOption screenshotOption("screenshot", "Save a picture of the main window to PATH and exit.", "PATH");
    screenshotOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(registerOption);
    parser.addOption(unregisterOption);
    parser.addOption(screenshotOption);
    parser.process(app);

    if (parser.isSet(unregisterOption) || parser.isSet(registerOption)) {
        std::string report;
        const bool ok = parser.isSet(unregisterOption)
                            ? unregisterProgram(report)
                            : registerProgram(QCoreApplication::applicationFilePath().toStdString(), report);
        std::fputs(report.c_str(), ok ? stdout : stderr);
        spdlog::info("{}", report);
        return ok ? 0 : 1;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fprintf(stderr, "quadrel: give at most one file to open\n");
        return 2;
    }

    // One program per desktop session: a second start hands its file to the one that runs and ends.
    QDBusConnection bus = QDBusConnection::sessionBus();
    const bool nameTaken = bus.isConnected() && bus.interface() &&
                           bus.interface()->isServiceRegistered(QuadrelAutomation::kService).value();
    if (nameTaken) {
        QString why;
        if (files.isEmpty()) {
            std::fprintf(stderr, "quadrel: the program is running already\n");
            return 0;
        }
        const QString path = QFileInfo(files.front()).absoluteFilePath();
        if (QuadrelAutomation::handOver(bus, path, why)) {
            spdlog::info("handed {} to the running program", path.toStdString());
            return 0;
        }
        std::fprintf(stderr, "quadrel: %s\n", qPrintable(why));
        return 1;
    }

    CQuadrelDoc doc;
    // The properties are read whether or not a file is opened: the window writes them back when it
    // closes, and defaults would otherwise overwrite the user's settings.
    doc.ReadProperties();
    CMainFrame frame(doc);
    frame.show();
    // The open document on the session bus, for other programs.
    QuadrelAutomation automation([&doc] { return &doc; });
    automation.setOpenFileHandler([&frame](const QString& path) {
        frame.raise();
        frame.activateWindow();
        return frame.openFile(path);
    });
    QString busError;
    if (!automation.registerOn(bus, true, busError)) spdlog::warn("no automation interface: {}", busError.toStdString());
    if (!files.isEmpty() && !frame.openFile(files.front())) {
        spdlog::error("the file given on the command line could not be opened; ending");
        return 1;
    }
    if (parser.isSet(screenshotOption)) scheduleScreenshot(frame, parser.value(screenshotOption));
    const int status = QApplication::exec();
    spdlog::info("Quadrel ends with status {}", status);
    return status;
}

} // namespace quadrel
