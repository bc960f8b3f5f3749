#include "doc_fixture.h"
#include "roi/roi.h"

namespace quadrel {
namespace {

struct Extent {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -(1 << 30), y1 = -(1 << 30);
    uint64_t pixels = 0;
};

// The pixels of a region (built around the origin) inside a window centred on it.
Extent extentOf(const CRegionObject& r, int half = 200) {
    Region moved = *r.region;
    moved.translate(static_cast<float>(half), static_cast<float>(half));
    Extent e;
    const RowSpans spans = moved.rowSpans(Rect{0, 0, 2 * half, 2 * half});
    for (const RowSpan& s : spans.spans()) {
        e.x0 = std::min(e.x0, s.x0 - half);
        e.x1 = std::max(e.x1, s.x1 - half);
        e.y0 = std::min(e.y0, s.y - half);
        e.y1 = std::max(e.y1, s.y + 1 - half);
        e.pixels += static_cast<uint64_t>(s.x1 - s.x0);
    }
    return e;
}

CROI load(const std::string& xml, bool expectOk = true) {
    CROI roi;
    std::string error;
    EXPECT_EQ(roi.LoadFromText(xml, "t.xml", error), expectOk) << error;
    return roi;
}

std::string rect(const char* extra, double x, double y, double w, double h) {
    return std::string("<Region><Type>rectangle</Type>") + extra + "<Location><X>" + std::to_string(x) + "</X><Y>" +
           std::to_string(y) + "</Y></Location><Size><Width>" + std::to_string(w) + "</Width><Height>" +
           std::to_string(h) + "</Height></Size></Region>";
}

const TCalibration tenPerMm(10.0, 1.0);

TEST(RoiTemplate, RectangleInPixelsWithMagnification) {
    CROI roi = load("<Library>" + rect("", 0, 0, 10, 6) + "</Library>");
    const Extent e = extentOf(*roi.BuildRegion(tenPerMm, tenPerMm, 1.0));
    EXPECT_EQ(e.x0, -50);
    EXPECT_EQ(e.x1, 50);
    EXPECT_EQ(e.y0, -30);
    EXPECT_EQ(e.y1, 30);
    const Extent half = extentOf(*roi.BuildRegion(tenPerMm, tenPerMm, 2.0));
    EXPECT_EQ(half.x0, -25);
    EXPECT_EQ(half.y1, 15);
    // Magnification 0 counts as 1.
    EXPECT_EQ(extentOf(*roi.BuildRegion(tenPerMm, tenPerMm, 0.0)).pixels, e.pixels);
}

TEST(RoiTemplate, CombinationMethods) {
    const std::string big = rect("", 0, 0, 10, 10);
    auto build = [&](const char* method) {
        CROI roi = load("<Library>" + big + rect(method, 0, 0, 4, 4) + "</Library>");
        return roi.BuildRegion(tenPerMm, tenPerMm, 1.0);
    };
    EXPECT_EQ(extentOf(*build("<Method>complement</Method>")).pixels, 100u * 100 - 40 * 40); // a frame
    EXPECT_EQ(extentOf(*build("<Method>exclude</Method>")).pixels, 0u);
    EXPECT_EQ(extentOf(*build("<Method>intersect</Method>")).pixels, 40u * 40);
    EXPECT_EQ(extentOf(*build("<Method>union</Method>")).pixels, 100u * 100);
    EXPECT_EQ(extentOf(*build("<Method>xor</Method>")).pixels, 100u * 100 - 40 * 40);
    EXPECT_EQ(extentOf(*build("")).pixels, 40u * 40); // no method: the second shape alone
}

TEST(RoiTemplate, ShapeWordsUnitsAndSkippedRegions) {
    CROI inch = load("<Library><Unit_Type>inch</Unit_Type>" + rect("", 0, 0, 1, 2) + "</Library>");
    ASSERT_EQ(inch.shapes.size(), 1u);
    EXPECT_FLOAT_EQ(static_cast<CRectRegionT&>(*inch.shapes[0]).width, 25.4f);
    CROI capital = load("<Library><Unit_Type>Inch</Unit_Type>" + rect("", 0, 0, 1, 2) + "</Library>");
    EXPECT_FLOAT_EQ(static_cast<CRectRegionT&>(*capital.shapes[0]).width, 1.0f);

    CROI circles = load(
        "<Library>"
        "<Region><Type>circle</Type><Size><Width>4</Width><Height>6</Height></Size></Region>"
        "<Region><Type>circle</Type><Size><Width>4</Width><Height>6</Height></Size><Radius>5</Radius></Region>"
        "<Region><Type>Rectangle</Type></Region>"
        "<Region><Type>circle_NP</Type></Region>"
        "<Region><Method>union</Method></Region>"
        "</Library>");
    ASSERT_EQ(circles.shapes.size(), 2u);
    auto& a = static_cast<CRectRegionT&>(*circles.shapes[0]);
    auto& b = static_cast<CRectRegionT&>(*circles.shapes[1]);
    EXPECT_FLOAT_EQ(a.width, 4);
    EXPECT_FLOAT_EQ(a.height, 6);
    EXPECT_FLOAT_EQ(b.width, 10);
    EXPECT_FLOAT_EQ(b.height, 10);

    CROI onlyNp = load("<Library><Region><Type>circle_NP</Type></Region></Library>");
    EXPECT_TRUE(onlyNp.shapes.empty());
    EXPECT_FALSE(onlyNp.BuildRegion(tenPerMm, tenPerMm, 1)->region);

    CROI onePoint = load("<Library><Region><Type>polygon</Type><Points><Location><X>1</X><Y>1</Y></Location>"
                         "</Points></Region></Library>");
    EXPECT_FALSE(onePoint.BuildRegion(tenPerMm, tenPerMm, 1)->region);

    const std::string triangle = "<Region><Type>polygon</Type><Points>"
                                 "<Location><X>-5</X><Y>-5</Y></Location><Location><X>5</X><Y>-5</Y></Location>"
                                 "<Location><X>-5</X><Y>5</Y></Location></Points></Region>";
    const Extent t = extentOf(*load("<Library>" + triangle + "</Library>").BuildRegion(tenPerMm, tenPerMm, 1));
    EXPECT_NEAR(static_cast<double>(t.pixels), 100.0 * 100 / 2, 150);
    // A closed curve through three points beyond the triangle's long side adds a rounded piece to it.
    const Extent withCurve = extentOf(*load("<Library>" + triangle +
                                            "<Region><Type>closed_curve</Type><Method>union</Method><Points>"
                                            "<Location><X>0</X><Y>0</Y></Location><Location><X>2</X><Y>0</Y>"
                                            "</Location><Location><X>1</X><Y>2</Y></Location></Points></Region>"
                                            "</Library>")
                                           .BuildRegion(tenPerMm, tenPerMm, 1));
    EXPECT_GT(withCurve.pixels, t.pixels + 200);
    EXPECT_LT(withCurve.pixels, t.pixels + 600);
}

TEST(RoiTemplate, BrokenTemplatesAreRefusedWhole) {
    const char* bad[] = {
        "<Library><Region><Type>rectangle</Type><Location><X>1</X></Location></Region></Library>",
        "<Library>" "<Region><Type>rectangle</Type></Region>"
        "<Region><Type>rectangle</Type><Location><X>abc</X><Y>1</Y></Location></Region></Library>",
        "<Library><Region><Type>rectangle</Type><Size><Width>INF</Width><Height>1</Height></Size></Region></Library>",
        "<Library><Region><Type>rectangle</Type><Size><Width>NaN</Width><Height>1</Height></Size></Region></Library>",
        "<Library><Region>",
        "<Shapes/>",
        "",
    };
    for (const char* xml : bad) {
        CROI roi = load("<Library>" + rect("", 1, 1, 2, 2) + "</Library>");
        std::string error;
        EXPECT_FALSE(roi.LoadFromText(xml, "t.xml", error)) << xml;
        EXPECT_NE(error.find("t.xml"), std::string::npos) << error;
        EXPECT_EQ(roi.shapes.size(), 1u) << "the previous template stays: " << xml;
    }
    CROI roi;
    std::string error;
    EXPECT_FALSE(roi.Load("/nonexistent/template.xml", error));
    EXPECT_NE(error.find("/nonexistent/template.xml"), std::string::npos);
    // Entities a DTD would bring in are not expanded.
    EXPECT_FALSE(roi.LoadFromText("<!DOCTYPE Library [<!ENTITY x SYSTEM \"/etc/passwd\">]><Library>"
                                  "<Region><Type>rectangle</Type><Size><Width>&x;</Width><Height>1</Height></Size>"
                                  "</Region></Library>",
                                  "t.xml", error));
}

} // namespace
} // namespace quadrel
