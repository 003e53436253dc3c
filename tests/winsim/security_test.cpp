// The security state's text forms: SDDL both ways and the machine-folder lines of changed key security.
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/security.h>

#include <gtest/gtest.h>

#include <string>

using winsim::OsVersion;
using winsim::ScopedMachine;

namespace {

TEST(Sddl, ReadsAndWritesAsWindowsToolsDo) {
    const struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)", nullptr},
        {"O:BAG:SYD:PAI(A;CIIO;KR;;;BU)(D;OICI;KW;;;AU)(A;ID;GA;;;IU)", nullptr},
        {"O:S-1-5-21-1-2-3-1000G:S-1-5-32-545D:NO_ACCESS_CONTROL", "O:S-1-5-21-1-2-3-1000G:BUD:NO_ACCESS_CONTROL"},
        {"O:SYD:(A;;RCSDWDWOCCDCLCSWRPWP;;;WD)(A;;196633;;;S-1-5-18)", "O:SYD:(A;;KA;;;WD)(A;;0x30019;;;SY)"},
        {"G:BAS:(AU;SA;KA;;;WD)D:", "G:BAD:"},
        {"O:SYD:PAINO_ACCESS_CONTROL", nullptr},
    };
    for (const auto& row : rows) {
        winsim::SecurityDescriptorData d;
        std::string error;
        ASSERT_TRUE(winsim::ParseSddl(row.in, &d, &error)) << row.in << ": " << error;
        EXPECT_EQ(row.out ? row.out : row.in, winsim::ToSddl(d));
        winsim::SecurityDescriptorData back;
        ASSERT_TRUE(winsim::ReadDescriptor(winsim::ToSelfRelative(d).data(), &back));
        EXPECT_TRUE(back == d) << row.in;
    }
    for (const char* bad : {"O:XXD:", "D:(A;;KA;;SY)", "D:(Q;;KA;;;SY)", "D:(A;;ZZ;;;SY)", "D:(A;;KA;;;SY", "X:"}) {
        winsim::SecurityDescriptorData d;
        std::string error;
        EXPECT_FALSE(winsim::ParseSddl(bad, &d, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(SecurityText, ListsChangedKeysAndLoadsThemBack) {
    const std::string text =
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane=O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)\n"
        "HKEY_USERS\\.DEFAULT\\Korvane=O:BAG:SYD:(A;;KR;;;WD)\n";
    {
        ScopedMachine machine(OsVersion::Win2000);
        machine->Reg().CreateKey("HKLM\\SOFTWARE\\Korvane\\Sub");
        machine->Reg().CreateKey("HKU\\.DEFAULT\\Korvane");
        EXPECT_EQ("", machine->Security().SaveSecurityText());
        std::string error;
        ASSERT_TRUE(machine->Security().LoadSecurityText("# changed\n" + text, &error)) << error;
        EXPECT_EQ(text, machine->Security().SaveSecurityText());
        // The same security as the default is no change.
        machine->Security().SetKeySecuritySddl("HKLM\\SOFTWARE\\Korvane",
                                               "O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;WD)", nullptr);
        EXPECT_EQ(text.substr(text.find("HKEY_USERS")), machine->Security().SaveSecurityText());
        EXPECT_FALSE(machine->Security().LoadSecurityText("HKLM\\SOFTWARE\\Missing=O:SY", &error));
        EXPECT_EQ("line 1: no such key: HKLM\\SOFTWARE\\Missing", error);
    }
    ScopedMachine machine(OsVersion::Win98);
    machine->Reg().CreateKey("HKLM\\SOFTWARE\\Korvane");
    EXPECT_FALSE(machine->Security().KeySecuritySddl("HKLM\\SOFTWARE\\Korvane"));
}

}  // namespace
