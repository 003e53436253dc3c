// The file-list object: how list texts are parsed, and what a walk does to each file - unregistered
// by its kind, scheduled for deletion, announced to a window - on Windows 95, 98, NT 4 and 2000.
#include "kvisinst/cleanup/dlllist.h"
#include "cleanup/cleanup_testing.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The entries of a parsed list, up to the empty one that closes it.
std::vector<std::string> Entries(const CDllList& list) {
    std::vector<std::string> entries;
    if (!list.List()) return entries;
    for (const char* entry = list.List(); *entry; entry += std::string(entry).size() + 1) entries.push_back(entry);
    return entries;
}

struct ParseRow {
    const char* text;
    HRESULT result;
    std::vector<std::string> entries;
};

const ParseRow kParseRows[] = {
    {nullptr, S_OK, {}},
    {"", S_OK, {}},
    {"a.dll b.exe c.tlb", S_OK, {"a.dll", "b.exe", "c.tlb"}},
    {"a.dll b.exe ", S_OK, {"a.dll", "b.exe"}},
    {"a.dll  b.exe", S_OK, {"a.dll"}},
    {" a.dll b.exe", S_OK, {}},
    {"-a.dll ~b.dll -~c.dll ~-d.dll --e.dll", S_OK, {"-a.dll", "~b.dll", "-~c.dll", "~-d.dll", "--e.dll"}},
    {"\"Quillex Pro.dll\" ~\"x y\".ocx z.dll", S_OK, {"\"Quillex Pro.dll\"", "~\"x y\".ocx", "z.dll"}},
    {"a.dll \"b c.dll d.dll", E_INVALIDARG, {"a.dll", "\"b c.dll d.dll"}},
};

TEST(DllList, ParsesBlankSeparatedNamesWithQuotesAndStopsAtAnEmptyEntry) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win98);
    for (const auto& row : kParseRows) {
        const CDllList list(row.text, nullptr);
        const std::string what = row.text ? row.text : "(null)";
        EXPECT_EQ(row.result, list.Result()) << what;
        EXPECT_EQ(row.entries, Entries(list)) << what;
    }
}

TEST(DllList, AFailedListIsNotWalkedAndSetResultSticks) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    CDllList unterminated("a.dll \"b.dll", nullptr);
    EXPECT_EQ(E_INVALIDARG, unterminated.ProcessDLLs("C:\\Quillex"));
    EXPECT_EQ(E_INVALIDARG, unterminated.ProcessSystemDLLs());

    CDllList empty(nullptr, nullptr);
    EXPECT_EQ(S_OK, empty.ProcessDLLs("C:\\Quillex"));
    empty.SetResult(WM_CLEANUP_RESULT, E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, empty.ProcessSystemDLLs());
}

TEST(DllList, APathOverMaxPathMinusOneIsRefusedAndTheWalkGoesOn) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win98);
    cleanuptest::TraceOn(*machine);
    // "C:\DDD...D" + "\" + "y z.dll" (the quotes dropped): 259 characters fit the 260-byte buffer,
    // 260 do not. '~': scheduled only, never loaded.
    const std::string fits = "C:\\" + std::string(259 - 3 - 1 - 7, 'D');
    const std::string over = fits + "D";
    CDllList list("~\"y z.dll\" ~a.dll", nullptr);
    EXPECT_EQ(S_OK, list.ProcessDLLs(over.c_str()));
    EXPECT_EQ(S_OK, list.ProcessDLLs(fits.c_str()));
    const auto lines = tracetest::TraceLines();
    EXPECT_EQ(1u, cleanuptest::CountEndingWith(
                      lines,
                      "ProcessDLLs() " + over + "\\\"y z.dll\" is longer than MAX_PATH - 1 characters: not processed"));
    EXPECT_EQ(2u, cleanuptest::CountContaining(lines, "pDLLs=~\"y z.dll\", ps=\"y z.dll\", bRemove=1, bUnregister=0"));
    // a.dll twice, "y z.dll" once: each scheduling traces one line.
    EXPECT_EQ(3u, cleanuptest::CountContaining(lines, "ReplaceFileOnReboot() 95/98 Function"));
}

}  // namespace
