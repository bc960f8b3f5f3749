#include "dialog_fixture.h"
#include "dialogs/class_setup_model.h"
#include "dialogs/features_setup_model.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quadrel {
namespace {

using testing::TempFolder;

class ClassSetup : public ::testing::Test {
protected:
    TempFolder dir;
    ClassSetupModel model{dir.settings()};

    void choose(const std::string& feature, const std::string& op, const std::string& value) {
        const auto& fs = model.featureChoices();
        const auto f = std::find_if(fs.begin(), fs.end(), [&](const auto& c) { return c.text == feature; });
        ASSERT_NE(f, fs.end());
        ASSERT_TRUE(model.setFeatureIndex(int(f - fs.begin())));
        const auto& os = model.operatorChoices();
        const auto o = std::find_if(os.begin(), os.end(), [&](const auto& c) { return c.text == op; });
        ASSERT_NE(o, os.end());
        ASSERT_TRUE(model.setOperatorIndex(int(o - os.begin())));
        model.setValueText(value);
    }
};

TEST_F(ClassSetup, BoxesStartWithTheirFixedChoices) {
    std::vector<std::pair<std::string, int32_t>> ops;
    for (const auto& c : model.operatorChoices())
        ops.emplace_back(c.text, c.data);
    EXPECT_EQ(ops, (std::vector<std::pair<std::string, int32_t>>{
                       {"=", 0}, {"<", 4}, {"<=", 5}, {">", 2}, {">=", 3}, {"<>", 1}}));
    EXPECT_EQ(model.operatorIndex(), 0);

    // Every feature, sorted by name with letter case ignored, carrying its identifier.
    const auto& features = model.featureChoices();
    ASSERT_EQ(features.size(), 62u);
    EXPECT_EQ(model.featureIndex(), 0);
    EXPECT_EQ(features.front().text, "Anisotropy");
    for (size_t i = 0; i < features.size(); ++i) {
        EXPECT_EQ(featureFromName(features[i].text).id(), features[i].data);
        if (i > 0) {
            std::string a = features[i - 1].text, b = features[i].text;
            std::transform(a.begin(), a.end(), a.begin(), ::tolower);
            std::transform(b.begin(), b.end(), b.begin(), ::tolower);
            EXPECT_LT(a, b);
        }
    }
    EXPECT_FALSE(model.setFeatureIndex(62));
    EXPECT_FALSE(model.setOperatorIndex(-1));
    EXPECT_EQ(model.operatorIndex(), 0);
}

TEST_F(ClassSetup, ButtonsEditTheRuleAndItsLines) {
    // "AND" first is accepted: its evaluation copes with the missing operands.
    model.addAnd();
    choose("Area", ">", "100");
    model.add();
    choose("FeretMax", "<=", " 2.50 mm");
    model.add();
    model.addOr();
    EXPECT_EQ(model.ruleLines(), (std::vector<std::string>{"AND", "Area > 100", "FeretMax <=  2.50 mm", "OR"}));
    EXPECT_EQ(model.rule().at(1), TQueryCommand(TFeature(2), 2, 100.0, "Area > 100"));
    EXPECT_EQ(model.rule().at(2), TQueryCommand(TFeature(17), 5, 2.5, "FeretMax <=  2.50 mm"));
    EXPECT_EQ(model.rule().at(3), TQueryCommand(TFeature(0), 7, 0.0, "OR"));

    // Without a selected line "Delete" does nothing.
    model.deleteSelected();
    model.setSelectedLine(4);
    EXPECT_EQ(model.selectedLine(), -1);
    model.deleteSelected();
    EXPECT_EQ(model.rule().size(), 4u);

    model.setSelectedLine(1);
    model.deleteSelected();
    EXPECT_EQ(model.ruleLines(), (std::vector<std::string>{"AND", "FeretMax <=  2.50 mm", "OR"}));
    EXPECT_EQ(model.rule().at(1).feature, TFeature(17));
    EXPECT_EQ(model.selectedLine(), -1);
}

TEST_F(ClassSetup, LoadReplacesTheRuleOnlyFromARuleFile) {
    choose("Area", ">", "5");
    model.add();
    ASSERT_TRUE(model.saveAs(dir / "rules")); // the extension is added
    ASSERT_TRUE(std::filesystem::exists(dir / "rules.slt"));

    ClassSetupModel other(dir.settings());
    other.addOr();
    other.setSelectedLine(0);
    ASSERT_TRUE(other.load(dir / "rules.slt").ok());
    EXPECT_EQ(other.ruleLines(), (std::vector<std::string>{"Area > 5"}));
    EXPECT_EQ(other.selectedLine(), -1);

    FeaturesSetupModel features({2, 55}, dir.settings());
    ASSERT_TRUE(features.saveAs(dir / "list.fts"));
    for (const char* name : {"list.fts", "missing.slt"}) {
        EXPECT_FALSE(other.load(dir / name).ok()) << name;
        EXPECT_EQ(other.ruleLines(), (std::vector<std::string>{"Area > 5"})) << name;
    }
}

// One remembered folder serves every file chooser, whether or not the file could be used.
TEST_F(ClassSetup, ChoosersShareTheRememberedFolder) {
    const std::filesystem::path sub = dir / "rules";
    std::filesystem::create_directory(sub);
    ASSERT_TRUE(model.saveAs(sub / "a.slt"));
    EXPECT_EQ(model.fileFolder(), sub.string());
    EXPECT_EQ(FeaturesSetupModel({}, dir.settings()).fileFolder(), sub.string());
    EXPECT_EQ(CProfile("Path", dir.settings()).getString("InitialDir", ""), sub.string());

    model.load(dir / "missing.slt");
    EXPECT_EQ(model.fileFolder(), dir.path().string());

    // A folder that has gone falls back to the documents folder.
    const std::filesystem::path gone = dir / "gone";
    std::filesystem::create_directory(gone);
    model.load(gone / "x.slt");
    std::filesystem::remove(gone);
    EXPECT_NE(model.fileFolder(), gone.string());
    EXPECT_FALSE(model.fileFolder().empty());
}

} // namespace
} // namespace quadrel
