// The manual thresholding dialog on a real document: the automatic level at start, OK and Cancel.
#include "dialogs/histogram_ctrl.h"
#include "dialogs/manual_thresholding_dialog.h"
#include "document/profile.h"
#include "document/quadrel_doc.h"
#include "platform/codec_png.h"
#include "resources/sample_image.h"

#include <QCheckBox>
#include <QListWidget>
#include <QSpinBox>
#include <QTest>

#include "screenshot.h"

#include <cstring>
#include <filesystem>

using namespace quadrel;

namespace {

BitmapPtr sample() {
    std::string error;
    return decodePng(sampleImagePng(), error);
}

bool sameLabels(const Bitmap& a, const Bitmap& b) {
    if (a.width() != b.width() || a.height() != b.height()) return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.row(y), b.row(y), static_cast<size_t>(a.width()) * 4) != 0) return false;
    return true;
}

} // namespace

class ThresholdingTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        const auto dir = std::filesystem::temp_directory_path() / "quadrel-thresholding-settings";
        std::filesystem::create_directories(dir);
        SettingsStore::setDefaultPath((dir / "Quadrel.conf").string());
    }

    void okWithoutChangesGivesTheAutomaticThreshold() {
        CQuadrelDoc automatic;
        std::string error;
        QVERIFY(automatic.OpenPicture(sample(), "sample", error));
        const int t = automaticLevel(*automatic.GetHistogram(kSlotGrey));

        CQuadrelDoc doc;
        QVERIFY(doc.OpenPicture(sample(), "sample", error));
        bool sawPreview = false, hysteresisSpinsEnabled = true;
        int lower = -1, upper = -1;
        const bool replaced = runManualThresholdCommand(doc, nullptr, [&](CManualThresholdingDialog& d) {
            sawPreview = doc.GetImage(kSlotThresholdPreview) != nullptr;
            lower = d.spin(0)->value();
            upper = d.spin(1)->value();
            hysteresisSpinsEnabled = d.spin(2)->isEnabled();
            screenshot(d, "thresholding.png");
            return int(QDialog::Accepted);
        });
        QVERIFY(sawPreview);
        // Dark objects: the markers stand at 0 and t/256, the spins show 0 and t.
        QCOMPARE(lower, 0);
        QCOMPARE(upper, t);
        QVERIFY(!hysteresisSpinsEnabled);
        QVERIFY(replaced);
        QVERIFY(!doc.GetImage(kSlotThresholdPreview));
        QVERIFY(sameLabels(*doc.GetImage(kSlotLabels), *automatic.GetImage(kSlotLabels)));
        QCOMPARE(doc.GetCells()->size(), automatic.GetCells()->size());
    }

    void cancelChangesNothingAndDropsThePreview() {
        CQuadrelDoc doc;
        std::string error;
        QVERIFY(doc.OpenPicture(sample(), "sample", error));
        const BitmapPtr labels = doc.GetImage(kSlotLabels);
        const auto cells = doc.GetCells();
        const bool replaced = runManualThresholdCommand(doc, nullptr, [&](CManualThresholdingDialog& d) {
            d.spin(1)->setValue(200);
            d.finishSpinScroll();
            return int(QDialog::Rejected);
        });
        QVERIFY(!replaced);
        QCOMPARE(doc.GetImage(kSlotLabels), labels);
        QCOMPARE(doc.GetCells(), cells);
        QVERIFY(!doc.GetImage(kSlotThresholdPreview));
    }

    void changesReachThePreviewAndTheKeptMask() {
        CQuadrelDoc doc;
        std::string error;
        QVERIFY(doc.OpenPicture(sample(), "sample", error));
        uint64_t previewPixels = 0;
        size_t withHysteresis = 0, without = 0;
        bool spinsEnabled = false;
        runManualThresholdCommand(doc, nullptr, [&](CManualThresholdingDialog& d) {
            d.spin(1)->setValue(60);
            d.finishSpinScroll();
            BitmapPtr preview = doc.GetImage(kSlotThresholdPreview);
            for (int y = 0; y < preview->height(); ++y)
                for (int x = 0; x < preview->width(); ++x) previewPixels += preview->row32(y)[x] != 0;
            d.hysteresisBox()->setChecked(true);
            spinsEnabled = d.spin(2)->isEnabled();
            withHysteresis = d.currentThreshold()->markers->markers.size();
            d.hysteresisBox()->setChecked(false);
            without = d.currentThreshold()->markers->markers.size();
            return int(QDialog::Accepted);
        });
        QVERIFY(previewPixels > 0);
        QVERIFY(spinsEnabled);
        QCOMPARE(withHysteresis, size_t(4));
        QCOMPARE(without, size_t(2));
        // Only the darkest levels are objects now: fewer object pixels than the automatic level gave.
        uint64_t pixels = 0;
        for (const TCellBaseFeature& r : *doc.GetCells()) pixels += r.area;
        CQuadrelDoc automatic;
        QVERIFY(automatic.OpenPicture(sample(), "sample", error));
        uint64_t autoPixels = 0;
        for (const TCellBaseFeature& r : *automatic.GetCells()) autoPixels += r.area;
        QVERIFY(pixels < autoPixels);
    }

    void stackedThresholdsCombineByTheirOperation() {
        CQuadrelDoc doc;
        std::string error;
        QVERIFY(doc.OpenPicture(sample(), "sample", error));
        size_t stackSize = 0;
        int listRows = 0;
        bool redHistogram = false;
        const bool replaced = runManualThresholdCommand(doc, nullptr, [&](CManualThresholdingDialog& d) {
            d.setChannel(kChannelRed);
            const auto red = doc.GetHistogram(kSlotRed);
            redHistogram = d.currentThreshold()->channel == kChannelRed &&
                           d.currentThreshold()->source == doc.GetImage(kSlotRed) && red != nullptr;
            d.setChannel(kChannelGrey);
            // Grey at most 60, intersected with the first threshold (grey up to the automatic level).
            d.addThreshold(kChannelGrey, kOpIntersection);
            d.spin(0)->setValue(0);
            d.spin(1)->setValue(60);
            d.finishSpinScroll();
            stackSize = d.stack().items.size();
            listRows = d.stackList()->count();
            return int(QDialog::Accepted);
        });
        QVERIFY(redHistogram);
        QCOMPARE(stackSize, size_t(2));
        QCOMPARE(listRows, 2);
        QVERIFY(replaced);
        CQuadrelDoc single;
        QVERIFY(single.OpenPicture(sample(), "sample", error));
        QVERIFY(single.ManualThreshold(0, 60));
        QVERIFY(sameLabels(*doc.GetImage(kSlotLabels), *single.GetImage(kSlotLabels)));
    }
};

QObject* makeThresholdingTest() { return new ThresholdingTest; }

#include "thresholding_test.moc"
