// The edition predicates: which registry keys and "Version" strings make each of them true. Versions
// compare as text, so the table holds the strings that sort on either side of the reference versions.
#include "kvisinst/cleanup/editions.h"

#include <winsim/machine.h>
#include <winsim/registry.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kHklm = "HKEY_LOCAL_MACHINE\\";
const std::string kQuillexPro = "Software\\Korvane\\QuillexPro";
const std::string kTesmirSdk = "SOFTWARE\\Korvane\\TesmirSDK";

struct EditionRow {
    const char* what;
    const char* quillexProVersion;  // null: no "Version" value ("" with key: key without the value)
    bool quillexProKey;
    const char* tesmirSdkVersion;  // null: no Tesmir SDK key
    const char* extraKey;          // another key to create, or null
    bool orvel, ver101, ver102, installed;
};

// Sorts before "1.0.002.000", but does not fit 260 bytes.
const std::string kOverlong = "1.0.001" + std::string(300, '0');

const EditionRow kRows[] = {
    {"nothing installed", nullptr, false, nullptr, nullptr, false, false, false, false},
    {"Quillex Pro 1.0.001", "1.0.001.000", true, nullptr, nullptr, false, true, false, true},
    {"Quillex Pro 1.0.002", "1.0.002.000", true, nullptr, nullptr, false, false, true, true},
    {"Quillex Pro 1.0.002 revision 9", "1.0.002.999", true, nullptr, nullptr, false, false, true, true},
    {"Quillex Pro 1.0.003", "1.0.003.000", true, nullptr, nullptr, false, false, false, true},
    {"a version without fixed widths sorts after the references", "1.0.2", true, nullptr, nullptr, false, false, false,
     true},
    {"Quillex Pro key without a Version", nullptr, true, nullptr, nullptr, false, false, false, false},
    {"a Version longer than its buffer", kOverlong.c_str(), true, nullptr, nullptr, false, false, false, false},
    {"Tesmir SDK 1.0.000.000", nullptr, false, "1.0.000.000", nullptr, false, true, true, false},
    {"Tesmir SDK 1.0.000.001", nullptr, false, "1.0.000.001", nullptr, false, false, false, false},
    {"Tesmir Integrator 1.0.000", nullptr, false, nullptr, "SOFTWARE\\Korvane\\Tesmir Integrator\\1.0.000", false, true,
     true, false},
    {"Quillex Pro 1.0.000", nullptr, false, nullptr, "SOFTWARE\\Korvane\\Quillex Pro\\1.0.000", false, true, true,
     false},
    {"Orvel Integrator V2.0.1 only", nullptr, false, nullptr,
     "SOFTWARE\\Korvane\\Quillex Integrator Software-Orvel Edition V2.0.1", true, false, false, false},
    {"Orvel Integrator V2.0.2 beside Quillex Pro 1.0.003", "1.0.003.000", true, nullptr,
     "SOFTWARE\\Korvane\\Quillex Integrator Software-Orvel Edition V2.0.2", true, false, false, true},
    {"Orvel Integrator V2.0.3 is not one of them", nullptr, false, nullptr,
     "SOFTWARE\\Korvane\\Quillex Integrator Software-Orvel Edition V2.0.3", false, false, false, false},
};

TEST(Editions, PredicatesFollowTheKeysAndVersionStrings) {
    for (const auto version : {winsim::OsVersion::Win95, winsim::OsVersion::Win2000}) {
        for (const auto& row : kRows) {
            winsim::ScopedMachine machine(version);
            auto& reg = machine->Reg();
            if (row.quillexProKey) {
                ASSERT_TRUE(reg.CreateKey(kHklm + kQuillexPro));
            }
            if (row.quillexProVersion) {
                ASSERT_TRUE(reg.SetStringValue(kHklm + kQuillexPro, "Version", row.quillexProVersion));
            }
            if (row.tesmirSdkVersion) {
                ASSERT_TRUE(reg.CreateKey(kHklm + kTesmirSdk));
                ASSERT_TRUE(reg.SetStringValue(kHklm + kTesmirSdk, "Version", row.tesmirSdkVersion));
            }
            if (row.extraKey) {
                ASSERT_TRUE(reg.CreateKey(kHklm + row.extraKey));
            }
            const std::string before = reg.SaveRegText();

            EXPECT_EQ(row.orvel, IsOrvelIntegrator()) << row.what;
            EXPECT_EQ(row.ver101, IsVer101()) << row.what;
            EXPECT_EQ(row.ver102, IsVer102()) << row.what;
            EXPECT_EQ(row.installed, IsQuillexProInstalled()) << row.what;
            EXPECT_EQ(before, reg.SaveRegText()) << row.what << ": the predicates only read";
            EXPECT_EQ(0u, reg.OpenHandleCount()) << row.what << ": every key is closed";
        }
    }
}

}  // namespace
