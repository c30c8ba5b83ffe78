// Tests of file identity: names that designate one file however they are
// spelt or linked, names of files not yet made, and the clash check that
// finds an output naming an input or another output.
#include "io/fileIdentity.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/testNetwork.h"

using namespace lattis;
namespace fs = std::filesystem;

namespace {

// In a fresh folder:
//   f, g           two distinct files
//   hard           a hard link to f
//   lnk -> f       a symbolic link
//   dang -> new    a dangling link (new does not exist)
//   sub/           a folder, and dirlnk -> sub
class FileIdentityTest : public testing::Test {
protected:
    void SetUp() override {
        testnet::writeBytes(dir.path("f"), "f");
        testnet::writeBytes(dir.path("g"), "g");
        fs::create_directory(dir.path("sub"));
        ASSERT_EQ(link(dir.path("f").c_str(), dir.path("hard").c_str()), 0);
        fs::create_symlink("f", dir.path("lnk"));
        fs::create_symlink("new", dir.path("dang"));
        fs::create_directory_symlink("sub", dir.path("dirlnk"));
    }
    std::string at(const std::string& name) const { return dir.path(name); }
    testnet::TempDir dir;
};

TEST_F(FileIdentityTest, NamesOfOneFileMatchAndOthersDoNot) {
    struct Case {
        std::string a, b;
        bool same;
    };
    const Case cases[] = {
        {at("f"), at("f"), true},
        {at("f"), at("./f"), true},
        {at("f"), at("sub/../f"), true},
        {at("f"), fs::relative(at("f")).string(), true},
        {at("f"), at("lnk"), true},
        {at("f"), at("hard"), true},
        {at("new"), at("./new"), true},         // not yet made, two spellings
        {at("new"), at("sub/../new"), true},
        {at("new"), fs::relative(at("new")).string(), true},
        {at("dang"), at("new"), true},          // a write through the link makes new
        {at("sub/x"), at("dirlnk/x"), true},    // a link inside the path
        {at("f"), at("g"), false},
        {at("f"), at("new"), false},
        {at("new"), at("new2"), false},
        {at("sub/f"), at("f"), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sameFile(c.a, c.b), c.same) << c.a << " vs " << c.b;
        EXPECT_EQ(sameFile(c.b, c.a), c.same) << c.b << " vs " << c.a;
    }
    EXPECT_TRUE(fileIdentity(at("lnk")).exists);
    EXPECT_FALSE(fileIdentity(at("dang")).exists);
}

TEST_F(FileIdentityTest, ClashNamesBothOptions) {
    struct Case {
        std::vector<NamedFile> inputs, outputs;
        std::string message;
    };
    const std::string destroys = " are the same file, which writing would destroy";
    const Case cases[] = {
        {{{"-i", at("f")}}, {{"-o", at("g")}, {"-map", at("new")}}, ""},
        {{{"-i", at("f")}}, {{"-o", at("g")}, {"-co", at("lnk")}},
         "output -co \"" + at("lnk") + "\" and input -i \"" + at("f") + "\"" + destroys},
        {{{"-i", at("f")}}, {{"-o", at("new")}, {"-bo", at("dang")}},
         "outputs -o \"" + at("new") + "\" and -bo \"" + at("dang") + "\" are the same file"},
        {{{"-i", at("f")}, {"-cost file:", at("g")}}, {{"-o", at("hard")}},
         "output -o \"" + at("hard") + "\" and input -i \"" + at("f") + "\"" + destroys},
        {{{"-i", at("f")}, {"-cost file:", at("g")}}, {{"-o", at("new")}, {"-po", at("./g")}},
         "output -po \"" + at("./g") + "\" and input -cost file: \"" + at("g") + "\"" + destroys},
        {{{"-i", ""}}, {{"-o", ""}, {"-bo", ""}, {"-co", at("f")}}, ""},  // empty names are not files
    };
    for (const Case& c : cases) EXPECT_EQ(fileClash(c.inputs, c.outputs), c.message);
}

}  // namespace
