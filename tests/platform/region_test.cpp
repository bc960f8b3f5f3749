#include "platform/region.h"

#include <bit>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <zlib.h>

using namespace quadrel;

namespace {

// Every pixel of the clip that the point test says is inside, as a sorted list of runs.
std::vector<RowSpan> spansByPointTest(const Region& r, const Rect& clip) {
    RowSpans out;
    for (int y = clip.y; y < clip.y + clip.height; ++y) {
        int start = -1;
        for (int x = clip.x; x <= clip.x + clip.width; ++x) {
            const bool in = x < clip.x + clip.width && r.isVisible(x, y);
            if (in && start < 0) start = x;
            if (!in && start >= 0) {
                out.add(y, start, x);
                start = -1;
            }
        }
    }
    return out.spans();
}

void expectSpansMatchPointTest(const Region& r, const Rect& clip, const std::string& what) {
    const auto viaSpans = r.rowSpans(clip).spans();
    const auto viaPoints = spansByPointTest(r, clip);
    ASSERT_EQ(viaSpans.size(), viaPoints.size()) << what;
    for (size_t i = 0; i < viaSpans.size(); ++i) {
        EXPECT_EQ(viaSpans[i].y, viaPoints[i].y) << what << " run " << i;
        EXPECT_EQ(viaSpans[i].x0, viaPoints[i].x0) << what << " run " << i;
        EXPECT_EQ(viaSpans[i].x1, viaPoints[i].x1) << what << " run " << i;
    }
}

Region ellipse(const RectF& r) {
    Path p(FillMode::Winding);
    p.addEllipse(r);
    return Region(p);
}

Region polygon(std::vector<PointF> pts, FillMode mode = FillMode::Winding) {
    Path p(mode);
    p.addPolygon(pts);
    return Region(p);
}

Region closedCurve(std::vector<PointF> pts, float tension = kDefaultCurveTension) {
    Path p(FillMode::Winding);
    p.addClosedCurve(pts, tension);
    return Region(p);
}

uint64_t pixels(const Region& r, const Rect& clip) {
    return r.rowSpans(clip).pixelCount();
}

} // namespace

TEST(Region, RectangleCoversPixelsFromLeftTopUpToButNotIncludingRightBottom) {
    // The default region of a w x h image: the image minus its outermost ring.
    const int w = 7, h = 5;
    Region r(Rect{1, 1, w - 2, h - 2});
    const auto spans = r.rowSpans(Rect{0, 0, w, h}).spans();
    ASSERT_EQ(spans.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(spans[static_cast<size_t>(i)].y, i + 1);
        EXPECT_EQ(spans[static_cast<size_t>(i)].x0, 1);
        EXPECT_EQ(spans[static_cast<size_t>(i)].x1, w - 1);
    }
    EXPECT_TRUE(r.isVisible(1, 1));
    EXPECT_TRUE(r.isVisible(w - 2, h - 2));
    EXPECT_FALSE(r.isVisible(w - 1, 2));
    EXPECT_FALSE(r.isVisible(0, 2));
    EXPECT_FALSE(r.isVisible(2, h - 1));
}

TEST(Region, FractionalRectangleTakesPixelsWhosePointLiesInside) {
    // (-50, -30, 100, 60) moved to the centre of a 101 x 61 image: left edge at 0.5, right edge at 100.5.
    Region r(RectF{-50, -30, 100, 60});
    r.translate(50.5f, 30.5f);
    EXPECT_FALSE(r.isVisible(0, 10));
    EXPECT_TRUE(r.isVisible(1, 10));
    EXPECT_TRUE(r.isVisible(100, 10));
    EXPECT_FALSE(r.isVisible(101, 10));
    EXPECT_EQ(pixels(r, Rect{0, 0, 101, 61}), 100u * 60u);
}

TEST(Region, RowSpansAgreeWithPointTestForEveryShapeAndCombination) {
    const Rect clip{-3, -3, 40, 34};
    const Region rect(RectF{2.3f, 1.7f, 20.4f, 15.1f});
    const Region ell = ellipse(RectF{5.5f, 4.25f, 25.0f, 21.5f});
    const Region tri = polygon({{0, 0}, {33.3f, 3.1f}, {11.7f, 29.9f}});
    const Region star = polygon({{15, 0}, {24, 28}, {0, 10}, {30, 10}, {6, 28}}, FillMode::Alternate);
    const Region curve = closedCurve({{3, 3}, {30, 5}, {25, 25}, {8, 20}});
    struct Case {
        const char* name;
        Region region;
    };
    std::vector<Case> cases = {{"rect", rect}, {"ellipse", ell}, {"triangle", tri}, {"star", star}, {"curve", curve}};
    for (auto mode : {CombineMode::Intersect, CombineMode::Union, CombineMode::Xor, CombineMode::Exclude,
                      CombineMode::Complement}) {
        Region a = ell;
        a.combine(tri, mode);
        a.combine(curve, CombineMode::Xor);
        cases.push_back({"combined", a});
    }
    Region outside(Rect{0, 0, 30, 25});
    outside.combine(curve, CombineMode::Exclude);
    cases.push_back({"image minus region", outside});
    for (const Case& c : cases)
        expectSpansMatchPointTest(c.region, clip, c.name);
}

TEST(Region, FiveCombinationsOfTwoOverlappingRectangles) {
    // R is the region built so far, S the new shape; S is the region that is changed.
    const Rect clip{0, 0, 20, 20};
    const Region r(Rect{0, 0, 10, 10}); // 100 pixels
    const Region s(Rect{5, 5, 10, 10}); // 100 pixels, 25 shared
    struct Case {
        CombineMode mode;
        uint64_t count;
        bool inROnly, inSOnly, inBoth;
    };
    const Case cases[] = {
        {CombineMode::Intersect, 25, false, false, true},  {CombineMode::Union, 175, true, true, true},
        {CombineMode::Xor, 150, true, true, false},        {CombineMode::Exclude, 75, false, true, false},
        {CombineMode::Complement, 75, true, false, false},
    };
    for (const Case& c : cases) {
        Region x = s;
        ASSERT_EQ(x.combine(r, c.mode), Status::Ok);
        EXPECT_EQ(pixels(x, clip), c.count) << static_cast<int>(c.mode);
        EXPECT_EQ(x.isVisible(1, 1), c.inROnly) << static_cast<int>(c.mode);
        EXPECT_EQ(x.isVisible(13, 13), c.inSOnly) << static_cast<int>(c.mode);
        EXPECT_EQ(x.isVisible(7, 7), c.inBoth) << static_cast<int>(c.mode);
    }
}

TEST(Region, ComplementOfSmallerCentredRectangleGivesFrameAndExcludeGivesNothing) {
    const Rect clip{-60, -40, 120, 80};
    Region frame(RectF{-25, -15, 50, 30});
    frame.combine(Region(RectF{-50, -30, 100, 60}), CombineMode::Complement);
    EXPECT_EQ(pixels(frame, clip), 100u * 60u - 50u * 30u);
    EXPECT_TRUE(frame.isVisible(-40, 0));
    EXPECT_FALSE(frame.isVisible(0, 0));

    Region nothing(RectF{-25, -15, 50, 30});
    nothing.combine(Region(RectF{-50, -30, 100, 60}), CombineMode::Exclude);
    EXPECT_TRUE(nothing.isEmpty(clip));
}

TEST(Region, EllipseCoversItsAreaSymmetrically) {
    const Region e = ellipse(RectF{0, 0, 200, 100});
    const uint64_t n = pixels(e, Rect{0, 0, 200, 100});
    const double area = M_PI * 100 * 50;
    EXPECT_NEAR(static_cast<double>(n), area, area * 0.005);
    for (int y = 0; y < 100; y += 7)
        for (int x = 1; x < 100; x += 3)
            EXPECT_EQ(e.isVisible(x, y), e.isVisible(200 - x, y)) << x << "," << y;
    EXPECT_TRUE(e.isVisible(100, 50));
    EXPECT_TRUE(e.isVisible(1, 50));
    EXPECT_FALSE(e.isVisible(2, 2));
}

TEST(Region, FillModeDecidesTheCentreOfASelfCrossingStar) {
    const std::vector<PointF> star = {{50, 0}, {80, 95}, {0, 35}, {100, 35}, {20, 95}};
    EXPECT_FALSE(polygon(star, FillMode::Alternate).isVisible(50, 50));
    EXPECT_TRUE(polygon(star, FillMode::Winding).isVisible(50, 50));
    EXPECT_TRUE(polygon(star, FillMode::Alternate).isVisible(50, 10));
}

TEST(Region, ClosedCurveWithoutTensionIsThePolygonAndTheDefaultBulgesOutward) {
    const std::vector<PointF> square = {{10, 10}, {50, 10}, {50, 50}, {10, 50}};
    const Rect clip{0, 0, 60, 60};
    EXPECT_EQ(closedCurve(square, 0.0f).rowSpans(clip).spans().size(), polygon(square).rowSpans(clip).spans().size());
    EXPECT_EQ(pixels(closedCurve(square, 0.0f), clip), 40u * 40u);
    const Region curve = closedCurve(square);
    // The spline passes through the points and swells beyond the straight sides between them.
    EXPECT_TRUE(curve.isVisible(30, 8));
    EXPECT_TRUE(curve.isVisible(52, 30));
    EXPECT_TRUE(curve.isVisible(30, 30));
    EXPECT_GT(pixels(curve, clip), 40u * 40u);
}

TEST(Region, PolygonOfTwoPointsCoversNothingButIsARegion) {
    Path p(FillMode::Winding);
    EXPECT_EQ(p.addPolygon(std::vector<PointF>{{1, 1}}), Status::InvalidParameter);
    ASSERT_EQ(p.addPolygon(std::vector<PointF>{{1, 1}, {9, 9}}), Status::Ok);
    EXPECT_TRUE(Region(p).isEmpty(Rect{0, 0, 10, 10}));
}

TEST(Region, TransformMovesScalesAndRotatesShapes) {
    Region r(RectF{0, 0, 10, 4});
    Matrix m;
    m.translate(5, 6);
    m.scale(2, 3); // applied first
    r.transform(m);
    EXPECT_EQ(pixels(r, Rect{0, 0, 40, 40}), 20u * 12u);
    EXPECT_TRUE(r.isVisible(5, 6));
    EXPECT_FALSE(r.isVisible(25, 6));

    // A mirroring matrix keeps the area.
    Region mirrored(RectF{2, 2, 6, 4});
    mirrored.transform(Matrix(-1, 0, 0, 1, 20, 0));
    EXPECT_EQ(pixels(mirrored, Rect{0, 0, 40, 40}), 24u);
    EXPECT_TRUE(mirrored.isVisible(12, 3));

    // A quarter turn makes the rectangle a path.
    Region turned(RectF{0, 0, 10, 4});
    turned.transform(Matrix(0, 1, -1, 0, 20, 0));
    EXPECT_EQ(turned.root()->type, RegionNodeType::Path);
    EXPECT_EQ(pixels(turned, Rect{0, 0, 40, 40}), 40u);

    // A rectangle of negative size covers nothing, before and after any transformation.
    for (const Matrix& t : {Matrix(), Matrix(2, 0, 0, 2, 5, 5), Matrix(-1, 0, 0, -1, 30, 30)}) {
        Region negative(RectF{20, 20, -10, 5});
        negative.transform(t);
        EXPECT_TRUE(negative.isEmpty(Rect{-40, -40, 80, 80}));
    }

    EXPECT_EQ(r.transform(Matrix(NAN, 0, 0, 1, 0, 0)), Status::InvalidParameter);
}

TEST(Region, InfiniteAndEmptyRegions) {
    const Rect clip{-2, -2, 5, 4};
    EXPECT_EQ(pixels(Region(), clip), 20u);
    EXPECT_TRUE(Region::empty().isEmpty(clip));
    Region r = Region::infinite();
    r.combine(Region(Rect{0, 0, 2, 2}), CombineMode::Exclude);
    EXPECT_EQ(pixels(r, clip), 16u);
    EXPECT_FALSE(r.isVisible(1, 1));
    EXPECT_TRUE(r.isVisible(-100000, 5000000));
}

TEST(Region, WholeImageWalkOfADeepTreeIsQuick) {
    // A template of many shapes: the walk must stay row based, not a tree walk per pixel.
    Region r(RectF{0, 0, 2000, 2000});
    for (int i = 0; i < 60; ++i) {
        Path p(FillMode::Winding);
        p.addEllipse(RectF{static_cast<float>(i * 30), static_cast<float>(i * 25), 300, 200});
        r.combine(Region(p), i % 2 ? CombineMode::Xor : CombineMode::Exclude);
    }
    const auto spans = r.rowSpans(Rect{0, 0, 2000, 2000});
    EXPECT_FALSE(spans.empty());
    EXPECT_LT(spans.pixelCount(), 2000u * 2000u);
}

// ---- serialised region data ----

namespace {

struct Bytes {
    std::vector<uint8_t> v;
    Bytes& u32(uint32_t x) {
        for (int i = 0; i < 4; ++i)
            v.push_back(static_cast<uint8_t>(x >> (8 * i)));
        return *this;
    }
    Bytes& f32(float f) { return u32(std::bit_cast<uint32_t>(f)); }
    Bytes& i16(int16_t x) {
        v.push_back(static_cast<uint8_t>(x));
        v.push_back(static_cast<uint8_t>(static_cast<uint16_t>(x) >> 8));
        return *this;
    }
    Bytes& u8(uint8_t x) {
        v.push_back(x);
        return *this;
    }
    Bytes& rect(float x, float y, float w, float h) { return u32(0x10000000).f32(x).f32(y).f32(w).f32(h); }
    Bytes& add(const Bytes& o) {
        v.insert(v.end(), o.v.begin(), o.v.end());
        return *this;
    }
};

// Wraps a node tree in the preamble (size, CRC-32), the graphics version and the child count.
std::vector<uint8_t> regionData(const Bytes& nodes, uint32_t childNodes) {
    Bytes body;
    body.u32(0xDBC01002).u32(childNodes).add(nodes);
    Bytes all;
    all.u32(static_cast<uint32_t>(body.v.size()))
        .u32(static_cast<uint32_t>(crc32(0, body.v.data(), static_cast<uInt>(body.v.size()))))
        .add(body);
    return all.v;
}

// A path node holding a triangle with float points.
Bytes trianglePathNode() {
    Bytes path;
    path.u32(0xDBC01002).u32(3).u32(0);
    path.f32(0).f32(0).f32(10).f32(0).f32(0).f32(10);
    path.u8(0x00).u8(0x01).u8(0x81).u8(0); // types, padded to four bytes
    Bytes node;
    node.u32(0x10000001).u32(static_cast<uint32_t>(path.v.size())).add(path);
    return node;
}

Region parse(const std::vector<uint8_t>& data) {
    std::string error;
    auto r = Region::fromData(data, error);
    EXPECT_TRUE(r.has_value()) << error;
    return r ? *r : Region::empty();
}

std::string parseError(const std::vector<uint8_t>& data) {
    std::string error;
    auto r = Region::fromData(data, error);
    EXPECT_FALSE(r.has_value());
    return error;
}

} // namespace

TEST(RegionData, HandBuiltLeavesRead) {
    const Rect clip{-5, -5, 30, 30};
    {
        Bytes n;
        n.rect(1, 2, 3, 4);
        const Region r = parse(regionData(n, 0));
        EXPECT_EQ(pixels(r, clip), 12u);
        EXPECT_TRUE(r.isVisible(1, 2));
        EXPECT_FALSE(r.isVisible(4, 2));
    }
    {
        const Region r = parse(regionData(trianglePathNode(), 0));
        EXPECT_TRUE(r.isVisible(1, 1));
        EXPECT_FALSE(r.isVisible(8, 8));
        EXPECT_EQ(pixels(r, clip), 55u); // rows 0..9 hold 10, 9, ..., 1 pixels
    }
    {
        // The same triangle as 16-bit integer points.
        Bytes path;
        path.u32(0xDBC01002).u32(3).u32(0x4000);
        path.i16(0).i16(0).i16(10).i16(0).i16(0).i16(10);
        path.u8(0x00).u8(0x01).u8(0x81).u8(0);
        Bytes node;
        node.u32(0x10000001).u32(static_cast<uint32_t>(path.v.size())).add(path);
        EXPECT_EQ(pixels(parse(regionData(node, 0)), clip), 55u);
    }
    {
        // Relative points with run-length types: (0,0), (+10,0), (-10,+10); types start, then a run of two lines.
        Bytes path;
        path.u32(0xDBC01002).u32(3).u32(0x1000);
        path.u8(0).u8(0).u8(10).u8(0).u8(0x76).u8(10); // -10 as a 7-bit value
        path.u8(0x41).u8(0x00).u8(0x42).u8(0x01);
        Bytes node;
        node.u32(0x10000001).u32(static_cast<uint32_t>(path.v.size())).add(path);
        EXPECT_EQ(pixels(parse(regionData(node, 0)), clip), 55u);
    }
    {
        Bytes n;
        n.u32(0x10000002);
        EXPECT_TRUE(parse(regionData(n, 0)).isEmptyNode());
    }
    {
        Bytes n;
        n.u32(0x10000003);
        const Region r = parse(regionData(n, 0));
        EXPECT_TRUE(r.isInfiniteNode());
        EXPECT_EQ(pixels(r, clip), 900u);
    }
}

TEST(RegionData, EachCombineNodeReadsWithLeftAndRightInOrder) {
    // Left: rectangle (0, 0, 10, 10); right: rectangle (5, 5, 10, 10).
    struct Case {
        uint32_t type;
        uint64_t count;
        bool leftOnly, rightOnly;
    };
    const Case cases[] = {
        {1, 25, false, false}, {2, 175, true, true}, {3, 150, true, true}, {4, 75, true, false}, {5, 75, false, true}};
    for (const Case& c : cases) {
        Bytes n;
        n.u32(c.type).rect(0, 0, 10, 10).rect(5, 5, 10, 10);
        const Region r = parse(regionData(n, 2));
        EXPECT_EQ(pixels(r, Rect{0, 0, 20, 20}), c.count) << c.type;
        EXPECT_EQ(r.isVisible(1, 1), c.leftOnly) << c.type;
        EXPECT_EQ(r.isVisible(13, 13), c.rightOnly) << c.type;
    }
}

TEST(RegionData, WrittenBytesAreTheHandBuiltForm) {
    Region r(RectF{0, 0, 10, 10});
    r.combine(Region(RectF{5, 5, 10, 10}), CombineMode::Exclude);
    Bytes n;
    n.u32(4).rect(0, 0, 10, 10).rect(5, 5, 10, 10);
    EXPECT_EQ(r.data(), regionData(n, 2));

    EXPECT_EQ(Region::infinite().data(), regionData(Bytes().u32(0x10000003), 0));
    EXPECT_EQ(Region::empty().data(), regionData(Bytes().u32(0x10000002), 0));
}

TEST(RegionData, RoundTripKeepsEveryPixel) {
    Region r = ellipse(RectF{3.25f, 2.5f, 40.5f, 30});
    r.combine(polygon({{0, 0}, {50, 5}, {20, 45}}), CombineMode::Xor);
    r.combine(closedCurve({{10, 10}, {30, 12}, {28, 30}}), CombineMode::Union);
    r.combine(Region(Rect{0, 0, 45, 40}), CombineMode::Intersect);
    r.translate(0.5f, -1.25f);
    const std::vector<uint8_t> bytes = r.data();
    const Region back = parse(bytes);
    EXPECT_EQ(back.data(), bytes);
    const Rect clip{-2, -3, 55, 50};
    EXPECT_EQ(back.rowSpans(clip).spans().size(), r.rowSpans(clip).spans().size());
    EXPECT_EQ(back.rowSpans(clip).pixelCount(), r.rowSpans(clip).pixelCount());
    expectSpansMatchPointTest(back, clip, "read back");
}

TEST(RegionData, DamagedDataFailsWithAReason) {
    Bytes rect;
    rect.rect(1, 2, 3, 4);
    const std::vector<uint8_t> good = regionData(rect, 0);
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* reason;
    };
    const Case cases[] = {
        {"cut short", [](auto& d) { d.resize(d.size() - 3); }, "size field"},
        {"header only", [](auto& d) { d.resize(12); }, "shorter than its header"},
        {"size beyond data", [](auto& d) { d[0] = 0xFF; }, "size field"},
        {"wrong version", [](auto& d) { d[11] = 0x00; }, "unknown version"},
        {"unknown node", [](auto& d) { d[16 + 3] = 0x20; }, "unknown region node type"},
        {"not a number", [](auto& d) { d[20 + 3] = 0x7F, d[20 + 2] = 0xC0; }, "finite"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> d = good;
        c.damage(d);
        EXPECT_NE(parseError(d).find(c.reason), std::string::npos) << c.name << ": " << parseError(d);
    }

    // A path claiming far more points than it holds.
    Bytes path;
    path.u32(0xDBC01002).u32(0x40000000).u32(0).f32(0).f32(0);
    Bytes node;
    node.u32(0x10000001).u32(static_cast<uint32_t>(path.v.size())).add(path);
    EXPECT_NE(parseError(regionData(node, 0)).find("point count"), std::string::npos);

    // A Bezier segment without its three points.
    Bytes bez;
    bez.u32(0xDBC01002).u32(2).u32(0).f32(0).f32(0).f32(5).f32(5).u8(0).u8(3).u8(0).u8(0);
    Bytes bezNode;
    bezNode.u32(0x10000001).u32(static_cast<uint32_t>(bez.v.size())).add(bez);
    EXPECT_NE(parseError(regionData(bezNode, 0)).find("types"), std::string::npos);

    // Nesting beyond the limit.
    Bytes deep;
    for (int i = 0; i <= kMaxRegionDepth; ++i)
        deep.u32(2);
    EXPECT_NE(parseError(regionData(deep, 0)).find("nest"), std::string::npos);
}
