// CRegKey::RecurseDeleteKey against a real registry, which refuses to delete a key that has subkeys:
// a deletion that succeeds went from the leaves up. The tree lies below a key of the test's own in
// HKEY_CURRENT_USER\Software, built with RegCreateKeyExA and removed afterwards.
#include "kvisinst/common/handle.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class RecurseDeleteKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = "Software\\kvisinst-tests-" + std::to_string(GetCurrentProcessId());
        ASSERT_EQ(holder_.Create(HKEY_CURRENT_USER, root_.c_str()), ERROR_SUCCESS);
    }
    void TearDown() override {
        holder_.Close();
        RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str());
    }

    // Creates `path` below the test's key with every missing level, and a value in it, so that
    // deleting it is more than deleting an empty key.
    void CreateKey(const std::string& path) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(holder_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS)
            << path;
        const DWORD number = 7;
        EXPECT_EQ(RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                 sizeof number),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    bool Exists(const std::string& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(holder_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

    std::string root_;
    CRegKey holder_;
};

TEST_F(RecurseDeleteKeyTest, RemovesTheTreeOrBranchNamedAndNothingBesideIt) {
    // Several children on every level: deleting while enumerating at a growing index would skip
    // every other child and leave the tree standing.
    for (const char* child : {"A", "B", "C", "D"})
        for (const char* grandchild : {"1", "2", "3"})
            CreateKey(std::string("Tree\\") + child + "\\" + grandchild);
    CreateKey("Keep\\Tree");
    CreateKey("TreeSibling");
    ASSERT_NE(RegDeleteKeyA(holder_, "Tree"), ERROR_SUCCESS) << "this registry deletes keys with subkeys";

    EXPECT_EQ(holder_.RecurseDeleteKey("Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(holder_.RecurseDeleteKey("Tree\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(holder_.RecurseDeleteKey("Tree\\A"), ERROR_SUCCESS);
    EXPECT_FALSE(Exists("Tree\\A"));
    EXPECT_TRUE(Exists("Tree\\B\\3"));
    EXPECT_EQ(holder_.RecurseDeleteKey("Tree"), ERROR_SUCCESS);
    EXPECT_FALSE(Exists("Tree"));
    EXPECT_TRUE(Exists("Keep\\Tree"));
    EXPECT_TRUE(Exists("TreeSibling"));
}

}  // namespace
