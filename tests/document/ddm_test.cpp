#include "doc_fixture.h"

#include "persistence/ddm_layout.h"
#include "persistence/storage_document.h"
#include "platform/codec_png.h"
#include "platform/image_file.h"
#include "tools/synthetic.h"

#include <cstring>
#include <fstream>

namespace quadrel {
namespace {

// A 160 x 120 synthetic picture at 254 dots per inch, written as PNG.
std::string writePicture(const std::filesystem::path& dir) {
    synth::Options o;
    o.width = 160;
    o.height = 120;
    o.cells = 8;
    const std::vector<uint32_t> px = synth::makeCells(o);
    BitmapPtr b = Bitmap::create(o.width, o.height, PixelFormat::Argb32);
    for (int y = 0; y < o.height; ++y) std::memcpy(b->row32(y), px.data() + y * o.width, static_cast<size_t>(o.width) * 4);
    b->setResolution(254.0f, 254.0f);
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(encodePng(*b, bytes, error));
    const std::string path = (dir / "picture.png").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::vector<double> areas(const CQuadrelDoc& doc) { return *doc.GetFeatureValues()->at(TFeature(2)); }

TEST(DdmDocument, SavedDocumentsReopenWithTheirLabelsCalibrationAndRegion) {
    test::SettingsSandbox sandbox;
    const std::string png = writePicture(sandbox.dir());
    const std::string ddm = (sandbox.dir() / "saved.ddm").string();

    CQuadrelDoc doc;
    std::string error;
    ASSERT_TRUE(doc.OnOpenDocument(png, error)) << error;
    doc.OnFillHoles(); // a label image that the automatic threshold would not give back
    auto left = std::make_shared<CRegionObject>();
    left->region = Region(Rect{0, 0, 80, 120});
    doc.SetROIRegion(left);
    ASSERT_TRUE(doc.OnSaveDocument(ddm, error)) << error;
    EXPECT_TRUE(isDdmDocument(ddm));

    CQuadrelDoc back;
    ASSERT_TRUE(back.OnOpenDocument(ddm, error)) << error;
    EXPECT_NEAR(back.m_calibrationX->pixelsPerBaseUnit(), 10.0, 1e-4);
    EXPECT_EQ(back.GetCells()->size(), doc.GetCells()->size());
    ASSERT_TRUE(back.GetROIRegion()->region);
    EXPECT_TRUE(back.GetROIRegion()->region->isVisible(79, 60));
    EXPECT_FALSE(back.GetROIRegion()->region->isVisible(80, 60));
    back.SetActiveClasses({});
    doc.SetActiveClasses({});
    EXPECT_EQ(areas(back), areas(doc));
    BitmapPtr a = doc.GetImage(kSlotLabels), b = back.GetImage(kSlotLabels);
    for (int y = 0; y < a->height(); ++y) ASSERT_EQ(std::memcmp(a->row(y), b->row(y), static_cast<size_t>(a->width()) * 4), 0);

    // Saving to its own path replaces only the mask and region items.
    TCompoundDocument before;
    ASSERT_TRUE(before.open(kModeRead, ddm));
    const auto imageBefore = before.readItem(kItemImage);
    before.close();
    back.OnMergeCell();
    ASSERT_TRUE(back.OnSaveDocument(ddm, error)) << error;
    TCompoundDocument after;
    ASSERT_TRUE(after.open(kModeRead, ddm));
    EXPECT_EQ(after.readItem(kItemImage), imageBefore);
    EXPECT_TRUE(after.exists(kItemForm2));
}

TEST(DdmDocument, FilesThatCannotBeOpenedLeaveTheDocumentAsItWas) {
    test::SettingsSandbox sandbox;
    const std::string png = writePicture(sandbox.dir());
    CQuadrelDoc doc;
    std::string error;
    ASSERT_TRUE(doc.OnOpenDocument(png, error));
    TCellIdList mine("mine");
    mine.add(doc.GetCells()->records().front().label);
    doc.AddClass(mine);
    const auto cells = doc.GetCells();
    const BitmapPtr image = doc.GetImage(kSlotSource);

    const std::string broken = (sandbox.dir() / "broken.png").string();
    std::ofstream(broken) << "\x89PNG\r\n\x1a\n but nothing else";
    EXPECT_FALSE(doc.OnOpenDocument(broken, error));
    EXPECT_FALSE(error.empty());
    // A compound file without a picture inside is no document either.
    const std::string empty = (sandbox.dir() / "empty.ddm").string();
    {
        TCompoundDocument c;
        ASSERT_TRUE(c.open(11, empty));
        const std::string note = (sandbox.dir() / "note").string();
        std::ofstream(note) << "x";
        ASSERT_TRUE(c.storeFile(kItemForm2, note));
    }
    EXPECT_FALSE(doc.OnOpenDocument(empty, error));
    EXPECT_FALSE(doc.OnOpenDocument((sandbox.dir() / "missing.png").string(), error));
    EXPECT_EQ(doc.GetCells(), cells);
    EXPECT_EQ(doc.GetImage(kSlotSource), image);
    EXPECT_TRUE(doc.ClassExists("mine"));
}

TEST(DdmDocument, SaveNeedsALabelImageAndExportFollowsTheExtension) {
    test::SettingsSandbox sandbox;
    CQuadrelDoc doc;
    std::string error;
    EXPECT_FALSE(doc.OnSaveDocument((sandbox.dir() / "x.ddm").string(), error));
    EXPECT_FALSE(doc.ExportImage(CQuadrelDoc::ExportKind::Image, (sandbox.dir() / "x.png").string(), error));

    ASSERT_TRUE(doc.OnOpenDocument(writePicture(sandbox.dir()), error));
    const std::string mask = (sandbox.dir() / "roi.PNG").string();
    ASSERT_TRUE(doc.ExportImage(CQuadrelDoc::ExportKind::RegionMask, mask, error)) << error;
    BitmapPtr m = openImageFile(mask, error);
    ASSERT_TRUE(m);
    uint32_t px = 0;
    m->getPixel(0, 0, px);
    EXPECT_EQ(px & 0xFF, 0u);
    m->getPixel(1, 1, px);
    EXPECT_EQ(px & 0xFF, 255u);

    const std::string labels = (sandbox.dir() / "labels.tif").string();
    ASSERT_TRUE(doc.ExportImage(CQuadrelDoc::ExportKind::Labels, labels, error)) << error;
    BitmapPtr l = openImageFile(labels, error);
    ASSERT_TRUE(l);
    BitmapPtr orig = doc.GetImage(kSlotLabels);
    for (int y = 0; y < l->height(); ++y) ASSERT_EQ(std::memcmp(l->row(y), orig->row(y), static_cast<size_t>(l->width()) * 4), 0);

    const std::string asDoc = (sandbox.dir() / "image.DDM").string();
    ASSERT_TRUE(doc.ExportImage(CQuadrelDoc::ExportKind::Image, asDoc, error)) << error;
    EXPECT_TRUE(isDdmDocument(asDoc));
    EXPECT_FALSE(doc.ExportImage(CQuadrelDoc::ExportKind::Image, (sandbox.dir() / "x.unknown").string(), error));
    EXPECT_FALSE(doc.ExportImage(CQuadrelDoc::ExportKind::Image, (sandbox.dir() / "no/such/dir/x.png").string(), error));
}

} // namespace
} // namespace quadrel

namespace quadrel {
namespace {

TEST(DdmDocument, TheImageItemIsATiffThatLibtiffsToolReads) {
    if (std::system("command -v tiffinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "tiffinfo is missing";
    test::SettingsSandbox sandbox;
    CQuadrelDoc doc;
    std::string error;
    ASSERT_TRUE(doc.OnOpenDocument(writePicture(sandbox.dir()), error));
    const std::string ddm = (sandbox.dir() / "t.ddm").string();
    ASSERT_TRUE(doc.OnSaveDocument(ddm, error)) << error;
    TCompoundDocument c;
    ASSERT_TRUE(c.open(kModeRead, ddm));
    const std::string tif = (sandbox.dir() / "image.tif").string();
    ASSERT_TRUE(c.extractFile(kItemImage, tif));
    const std::string report = (sandbox.dir() / "tiffinfo.txt").string();
    ASSERT_EQ(std::system(("tiffinfo " + tif + " > " + report + " 2>&1").c_str()), 0);
    std::ifstream in(report);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    for (const char* expected : {"Image Width: 160 Image Length: 120", "Resolution: 254, 254 pixels/inch",
                                 "Bits/Sample: 8", "Compression Scheme: Deflate", "Photometric Interpretation: RGB color",
                                 "Samples/Pixel: 3"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

} // namespace
} // namespace quadrel
