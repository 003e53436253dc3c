// kvsim imports: the loader's verdict for each Windows version on a DLL's import table, from small
// PE images made here and from the built product DLL.
#include "program_testing.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

using programtest::Outcome;

struct Import {
    std::string dll;
    std::vector<std::string> functions;  // "#N" imports ordinal N
};

void Put16(std::string& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// A 32-bit DLL with one section (RVA 0x1000, file offset 0x200) that holds its import directory.
std::string MakeDll(const std::vector<Import>& imports) {
    constexpr std::uint32_t kRva = 0x1000, kRaw = 0x200;
    std::string section((imports.size() + 1) * 20, '\0');
    for (std::size_t d = 0; d < imports.size(); ++d) {
        std::vector<std::uint32_t> thunks;
        for (const std::string& f : imports[d].functions) {
            if (f[0] == '#') {
                thunks.push_back(0x80000000u | static_cast<std::uint32_t>(std::stoul(f.substr(1))));
                continue;
            }
            thunks.push_back(kRva + static_cast<std::uint32_t>(section.size()));
            section += std::string(2, '\0') + f + '\0';
            if (section.size() % 2) section += '\0';
        }
        const std::uint32_t name = kRva + static_cast<std::uint32_t>(section.size());
        section += imports[d].dll + '\0';
        while (section.size() % 4) section += '\0';
        const std::uint32_t lookup = kRva + static_cast<std::uint32_t>(section.size());
        for (std::uint32_t t : thunks) {
            section += std::string(4, '\0');
            Put32(section, section.size() - 4, t);
        }
        section += std::string(4, '\0');
        Put32(section, d * 20, lookup);
        Put32(section, d * 20 + 12, name);
        Put32(section, d * 20 + 16, lookup);
    }
    while (section.size() % 0x200) section += '\0';

    std::string image(kRaw, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, 0x40);
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    const std::size_t coff = 0x44, opt = coff + 20;
    Put16(image, coff, 0x14C);      // i386
    Put16(image, coff + 2, 1);      // one section
    Put16(image, coff + 16, 224);   // optional header size
    Put16(image, coff + 18, 0x2102);  // DLL, 32-bit, executable
    Put16(image, opt, 0x10B);
    Put32(image, opt + 28, 0x10000000);
    Put32(image, opt + 32, 0x1000);
    Put32(image, opt + 36, 0x200);
    Put16(image, opt + 48, 4);
    Put32(image, opt + 56, kRva + static_cast<std::uint32_t>(section.size()));
    Put32(image, opt + 60, kRaw);
    Put16(image, opt + 68, 2);
    Put32(image, opt + 92, 16);
    Put32(image, opt + 96 + 8, kRva);  // the import directory
    Put32(image, opt + 96 + 12, static_cast<std::uint32_t>((imports.size() + 1) * 20));
    const std::size_t header = opt + 224;
    image.replace(header, 6, ".idata");
    Put32(image, header + 8, static_cast<std::uint32_t>(section.size()));
    Put32(image, header + 12, kRva);
    Put32(image, header + 16, static_cast<std::uint32_t>(section.size()));
    Put32(image, header + 20, kRaw);
    return image + section;
}

class KvsimImports : public programtest::ProgramTest {
protected:
    Outcome Judge(const std::string& bytes) { return RunProgram(KVSIM_EXE, {"imports", Write("t.dll", bytes)}); }
};

TEST_F(KvsimImports, EachVersionSaysWhetherTheDllLoadsAndWhatIsMissing) {
    const struct {
        std::vector<Import> imports;
        int status;
        std::vector<std::string> texts;
    } rows[] = {
        // Everything present; SetupAPI is something a Windows 95 machine must have first.
        {{{"KERNEL32.dll", {"CloseHandle", "GetModuleHandleW"}}, {"SETUPAPI.dll", {"SetupOpenInfFileA"}},
          {"crtdll.dll", {"malloc"}}},
         0,
         {"Windows 95    loads once the machine has what the README requires", "requires: SETUPAPI.dll",
          "stubs (exported, fail when called): KERNEL32.dll!GetModuleHandleW", "Windows NT 4  loads\n"}},
        // An NT-only function: 95 and 98 do not load the DLL, NT 4 and 2000 do.
        {{{"KERNEL32.dll", {"TryEnterCriticalSection"}}},
         5,
         {"Windows 95    does not load\n    missing: KERNEL32.dll!TryEnterCriticalSection",
          "Windows 98    does not load", "Windows NT 4  loads", "Windows 2000  loads"}},
        {{{"SHELL32.dll", {"SHGetSpecialFolderPathA"}}}, 5, {"Windows 98    loads", "Windows NT 4  does not load"}},
        // What the library must load by name.
        {{{"cfgmgr32.dll", {"CM_Locate_DevNodeA"}}}, 5, {"denied import cfgmgr32.dll: ", "unreviewed import cfgmgr32.dll"}},
        {{{"KERNEL32.dll", {"IsDebuggerPresent"}}}, 5, {"denied import KERNEL32.dll!IsDebuggerPresent: "}},
        {{{"msvcrt.dll", {"malloc"}}}, 5, {"denied import msvcrt.dll: "}},
        // Nobody has checked these yet.
        {{{"KERNEL32.dll", {"CloseHandle", "GetDiskFreeSpaceExA"}}},
         5,
         {"unreviewed import KERNEL32.dll!GetDiskFreeSpaceExA", "Windows 2000  unknown: 1 unreviewed imports"}},
        {{{"USER32.dll", {"#42"}}}, 5, {"unreviewed import USER32.dll ordinal 42 (imported by ordinal)"}},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Outcome o = Judge(MakeDll(rows[i].imports));
        EXPECT_EQ(rows[i].status, o.status) << "row " << i << ": " << o.out << o.err;
        for (const std::string& text : rows[i].texts)
            EXPECT_NE(std::string::npos, o.out.find(text)) << "row " << i << ": " << text << "\nin:\n" << o.out;
    }
}

// Damaged images are refused with status 3, never read past: every cut of a valid image, and an
// import directory or name that points outside the file.
TEST_F(KvsimImports, DamagedImagesAreRefused) {
    const std::string good = MakeDll({{"KERNEL32.dll", {"CloseHandle", "Sleep"}}});
    ASSERT_EQ(0, Judge(good).status);
    for (std::size_t cut : {0u, 1u, 0x3Fu, 0x44u, 0x100u, 0x1FFu, 0x210u, 0x23Fu}) {
        const Outcome o = Judge(good.substr(0, cut));
        EXPECT_EQ(3, o.status) << "cut at " << cut << ": " << o.out;
    }
    std::string farDirectory = good;
    Put32(farDirectory, 0x58 + 96 + 8, 0x7FFFFFF0);
    std::string farName = good;
    Put32(farName, 0x200 + 12, 0x00FFFFFF);
    std::string noEnd = good;
    noEnd.replace(good.size() - 0x200 + 0x28, std::string::npos, std::string(0x200 - 0x28, 'A'));
    for (const std::string& bad : {farDirectory, farName, noEnd}) {
        const Outcome o = Judge(bad);
        EXPECT_EQ(3, o.status) << o.out;
        EXPECT_NE(std::string::npos, o.err.find("outside the file")) << o.err;
    }
}

TEST_F(KvsimImports, TheBuiltProductLoadsOnEveryVersion) {
    const std::string dll = std::string(KVSIM_EXAMPLES) + "/../build/win32/KVISINST.DLL";
    if (!std::filesystem::exists(dll)) GTEST_SKIP() << dll << " not built (cmake --preset win32)";
    const Outcome o = RunProgram(KVSIM_EXE, {"imports", dll});
    EXPECT_EQ(0, o.status) << o.out << o.err;
    EXPECT_EQ(std::string::npos, o.out.find("does not load")) << o.out;
}

}  // namespace
