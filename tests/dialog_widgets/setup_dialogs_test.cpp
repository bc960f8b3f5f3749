// The class setup and features setup dialogs over a real document.
#include "dialogs/setup_dialogs.h"
#include "document/profile.h"
#include "document/quadrel_doc.h"
#include "platform/codec_png.h"
#include "resources/sample_image.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include "screenshot.h"

#include <algorithm>
#include <filesystem>

using namespace quadrel;

class SetupDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        const auto dir = std::filesystem::temp_directory_path() / "quadrel-setup-dialogs-settings";
        std::filesystem::create_directories(dir);
        SettingsStore::setDefaultPath((dir / "Quadrel.conf").string());
    }

    void ruleBuiltInTheDialogGivesExactlyThePassingCells() {
        CQuadrelDoc doc;
        std::string error;
        QVERIFY(doc.OpenPicture(decodePng(sampleImagePng(), error), "sample", error));
        // Pixel units, so the numbers below are pixel counts.
        *doc.m_calibrationX = TCalibration(1.0, 1.0);
        *doc.m_calibrationY = TCalibration(1.0, 1.0);
        auto pick = [](QComboBox* box, const QString& text) {
            const int i = box->findText(text);
            box->setCurrentIndex(i);
            return i >= 0;
        };
        const bool ok = runClassSetupCommand(doc, nullptr, [&](CClassSetupDialog& d) {
            if (!pick(d.featureBox(), "Area") || !pick(d.operatorBox(), ">")) return int(QDialog::Rejected);
            d.valueBox()->setText("100");
            d.onAdd();
            if (!pick(d.featureBox(), "Compactness") || !pick(d.operatorBox(), "<")) return int(QDialog::Rejected);
            d.valueBox()->setText("2");
            d.onAdd();
            d.onAnd();
            screenshot(d, "class-setup.png");
            return d.ruleList()->count() == 3 ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        QVERIFY(ok);
        // The class of the AND holds exactly the cells that pass both comparisons.
        std::vector<uint32_t> expected;
        FeatureEvaluator eval;
        for (const TCellBaseFeature& r : *doc.GetCells())
            if (eval.value(TFeature(2), r) > 100.0f && eval.value(TFeature(14), r) < 2.0f) expected.push_back(r.label);
        QVERIFY(!expected.empty());
        bool found = false;
        for (const auto& [name, list] : *doc.GetClasses()) {
            if (name.find("AND") == std::string::npos) continue;
            std::vector<uint32_t> got;
            for (const TCellId& id : list->ids()) got.push_back(id.label);
            std::sort(got.begin(), got.end());
            QCOMPARE(got, expected);
            found = true;
        }
        QVERIFY(found);
    }

    void featuresSetupStoresTheChosenOrder() {
        CQuadrelDoc doc;
        const bool ok = runFeaturesSetupCommand(doc, nullptr, [](CFeatureSetupDialog& d) {
            d.onRemoveAll();
            for (const char* name : {"Perimeter", "Area"}) {
                const auto items = d.availableList()->findItems(name, Qt::MatchExactly);
                if (items.isEmpty()) return int(QDialog::Rejected);
                d.availableList()->clearSelection();
                items.front()->setSelected(true);
                d.onAddSelected();
            }
            screenshot(d, "features-setup.png");
            return int(QDialog::Accepted);
        });
        QVERIFY(ok);
        const FeatureList& f = *doc.GetFeatures();
        QCOMPARE(f.size(), size_t(2));
        QCOMPARE(f.at(0).id(), 3);
        QCOMPARE(f.at(1).id(), 2);
        // Cancel changes nothing.
        QVERIFY(!runFeaturesSetupCommand(doc, nullptr, [](CFeatureSetupDialog& d) {
            d.onRemoveAll();
            return int(QDialog::Rejected);
        }));
        QCOMPARE(doc.GetFeatures()->size(), size_t(2));
    }
};

QObject* makeSetupDialogsTest() { return new SetupDialogsTest; }

#include "setup_dialogs_test.moc"
