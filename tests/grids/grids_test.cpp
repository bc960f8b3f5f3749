// The result tables: number format, CSV bytes, the .xlsx workbook read back from its archive, printing
// to PDF, the class set operations, and the grids' selection and class commands against a document.
#include "document/profile.h"
#include "document/quadrel_doc.h"
#include "grids/class_grid.h"
#include "grids/class_operations.h"
#include "grids/csv_export.h"
#include "grids/feature_grid.h"
#include "grids/grid_model.h"
#include "grids/grid_printer.h"
#include "grids/scientific_format.h"
#include "grids/statistic_grid.h"
#include "grids/xlsx_export.h"
#include "shell/action_registry.h"
#include "shell/command_states.h"
#include "shell/qt_fixture.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QRegularExpression>
#include <QTest>
#include <climits>
#include <cstring>
#include <map>
#include <zlib.h>

using namespace quadrel;
using namespace quadrel::test;

namespace {

// The members of a zip archive by name, inflated; enough of the format to read a workbook back.
std::map<QString, QByteArray> unzip(const QByteArray& zip) {
    std::map<QString, QByteArray> out;
    auto u16 = [&](qsizetype at) { return quint16(uchar(zip[at]) | uchar(zip[at + 1]) << 8); };
    auto u32 = [&](qsizetype at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    // The central directory has the sizes even when the local headers defer them.
    qsizetype end = zip.size() - 22;
    while (end >= 0 && u32(end) != 0x06054b50)
        --end;
    if (end < 0) return out;
    const int entries = u16(end + 10);
    qsizetype at = u32(end + 16);
    for (int i = 0; i < entries && u32(at) == 0x02014b50; ++i) {
        const int method = u16(at + 10);
        const quint32 packed = u32(at + 20), size = u32(at + 24);
        const int nameLen = u16(at + 28), extraLen = u16(at + 30), commentLen = u16(at + 32);
        const quint32 local = u32(at + 42);
        const QString name = QString::fromUtf8(zip.mid(at + 46, nameLen));
        const qsizetype dataAt = local + 30 + u16(local + 26) + u16(local + 28);
        QByteArray data(static_cast<qsizetype>(size), '\0');
        if (method == 0) {
            data = zip.mid(dataAt, size);
        } else {
            z_stream s{};
            inflateInit2(&s, -15);
            s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.constData() + dataAt));
            s.avail_in = packed;
            s.next_out = reinterpret_cast<Bytef*>(data.data());
            s.avail_out = size;
            inflate(&s, Z_FINISH);
            inflateEnd(&s);
        }
        out[name] = data;
        at += 46 + nameLen + extraLen + commentLen;
    }
    return out;
}

// Two headers, one with a quote; a double, an integer and a text with a quote.
GridTable smallTable() {
    GridTable t;
    t.resize(2, 3);
    t.topHeaderRows = 1;
    t.setColumnHeader(0, "Area", 70, 2);
    t.setColumnHeader(1, "say \"hi\"", 70, 0);
    t.setColumnHeader(2, "Name", 70, 0);
    t.at(0, 0).value = 0.1;
    t.at(0, 0).scientific = true;
    t.at(0, 0).places = 3;
    t.at(0, 1).value = 1234567;
    t.at(0, 2).value = QString("cell \"A\"");
    t.at(1, 0).value = 987.6;
    return t;
}

// The cell's XML in a sheet, e.g. <c r="B2" ...>...</c>.
QString cellXml(const QString& sheet, const QString& ref) {
    const QRegularExpression re(QString(R"(<c r="%1"[^>]*?(/>|>.*?</c>))").arg(ref));
    return re.match(sheet).captured(0);
}

std::shared_ptr<TCellIdList> listOf(const char* name, std::initializer_list<uint32_t> labels) {
    auto l = std::make_shared<TCellIdList>(name);
    for (uint32_t v : labels)
        l->add(v);
    return l;
}

std::vector<uint32_t> labelsOf(const TCellIdList& l) {
    std::vector<uint32_t> out;
    for (const TCellId& id : l.ids())
        out.push_back(id.label);
    return out;
}

} // namespace

class GridsTest : public QObject {
    Q_OBJECT
    Sandbox m_box;

private Q_SLOTS:
    void scientificFormat_data();
    void scientificFormat();
    void csvBytesQuoteAndSeparate();
    void csvOfATableWithoutColumns();
    void xlsxKeepsNumbersAndPlacesHeaders();
    void printsToPdf();
    void classOperations();
    void featureGridHandsOverEveryArea();
    void classGridCommands();
    void csvExportThroughTheGridCommand();
};

void GridsTest::scientificFormat_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("places");
    QTest::addColumn<QString>("text");
    QTest::newRow("6 digits") << QVariant(123.456789) << 6 << "123.457";
    QTest::newRow("exponent") << QVariant(1234567.0) << 6 << "1.23457E+06";
    QTest::newRow("negative places mean 6") << QVariant(1234567) << -1 << "1.23457E+06";
    QTest::newRow("3 digits") << QVariant(987.6) << 3 << "988";
    QTest::newRow("3 digits, large") << QVariant(9876.0) << 3 << "9.88E+03";
    QTest::newRow("3 digits, small") << QVariant(0.012345) << 3 << "0.0123";
    QTest::newRow("not a number") << QVariant(QString("abc")) << 6 << "0";
}

void GridsTest::scientificFormat() {
    QFETCH(QVariant, value);
    QFETCH(int, places);
    QFETCH(QString, text);
    QCOMPARE(formatScientific(value, places), text);
}

void GridsTest::csvBytesQuoteAndSeparate() {
    const GridTable t = smallTable();
    // Full values, not the shown 3 digits; quotes inside fields doubled; a separator after every field.
    QCOMPARE(csvBytes(t, csvFormatFor(QLocale::c())), QByteArray("\"Area\",\"say \"\"hi\"\"\",\"Name\",\r\n"
                                                                 "\"0.1\",\"1234567\",\"cell \"\"A\"\"\",\r\n"
                                                                 "\"987.6\",\"\",\"\",\r\n"));
    // Where the decimal separator is a comma the fields are separated by ";".
    const CsvFormat german = csvFormatFor(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(german.separator, QString(";"));
    QCOMPARE(csvBytes(t, german).split('\n')[1], QByteArray("\"0,1\";\"1234567\";\"cell \"\"A\"\"\";\r"));
}

void GridsTest::csvOfATableWithoutColumns() {
    GridTable t;
    t.resize(2, 0);
    t.topHeaderRows = 1;
    QCOMPARE(csvBytes(t, CsvFormat{}), QByteArray("\r\n\r\n\r\n"));
}

void GridsTest::xlsxKeepsNumbersAndPlacesHeaders() {
    // A table like the statistics: a header row and row names in the header column.
    GridTable t = smallTable();
    t.leftHeaderColumns = 1;
    t.setRowHeader(0, "Size", 60, 0);
    t.setRowHeader(1, "Sum", 60, 0);
    const QString path = m_box.path("stats.xlsx");
    std::string error;
    QVERIFY2(writeXlsx(t, path.toStdString(), error), error.c_str());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const auto members = unzip(f.readAll());
    QVERIFY(members.count("xl/worksheets/sheet1.xml"));
    const QString sheet = QString::fromUtf8(members.at("xl/worksheets/sheet1.xml"));
    const QString strings = QString::fromUtf8(members.at("xl/sharedStrings.xml"));

    // Headers in row 1 from column B, row names in column A from row 2, both as texts.
    QVERIFY(cellXml(sheet, "A1").isEmpty());
    QVERIFY(cellXml(sheet, "B1").contains("t=\"s\""));
    QVERIFY(cellXml(sheet, "A2").contains("t=\"s\""));
    QVERIFY(strings.contains("<t>Area</t>"));
    QVERIFY(strings.contains("<t>Size</t>"));
    // Numbers stay numbers, at full precision.
    QCOMPARE(cellXml(sheet, "B2"), QString("<c r=\"B2\"><v>0.1</v></c>"));
    QCOMPARE(cellXml(sheet, "C2"), QString("<c r=\"C2\"><v>1234567</v></c>"));
    QVERIFY(cellXml(sheet, "D2").contains("t=\"s\""));
    QCOMPARE(cellXml(sheet, "B3"), QString("<c r=\"B3\"><v>987.6</v></c>"));

    // Without header rows and columns the data start at A1.
    GridTable bare;
    bare.resize(1, 1);
    bare.at(0, 0).value = 5;
    QVERIFY(writeXlsx(bare, path.toStdString(), error));
    f.close();
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString bareSheet = QString::fromUtf8(unzip(f.readAll()).at("xl/worksheets/sheet1.xml"));
    QCOMPARE(cellXml(bareSheet, "A1"), QString("<c r=\"A1\"><v>5</v></c>"));

    // No columns: no workbook.
    GridTable empty;
    empty.resize(3, 0);
    QVERIFY(!writeXlsx(empty, m_box.path("none.xlsx").toStdString(), error));
    QVERIFY(!QFile::exists(m_box.path("none.xlsx")));
}

void GridsTest::printsToPdf() {
    CQuadrelDoc doc;
    ActionRegistry registry;
    CStatisticGridView grid(doc, registry);
    std::string error;
    QVERIFY(doc.OnOpenDocument(m_box.samplePicture().toStdString(), error));
    QCOMPARE(grid.table().rows, 9);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = m_box.path("stats.pdf");
    printer.setOutputFileName(pdf);
    QVERIFY(grid.printTo(printer));
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("%PDF-"));
    QVERIFY(bytes.size() > 1000);

    // A long table runs over several pages.
    GridTable tall;
    tall.resize(400, 2);
    tall.topHeaderRows = 1;
    tall.setColumnHeader(0, "Area", 70, 2);
    tall.setColumnHeader(1, "Perimeter", 70, 3);
    for (int r = 0; r < tall.rows; ++r)
        tall.at(r, 0).value = tall.at(r, 1).value = r * 1.5;
    const QString longPdf = m_box.path("tall.pdf");
    printer.setOutputFileName(longPdf);
    QVERIFY(printTable(tall, printer, "Features"));
    QFile g(longPdf);
    QVERIFY(g.open(QIODevice::ReadOnly));
    const QByteArray tallBytes = g.readAll();
    QVERIFY(QString::fromLatin1(tallBytes).count(QRegularExpression("/Type\\s*/Page[^s]")) >= 4);
}

void GridsTest::classOperations() {
    const auto a = listOf("A", {1, 2, 3});
    const auto b = listOf("B", {3, 4});
    const auto c = listOf("C", {2, 5});
    a->setColour(0x11);
    b->setColour(0x22);
    struct Case {
        ClassOperation op;
        std::vector<std::shared_ptr<TCellIdList>> selected;
        std::shared_ptr<TCellIdList> focus;
        std::vector<uint32_t> labels;
        const char* name;
    };
    const Case cases[] = {
        {ClassOperation::Difference, {a, b}, a, {1, 2}, "_difference_"},
        {ClassOperation::Complement, {a, b}, a, {4}, "_complement_"},
        {ClassOperation::Intersect, {a, b}, a, {3}, "_intersect_"},
        {ClassOperation::Xor, {a, b}, a, {1, 2, 4}, "_xor_"},
        {ClassOperation::Xor, {a, b, c}, a, {1, 4, 5}, "_xor_"},
        {ClassOperation::Union, {b, a, c}, a, {3, 4, 1, 2, 5}, "_union_"},
        {ClassOperation::Intersect, {a}, a, {1, 2, 3}, "_intersect_"},
        {ClassOperation::Difference, {b, a}, b, {4}, "_difference_"},
    };
    for (const Case& k : cases) {
        auto r = combineClasses(k.op, k.selected, k.focus);
        QVERIFY(r);
        QCOMPARE(labelsOf(*r), k.labels);
        QCOMPARE(QString::fromStdString(r->name()), QString(k.name));
    }
    // Attributes: Difference keeps the focus class's, Intersect takes the last other class's.
    QCOMPARE(combineClasses(ClassOperation::Difference, {a, b}, a)->colour(), 0x11u);
    QCOMPARE(combineClasses(ClassOperation::Intersect, {a, b}, a)->colour(), 0x22u);
    // Without a focus class only Union can be made.
    QVERIFY(!combineClasses(ClassOperation::Difference, {a, b}, nullptr));
    QVERIFY(combineClasses(ClassOperation::Union, {a, b}, nullptr));
}

void GridsTest::featureGridHandsOverEveryArea() {
    CQuadrelDoc doc;
    ActionRegistry registry;
    CFeatureGridView grid(doc, registry);
    std::string error;
    QVERIFY(doc.OnOpenDocument(m_box.samplePicture().toStdString(), error));
    const GridTable& t = grid.table();
    QVERIFY(t.rows > 10);
    auto label = [&](int row) { return static_cast<uint32_t>(t.rowHeaders[row].lparam); };
    auto selectRows = [&](int from, int to, QItemSelectionModel::SelectionFlags how) {
        grid.selectionModel()->select(
            QItemSelection(grid.model().index(from, 0), grid.model().index(to, t.columns - 1)), how);
    };

    // Two blocks: the document gets the rows of both.
    selectRows(1, 2, QItemSelectionModel::Select);
    selectRows(5, 6, QItemSelectionModel::Select);
    QCOMPARE(labelsOf(*doc.GetSelection()), (std::vector<uint32_t>{label(1), label(2), label(5), label(6)}));
    QVERIFY(!doc.GetSelectionOutline()->figures.empty());

    // Inverse: everything else, in row order.
    grid.invertCellSelection();
    std::vector<uint32_t> rest;
    for (int r = 0; r < t.rows; ++r)
        if (r != 1 && r != 2 && r != 5 && r != 6) rest.push_back(label(r));
    QCOMPARE(labelsOf(*doc.GetSelection()), rest);

    // Inverse of everything is nothing, of nothing everything.
    grid.selectAllCells();
    QCOMPARE(doc.GetSelection()->size(), static_cast<size_t>(t.rows));
    grid.invertCellSelection();
    QCOMPARE(grid.selectedRows().size(), size_t(0));
    grid.invertCellSelection();
    QCOMPARE(grid.selectedRows().size(), static_cast<size_t>(t.rows));

    // A selection made elsewhere shows in the grid; one with no cell of the table leaves it alone.
    TCellIdList one("");
    one.add(label(3));
    doc.SetSelection(one, nullptr);
    QCOMPARE(grid.selectedRows(), std::vector<int>{3});
    TCellIdList none("");
    none.add(0xFF7FFFFFu);
    doc.SetSelection(none, nullptr);
    QCOMPARE(grid.selectedRows(), std::vector<int>{3});
}

void GridsTest::classGridCommands() {
    CQuadrelDoc doc;
    ActionRegistry registry;
    CClassGridView grid(doc, registry);
    std::string error;
    QVERIFY(doc.OnOpenDocument(m_box.samplePicture().toStdString(), error));
    const auto all = doc.FindClass("_all_cells_")->ids();
    TCellIdList a("A"), b("B");
    for (int i : {0, 1, 2})
        a.add(all[i]);
    for (int i : {2, 3})
        b.add(all[i]);
    doc.AddClass(a);
    doc.AddClass(b);
    auto rowOf = [&](const QString& name) {
        for (int r = 0; r < grid.table().rows; ++r)
            if (grid.table().at(r, 0).value.toString() == name) return r;
        return -1;
    };
    auto states = [&] {
        CommandStateInput in;
        in.doc = &doc;
        in.classGrid = grid.selectionState();
        updateCommandStates(registry, in);
    };
    // Adjacent names form one selection area, as a drag or a Shift-click makes it.
    auto select = [&](std::initializer_list<const char*> names, const char* focus) {
        grid.clearCellSelection();
        int first = INT_MAX, last = -1;
        for (const char* n : names) {
            first = std::min(first, rowOf(n));
            last = std::max(last, rowOf(n));
        }
        grid.selectionModel()->select(QItemSelection(grid.model().index(first, 0), grid.model().index(last, 1)),
                                      QItemSelectionModel::Select);
        grid.selectionModel()->setCurrentIndex(grid.model().index(rowOf(focus), 0), QItemSelectionModel::NoUpdate);
    };

    // One row: rename allowed, set operations not.
    select({"A"}, "A");
    states();
    QVERIFY(registry.action(gridCommand(kClassGrid, cmd::Rename))->isEnabled());
    QVERIFY(!registry.action(gridCommand(kClassGrid, cmd::Union))->isEnabled());
    QVERIFY(registry.action(gridCommand(kClassGrid, cmd::Delete))->isEnabled());

    // Two rows: the operations, run through their actions.
    select({"A", "B"}, "A");
    states();
    QVERIFY(registry.action(gridCommand(kClassGrid, cmd::Difference))->isEnabled());
    QVERIFY(!registry.action(gridCommand(kClassGrid, cmd::Rename))->isEnabled());
    registry.action(gridCommand(kClassGrid, cmd::Difference))->trigger();
    QCOMPARE(labelsOf(*doc.FindClass("_difference_")), (std::vector<uint32_t>{all[0].label, all[1].label}));
    select({"A", "B"}, "A");
    registry.action(gridCommand(kClassGrid, cmd::Union))->trigger();
    QCOMPARE(doc.FindClass("_union_")->size(), size_t(4));
    const size_t classes = doc.GetClasses()->size();
    select({"A", "B"}, "B");
    registry.action(gridCommand(kClassGrid, cmd::Union))->trigger();
    QCOMPARE(doc.GetClasses()->size(), classes); // replaced, not added

    // Rename through the in-place editor: to another class's name is refused, blanks change nothing, a
    // new name is taken with its blanks trimmed.
    grid.show();
    auto renameTo = [&](const char* from, const QString& text) {
        select({from}, from);
        grid.rename();
        QLineEdit* editor = nullptr;
        for (QLineEdit* e : grid.findChildren<QLineEdit*>())
            if (e->isVisible()) editor = e;
        QVERIFY(editor);
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The delegate commits through a queued call, then deletes the editor later.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(grid.findChildren<QLineEdit*>().isEmpty());
    };
    renameTo("A", "B");
    QVERIFY(doc.FindClass("A"));
    QCOMPARE(grid.table().at(rowOf("A"), 0).value.toString(), QString("A"));
    renameTo("A", "   ");
    QVERIFY(doc.FindClass("A"));
    const int row = rowOf("A");
    renameTo("A", "  My \"best\" ");
    QVERIFY(!doc.FindClass("A"));
    QVERIFY(doc.FindClass("My \"best\""));
    QCOMPARE(grid.table().at(row, 0).value.toString(), QString("My \"best\""));

    // Delete everything: an empty table and no active classes.
    grid.selectAllCells();
    QVERIFY(!doc.GetActiveClasses()->empty());
    registry.action(gridCommand(kClassGrid, cmd::Delete))->trigger();
    QCOMPARE(grid.table().rows, 0);
    QVERIFY(doc.GetActiveClasses()->empty());
    QVERIFY(doc.GetClasses()->empty());
    states();
    QVERIFY(!registry.action(gridCommand(kClassGrid, cmd::SelectAll))->isEnabled());
}

void GridsTest::csvExportThroughTheGridCommand() {
    CQuadrelDoc doc;
    FakeUi ui;
    doc.setUiServices(&ui);
    ActionRegistry registry;
    CClassGridView grid(doc, registry);
    std::string error;
    QVERIFY(doc.OnOpenDocument(m_box.samplePicture().toStdString(), error));
    QVERIFY(doc.RenameClass("_all_cells_", "all \"cells\""));
    grid.refill();

    const QString path = m_box.path("out/classes"); // no extension: ".csv" is added
    QDir().mkpath(m_box.path("out"));
    ui.savePaths.push_back(path.toStdString());
    QLocale::setDefault(QLocale::c());
    registry.action(gridCommand(kClassGrid, cmd::ExportCsv))->trigger();
    QFile f(path + ".csv");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("\"Name\",\"Size\",\r\n\"_inside_ROI_\","));
    QVERIFY(bytes.contains(QByteArray("\"all \"\"cells\"\"\",\"") +
                           QByteArray::number(static_cast<int>(doc.GetCells()->size())) + "\",\r\n"));
    QCOMPARE(CProfile("Path").getString("ExportCSVDir", ""), m_box.path("out").toStdString());

    // A folder that does not exist: nothing is written and the user is told.
    ui.savePaths.push_back(m_box.path("missing/x.csv").toStdString());
    registry.action(gridCommand(kClassGrid, cmd::ExportCsv))->trigger();
    QCOMPARE(ui.messages.size(), size_t(1));
    QVERIFY(QString::fromStdString(ui.messages[0].text).contains("missing/x.csv"));
    // Cancel writes nothing and tells nothing.
    registry.action(gridCommand(kClassGrid, cmd::ExportCsv))->trigger();
    QCOMPARE(ui.messages.size(), size_t(1));
    doc.setUiServices(nullptr);
}

QTEST_MAIN(GridsTest)
#include "grids_test.moc"
