#include "base_test_support.h"
#include "engine/base/rw_internal.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

// Stand-ins for the image classes, which live in engine/gfx: each reads a
// word and a name, enough to tell that the right class read the right data.
template <const char* Name> class FakeImage : public rwObjCTy {
public:
    const char* GetClassName() const override { return Name; }
    void Write(rwCTy* s) override
    {
        rwWriteU32(s, width);
        rwWriteStr(s, label.c_str());
    }
    void Read(rwCTy* s) override
    {
        width = rwReadU32(s);
        char* text = rwReadStr(s);
        label = text ? text : "";
        memFree(text);
    }
    uint32_t width = 0;
    std::string label;

    static rwObjCTy* Create() { return new FakeImage; }
};

constexpr char alpha_name[] = "imgAlpha";
constexpr char row_name[] = "imgRowCTy";
constexpr char rle_name[] = "imgRle8CTy";
using FakeAlpha = FakeImage<alpha_name>;
using FakeRow = FakeImage<row_name>;
using FakeRle = FakeImage<rle_name>;

class RwRegistryTest : public BaseTest {
protected:
    void SetUp() override
    {
        BaseTest::SetUp();
        errInitFileMessages();
        rwObjRegisterClass("imgAlpha", FakeAlpha::Create);
        rwObjRegisterClass("imgRowCTy", FakeRow::Create);
        rwObjRegisterClass("imgRle8CTy", FakeRle::Create);
    }
    void TearDown() override
    {
        for (const char* n : { "imgAlpha", "imgRowCTy", "imgRle8CTy" })
            rwObjRegisterClass(n, nullptr);
        BaseTest::TearDown();
    }
};

TEST_F(RwRegistryTest, ObjectsAreCreatedByTheClassNameInTheData)
{
    // An image set as the data tool writes it: class name, then the object.
    rwMemBlockTy* block = nullptr;
    rwCTy* w = rwWrOpen(nullptr, RW_PACKED, RW_PACKER_LZ);
    ASSERT_NE(w, nullptr);
    rwSetTarget(w, &block);
    FakeRow row;
    row.width = 640;
    row.label = "background";
    FakeRle rle;
    rle.width = 32;
    rle.label = "car";
    FakeAlpha alpha;
    alpha.width = 7;
    alpha.label = "glyphs";
    for (rwObjCTy* obj :
        { static_cast<rwObjCTy*>(&row), static_cast<rwObjCTy*>(&rle), static_cast<rwObjCTy*>(&alpha) }) {
        rwWriteStr(w, obj->GetClassName());
        obj->Write(w);
    }
    ASSERT_EQ(rwClose(w), 0);
    ASSERT_NE(block, nullptr);

    // Back through a legacy file image in memory.
    std::vector<uint8_t> file(RW_HEADER_SIZE + block->length);
    // The header words, little-endian like the host.
    const uint32_t header[6]
        = { block->magic, block->flags, block->packer, block->word, block->length, block->unpackedSize };
    std::memcpy(file.data(), header, sizeof(header));
    std::memcpy(file.data() + RW_HEADER_SIZE, block->data, block->length);
    memFree(block);
    rwCTy* r = rwOpenBytes(file.data(), file.size(), "set.imgs");
    ASSERT_NE(r, nullptr);
    std::vector<std::unique_ptr<rwObjCTy>> objects;
    while (r->position < r->length) {
        char* name = rwReadStr(r);
        std::unique_ptr<rwObjCTy> obj(rwObjCreateByClassName(name));
        memFree(name);
        ASSERT_NE(obj, nullptr);
        obj->Read(r);
        objects.push_back(std::move(obj));
    }
    rwClose(r);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_STREQ(objects[0]->GetClassName(), "imgRowCTy");
    EXPECT_EQ(static_cast<FakeRow*>(objects[0].get())->label, "background");
    EXPECT_EQ(static_cast<FakeRow*>(objects[0].get())->width, 640u);
    EXPECT_STREQ(objects[1]->GetClassName(), "imgRle8CTy");
    EXPECT_EQ(static_cast<FakeRle*>(objects[1].get())->label, "car");
    EXPECT_STREQ(objects[2]->GetClassName(), "imgAlpha");
    EXPECT_EQ(static_cast<FakeAlpha*>(objects[2].get())->width, 7u);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(RwRegistryTest, TheBaseClassIsRegisteredForReal)
{
    std::unique_ptr<rwObjCTy> obj(rwObjCreateByClassName("rwObjCTy"));
    ASSERT_NE(obj, nullptr);
    EXPECT_STREQ(obj->GetClassName(), "rwObjCTy");
}

TEST_F(RwRegistryTest, UnknownNamesAreReportedLiterally)
{
    EXPECT_EQ(rwObjCreateByClassName("imgrowcty"), nullptr) << "names are case-sensitive";
    EXPECT_EQ(rwObjCreateByClassName("evil %s%n%d"), nullptr);
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_NE(boxes()[0].text.find("\nrwObjCreateByClassName: Unknown class name. imgrowcty\n"), std::string::npos);
    EXPECT_NE(boxes()[1].text.find("\nrwObjCreateByClassName: Unknown class name. evil %s%n%d\n"), std::string::npos);
    EXPECT_EQ(rwObjCreateByClassName(nullptr), nullptr);

    // Inside a TRY frame the report unwinds to it.
    EXPECT_EQ(errTry([] { (void)rwObjCreateByClassName("nothing"); }), ERR_USER_MSG);
}

TEST_F(RwRegistryTest, ALaterRegistrationReplacesTheEarlierOne)
{
    rwObjRegisterClass("imgRowCTy", FakeRle::Create);
    std::unique_ptr<rwObjCTy> obj(rwObjCreateByClassName("imgRowCTy"));
    ASSERT_NE(obj, nullptr);
    EXPECT_STREQ(obj->GetClassName(), "imgRle8CTy");
}

} // namespace
