#include "persistence/byte_buffer.h"
#include "persistence/object_stream.h"
#include "persistence/storage_document.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <zlib.h>

namespace quadrel {
namespace {

namespace fs = std::filesystem;

struct StorageTest : ::testing::Test {
    fs::path dir;
    StorageTest() {
        dir = fs::temp_directory_path() / ("quadrel-storage-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    ~StorageTest() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string file(const std::string& name, const std::string& content) {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    static std::string slurp(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(StorageTest, StoreReadExtractAndReopen) {
    const std::string doc = path("a.ddm");
    const std::string image(5000, 'x');
    {
        TCompoundDocument d;
        ASSERT_TRUE(d.open(11, doc)) << d.lastError();
        EXPECT_TRUE(d.storeFile("__IMAGE__", file("img.tif", image)));
        EXPECT_TRUE(d.storeFile("__MASK__", file("mask.tif", "mask bytes")));
    }
    EXPECT_TRUE(TCompoundDocument::isCompoundFile(doc));
    TCompoundDocument d;
    ASSERT_TRUE(d.open(1, doc));
    EXPECT_TRUE(d.exists("__IMAGE__"));
    EXPECT_FALSE(d.exists("__TAG__"));
    auto bytes = d.readItem("__MASK__");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "mask bytes");
    EXPECT_TRUE(d.extractFile("__IMAGE__", path("out.tif")));
    EXPECT_EQ(slurp(path("out.tif")), image);
    EXPECT_FALSE(d.readItem("__ROI__"));

    // The table's bytes for the image item follow the documented layout.
    auto table = d.rootStorage().readElement("__TABLE_OF_CONTENTS__");
    ASSERT_TRUE(table);
    const std::vector<uint8_t>& t = *table;
    ASSERT_GT(t.size(), 9u);
    EXPECT_EQ(t[0], ':');
    EXPECT_EQ(t[1] | t[2] << 8, 257);
    EXPECT_EQ(t[9], 2); // two items
    // Items come in name order: "__IMAGE__" first; its record starts after the table header.
    const uint8_t* rec = t.data() + 13;
    EXPECT_EQ(rec[0], 3);                    // record version
    EXPECT_EQ(rec[4], 0);                    // empty id
    EXPECT_EQ(rec[8], 9);                    // storage name length
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec + 12), 9), "__IMAGE__");
    const uint8_t* after = rec + 12 + 9 + 4 + 9 + 4;
    EXPECT_EQ(after[0], 2);                  // a stream
    EXPECT_EQ(after[4], 0);                  // not compressed
    EXPECT_EQ(after[8] | after[9] << 8, 5000);
    const uint8_t* attrs = after + 12 + 36;
    EXPECT_EQ(attrs[0], 1);                  // attribute list version
    EXPECT_EQ(attrs[4], 0);                  // no attributes
}

TEST_F(StorageTest, EmptyFilesReplacementsAndUntouchedItems) {
    const std::string doc = path("b.ddm");
    TCompoundDocument d;
    ASSERT_TRUE(d.open(11, doc));
    EXPECT_FALSE(d.storeFile("empty", file("e", "")));
    EXPECT_FALSE(d.exists("empty"));
    ASSERT_TRUE(d.storeFile("keep", file("k", "kept content")));
    ASSERT_TRUE(d.storeFile("item", file("1", "first")));
    ASSERT_TRUE(d.storeFile("item", file("2", "second, longer")));
    EXPECT_EQ(d.rootStorage().table().size(), 2u);
    EXPECT_EQ(d.rootStorage().table().at("item")->storedSize, 14);
    auto item = d.readItem("item");
    EXPECT_EQ(std::string(item->begin(), item->end()), "second, longer");
    auto keep = d.readItem("keep");
    EXPECT_EQ(std::string(keep->begin(), keep->end()), "kept content");
    EXPECT_FALSE(d.storeFile("missing\\item", file("3", "x")));
    EXPECT_FALSE(d.storeFile("x", path("no-such-source")));
}

TEST_F(StorageTest, CompressedItemsAndLongNames) {
    const std::string doc = path("c.ddm");
    const std::string content(20000, 'z');
    const std::string longName = "an item name that is much longer than thirty-one characters";
    {
        TCompoundDocument d;
        ASSERT_TRUE(d.open(11, doc));
        ASSERT_TRUE(d.storeFile("zipped", file("z", content), true));
        ASSERT_TRUE(d.storeFile(longName, file("l", "long")));
    }
    TCompoundDocument d;
    ASSERT_TRUE(d.open(1, doc));
    auto raw = d.readItem("zipped");
    ASSERT_TRUE(raw);
    EXPECT_LT(raw->size(), content.size()); // readItem gives the stored (compressed) bytes
    EXPECT_EQ((*raw)[0], 0x1F);
    ASSERT_TRUE(d.extractFile("zipped", path("unzipped")));
    EXPECT_EQ(slurp(path("unzipped")), content);

    const auto& table = d.rootStorage().table();
    ASSERT_TRUE(table.count(longName));
    std::shared_ptr<TContentItem> item = table.at(longName);
    EXPECT_EQ(item->storageName().size(), 26u);
    EXPECT_EQ(item->id.size(), 32u);
    EXPECT_EQ(base32Name(*idToGuid(item->id)), item->storageName());
    auto l = d.readItem(longName);
    EXPECT_EQ(std::string(l->begin(), l->end()), "long");
}

TEST_F(StorageTest, LegacyTableIsReadAndReplacedOnTheNextStore) {
    const std::string doc = path("legacy.ddm");
    {
        // An older writer's file: "__CONTENTS__" and an item, no table stream.
        TStorageDocumentEx root;
        ASSERT_TRUE(root.open(11, doc));
        TSetOfStorageElement set;
        auto e = std::make_shared<TStorageElement>();
        e->name = "old:item";
        e->third = "described";
        e->kind = kContentStream;
        e->storedSize = 3;
        set.elements.push_back(e);
        MemoryBuffer buf;
        {
            opstream os(&buf);
            os.putObject(set);
        }
        ASSERT_TRUE(root.writeElement("__CONTENTS__", buf.take()));
        ASSERT_TRUE(root.writeElement("old:item", {'a', 'b', 'c'}));
        ASSERT_TRUE(root.commit()) << root.lastError();
    }
    TCompoundDocument d;
    ASSERT_TRUE(d.open(11, doc));
    const auto& table = d.rootStorage().table();
    ASSERT_TRUE(table.count("old_item")); // ":" in a name comes back as "_"
    EXPECT_EQ(table.at("old_item")->description, "described");
    auto bytes = d.readItem("old_item");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "abc");
    EXPECT_FALSE(d.rootStorage().readElement("__TABLE_OF_CONTENTS__"));
    ASSERT_TRUE(d.storeFile("new", file("n", "new")));
    EXPECT_TRUE(d.rootStorage().readElement("__TABLE_OF_CONTENTS__"));
    d.close();
    TCompoundDocument again;
    ASSERT_TRUE(again.open(1, doc));
    EXPECT_TRUE(again.exists("old_item"));
    EXPECT_TRUE(again.exists("new"));
}

TEST_F(StorageTest, NotACompoundFileAndDamagedTables) {
    const std::string png = file("p.png", "\x89PNG\r\n\x1a\n rest");
    EXPECT_FALSE(TCompoundDocument::isCompoundFile(png));
    TCompoundDocument d;
    EXPECT_FALSE(d.open(1, png));
    EXPECT_FALSE(d.open(1, path("missing.ddm")));
    TCompoundDocument e;
    EXPECT_FALSE(e.open(11, png)); // never overwritten as a storage

    ContentTable table;
    std::string error;
    const std::vector<uint8_t> claims = {':', 1, 1, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(readContentTable(claims, table, error));
    EXPECT_TRUE(table.empty());
    // Two records of one name: the first read wins.
    ContentTable two;
    auto a = TContentItem::create("same", kContentStream, false);
    a->description = "first";
    two["same"] = a;
    std::vector<uint8_t> bytes = writeContentTable(two);
    std::vector<uint8_t> doubled(bytes.begin(), bytes.begin() + 13);
    doubled[9] = 2;
    std::vector<uint8_t> record(bytes.begin() + 13, bytes.end());
    doubled.insert(doubled.end(), record.begin(), record.end());
    std::vector<uint8_t> second = record;
    second[second.size() - 8 - 36 - 12 - 4 + 3] = 0; // leave it as it is: same name
    doubled.insert(doubled.end(), second.begin(), second.end());
    ContentTable back;
    EXPECT_TRUE(readContentTable(doubled, back, error)) << error;
    EXPECT_EQ(back.size(), 1u);
    EXPECT_EQ(back.at("same")->description, "first");
}

TEST(StorageModes, TranslationOfTheModesTheProgramUses) {
    using A = StorageAccess::Action;
    struct Case {
        uint32_t mode;
        bool child;
        uint32_t flags;
        A action;
    };
    const Case cases[] = {
        {1, false, 0x20, A::Open},                  // read, deny write
        {11, false, 0x12, A::OpenOrCreate},         // read-write exclusive, open or create
        {4107, false, 0x10022, A::OpenOrCreate},    // transacted: deny write
        {67, true, 0x12, A::Open},                  // child: always exclusive
        {32771, true, 0x4001012, A::CreateReplace}, // temporary child
        {0x12, false, 0x1012, A::CreateReplace},    // truncate
        {0x82, false, 0x12, A::Create},
    };
    for (const Case& c : cases) {
        const StorageAccess a = translateOpenMode(c.mode, c.child);
        EXPECT_TRUE(a.valid) << c.mode;
        EXPECT_EQ(a.flags, c.flags) << c.mode;
        EXPECT_EQ(a.action, c.action) << c.mode;
    }
    EXPECT_FALSE(translateOpenMode(0x1000, false).valid);
}

TEST(StorageNames, Base32AndIds) {
    const TGUID g = TGUID::create();
    const std::string name = base32Name(g);
    EXPECT_EQ(name.size(), 26u);
    EXPECT_EQ(guidFromBase32(name), g);
    EXPECT_EQ(*idToGuid(guidToId(g)), g);
    EXPECT_FALSE(idToGuid("1234"));
    EXPECT_FALSE(idToGuid(std::string(32, 'G')));

    auto shortItem = TContentItem::create("a<b", kContentStream, false);
    EXPECT_EQ(shortItem->storageName(), "a<b"); // short names are kept whatever they hold
    EXPECT_TRUE(shortItem->id.empty());
}

TEST_F(StorageTest, AnIndependentReaderListsTheSameItems) {
    if (std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3-olefile is missing";
    const std::string doc = path("ole.ddm");
    {
        TCompoundDocument d;
        ASSERT_TRUE(d.open(11, doc));
        ASSERT_TRUE(d.storeFile("__IMAGE__", file("i", std::string(70000, 'i'))));
        ASSERT_TRUE(d.storeFile("__MASK__", file("m", "mask")));
    }
    const std::string out = path("listing");
    const std::string cmd = "/usr/bin/python3 -c \"import olefile,sys; o=olefile.OleFileIO(sys.argv[1]); "
                            "print('\\n'.join(sorted('/'.join(e)+':'+str(o.get_size('/'.join(e))) for e in o.listdir())))\" " +
                            doc + " > " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string listing = slurp(out);
    EXPECT_NE(listing.find("__IMAGE__:70000"), std::string::npos) << listing;
    EXPECT_NE(listing.find("__MASK__:4"), std::string::npos) << listing;
    EXPECT_NE(listing.find("__TABLE_OF_CONTENTS__:"), std::string::npos) << listing;
}

} // namespace
} // namespace quadrel
