// CRegKey::RecurseDeleteKey against a real registry, which refuses to delete a key that has subkeys:
// a deletion that succeeds went from the leaves up. The tree lies below a key of the test's own in
// HKEY_CURRENT_USER\Software, built with RegCreateKeyExA and removed afterwards.
#include "kvisinst/common/handle.h"
#include "windows/win_testing.h"

namespace {

class RecurseDeleteKeyTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(holder_.Create(HKEY_CURRENT_USER, root_.c_str()), ERROR_SUCCESS); }
    void TearDown() override {
        holder_.Close();
        RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str());
    }

    // Creates `path` below the test's key with every missing level, and a value in it, so that
    // deleting it is more than deleting an empty key.
    void CreateKey(const std::string& path) { SetString(HKEY_CURRENT_USER, root_ + "\\" + path, "Value", "7"); }
    bool Exists(const std::string& path) { return KeyExists(HKEY_CURRENT_USER, root_ + "\\" + path); }

    const std::string root_ = "Software\\kvisinst-tests-" + std::to_string(GetCurrentProcessId());
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
