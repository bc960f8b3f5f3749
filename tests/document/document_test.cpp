#include "doc_fixture.h"

#include "roi/roi.h"

#include <fstream>

namespace quadrel {
namespace {

using test::pictureFromArt;

// Three dark cells on a bright background: a 2x2 square, a ring, and a single pixel.
const std::vector<std::string> kArt = {
    "................",
    "..##............",
    "..##.....#####..",
    ".........#...#..",
    ".........#...#..",
    "...#.....#####..",
    "................",
    "................",
};

struct DocTest : ::testing::Test {
    test::SettingsSandbox sandbox;
    CQuadrelDoc doc;
    test::RecordingView view;
    DocTest() {
        doc.addView(&view);
        *doc.m_minObjectSize = 0.0;
        doc.SetImage(kSlotSource, pictureFromArt(kArt));
    }
    std::vector<uint32_t> labelsOf(const std::string& cls) {
        std::vector<uint32_t> out;
        if (auto c = doc.FindClass(cls))
            for (const TCellId& id : c->ids()) out.push_back(id.label);
        return out;
    }
};

TEST_F(DocTest, SlotsAreDerivedOnDemandAndDroppedWithANewSource) {
    CQuadrelDoc empty;
    EXPECT_FALSE(empty.GetImage(kSlotGrey));
    EXPECT_FALSE(empty.hasImage(kSlotGrey));
    EXPECT_FALSE(doc.GetImage(kSlotLabels));
    EXPECT_FALSE(doc.GetImage(kSlotThresholdPreview));
    BitmapPtr grey = doc.GetImage(kSlotGrey);
    ASSERT_TRUE(grey);
    EXPECT_EQ(doc.GetImage(kSlotGrey), grey); // cached
    EXPECT_EQ(doc.GetImage(9)->row(0)[0], 0);
    const auto h1 = doc.GetHistogram(kSlotGrey);
    EXPECT_EQ((*h1)[200 * 149 / 254 + 0] + 0, (*h1)[200 * 149 / 254]); // computed

    BitmapPtr white = Bitmap::create(16, 8, PixelFormat::Argb32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) white->row32(y)[x] = 0xFFFFFFFFu;
    doc.SetImage(kSlotSource, white);
    EXPECT_FALSE(doc.hasImage(kSlotGrey));
    EXPECT_EQ((*doc.GetHistogram(kSlotGrey))[253], 128.0);
    EXPECT_EQ(doc.stretch().imageWidth, 16);
    EXPECT_EQ(doc.stretch().displayHeight, 8);
}

TEST_F(DocTest, AutomaticThresholdMeasuresAndBuildsTheClasses) {
    doc.OnAutomaticThreshold();
    ASSERT_TRUE(doc.GetImage(kSlotLabels));
    EXPECT_EQ(doc.GetCells()->size(), 3u);
    EXPECT_EQ(labelsOf(kAllCells).size(), 3u);
    EXPECT_TRUE(doc.ClassExists(kInsideROI));
    EXPECT_TRUE(view.saw(kHintClasses));
    EXPECT_TRUE(view.saw(kHintFeatureValues));
    EXPECT_TRUE(view.saw(kHintStatistics));
    // The default feature list starts with "Area".
    const auto& values = *doc.GetFeatureValues();
    ASSERT_TRUE(values.count(TFeature(2)));
    const std::vector<double>& area = *values.at(TFeature(2));
    EXPECT_EQ(area, (std::vector<double>{4, 14, 1}));
    EXPECT_EQ(doc.GetStatistics()->at(TFeature(2)).count(), 3.0);

    const auto before = labelsOf(kAllCells);
    doc.OnAutomaticThreshold();
    EXPECT_EQ(labelsOf(kAllCells), before);

    // Minimum size and border removal are part of every measurement.
    *doc.m_minObjectSize = 2.0;
    doc.OnRemoveSmallObject();
    EXPECT_EQ(doc.GetCells()->size(), 2u);
}

TEST_F(DocTest, FillHolesGrowsTheRingAndResetsTheSelection) {
    doc.OnAutomaticThreshold();
    TCellIdList sel;
    sel.add(labelsOf(kAllCells)[0]);
    doc.SetSelection(sel, nullptr);
    EXPECT_EQ(doc.GetSelection()->size(), 1u);
    doc.OnFillHoles();
    EXPECT_TRUE(doc.GetSelection()->empty());
    const std::vector<double>& area = *doc.GetFeatureValues()->at(TFeature(2));
    EXPECT_EQ(area, (std::vector<double>{4, 20, 1}));
}

TEST_F(DocTest, WithoutLabelImageMeasuringKeepsClassesAndValues) {
    doc.OnGetObjectFeatures();
    EXPECT_TRUE(doc.GetCells()->empty());
    doc.OnAutomaticThreshold();
    doc.EraseImage(kSlotLabels);
    const auto values = doc.GetFeatureValues();
    doc.OnGetObjectFeatures();
    EXPECT_TRUE(doc.GetCells()->empty());
    EXPECT_TRUE(doc.ClassExists(kAllCells));
    EXPECT_EQ(doc.GetFeatureValues(), values);
}

TEST_F(DocTest, WorkingCellsFollowTheActiveClasses) {
    doc.OnAutomaticThreshold();
    const auto all = labelsOf(kAllCells);
    doc.SetActiveClasses({"no such class"});
    EXPECT_TRUE(doc.WorkingCells().empty());
    EXPECT_TRUE(doc.GetStatistics()->empty());

    TCellIdList mine("mine");
    mine.add(all[2]);
    mine.add(all[0]);
    mine.add(0xFF00FFFFu); // a cell of an older measurement: skipped
    doc.AddClass(mine);
    doc.SetActiveClasses({"mine", kAllCells});
    const TCellIdList w = doc.WorkingCells();
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w.ids()[0].label, all[2]);
    EXPECT_EQ(w.ids()[1].label, all[0]);
    EXPECT_EQ(w.ids()[2].label, all[1]);

    // Renaming an active class keeps it active.
    EXPECT_TRUE(doc.RenameClass("mine", "yours"));
    EXPECT_EQ(doc.GetActiveClasses()->front(), "yours");
    EXPECT_EQ(doc.WorkingCells().size(), 3u);
    EXPECT_FALSE(doc.RenameClass("yours", kAllCells));
    EXPECT_FALSE(doc.RenameClass("gone", "x"));
    doc.DeleteClass("yours");
    EXPECT_FALSE(doc.ClassExists("yours"));
}

TEST_F(DocTest, CellAtAndHintSenders) {
    doc.OnAutomaticThreshold();
    TCellId id;
    EXPECT_FALSE(doc.CellAt({0, 0}, id));
    EXPECT_FALSE(doc.CellAt({-1, 400}, id));
    ASSERT_TRUE(doc.CellAt({9, 2}, id)); // on the ring
    EXPECT_EQ(id.label, labelsOf(kAllCells)[1]);

    view.hints.clear();
    doc.SetCurrentCell(id, &view); // the sender does not hear its own hint
    EXPECT_FALSE(view.saw(kHintCurrentCell));
    test::RecordingView other;
    doc.addView(&other);
    doc.SetCurrentCell(id, &view);
    EXPECT_TRUE(other.saw(kHintCurrentCell));
    doc.removeView(&other);

    // Clicking selects every time, whatever name the selection had.
    TCellIdList click;
    click.add(id);
    doc.SetSelection(click, &view);
    doc.SetSelection(click, &view);
    EXPECT_EQ(doc.GetSelection()->size(), 1u);
    EXPECT_FALSE(doc.GetSelectionOutline()->figures.empty());
}

TEST_F(DocTest, GaussianFilterDropsDerivedChannels) {
    BitmapPtr greyBefore = doc.GetImage(kSlotGrey);
    doc.GetHistogram(kSlotGrey);
    BitmapPtr before = doc.GetImage(kSlotSource);
    doc.OnGaussianFilter();
    EXPECT_NE(doc.GetImage(kSlotSource), before);
    EXPECT_FALSE(doc.hasImage(kSlotGrey));
    EXPECT_NE(doc.GetImage(kSlotGrey), greyBefore);
    EXPECT_TRUE(view.saw(kHintGeneral));
}

TEST_F(DocTest, RegionOfInterestPartitionsCellsAndLimitsHistograms) {
    doc.OnAutomaticThreshold();
    const auto all = labelsOf(kAllCells);
    // Columns 0 to 5 only: the square and the dot are inside, the ring outside.
    auto left = std::make_shared<CRegionObject>();
    left->region = Region(Rect{0, 0, 6, 8});
    doc.GetHistogram(kSlotGrey);
    doc.SetROIRegion(left);
    EXPECT_EQ(labelsOf(kInsideROI), (std::vector<uint32_t>{all[0], all[2]}));
    EXPECT_EQ(labelsOf(kOutsideROI), (std::vector<uint32_t>{all[1]}));
    EXPECT_TRUE(labelsOf(kIntersectROI).empty());
    EXPECT_EQ(*doc.GetActiveClasses(), (std::vector<std::string>{kInsideROI}));
    EXPECT_EQ(doc.GetFeatureValues()->at(TFeature(2))->size(), 2u);
    double total = 0;
    for (double v : *doc.GetHistogram(kSlotGrey)) total += v;
    EXPECT_EQ(total, 48.0);

    // A region through the ring's middle makes it an intersecting cell.
    auto cut = std::make_shared<CRegionObject>();
    cut->region = Region(Rect{0, 0, 11, 8});
    doc.SetROIRegion(cut);
    EXPECT_EQ(labelsOf(kIntersectROI), (std::vector<uint32_t>{all[1]}));
    EXPECT_TRUE(labelsOf(kOutsideROI).empty());
}

TEST_F(DocTest, TemplatesLoadWholeOrNotAtAll) {
    doc.OnAutomaticThreshold();
    const std::string good = (sandbox.dir() / "good.xml").string();
    std::ofstream(good) << "<Library><Region><Type>rectangle</Type><Location><X>-0.5</X><Y>0</Y></Location>"
                           "<Size><Width>0.6</Width><Height>1</Height></Size></Region></Library>";
    *doc.m_calibrationX = TCalibration(10.0, 1.0);
    *doc.m_calibrationY = TCalibration(10.0, 1.0);
    std::string error;
    ASSERT_TRUE(doc.LoadROI(good, error)) << error;
    ASSERT_TRUE(doc.GetROIRegion()->region);
    // 6 x 10 pixels left of the centre (8, 4): columns 0 to 5, rows -1 to 8.
    EXPECT_TRUE(doc.GetROIRegion()->region->isVisible(2, 2));
    EXPECT_FALSE(doc.GetROIRegion()->region->isVisible(6, 2));
    // Under the inch unit the template keeps its size in pixels.
    doc.m_unitType = 1;
    doc.OnPropertyChanged(16);
    EXPECT_TRUE(view.saw(kHintUnitChanged));
    EXPECT_FALSE(doc.GetROIRegion()->region->isVisible(6, 2));

    const auto region = doc.GetROIRegion();
    const std::string bad = (sandbox.dir() / "bad.xml").string();
    std::ofstream(bad) << "<Library><Region><Type>rectangle</Type><Location><X>zz</X><Y>0</Y></Location></Region>";
    EXPECT_FALSE(doc.LoadROI(bad, error));
    EXPECT_EQ(doc.GetROIRegion(), region);
}

TEST(Document, DefaultFeatureList) {
    const FeatureList f = defaultFeatureList();
    std::vector<int32_t> ids;
    for (const auto& [pos, feature] : f) ids.push_back(feature.id());
    EXPECT_EQ(ids, (std::vector<int32_t>{2, 55, 56, 58, 57, 23, 13, 16, 17, 19, 12, 54}));
}

} // namespace
} // namespace quadrel

namespace quadrel {
namespace {

// Cells numbered in scan order: a (2x2), b (1x3 bar), c (3x3).
const std::vector<std::string> kCellArt = {
    "............",
    ".##...#.....",
    ".##...#.....",
    "......#.....",
    "........###.",
    "........###.",
    "........###.",
    "............",
};

struct CellCommands : ::testing::Test {
    test::SettingsSandbox sandbox;
    CQuadrelDoc doc;
    std::vector<uint32_t> all;
    CellCommands() {
        *doc.m_minObjectSize = 0.0;
        doc.SetImage(kSlotSource, test::pictureFromArt(kCellArt));
        doc.OnAutomaticThreshold();
        for (const TCellId& id : doc.FindClass(kAllCells)->ids()) all.push_back(id.label);
    }
    void select(std::vector<uint32_t> labels) {
        TCellIdList s;
        for (uint32_t l : labels) s.add(l);
        doc.SetSelection(s, nullptr);
    }
    std::vector<uint32_t> cls(const char* name) {
        std::vector<uint32_t> out;
        if (auto c = doc.FindClass(name))
            for (const TCellId& id : c->ids()) out.push_back(id.label);
        return out;
    }
};

TEST_F(CellCommands, NewClassKeepsTheLastSelection) {
    ASSERT_EQ(all.size(), 3u);
    doc.OnNewClass(); // empty selection: nothing
    EXPECT_FALSE(doc.ClassExists(kSelectionClass));
    select({all[0]});
    doc.OnNewClass();
    select({all[1], all[2]});
    doc.OnNewClass();
    EXPECT_EQ(cls(kSelectionClass), (std::vector<uint32_t>{all[1], all[2]}));
}

TEST_F(CellCommands, MergeThenSplitGivesThePiecesBack) {
    TCellIdList user("user");
    user.add(all[0]);
    doc.AddClass(user);
    select({all[2], all[0]});
    doc.OnMergeCell();
    EXPECT_FALSE(doc.ClassExists("user")); // merging empties the class store
    EXPECT_EQ(cls(kMergedCell), (std::vector<uint32_t>{all[0]}));
    EXPECT_EQ(doc.GetCells()->size(), 2u);
    EXPECT_EQ(doc.GetCells()->find(all[0])->area, 13u);
    EXPECT_TRUE(doc.GetSelection()->empty());

    select({all[0]});
    doc.OnSplitCell();
    EXPECT_EQ(doc.GetCells()->size(), 3u);
    ASSERT_EQ(cls(kSplitCells).size(), 1u);
    const uint32_t piece = cls(kSplitCells)[0];
    EXPECT_NE(piece, all[0]);
    EXPECT_NE(piece, all[1]); // new labels avoid every value still in use
    EXPECT_EQ(doc.GetCells()->find(all[0])->area, 4u);
    EXPECT_EQ(doc.GetCells()->find(piece)->area, 9u);
}

TEST_F(CellCommands, SplitWithoutSelectionAndMergeOfOneCell) {
    doc.OnSplitCell();
    EXPECT_TRUE(doc.ClassExists(kSplitCells));
    EXPECT_TRUE(cls(kSplitCells).empty());
    EXPECT_EQ(doc.GetCells()->size(), 3u);

    BitmapPtr before = doc.GetImage(kSlotLabels)->clone();
    select({all[1]});
    doc.OnMergeCell();
    BitmapPtr after = doc.GetImage(kSlotLabels);
    for (int y = 0; y < after->height(); ++y)
        for (int x = 0; x < after->width(); ++x) ASSERT_EQ(after->row32(y)[x], before->row32(y)[x]);
    EXPECT_EQ(cls(kMergedCell), (std::vector<uint32_t>{all[1]}));
}

} // namespace
} // namespace quadrel
