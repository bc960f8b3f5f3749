#include "dialog_fixture.h"
#include "dialogs/features_setup_model.h"
#include "dialogs/query_rules.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quadrel {
namespace {

using testing::TempFolder;
using Entry = FeaturesSetupModel::Entry;

std::vector<std::string> texts(const FeaturesSetupModel& m) {
    std::vector<std::string> out;
    for (const Entry& e : m.chosen())
        out.push_back(e.text);
    return out;
}

int availableIndex(const FeaturesSetupModel& m, const std::string& name) {
    const auto& a = m.available();
    return int(std::find(a.begin(), a.end(), name) - a.begin());
}

class FeaturesSetup : public ::testing::Test {
protected:
    TempFolder dir;
};

TEST_F(FeaturesSetup, StartsWithTheCallersListAndReturnsItUntouched) {
    // 999 has no name: not shown, but returned as given while nothing changes.
    FeaturesSetupModel m({55, 999, 2}, dir.settings());
    EXPECT_EQ(m.available().size(), 62u);
    EXPECT_TRUE(
        std::is_sorted(m.available().begin(), m.available().end(), [](const std::string& a, const std::string& b) {
            std::string x = a, y = b;
            std::transform(x.begin(), x.end(), x.begin(), ::tolower);
            std::transform(y.begin(), y.end(), y.begin(), ::tolower);
            return x < y;
        }));
    EXPECT_EQ(m.chosen(), (std::vector<Entry>{{"Elongation(EC)", 55}, {"Area", 2}}));
    EXPECT_EQ(m.chosenIdentifiers(), (std::vector<int32_t>{55, 999, 2}));
    // Any button rebuilds the result from the names shown, even one that moves nothing.
    m.moveUp();
    EXPECT_EQ(m.chosenIdentifiers(), (std::vector<int32_t>{55, 2}));
}

TEST_F(FeaturesSetup, AddingSkipsNamesAlreadyChosen) {
    FeaturesSetupModel m({2}, dir.settings());
    m.setAvailableSelection(
        {availableIndex(m, "Perimeter"), availableIndex(m, "Area"), 500, -1, availableIndex(m, "Label")});
    m.addSelected();
    // In list order: Area is there already, Label precedes Perimeter.
    EXPECT_EQ(texts(m), (std::vector<std::string>{"Area", "Label", "Perimeter"}));
    EXPECT_EQ(m.chosenIdentifiers(), (std::vector<int32_t>{2, 1, 3}));

    m.addAll();
    m.addAll();
    ASSERT_EQ(m.chosen().size(), 62u);
    std::vector<int32_t> sorted = m.chosenIdentifiers();
    std::sort(sorted.begin(), sorted.end());
    for (int32_t i = 0; i < 62; ++i)
        EXPECT_EQ(sorted[size_t(i)], i + 1);
    EXPECT_EQ(m.chosen()[3].text, "Anisotropy"); // the rest follow in list order

    m.setChosenSelection({0, 2, 61});
    m.removeSelected();
    EXPECT_EQ(m.chosen().size(), 59u);
    EXPECT_EQ(m.chosen()[0].text, "Label");
    EXPECT_TRUE(m.chosenSelection().empty());
    m.removeAll();
    EXPECT_TRUE(m.chosen().empty());
    EXPECT_TRUE(m.chosenIdentifiers().empty());
}

TEST_F(FeaturesSetup, UpAndDownMoveTheSelectionOnePlace) {
    // Area, Perimeter, Density, XCenter, YCenter
    const std::vector<int32_t> ids = {2, 3, 4, 8, 9};
    struct Case {
        bool up;
        std::vector<int> selection;
        std::vector<int32_t> order;
        std::vector<int> after;
    };
    const Case cases[] = {
        {true, {1, 3}, {3, 2, 8, 4, 9}, {0, 2}},  {true, {1, 2}, {3, 4, 2, 8, 9}, {0, 1}},
        {true, {0, 3}, {2, 3, 4, 8, 9}, {0, 3}}, // the first is at the top: nothing moves
        {false, {0, 2}, {3, 2, 8, 4, 9}, {1, 3}}, {false, {2, 3}, {2, 3, 9, 4, 8}, {3, 4}},
        {false, {1, 4}, {2, 3, 4, 8, 9}, {1, 4}}, // the last is at the bottom: nothing moves
        {true, {}, {2, 3, 4, 8, 9}, {}},
    };
    for (const Case& c : cases) {
        FeaturesSetupModel m(ids, dir.settings());
        m.setChosenSelection(c.selection);
        if (c.up)
            m.moveUp();
        else
            m.moveDown();
        EXPECT_EQ(m.chosenIdentifiers(), c.order);
        EXPECT_EQ(m.chosenSelection(), c.after);
        for (const Entry& e : m.chosen())
            EXPECT_EQ(featureFromName(e.text).id(), e.id);
    }
}

TEST_F(FeaturesSetup, SavedListsReloadInTheirOrder) {
    FeaturesSetupModel m({}, dir.settings());
    m.setAvailableSelection({availableIndex(m, "Elongation(EC)")});
    m.addSelected();
    m.setAvailableSelection({availableIndex(m, "Area")});
    m.addSelected();
    ASSERT_TRUE(m.saveAs(dir / "list")); // the extension is added
    const std::vector<uint8_t> expected = {':', 1,   1,   0,   0,   '[', 14,  0,   0,   0,   'T', 'S', 'e', 't',
                                           'O', 'f', 'F', 'e', 'a', 't', 'u', 'r', 'e', 's', 1,   0,   0,   0,
                                           2,   0,   0,   0,   55,  0,   0,   0,   2,   0,   0,   0,   ']'};
    EXPECT_EQ(TempFolder::read(dir / "list.fts"), expected);

    FeaturesSetupModel other({4}, dir.settings());
    other.setChosenSelection({0});
    ASSERT_TRUE(other.load(dir / "list.fts").ok());
    EXPECT_EQ(texts(other), (std::vector<std::string>{"Elongation(EC)", "Area"}));
    EXPECT_EQ(other.chosenIdentifiers(), (std::vector<int32_t>{55, 2}));
    EXPECT_TRUE(other.chosenSelection().empty());
}

TEST_F(FeaturesSetup, UnknownIdentifiersShowAsUnknowAndAreWrittenBack) {
    TempFolder::write(dir / "odd.fts", {':', 1,   1,   0,   0,   '[', 14,   0,   0,   0, 'T', 'S', 'e', 't', 'O',
                                        'f', 'F', 'e', 'a', 't', 'u', 'r',  'e', 's', 1, 0,   0,   0,   3,   0,
                                        0,   0,   17,  0,   0,   0,   0xE7, 3,   0,   0, 3,   0,   0,   0,   ']'});
    FeaturesSetupModel m({}, dir.settings());
    ASSERT_TRUE(m.load(dir / "odd.fts").ok());
    EXPECT_EQ(m.chosen(), (std::vector<Entry>{{"FeretMax", 17}, {"Unknow", 999}, {"Perimeter", 3}}));
    EXPECT_EQ(m.chosenIdentifiers(), (std::vector<int32_t>{17, 3}));
    ASSERT_TRUE(m.saveAs(dir / "again.fts"));
    EXPECT_EQ(TempFolder::read(dir / "again.fts"), TempFolder::read(dir / "odd.fts"));
}

TEST_F(FeaturesSetup, FilesOfAnotherKindLeaveTheListAsItWas) {
    TQueryQueue rule;
    rule.append(TQueryCommand::comparison(FeatureId::Area, QueryOperation::Greater, "5"));
    ASSERT_TRUE(rule.save(dir / "rule.slt"));
    TempFolder::write(dir / "short.fts", {':', 1, 1, 0, 0, '[', 14, 0, 0, 0, 'T', 'S', 'e', 't'});
    TempFolder::write(dir / "empty.fts", {});

    FeaturesSetupModel m({2, 999}, dir.settings());
    for (const char* name : {"rule.slt", "short.fts", "empty.fts", "missing.fts"}) {
        EXPECT_FALSE(m.load(dir / name).ok()) << name;
        EXPECT_EQ(m.chosen(), (std::vector<Entry>{{"Area", 2}})) << name;
        EXPECT_EQ(m.chosenIdentifiers(), (std::vector<int32_t>{2, 999})) << name;
    }
    EXPECT_EQ(m.fileFolder(), dir.path().string());
}

} // namespace
} // namespace quadrel
