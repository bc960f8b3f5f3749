#include "doc_fixture.h"

#include <fstream>

namespace quadrel {
namespace {

TEST(Settings, FirstStartWritesTheDefaults) {
    test::SettingsSandbox sandbox;
    {
        CQuadrelDoc doc;
        doc.ReadProperties();
        doc.WriteProperties();
    }
    CProfile p("Properties");
    EXPECT_EQ(p.getString("UnitType", "?"), "0");
    EXPECT_EQ(p.getString("ObjectType", "?"), "0");
    EXPECT_EQ(p.getString("ThrowBorderObject", "?"), "0");
    EXPECT_EQ(p.getString("BorderSize", "?"), "1");
    EXPECT_EQ(p.getString("ObjectSize", "?"), "9.000000");
    EXPECT_EQ(p.getString("Magnification", "?"), "1.000000");
    EXPECT_EQ(p.getString("GaussianSize", "?"), "7");
}

TEST(Settings, ValuesSurviveAReloadAndOddTextReadsSafely) {
    test::SettingsSandbox sandbox;
    CProfile p("Path");
    p.writeString("InitialDir", "/data/with = sign\nand a newline");
    p.writeDouble("x", 2.5);
    SettingsStore::setDefaultPath(SettingsStore::defaultPath()); // reload from the file
    EXPECT_EQ(p.getString("InitialDir", ""), "/data/with = sign\nand a newline");
    EXPECT_DOUBLE_EQ(p.getDouble("x", 0), 2.5);
    EXPECT_EQ(p.getInt("missing", 42), 42);

    CProfile props("Properties");
    props.writeString("ObjectSize", "abc");
    props.writeString("GaussianSize", "99");
    CQuadrelDoc doc;
    doc.ReadProperties();
    EXPECT_EQ(*doc.m_minObjectSize, 0.0); // not a number reads as 0
    EXPECT_EQ(doc.m_gaussianSize->value, 19); // brought back into its range
}

TEST(Settings, UnwritableFileIsReportedNotFatal) {
    test::SettingsSandbox sandbox;
    const std::string blocked = (sandbox.dir() / "file-not-dir").string();
    std::ofstream(blocked) << "x";
    SettingsStore store(blocked + "/Quadrel.conf");
    EXPECT_FALSE(store.set("A", "b", "c"));
    EXPECT_FALSE(store.lastError().empty());
    EXPECT_EQ(store.get("A", "b").value_or(""), "c");
}

} // namespace
} // namespace quadrel
