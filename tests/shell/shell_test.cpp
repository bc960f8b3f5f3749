// The main window end to end on the offscreen platform: opening, the Image menu, the grids following
// the document, clicks in the image view, the saved layout, the favorites and the registration files.
#include "core/image.h"
#include "document/profile.h"
#include "document/quadrel_doc.h"
#include "grids/class_grid.h"
#include "grids/feature_grid.h"
#include "grids/grid_model.h"
#include "grids/scientific_format.h"
#include "grids/statistic_grid.h"
#include "shell/action_registry.h"
#include "shell/favorites_panel.h"
#include "shell/image_composite.h"
#include "shell/image_view.h"
#include "shell/main_frame.h"
#include "shell/qt_fixture.h"
#include "shell/recent_files.h"
#include "shell/registration.h"

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QListWidget>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>

using namespace quadrel;
using namespace quadrel::test;

namespace {

QAction* menuAction(QMainWindow& w, const QString& menuTitle, const QString& text) {
    for (QAction* top : w.menuBar()->actions()) {
        if (top->text() != menuTitle || !top->menu()) continue;
        for (QAction* a : top->menu()->actions())
            if (a->text() == text) return a;
    }
    return nullptr;
}

// A pixel of the cell with that label, found in the label image.
QPoint pixelOf(CQuadrelDoc& doc, uint32_t label) {
    BitmapPtr labels = doc.GetImage(kSlotLabels);
    for (int y = 0; y < labels->height(); ++y)
        for (int x = 0; x < labels->width(); ++x)
            if (labels->row32(y)[x] == label) return {x, y};
    return {-1, -1};
}

} // namespace

class ShellTest : public QObject {
    Q_OBJECT
    Sandbox m_box;

private Q_SLOTS:
    void openAndThresholdThroughTheMenu();
    void classSelectionChoosesTheWorkingCells();
    void clickSelectsAndOutlinesACell();
    void openFailureTellsWhichFileAndWhy();
    void menusCarryTheCommandsAndShortcuts();
    void hiddenPanelStaysHiddenAfterRestart();
    void favoritesListTheFolderFiles();
    void fitToWindowGeometry();
    void recentFilesKeepFour();
    void registerAndUnregister();
};

void ShellTest::openAndThresholdThroughTheMenu() {
    CQuadrelDoc doc;
    FakeUi ui;
    CMainFrame frame(doc, &ui);
    QVERIFY(frame.openFile(m_box.samplePicture()));
    QVERIFY(frame.windowTitle().startsWith("sample.png"));

    QAction* threshold = menuAction(frame, "&Image", "Automatic Threshold");
    QVERIFY(threshold);
    QVERIFY(threshold->isEnabled());
    threshold->trigger();
    QVERIFY(ui.messages.empty());

    // The feature grid shows the document's rows and values, one row per working cell.
    const TCellIdList working = doc.WorkingCells();
    QVERIFY(working.size() > 10);
    const GridTable& features = frame.featureGrid()->table();
    QCOMPARE(features.rows, static_cast<int>(working.size()));
    QCOMPARE(features.columns, static_cast<int>(doc.GetFeatures()->size()));
    int k = 0;
    for (const auto& [pos, f] : *doc.GetFeatures()) {
        QCOMPARE(features.columnHeaders[k].text, featureDisplayName(f.id()));
        QCOMPARE(features.columnHeaders[k].lparam, f.id());
        const auto& values = *doc.GetFeatureValues()->at(f);
        for (int r = 0; r < features.rows; r += 7) {
            QCOMPARE(features.at(r, k).value.toDouble(), values[r]);
            QCOMPARE(features.displayText(r, k), formatScientific(values[r], 3));
        }
        ++k;
    }
    for (int r = 0; r < features.rows; ++r)
        QCOMPARE(static_cast<uint32_t>(features.rowHeaders[r].lparam), working.ids()[r].label);

    // The statistics: nine rows, the count in "Size" as the exact number.
    const GridTable& stats = frame.statisticGrid()->table();
    QCOMPARE(stats.rows, 9);
    QCOMPARE(stats.rowHeaders[0].text, QString("Size"));
    QCOMPARE(stats.rowHeaders[8].text, QString("Kurtosis"));
    QCOMPARE(stats.at(0, 0).value.toDouble(), static_cast<double>(working.size()));

    // The class grid lists the classes in name order with their sizes.
    const GridTable& classes = frame.classGrid()->table();
    QCOMPARE(classes.rows, static_cast<int>(doc.GetClasses()->size()));
    QCOMPARE(classes.at(0, 0).value.toString(), QString("_all_cells_"));
    QCOMPARE(classes.at(0, 1).value.toInt(), static_cast<int>(working.size()));

    // Fill holes, a long step, runs from the same menu and shows the wait cursor while it runs.
    ui.busySteps.clear();
    menuAction(frame, "&Image", "Fill Hole Object")->trigger();
    QVERIFY(!ui.busySteps.empty());
    QCOMPARE(frame.featureGrid()->table().rows, static_cast<int>(doc.WorkingCells().size()));
}

void ShellTest::classSelectionChoosesTheWorkingCells() {
    CQuadrelDoc doc;
    FakeUi ui;
    CMainFrame frame(doc, &ui);
    QVERIFY(frame.openFile(m_box.samplePicture()));
    const std::vector<TCellId>& all = doc.FindClass("_all_cells_")->ids();
    QVERIFY(all.size() >= 6);
    TCellIdList a("A"), b("B");
    for (int i : {0, 1, 2})
        a.add(all[i]);
    for (int i : {2, 3, 4})
        b.add(all[i]);
    doc.AddClass(a);
    doc.AddClass(b);
    CClassGridView& grid = *frame.classGrid();
    QCOMPARE(grid.table().at(0, 0).value.toString(), QString("A"));
    QCOMPARE(grid.table().at(1, 0).value.toString(), QString("B"));

    grid.selectionModel()->select(grid.model().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    grid.selectionModel()->select(grid.model().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(*doc.GetActiveClasses(), (std::vector<std::string>{"A", "B"}));
    // A's cells, then those of B that are not in A.
    const GridTable& features = frame.featureGrid()->table();
    QCOMPARE(features.rows, 5);
    const uint32_t expected[] = {all[0].label, all[1].label, all[2].label, all[3].label, all[4].label};
    for (int r = 0; r < 5; ++r)
        QCOMPARE(static_cast<uint32_t>(features.rowHeaders[r].lparam), expected[r]);
    QCOMPARE(frame.statisticGrid()->table().at(0, 0).value.toDouble(), 5.0);
    // The outlines of the active classes are there to be drawn.
    QVERIFY(!doc.GetActiveOutline()->figures.empty());

    // Clearing the selection leaves A and B active.
    grid.clearCellSelection();
    QCOMPARE(doc.GetActiveClasses()->size(), size_t(2));
    QCOMPARE(frame.featureGrid()->table().rows, 5);
}

void ShellTest::clickSelectsAndOutlinesACell() {
    CQuadrelDoc doc;
    FakeUi ui;
    CMainFrame frame(doc, &ui);
    frame.resize(1300, 900);
    frame.show();
    QVERIFY(frame.openFile(m_box.samplePicture()));
    CImageView& view = *frame.imageView();
    view.horizontalScrollBar()->setValue(0);
    view.verticalScrollBar()->setValue(0);

    // Pick two cells that are visible in the view.
    std::vector<uint32_t> visible;
    for (const TCellBaseFeature& r : *doc.GetCells()) {
        const QPoint p = view.viewportPointOf(pixelOf(doc, r.label));
        if (view.viewport()->rect().adjusted(2, 2, -2, -2).contains(p)) visible.push_back(r.label);
        if (visible.size() == 2) break;
    }
    QCOMPARE(visible.size(), size_t(2));

    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, view.viewportPointOf(pixelOf(doc, visible[0])));
    QCOMPARE(doc.GetSelection()->size(), size_t(1));
    QCOMPARE(doc.GetSelection()->ids()[0].label, visible[0]);
    QCOMPARE(doc.GetCurrentCell().label, visible[0]);
    QCOMPARE(doc.GetClickedPoints()->size(), size_t(1));

    // The selection is outlined white over black: a point of its contour shows white.
    const auto outline = doc.GetSelectionOutline();
    QVERIFY(outline && !outline->figures.empty());
    const PointI onContour = outline->figures[0][0];
    const QImage shown = view.viewport()->grab().toImage();
    const QPoint at = view.viewportPointOf(QPoint(onContour.x, onContour.y));
    QCOMPARE(QColor(shown.pixel(at)), QColor(Qt::white));

    // The feature grid follows: the clicked cell's row is selected.
    const std::vector<int> rows = frame.featureGrid()->selectedRows();
    QCOMPARE(rows.size(), size_t(1));
    QCOMPARE(static_cast<uint32_t>(frame.featureGrid()->table().rowHeaders[rows[0]].lparam), visible[0]);

    // Shift adds the second cell; a plain click on the background empties the selection.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      view.viewportPointOf(pixelOf(doc, visible[1])));
    QCOMPARE(doc.GetSelection()->size(), size_t(2));
    QCOMPARE(doc.GetClickedPoints()->size(), size_t(2));
    BitmapPtr labels = doc.GetImage(kSlotLabels);
    QPoint background(-1, -1);
    for (int y = 5; y < labels->height() && background.x() < 0; ++y)
        for (int x = 5; x < 60; ++x)
            if (labels->row32(y)[x] == 0) {
                background = {x, y};
                break;
            }
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, view.viewportPointOf(background));
    QCOMPARE(doc.GetSelection()->size(), size_t(0));
    QCOMPARE(doc.GetCurrentCell().label, 0u);
    QCOMPARE(doc.GetClickedPoints()->size(), size_t(1));
}

void ShellTest::openFailureTellsWhichFileAndWhy() {
    CQuadrelDoc doc;
    FakeUi ui;
    CMainFrame frame(doc, &ui);
    const QString broken = m_box.path("broken.png");
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("this is not a picture");
    f.close();
    QVERIFY(!frame.openFile(broken));
    QCOMPARE(ui.messages.size(), size_t(1));
    QCOMPARE(ui.messages[0].kind, UiServices::MessageKind::Error);
    QVERIFY(QString::fromStdString(ui.messages[0].text).contains("broken.png"));
    QVERIFY(QString::fromStdString(ui.messages[0].text).contains(": "));
    QVERIFY(!doc.hasImage(kSlotSource));
}

void ShellTest::menusCarryTheCommandsAndShortcuts() {
    CQuadrelDoc doc;
    FakeUi ui;
    CMainFrame frame(doc, &ui);
    QAction* open = menuAction(frame, "&File", "&Open...");
    QVERIFY(open);
    QCOMPARE(open->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(menuAction(frame, "&File", "&Save")->shortcut(), QKeySequence("Ctrl+S"));
    QVERIFY(menuAction(frame, "&File", "Load ROI..."));
    for (const char* text : {"Automatic Threshold", "Fill Hole Object", "Remove Border Object", "Remove Small Object",
                             "Gaussian Filter", "Get Object Features"})
        QVERIFY2(menuAction(frame, "&Image", text), text);
    // The dialogs of manual thresholding, class setup and features setup are there.
    QVERIFY(menuAction(frame, "&Image", "Manual Threshold...")->isEnabled());
    QVERIFY(frame.registry().action(cmd::FeaturesSetup)->isEnabled());
    QVERIFY(frame.registry().action(cmd::NewRuleClass)->isEnabled());
    // "Fit to window" needs an image and shows its state.
    QAction* fit = menuAction(frame, "&Image", "Fit to window");
    QVERIFY(!fit->isEnabled());
    QVERIFY(frame.openFile(m_box.samplePicture()));
    QVERIFY(fit->isEnabled());
    QVERIFY(!fit->isChecked());
    fit->trigger();
    QVERIFY(fit->isChecked());
    QVERIFY(doc.fitToWindow());
    for (const char* text : {"&Class View", "F&eatures View", "&Properties", "St&atistics View", "&Favorites"})
        QVERIFY2(menuAction(frame, "&View", text)->isChecked(), text);
    QVERIFY(menuAction(frame, "&Help", "&About Quadrel..."));
    QVERIFY(menuAction(frame, "&Help", "Visit our showroom..."));
    QVERIFY(menuAction(frame, "&Help", "Visit our shop..."));
}

void ShellTest::hiddenPanelStaysHiddenAfterRestart() {
    {
        CQuadrelDoc doc;
        FakeUi ui;
        CMainFrame frame(doc, &ui);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QAction* stats = menuAction(frame, "&View", "St&atistics View");
        stats->trigger();
        QVERIFY(frame.dock(cmd::ViewStatistics)->isHidden());
        QVERIFY(!stats->isChecked());
        frame.close();
    }
    CQuadrelDoc doc;
    FakeUi ui;
    CMainFrame frame(doc, &ui);
    frame.show();
    QVERIFY(frame.dock(cmd::ViewStatistics)->isHidden());
    QVERIFY(!menuAction(frame, "&View", "St&atistics View")->isChecked());
    QVERIFY(!frame.dock(cmd::ViewFeatures)->isHidden());
    // Closing also wrote the properties.
    QCOMPARE(CProfile("Properties").getString("ObjectSize", ""), std::string("9.000000"));
    menuAction(frame, "&View", "St&atistics View")->trigger();
    frame.close();
}

void ShellTest::favoritesListTheFolderFiles() {
    const QString folder = m_box.path("favs");
    QDir().mkpath(folder);
    for (const char* name : {"a.ddm", "b.tif"}) {
        QFile f(folder + "/" + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    qputenv("QUADREL_TEST_FAVS", m_box.path("").toLocal8Bit());
    CProfile("Path").writeString("Favorites", "$QUADREL_TEST_FAVS/favs");
    QCOMPARE(favoritesFolder(), QDir::cleanPath(m_box.path("")) + "/favs");

    CQuadrelDoc doc;
    FakeUi ui;
    CMainFrame frame(doc, &ui);
    QListWidget* list = frame.favorites()->list();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QString("a"));
    QCOMPARE(list->item(1)->text(), QString("b"));
    QVERIFY(!list->item(0)->icon().isNull());

    // A folder that is not there gives an empty list.
    frame.favorites()->reload(m_box.path("nowhere"));
    QCOMPARE(list->count(), 0);
    QCOMPARE(expandEnvironment("%QUADREL_TEST_UNSET_X%/y"), QString("%QUADREL_TEST_UNSET_X%/y"));
    CProfile("Path").writeString("Favorites", "");
}

void ShellTest::fitToWindowGeometry() {
    QCOMPARE(fittedRect(QSize(400, 200), QSize(300, 300)), QRect(0, 0, 300, 150));
    QCOMPARE(fittedRect(QSize(200, 400), QSize(300, 300)), QRect(0, 0, 150, 300));
    QCOMPARE(fittedRect(QSize(), QSize(300, 300)), QRect());
    // Display to image coordinates, truncated toward zero.
    QCOMPARE(imagePointOf(QPoint(150, 75), QRect(0, 0, 300, 150), QSize(400, 200)), QPoint(200, 100));

    CQuadrelDoc doc;
    FakeUi ui;
    CMainFrame frame(doc, &ui);
    frame.resize(900, 700);
    frame.show();
    CImageView& view = *frame.imageView();
    QCOMPARE(view.displayRect(), QRect()); // no image: nothing to scroll
    QCOMPARE(view.horizontalScrollBar()->maximum(), 0);
    QVERIFY(frame.openFile(m_box.samplePicture()));
    QCOMPARE(view.displayRect(), QRect(0, 0, 512, 512));
    frame.registry().action(cmd::FitToWindow)->trigger();
    const QSize client = view.viewport()->size();
    QCOMPARE(view.displayRect(), fittedRect(QSize(512, 512), client));
    QCOMPARE(view.verticalScrollBar()->maximum(), 0);
}

void ShellTest::recentFilesKeepFour() {
    RecentFiles recent;
    for (int i = 1; i <= 6; ++i)
        recent.add(m_box.path(QString("f%1.png").arg(i)));
    QCOMPARE(recent.files().size(), 4);
    QVERIFY(recent.files().front().endsWith("f6.png"));
    recent.add(m_box.path("f4.png"));
    QVERIFY(recent.files().front().endsWith("f4.png"));
    QCOMPARE(recent.files().size(), 4);
    RecentFiles reread;
    QCOMPARE(reread.files(), recent.files());
}

void ShellTest::registerAndUnregister() {
    std::string report;
    QVERIFY(registerProgram("/opt/quadrel/bin/quadrel", report));
    const QString data = QString::fromStdString(dataHome());
    QFile desktop(data + "/applications/quadrel.desktop");
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    QVERIFY(desktop.readAll().contains("Exec=\"/opt/quadrel/bin/quadrel\" %f"));
    QVERIFY(QFile::exists(data + "/mime/packages/quadrel-ddm.xml"));
    QFile service(data + "/dbus-1/services/Quadrel.Document.service");
    QVERIFY(service.open(QIODevice::ReadOnly));
    QVERIFY(service.readAll().contains("Name=Quadrel.Document"));
    QVERIFY(unregisterProgram(report));
    QVERIFY(!QFile::exists(data + "/applications/quadrel.desktop"));
    QVERIFY(!QFile::exists(data + "/dbus-1/services/Quadrel.Document.service"));
    QVERIFY(unregisterProgram(report)); // nothing left to remove is no error
}

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
