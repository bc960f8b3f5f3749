#include "dialog_fixture.h"
#include "dialogs/query_rules.h"
#include "persistence/object_stream.h"

#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace quadrel {
namespace {

using testing::cellWithArea;
using testing::TempFolder;

std::vector<uint32_t> labelsOf(const TCellIdList& list) {
    std::vector<uint32_t> out;
    for (const TCellId& id : list.ids())
        out.push_back(id.label);
    return out;
}

std::vector<std::string> namesOf(const std::vector<TCellIdList>& lists) {
    std::vector<std::string> out;
    for (const TCellIdList& l : lists)
        out.push_back(l.name());
    return out;
}

TQueryCommand areaTest(QueryOperation op, const char* value) {
    return TQueryCommand::comparison(FeatureId::Area, op, value);
}

// Cells 1 to 6 with areas 10, 20, ... 60.
TCellDictionary sixCells() {
    TCellDictionary cells;
    for (uint32_t n = 1; n <= 6; ++n)
        cells.add(cellWithArea(0xFF000000u + n, 10 * n));
    return cells;
}

constexpr uint32_t L(uint32_t n) {
    return 0xFF000000u + n;
}

TEST(QueryCommand, ComparisonTextKeepsTheValueAsTyped) {
    const TQueryCommand c = TQueryCommand::comparison(FeatureId::Area, QueryOperation::GreaterEqual, "12.50");
    EXPECT_EQ(c.text, "Area >= 12.50");
    EXPECT_EQ(c.value, 12.5);
    EXPECT_EQ(c.feature, TFeature(2));
    EXPECT_EQ(c.operation, 3);
    const TQueryCommand junk = TQueryCommand::comparison(FeatureId::FeretMax, QueryOperation::NotEqual, "abc");
    EXPECT_EQ(junk.text, "FeretMax <> abc");
    EXPECT_EQ(junk.value, 0.0);
    EXPECT_EQ(TQueryCommand::combination(QueryOperation::Or), TQueryCommand(TFeature(0), 7, 0.0, "OR"));
}

TEST(QueryCommand, ValuesReadAsTheCLibraryReadsThemInAnyLocale) {
    const std::pair<const char*, double> table[] = {
        {"12.50", 12.5}, {"  \t7abc", 7.0}, {"abc", 0.0}, {"", 0.0},    {"-2.5", -2.5},
        {"+3", 3.0},     {"1e3", 1000.0},   {"1e", 1.0},  {"12,5", 12}, {".5", 0.5},
    };
    // A decimal comma locale must not change what a typed rule means.
    const std::string before = std::setlocale(LC_ALL, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"})
        if (!comma) comma = std::setlocale(LC_ALL, name) != nullptr;
    for (const auto& [text, expected] : table)
        EXPECT_EQ(parseQueryValue(text), expected) << text << (comma ? " (de_DE)" : "");
    EXPECT_TRUE(std::isnan(parseQueryValue("nan")));
    std::setlocale(LC_ALL, before.c_str());
}

TEST(QueryQueue, AppendAndRemoveKeepTheOrder) {
    TQueryQueue q;
    for (const char* v : {"1", "2", "3"})
        q.append(areaTest(QueryOperation::Greater, v));
    q.removeAt(-1);
    q.removeAt(3);
    ASSERT_EQ(q.size(), 3u);
    q.removeAt(1);
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q.at(0).text, "Area > 1");
    EXPECT_EQ(q.at(1).text, "Area > 3");
    q.clear();
    EXPECT_TRUE(q.empty());
}

// The evaluation stack, as rules in postfix order build it.
TEST(QueryQueue, EvaluationFollowsThePostfixOrder) {
    const TCellDictionary cells = sixCells();
    const TQueryCommand A = areaTest(QueryOperation::Greater, "20"); // 3 4 5 6
    const TQueryCommand B = areaTest(QueryOperation::Less, "50");    // 1 2 3 4
    const TQueryCommand C = areaTest(QueryOperation::Equal, "10");   // 1
    const TQueryCommand AND = TQueryCommand::combination(QueryOperation::And);
    const TQueryCommand OR = TQueryCommand::combination(QueryOperation::Or);
    struct Case {
        std::vector<TQueryCommand> rule;
        std::vector<std::string> names;
        std::vector<std::vector<uint32_t>> labels;
    };
    const Case cases[] = {
        {{}, {}, {}},
        {{A, B}, {"Area > 20", "Area < 50"}, {{L(3), L(4), L(5), L(6)}, {L(1), L(2), L(3), L(4)}}},
        {{A, B, AND, C, OR}, {"((Area > 20 AND Area < 50) OR Area = 10)"}, {{L(1), L(3), L(4)}}},
        {{A, B, C, AND}, {"Area > 20", "(Area < 50 AND Area = 10)"}, {{L(3), L(4), L(5), L(6)}, {L(1)}}},
        // OR: the right cells first, then the left ones it lacks; AND keeps the left order.
        {{B, A, OR}, {"(Area < 50 OR Area > 20)"}, {{L(3), L(4), L(5), L(6), L(1), L(2)}}},
        {{A, A, OR}, {"(Area > 20 OR Area > 20)"}, {{L(3), L(4), L(5), L(6)}}},
        // Operands the stack cannot supply are empty and unnamed.
        {{A, AND}, {"( AND Area > 20)"}, {{}}},
        {{A, OR}, {"( OR Area > 20)"}, {{L(3), L(4), L(5), L(6)}}},
        {{AND}, {"( AND )"}, {{}}},
        {{OR}, {"( OR )"}, {{}}},
        // Codes a file may carry that are neither comparisons nor combinations change nothing.
        {{A, TQueryCommand(TFeature(2), 8, 0, "?"), TQueryCommand(TFeature(2), -1, 0, "?")},
         {"Area > 20"},
         {{L(3), L(4), L(5), L(6)}}},
    };
    for (const Case& c : cases) {
        TQueryQueue q;
        for (const TQueryCommand& cmd : c.rule)
            q.append(cmd);
        const std::vector<TCellIdList> result = q.evaluate(cells);
        EXPECT_EQ(namesOf(result), c.names);
        ASSERT_EQ(result.size(), c.labels.size());
        for (size_t i = 0; i < result.size(); ++i)
            EXPECT_EQ(labelsOf(result[i]), c.labels[i]) << result[i].name();
    }
}

TEST(QueryQueue, ComparisonsUseTheWidenedFloatValue) {
    // XCenter = sum x / area = 1 / 10: the float nearest 0.1, which widened is not the double 0.1.
    TCellBaseFeature r = cellWithArea(L(1), 10);
    r.sumX = 1;
    TCellDictionary cells({r, cellWithArea(L(2), 10)});
    const struct {
        TQueryCommand command;
        std::vector<uint32_t> labels;
    } cases[] = {
        {TQueryCommand::comparison(FeatureId::Area, QueryOperation::Equal, "10"), {L(1), L(2)}},
        {TQueryCommand::comparison(FeatureId::XCenter, QueryOperation::Equal, "0.1"), {}},
        {TQueryCommand::comparison(FeatureId::XCenter, QueryOperation::Equal, "0.100000001490116119384765625"), {L(1)}},
        {TQueryCommand::comparison(FeatureId::XCenter, QueryOperation::Greater, "0.1"), {L(1)}},
        // Only "<>" selects against a value that is not a number.
        {TQueryCommand::comparison(FeatureId::Area, QueryOperation::NotEqual, "nan"), {L(1), L(2)}},
        {TQueryCommand::comparison(FeatureId::Area, QueryOperation::Equal, "nan"), {}},
        {TQueryCommand::comparison(FeatureId::Area, QueryOperation::GreaterEqual, "nan"), {}},
        {TQueryCommand::comparison(FeatureId::Area, QueryOperation::LessEqual, "nan"), {}},
        // A feature without a formula tests 0.
        {TQueryCommand(TFeature(99), 0, 0.0, "x"), {L(1), L(2)}},
        {TQueryCommand(TFeature(0), 2, -1.0, "x"), {L(1), L(2)}},
    };
    for (const auto& c : cases) {
        TQueryQueue q;
        q.append(c.command);
        const std::vector<TCellIdList> result = q.evaluate(cells);
        ASSERT_EQ(result.size(), 1u);
        EXPECT_EQ(labelsOf(result[0]), c.labels) << c.command.text;
    }
}

// The table shows areas in mm² when the document is calibrated; a rule typed from it must mean the same.
TEST(QueryQueue, CalibratedRulesCompareCalibratedValues) {
    TCellDictionary cells;
    cells.add(cellWithArea(L(1), 40)); // 0.4 mm² at 10 pixels per millimetre
    cells.add(cellWithArea(L(2), 60)); // 0.6 mm²
    TQueryQueue q;
    q.append(areaTest(QueryOperation::Greater, "0.5"));
    const FeatureScale tenPerMillimetre = calibrationScale(10.0, 10.0, 0.0);
    EXPECT_EQ(labelsOf(q.evaluate(cells, tenPerMillimetre).at(0)), (std::vector<uint32_t>{L(2)}));
    // Without calibration the same rule is in pixels.
    EXPECT_EQ(labelsOf(q.evaluate(cells).at(0)), (std::vector<uint32_t>{L(1), L(2)}));
}

// Labels above 0xFF000100 share one "Label" float; each cell must still be named by its own label.
TEST(QueryQueue, ResultsNameTheCellsThatPassedByTheirOwnLabels) {
    TCellDictionary cells;
    std::vector<uint32_t> large, small;
    for (uint32_t n = 0x101; n < 0x101 + 40; ++n) {
        const uint32_t area = (n * 7) % 23 + 1;
        cells.add(cellWithArea(L(n), area));
        (area > 12 ? large : small).push_back(L(n));
    }
    cells.add(cellWithArea(0xFFFFFFFFu, 30));
    large.push_back(0xFFFFFFFFu);
    TQueryQueue q;
    q.append(areaTest(QueryOperation::Greater, "12"));
    q.append(areaTest(QueryOperation::LessEqual, "12"));
    const std::vector<TCellIdList> result = q.evaluate(cells);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(labelsOf(result[0]), large);
    EXPECT_EQ(labelsOf(result[1]), small);
    for (const TCellId& id : result[0].ids())
        EXPECT_EQ(id.second, 0u);
}

class RuleFiles : public ::testing::Test {
protected:
    TempFolder dir;

    static TQueryQueue sampleRule() {
        TQueryQueue q;
        q.append(areaTest(QueryOperation::GreaterEqual, "12.50"));
        q.append(TQueryCommand::comparison(FeatureId::Elongation, QueryOperation::NotEqual, " nan"));
        q.append(TQueryCommand::combination(QueryOperation::And));
        return q;
    }
    static TQueryQueue previousRule() {
        TQueryQueue q;
        q.append(TQueryCommand::combination(QueryOperation::Or));
        return q;
    }
};

TEST_F(RuleFiles, SavedFileHasTheRuleFileLayout) {
    TQueryQueue q;
    q.append(TQueryCommand::comparison(FeatureId::Area, QueryOperation::Greater, "5"));
    ASSERT_TRUE(q.save(dir / "area.slt"));
    std::vector<uint8_t> expected;
    const auto bytes = [&](std::initializer_list<int> list) {
        for (int v : list)
            expected.push_back(uint8_t(v));
    };
    const auto text = [&](const std::string& t) { expected.insert(expected.end(), t.begin(), t.end()); };
    bytes({':', 1, 1, 0, 0});  // header, version 257
    bytes({'[', 11, 0, 0, 0}); // the queue
    text("TQueryQueue");
    bytes({1, 0, 0, 0, 1, 0, 0, 0}); // class version, count
    bytes({'[', 13, 0, 0, 0});       // the command
    text("TQueryCommand");
    bytes({1, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0}); // class version, feature, operation
    bytes({0, 0, 0, 0, 0, 0, 0x14, 0x40});       // 5.0
    bytes({8, 0, 0, 0});
    text("Area > 5");
    bytes({']', ']'});
    EXPECT_EQ(TempFolder::read(dir / "area.slt"), expected);
}

TEST_F(RuleFiles, LoadingReplacesTheRuleWithTheFilesCommands) {
    const TQueryQueue rule = sampleRule();
    ASSERT_TRUE(rule.save(dir / "r.slt"));
    TQueryQueue q = previousRule();
    EXPECT_TRUE(q.load(dir / "r.slt").ok());
    EXPECT_EQ(q, rule);
    EXPECT_EQ(q.at(1).text, "Elongation(EC) <>  nan");
    EXPECT_TRUE(std::isnan(q.at(1).value));
}

TEST_F(RuleFiles, RefusedFilesLeaveTheRuleAsItWas) {
    const std::vector<uint8_t> good = [&] {
        EXPECT_TRUE(sampleRule().save(dir / "good.slt"));
        return TempFolder::read(dir / "good.slt");
    }();
    MemoryBuffer features;
    {
        opstream os(&features);
        os.putObject(TSetOfFeatures{TFeature(2), TFeature(55)});
    }
    std::vector<uint8_t> unknown = features.data();
    unknown[10 + 3] = 'X'; // "TSeXOfFeatures"
    std::vector<uint8_t> trailingDamage = good;
    trailingDamage[trailingDamage.size() - 2] = '}'; // the command's closing mark

    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        StreamReadStatus status;
    };
    std::vector<Case> cases = {
        {"empty", {}, StreamReadStatus::Empty},
        {"header only", {':', 1, 1, 0, 0}, StreamReadStatus::Damaged},
        {"feature list", features.data(), StreamReadStatus::Damaged},
        {"unknown class", unknown, StreamReadStatus::UnregisteredType},
        {"bad mark", trailingDamage, StreamReadStatus::Damaged},
    };
    for (size_t n = 1; n < good.size(); ++n)
        cases.push_back({"truncated to " + std::to_string(n), std::vector<uint8_t>(good.begin(), good.begin() + n),
                         StreamReadStatus::Damaged});
    for (const Case& c : cases) {
        dir.write(dir / "bad.slt", c.bytes);
        TQueryQueue q = previousRule();
        const StreamReadResult r = q.load(dir / "bad.slt");
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(q, previousRule()) << c.name;
    }

    TQueryQueue q = previousRule();
    EXPECT_EQ(q.load(dir / "missing.slt").status, StreamReadStatus::CannotOpen);
    EXPECT_EQ(q.load(dir.path()).status, StreamReadStatus::CannotOpen);
    // A pipe would block the open until someone writes to it; it is refused without opening.
    ASSERT_EQ(::mkfifo((dir / "pipe.slt").c_str(), 0600), 0);
    EXPECT_EQ(q.load(dir / "pipe.slt").status, StreamReadStatus::CannotOpen);
    EXPECT_EQ(q, previousRule());
}

TEST_F(RuleFiles, SavingReplacesTheFileOnlyWhenComplete) {
    const std::filesystem::path target = dir / "rule.slt";
    ASSERT_TRUE(previousRule().save(target));
    ::chmod(target.c_str(), 0640);
    // Through a link: the file it names is replaced, the link stays.
    std::filesystem::create_symlink(target, dir / "link.slt");
    ASSERT_TRUE(sampleRule().save(dir / "link.slt"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.slt"));
    TQueryQueue back;
    ASSERT_TRUE(back.load(target).ok());
    EXPECT_EQ(back, sampleRule());
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    std::string error;
    EXPECT_FALSE(sampleRule().save(dir / "no such folder" / "r.slt", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(sampleRule().save(dir.path(), &error)); // a folder is not replaced
    // No temporary file is left behind.
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.path().filename().string().starts_with(".") ? 1 : 0;
    EXPECT_EQ(files, 0u);
}

} // namespace
} // namespace quadrel
