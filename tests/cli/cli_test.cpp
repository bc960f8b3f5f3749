// quadrel-cli end to end: run the tool on small pictures and read its tables back.
#include "dialogs/query_rules.h"
#include "dialogs/stream_file.h"
#include "document/quadrel_doc.h"
#include "platform/codec_png.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace quadrel {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun runCli(const std::string& args) {
    const fs::path errFile = fs::temp_directory_path() / ("quadrel-cli-err-" + std::to_string(getpid()));
    const std::string cmd = std::string(QUADREL_CLI) + " " + args + " 2>" + errFile.string();
    CliRun r;
    FILE* p = popen(cmd.c_str(), "r");
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int raw = pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream e(errFile);
    std::stringstream ss;
    ss << e.rdbuf();
    r.err = ss.str();
    fs::remove(errFile);
    return r;
}

std::string csvQuote(const std::string& text) {
    if (text.find_first_of(",\"") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::vector<std::vector<std::string>> csv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> row;
        std::stringstream ls(line);
        std::string f;
        while (std::getline(ls, f, ',')) row.push_back(f);
        if (!line.empty() && line.back() == ',') row.emplace_back();
        rows.push_back(row);
    }
    return rows;
}

// A 40 x 30 picture at 254 dots per inch (10 pixels per millimetre) with three dark cells.
struct Fixture : ::testing::Test {
    fs::path dir;
    std::string png;
    Fixture() {
        dir = fs::temp_directory_path() / ("quadrel-cli-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        BitmapPtr b = Bitmap::create(40, 30, PixelFormat::Argb32);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool cell = (x >= 5 && x < 10 && y >= 5 && y < 9) || (x >= 20 && x < 30 && y >= 10 && y < 20) ||
                                  (x >= 33 && x < 36 && y >= 25 && y < 28);
                b->row32(y)[x] = cell ? 0xFF303030u : 0xFFD0D0D0u;
            }
        for (int y = 13; y < 17; ++y)
            for (int x = 23; x < 27; ++x) b->row32(y)[x] = 0xFFD0D0D0u; // a hole in the big cell
        b->setResolution(254.0f, 254.0f);
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_TRUE(encodePng(*b, bytes, error)) << error;
        png = (dir / "cells.png").string();
        std::ofstream(png, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                   static_cast<std::streamsize>(bytes.size()));
    }
    ~Fixture() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

TEST_F(Fixture, MeasureGivesOneRowPerCellInTheDocumentsNumbers) {
    const CliRun r = runCli("measure --features Area,Perimeter,XCenter " + png);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = csv(r.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Id", "Area", "Perimeter", "XCenter"}));
    EXPECT_EQ(rows[1][0], "4278190081");
    // 20 pixels at 10 pixels per millimetre; centres stay in pixels.
    EXPECT_EQ(rows[1][1], "0.200000003");
    EXPECT_EQ(rows[1][3], "7");
    EXPECT_EQ(rows[2][1], "0.839999974"); // 100 - 16 pixels of hole
    EXPECT_EQ(rows[3][1], "0.0900000036");

    // The same numbers as the document computes after opening the file.
    CQuadrelDoc doc;
    std::string error;
    ASSERT_TRUE(doc.OnOpenDocument(png, error)) << error;
    const auto& area = *doc.GetFeatureValues()->at(TFeature(2));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", area[1]);
    EXPECT_EQ(rows[2][1], buf);
}

TEST_F(Fixture, OptionsChangeTheAnalysis) {
    auto areas = [&](const std::string& opts) {
        const CliRun r = runCli("measure --features Area " + opts + " " + png);
        EXPECT_EQ(r.status, 0) << opts << ": " << r.err;
        std::vector<std::string> out;
        for (const auto& row : csv(r.out)) out.push_back(row.size() > 1 ? row[1] : "");
        out.erase(out.begin());
        return out;
    };
    EXPECT_EQ(areas("--fill-holes"), (std::vector<std::string>{"0.200000003", "1", "0.0900000036"}));
    EXPECT_EQ(areas("--min-size 10"), (std::vector<std::string>{"0.200000003", "0.839999974"}));
    EXPECT_EQ(areas("--unit inch --min-size 50").size(), 1u);
    EXPECT_EQ(areas("--threshold 0:100 --min-size 0").size(), 3u);
    // Bright objects: the background and the hole of the big cell.
    EXPECT_EQ(areas("--bright").size(), 2u);

    const fs::path roi = dir / "left.xml";
    std::ofstream(roi) << "<Library><Region><Type>rectangle</Type><Location><X>-1</X><Y>0</Y></Location>"
                          "<Size><Width>2</Width><Height>3</Height></Size></Region></Library>";
    EXPECT_EQ(areas("--roi " + roi.string()), (std::vector<std::string>{"0.200000003"}));
    EXPECT_EQ(areas("--roi " + roi.string() + " --class _all_cells_").size(), 3u);
}

TEST_F(Fixture, StatsAndClasses) {
    const CliRun s = runCli("stats --features Area " + png);
    ASSERT_EQ(s.status, 0) << s.err;
    const auto rows = csv(s.out);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Statistic", "Area"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"Size", "3"}));
    EXPECT_EQ(rows[6][0], "Std Dev");
    EXPECT_EQ(rows[9][0], "Kurtosis");

    const CliRun c = runCli("classes " + png);
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_NE(c.out.find("_all_cells_,3,4278190081 "), std::string::npos) << c.out;
    EXPECT_NE(c.out.find("_intersect_ROI_,0,"), std::string::npos);
}

TEST_F(Fixture, SeveralFilesBadFilesAndUsageErrors) {
    const CliRun two = runCli("measure --features Area " + png + " " + png);
    ASSERT_EQ(two.status, 0);
    const auto rows = csv(two.out);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Id", "File", "Area"}));
    EXPECT_EQ(rows.size(), 7u);

    const std::string broken = (dir / "broken.png").string();
    std::ofstream(broken) << "not a picture";
    const CliRun bad = runCli("measure " + broken + " " + png);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("quadrel-cli: " + broken + ": "), std::string::npos) << bad.err;
    EXPECT_EQ(csv(bad.out).size(), 4u); // the good file is still measured

    for (const char* args : {"measure --features Nope", "measure --threshold 9", "measure --unit cm", "nosuch",
                             "measure --bright --dark", "stats --min-size x"}) {
        const CliRun u = runCli(args);
        EXPECT_EQ(u.status, 2) << args;
        EXPECT_FALSE(u.err.empty());
    }
    const CliRun help = runCli("measure --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--features"), std::string::npos);

    const CliRun sample = runCli("measure");
    EXPECT_EQ(sample.status, 0);
    EXPECT_GT(csv(sample.out).size(), 20u);
}

TEST_F(Fixture, RuleAndFeatureFiles) {
    // "Area > 0.5" in square millimetres at 10 pixels per millimetre: only the 84-pixel cell passes.
    TQueryQueue rule;
    rule.append(TQueryCommand::comparison(TFeature(2), QueryOperation::Greater, "0.5"));
    const std::string slt = (dir / "big.slt").string();
    ASSERT_TRUE(rule.save(slt));
    const CliRun classes = runCli("classes --rule " + slt + " " + png);
    ASSERT_EQ(classes.status, 0) << classes.err;
    const std::string name = rule.at(0).text;
    EXPECT_NE(classes.out.find(csvQuote(name) + ",1,4278190082"), std::string::npos) << classes.out;

    const std::string fts = (dir / "list.fts").string();
    ASSERT_TRUE(writeObjectFile(fts, TSetOfFeatures{TFeature(55), TFeature(2)}));
    const auto rows = csv(runCli("measure --features-file " + fts + " " + png).out);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Id", "Elongation(EC)", "Area"}));

    std::ofstream(dir / "junk.slt") << "junk";
    const CliRun bad = runCli("classes --rule " + (dir / "junk.slt").string() + " " + png);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("junk.slt"), std::string::npos);
    EXPECT_EQ(runCli("measure --features Area --features-file " + fts + " " + png).status, 2);
}

TEST_F(Fixture, SavedDocumentMeasuresLikeItsSource) {
    const std::string ddm = (dir / "saved.ddm").string();
    const CliRun save = runCli("save --fill-holes " + png + " " + ddm);
    ASSERT_EQ(save.status, 0) << save.err;
    const CliRun fromPicture = runCli("measure --features all --fill-holes " + png);
    const CliRun fromDocument = runCli("measure --features all " + ddm);
    ASSERT_EQ(fromDocument.status, 0) << fromDocument.err;
    EXPECT_EQ(fromDocument.out, fromPicture.out);

    const std::string labels = (dir / "labels.png").string();
    EXPECT_EQ(runCli("export-image --label " + png + " " + labels).status, 0);
    EXPECT_TRUE(fs::exists(labels));
    const CliRun noFormat = runCli("export-image " + png + " " + (dir / "x.nope").string());
    EXPECT_EQ(noFormat.status, 1);
    EXPECT_NE(noFormat.err.find("x.nope"), std::string::npos);
    EXPECT_EQ(runCli("save " + png).status, 2);
}

} // namespace
} // namespace quadrel
