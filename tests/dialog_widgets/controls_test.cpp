// The histogram control and the colour bar, driven by simulated mouse and keys on the offscreen platform.
#include "dialogs/gradient_ctrl.h"
#include "dialogs/histogram_ctrl.h"

#include <QSignalSpy>
#include <QApplication>
#include <QTest>

#include <memory>
#include <set>

using namespace quadrel;

Q_DECLARE_METATYPE(std::shared_ptr<quadrel::CMarker>)
Q_DECLARE_METATYPE(quadrel::CPeg)

namespace {

std::shared_ptr<CMarkerVector> twoMarkers(float a, float b) {
    auto v = std::make_shared<CMarkerVector>();
    v->markers = {std::make_shared<CMarker>(CMarker{a, 0xFFFF0000u}), std::make_shared<CMarker>(CMarker{b, 0xFFFF0000u})};
    return v;
}

} // namespace

class ControlsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qRegisterMetaType<std::shared_ptr<CMarker>>();
        qRegisterMetaType<CPeg>();
    }

    void histogramPicksWithinTwoPixels() {
        CHistogramCtrl h;
        h.resize(266, 100);
        h.setValues(std::vector<double>(256, 10.0));
        auto markers = twoMarkers(0.25f, 0.75f);
        h.setMarkers(markers);
        h.show();
        QCOMPARE(h.xOf(0.25), 69.0);
        QCOMPARE(h.xOf(0.75), 197.0);
        QSignalSpy spy(&h, &CHistogramCtrl::markerNotify);
        QTest::mousePress(&h, Qt::LeftButton, {}, QPoint(70, 50));
        QCOMPARE(h.selectedMarker(), markers->markers[0]);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), int(CHistogramCtrl::kPicked));
        QTest::mouseRelease(&h, Qt::LeftButton, {}, QPoint(70, 50));
        QCOMPARE(spy.count(), 1); // no move: no code 4
        QTest::mousePress(&h, Qt::LeftButton, {}, QPoint(133, 50));
        QVERIFY(!h.selectedMarker());
    }

    void histogramDragResortsAndKeysClamp() {
        CHistogramCtrl h;
        h.resize(266, 100);
        h.setValues(std::vector<double>(256, 1.0));
        auto markers = twoMarkers(0.25f, 0.75f);
        h.setMarkers(markers);
        h.show();
        auto first = markers->markers[0];
        QSignalSpy spy(&h, &CHistogramCtrl::markerNotify);
        QTest::mousePress(&h, Qt::LeftButton, {}, QPoint(69, 50));
        QMouseEvent move(QEvent::MouseMove, QPointF(300, 50), QPointF(300, 50), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&h, &move);
        QCOMPARE(markers->markers[1], first); // sorted past its neighbour
        QCOMPARE(h.selectedMarker(), first);
        QCOMPARE(first->position, 1.0f);     // beyond the right margin
        QCOMPARE(spy.last().at(0).toInt(), int(CHistogramCtrl::kMoving));
        QCOMPARE(spy.last().at(1).value<std::shared_ptr<CMarker>>(), first);
        QTest::mouseRelease(&h, Qt::LeftButton, {}, QPoint(265, 50));
        QCOMPARE(spy.last().at(0).toInt(), int(CHistogramCtrl::kMoved));

        first->position = 0.95f;
        QTest::keyClick(&h, Qt::Key_PageDown);
        QCOMPARE(first->position, 1.0f);
        QTest::keyClick(&h, Qt::Key_Home);
        QCOMPARE(first->position, 0.0f);
        QTest::keyClick(&h, Qt::Key_Right);
        QCOMPARE(first->position, 1.0f / 256);
    }

    void histogramDrawsHysteresisAndEmptyValues() {
        CHistogramCtrl h;
        h.resize(266, 100);
        h.setValues(std::vector<double>(256, 0.0)); // all zero: curve on the baseline
        auto markers = twoMarkers(0.2f, 0.8f);
        markers->withHysteresis = true;
        markers->markers.insert(markers->markers.begin(), std::make_shared<CMarker>(CMarker{0.1f, 0xFFFF0000u}));
        markers->markers.push_back(std::make_shared<CMarker>(CMarker{0.9f, 0xFFFF0000u}));
        h.setMarkers(markers);
        h.show();
        const QImage img = h.grab().toImage();
        QCOMPARE(img.pixel(5, 95) & 0xFFFFFF, 0x800080u); // the curve lies on the baseline
        QCOMPARE(img.pixel(2, 2) & 0xFFFFFF, 0xC0C0C0u);
    }

    void gradientEntriesAndKeys() {
        CGradientCtrl g;
        g.resize(266, 48);
        g.setPegSides(true, false);
        g.show();
        auto grad = g.gradient();
        grad->SetInterpolationMethod(kInterpolateLinear);
        grad->SetEndPegColour(0xFFC000C0u);
        QCOMPARE(grad->MakeEntries(256)[128], 0xFF600060u);
        QCOMPARE(grad->MakeEntries(256)[255], 0xFFBF00BFu);
        grad->SetQuantization(4);
        const auto bands = grad->MakeEntries(256);
        QCOMPARE(std::set<uint32_t>(bands.begin(), bands.end()).size(), size_t(4));
        grad->SetQuantization(-1);

        QSignalSpy notes(&g, &CGradientCtrl::pegNotify);
        const int peg = grad->AddPeg(0xFF00FF00u, 0.95f);
        g.setSelection(peg);
        QTest::keyClick(&g, Qt::Key_PageDown);
        QCOMPARE(grad->GetPeg(g.selection()).position, 1.0f);
        QCOMPARE(notes.count(), 2);
        QCOMPARE(notes.at(0).at(0).toInt(), int(CGradientCtrl::kPegMoved));
        QCOMPARE(notes.at(1).at(0).toInt(), int(CGradientCtrl::kGradientChanged));

        notes.clear();
        QTest::keyClick(&g, Qt::Key_Delete); // the only peg
        QCOMPARE(grad->GetPegCount(), 0);
        QCOMPARE(g.selection(), int(kPegStart));
        QCOMPARE(notes.count(), 3);
        QCOMPARE(notes.at(0).at(0).toInt(), int(CGradientCtrl::kPegRemoved));
        QCOMPARE(notes.at(1).at(0).toInt(), int(CGradientCtrl::kSelectionChanged));
        QCOMPARE(notes.at(1).at(2).toInt(), int(kPegStart));
        QCOMPARE(notes.at(2).at(2).toInt(), -1);

        g.setSelection(kPegEnd);
        QTest::keyClick(&g, Qt::Key_Tab);
        QCOMPARE(g.selection(), int(kPegStart));
    }

    void gradientDoubleClickAsksForAPeg() {
        CGradientCtrl g;
        g.resize(266, 48);
        g.setPegSides(true, false);
        g.show();
        QSignalSpy spy(&g, &CGradientCtrl::newPegRequested);
        QTest::mouseDClick(&g, Qt::LeftButton, {}, QPoint(100, 15));
        QCOMPARE(spy.count(), 1);
        const float expected = (100.0f - 5.0f) / (266.0f - 9.0f);
        QCOMPARE(spy.at(0).at(0).toFloat(), expected);
        QCOMPARE(spy.at(0).at(1).value<uint32_t>(), g.gradient()->ColourFromPosition(expected));

        QSignalSpy edit(&g, &CGradientCtrl::pegNotify);
        QTest::mouseDClick(&g, Qt::LeftButton, {}, g.startBox().center());
        QCOMPARE(edit.count(), 1);
        QCOMPARE(edit.at(0).at(0).toInt(), int(CGradientCtrl::kEditPeg));
        QCOMPARE(g.selection(), int(kPegStart));
    }
};

QObject* makeThresholdingTest();
QObject* makeSetupDialogsTest();

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failures = 0;
    ControlsTest controls;
    failures += QTest::qExec(&controls, argc, argv);
    std::unique_ptr<QObject> thresholding(makeThresholdingTest());
    failures += QTest::qExec(thresholding.get(), argc, argv);
    std::unique_ptr<QObject> setup(makeSetupDialogsTest());
    failures += QTest::qExec(setup.get(), argc, argv);
    return failures == 0 ? 0 : 1;
}

#include "controls_test.moc"
