// CRegKey::RecurseDeleteKey against a real registry: each test builds its tree with RegCreateKeyExA
// and RegSetValueExA below a key of its own in HKEY_CURRENT_USER\Software and removes that key
// afterwards.
#include "kvisinst/common/handle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecurseDeleteKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = std::string("Software\\kvisinst-tests-") + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, root_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &rootKey_, nullptr),
                  ERROR_SUCCESS);
    }

    void TearDown() override {
        if (rootKey_ != nullptr) {
            RegCloseKey(rootKey_);
        }
        RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str());
    }

    // Creates `path` below the test's key, with every missing level, and gives it a default value and
    // a named one, so that deleting it is more than deleting an empty key.
    void CreateKey(const std::string& path) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(rootKey_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS)
            << path;
        static const char kText[] = "value";
        const DWORD number = 7;
        EXPECT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kText), sizeof kText),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    bool Exists(const std::string& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(rootKey_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    // Every key path below `path` (itself included), depth first, to compare a tree before and after.
    std::vector<std::string> ListTree(const std::string& path) {
        std::vector<std::string> paths{path};
        HKEY key = nullptr;
        if (RegOpenKeyExA(rootKey_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return paths;
        }
        char name[256];
        for (DWORD index = 0;; ++index) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            for (const std::string& below : ListTree(path + "\\" + name)) {
                paths.push_back(below);
            }
        }
        RegCloseKey(key);
        return paths;
    }

    std::string root_;
    HKEY rootKey_ = nullptr;
};

// A key with subkeys cannot be deleted on the NT family: a deletion that succeeds on such a tree
// went from the leaves up.
TEST_F(RecurseDeleteKeyTest, TheRegistryRefusesToDeleteAKeyWithSubkeys) {
    CreateKey("Parent\\Child");
    EXPECT_NE(RegDeleteKeyA(rootKey_, "Parent"), ERROR_SUCCESS);
    EXPECT_TRUE(Exists("Parent\\Child"));
}

TEST_F(RecurseDeleteKeyTest, RemovesAThreeLevelTreeAndNothingBesideIt) {
    // Several children on every level: deleting while enumerating at a growing index would skip
    // every other child and leave the tree standing.
    for (const char* child : {"A", "B", "C", "D", "E"}) {
        for (const char* grandchild : {"1", "2", "3"}) {
            CreateKey(std::string("Tree\\") + child + "\\" + grandchild);
        }
    }
    CreateKey("Tree\\A\\1\\Leaf");
    CreateKey("Keep\\Tree");
    CreateKey("TreeSibling");

    CRegKey holder;
    ASSERT_EQ(holder.Open(HKEY_CURRENT_USER, root_.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(holder.RecurseDeleteKey("Tree"), ERROR_SUCCESS);

    EXPECT_FALSE(Exists("Tree"));
    EXPECT_TRUE(Exists("Keep\\Tree"));
    EXPECT_TRUE(Exists("TreeSibling"));
    // The held key is still open and usable.
    DWORD subkeys = 0;
    EXPECT_EQ(RegQueryInfoKeyA(holder, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 2u);
}

TEST_F(RecurseDeleteKeyTest, APathNameRemovesOnlyThatBranch) {
    CreateKey("Tree\\A\\1");
    CreateKey("Tree\\A\\2");
    CreateKey("Tree\\B\\1");

    CRegKey holder;
    ASSERT_EQ(holder.Open(HKEY_CURRENT_USER, root_.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(holder.RecurseDeleteKey("Tree\\A"), ERROR_SUCCESS);

    EXPECT_FALSE(Exists("Tree\\A"));
    EXPECT_TRUE(Exists("Tree\\B\\1"));
}

TEST_F(RecurseDeleteKeyTest, AMissingNameGivesFileNotFoundAndChangesNothing) {
    CreateKey("Tree\\A\\1");
    CreateKey("Tree\\B");
    const std::vector<std::string> before = ListTree("Tree");

    CRegKey holder;
    ASSERT_EQ(holder.Open(HKEY_CURRENT_USER, root_.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(holder.RecurseDeleteKey("Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(holder.RecurseDeleteKey("Tree\\Missing"), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(ListTree("Tree"), before);
}

}  // namespace
