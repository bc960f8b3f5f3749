// The property panel: its items, what they accept, the change ids they report and the reload on hint 2.
#include "document/quadrel_doc.h"
#include "properties/property_grid_view.h"
#include "properties/property_items.h"
#include "shell/qt_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace quadrel;
using namespace quadrel::test;

namespace {

// Types into a line item as a user would and finishes the input.
void type(CReceiverPropertyValue* item, const QString& text) {
    auto* line = static_cast<CLinePropertyValue*>(item);
    auto* edit = static_cast<QLineEdit*>(line->editor());
    edit->setText(text);
    edit->setModified(true);
    Q_EMIT edit->editingFinished();
}

} // namespace

class PropertiesTest : public QObject {
    Q_OBJECT
    Sandbox m_box;

private Q_SLOTS:
    void categoriesAndItems();
    void inchReloadsTheResolutions();
    void resolutionRefusesNegatives();
    void numbersKeepTheirValueOnBadInput();
    void filterSizeIsClamped();
    void checkAndChoiceWriteTheMembers();
};

void PropertiesTest::categoriesAndItems() {
    CQuadrelDoc doc;
    CPropertyGridView view(doc);
    QCOMPARE(view.topLevelItemCount(), 3);
    const char* categories[] = {"Calibration", "Object", "Miscellaneous"};
    const std::vector<std::vector<const char*>> items = {
        {"XResolution (pixel/unit)", "YResolution (pixel/unit)", "Measure Unit"},
        {"Minimum Size", "Remove border", "Border size", "Thresholded type"},
        {"ROI Magnification", "Gaussian Filter Size"}};
    for (int c = 0; c < 3; ++c) {
        QTreeWidgetItem* cat = view.topLevelItem(c);
        QCOMPARE(cat->text(0), QString(categories[c]));
        QCOMPARE(cat->childCount(), static_cast<int>(items[c].size()));
        for (int i = 0; i < cat->childCount(); ++i)
            QCOMPARE(cat->child(i)->text(0), QString(items[c][i]));
    }
    QCOMPARE(view.item("XResolution (pixel/unit)")->changeId(), 15);
    QCOMPARE(view.item("Measure Unit")->changeId(), 16);
    QCOMPARE(view.item("ROI Magnification")->changeId(), 14);
    QCOMPARE(view.item("Minimum Size")->text(), QString("9"));
    QCOMPARE(view.item("Thresholded type")->text(), QString("Dark"));
    QCOMPARE(view.item("Gaussian Filter Size")->text(), QString("7"));
}

void PropertiesTest::inchReloadsTheResolutions() {
    CQuadrelDoc doc;
    doc.m_calibrationX->setPixelsPerBaseUnit(10);
    doc.m_calibrationY->setPixelsPerBaseUnit(10);
    CPropertyGridView view(doc);
    QCOMPARE(view.item("XResolution (pixel/unit)")->text(), QString("10"));
    QSignalSpy changes(&view, &CPropertyGridView::propertyChanged);
    auto* unit = static_cast<CItemVectorPropValue*>(view.item("Measure Unit"));
    unit->comboBox()->setCurrentIndex(1);
    Q_EMIT unit->comboBox()->activated(1);
    QCOMPARE(doc.m_unitType, 1);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes[0][0].toInt(), 16);
    // The document switched the unit and sent hint 2: both items show pixels per inch.
    QCOMPARE(view.item("XResolution (pixel/unit)")->text(), QString("254"));
    QCOMPARE(view.item("YResolution (pixel/unit)")->text(), QString("254"));

    // Typing 508 pixels per inch stores 20 pixels per millimetre.
    type(view.item("XResolution (pixel/unit)"), "508");
    QCOMPARE(doc.m_calibrationX->pixelsPerBaseUnit(), 20.0);
    QCOMPARE(changes.last()[0].toInt(), 15);
}

void PropertiesTest::resolutionRefusesNegatives() {
    CQuadrelDoc doc;
    doc.m_calibrationX->setPixelsPerBaseUnit(4);
    CPropertyGridView view(doc);
    QSignalSpy changes(&view, &CPropertyGridView::propertyChanged);
    CReceiverPropertyValue* x = view.item("XResolution (pixel/unit)");
    type(x, "-5");
    QCOMPARE(doc.m_calibrationX->pixelsPerBaseUnit(), 4.0);
    QCOMPARE(x->text(), QString("4"));
    QCOMPARE(changes.size(), 1); // the document is still told
    type(x, "0");
    QCOMPARE(x->text(), QString("0"));
    type(x, "ten");
    QCOMPARE(x->text(), QString("0"));
    QCOMPARE(changes.size(), 2); // text that is no number is not an edit
}

void PropertiesTest::numbersKeepTheirValueOnBadInput() {
    CQuadrelDoc doc;
    CPropertyGridView view(doc);
    CReceiverPropertyValue* size = view.item("Minimum Size");
    type(size, "abc");
    QCOMPARE(*doc.m_minObjectSize, 9.0);
    QCOMPARE(size->text(), QString("9"));
    type(size, "12.5");
    QCOMPARE(*doc.m_minObjectSize, 12.5);
    CReceiverPropertyValue* border = view.item("Border size");
    type(border, "2.5");
    QCOMPARE(*doc.m_borderSize, 1);
    QCOMPARE(border->text(), QString("1"));
    type(border, "3");
    QCOMPARE(*doc.m_borderSize, 3);
    type(view.item("ROI Magnification"), "1e400");
    QCOMPARE(*doc.m_roiMagnification, 1.0);
}

void PropertiesTest::filterSizeIsClamped() {
    CQuadrelDoc doc;
    CPropertyGridView view(doc);
    CReceiverPropertyValue* g = view.item("Gaussian Filter Size");
    const std::pair<const char*, int> cases[] = {{"25", 19}, {"1", 3}, {"11", 11}, {"x", 11}, {"-4", 3}};
    for (const auto& [typed, stored] : cases) {
        type(g, typed);
        QCOMPARE(doc.m_gaussianSize->value, stored);
        QCOMPARE(g->text(), QString::number(stored));
    }
}

void PropertiesTest::checkAndChoiceWriteTheMembers() {
    CQuadrelDoc doc;
    CPropertyGridView view(doc);
    auto* border = static_cast<CBooleanPropValue*>(view.item("Remove border"));
    border->checkBox()->click();
    QVERIFY(*doc.m_removeBorder);
    auto* type = static_cast<CItemVectorPropValue*>(view.item("Thresholded type"));
    QCOMPARE(type->comboBox()->itemText(0), QString("Bright"));
    type->comboBox()->setCurrentIndex(0);
    Q_EMIT type->comboBox()->activated(0);
    QCOMPARE(doc.m_objectType, 1);
    // A rebuilt panel shows the members as they are now.
    view.initialUpdate();
    QVERIFY(static_cast<CBooleanPropValue*>(view.item("Remove border"))->checkBox()->isChecked());
    QCOMPARE(view.item("Thresholded type")->text(), QString("Bright"));
}

QTEST_MAIN(PropertiesTest)
#include "properties_test.moc"
