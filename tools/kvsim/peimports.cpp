// PE/COFF import tables, from the format's documentation: the MS-DOS stub's e_lfanew leads to the
// "PE\0\0" signature, the COFF file header and the optional header (PE32 or PE32+), whose data
// directories give the import table (1), the bound import table (11) and the delay-load table (13) as
// RVAs; the section table maps an RVA to a file offset.
#include "tools/kvsim/peimports.h"

#include <cstring>

namespace kvsim {

namespace {

// Limits that no real image reaches; they keep a damaged table from running for ever.
constexpr std::size_t kMaxDlls = 4096;
constexpr std::size_t kMaxFunctionsPerDll = 65536;
constexpr std::size_t kMaxName = 4096;

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint16_t kImageFileDll = 0x2000;
constexpr unsigned kImportDirectory = 1;
constexpr unsigned kBoundImportDirectory = 11;
constexpr unsigned kDelayImportDirectory = 13;

class CImage {
public:
    CImage(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Read16(std::size_t offset, std::uint16_t* value) const {
        if (!Has(offset, 2)) return false;
        *value = static_cast<std::uint16_t>(data_[offset] | data_[offset + 1] << 8);
        return true;
    }
    bool Read32(std::size_t offset, std::uint32_t* value) const {
        if (!Has(offset, 4)) return false;
        *value = static_cast<std::uint32_t>(data_[offset]) | static_cast<std::uint32_t>(data_[offset + 1]) << 8 |
                 static_cast<std::uint32_t>(data_[offset + 2]) << 16 |
                 static_cast<std::uint32_t>(data_[offset + 3]) << 24;
        return true;
    }
    bool Read64(std::size_t offset, std::uint64_t* value) const {
        std::uint32_t low = 0, high = 0;
        if (!Read32(offset, &low) || !Read32(offset + 4, &high)) return false;
        *value = static_cast<std::uint64_t>(high) << 32 | low;
        return true;
    }
    // A zero-terminated name that ends inside the file and inside kMaxName.
    bool ReadName(std::size_t offset, std::string* name) const {
        if (offset >= size_) return false;
        const std::size_t limit = size_ - offset < kMaxName ? size_ - offset : kMaxName;
        const void* end = std::memchr(data_ + offset, 0, limit);
        if (!end) return false;
        name->assign(reinterpret_cast<const char*>(data_ + offset),
                     static_cast<const std::uint8_t*>(end) - (data_ + offset));
        return true;
    }
    bool Has(std::size_t offset, std::size_t length) const { return offset <= size_ && length <= size_ - offset; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

struct CSection {
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawOffset;
    std::uint32_t rawSize;
};

class CReader {
public:
    CReader(const CImage& image, std::string* error) : image_(image), error_(error) {}

    bool Fail(const std::string& reason) {
        *error_ = reason;
        return false;
    }

    bool ReadHeaders(CPeImports* imports) {
        std::uint16_t mz = 0;
        std::uint32_t peOffset = 0;
        if (!image_.Read16(0, &mz) || mz != 0x5A4D) return Fail("not a PE image (no MZ header)");
        if (!image_.Read32(0x3C, &peOffset)) return Fail("not a PE image (truncated MZ header)");
        std::uint32_t signature = 0;
        if (!image_.Read32(peOffset, &signature) || signature != 0x00004550)
            return Fail("not a PE image (no PE signature where the MZ header points)");
        const std::size_t coff = static_cast<std::size_t>(peOffset) + 4;
        std::uint16_t sectionCount = 0, optionalSize = 0, characteristics = 0;
        if (!image_.Read16(coff, &imports->machine) || !image_.Read16(coff + 2, &sectionCount) ||
            !image_.Read16(coff + 16, &optionalSize) || !image_.Read16(coff + 18, &characteristics))
            return Fail("truncated COFF file header");
        imports->isDll = (characteristics & kImageFileDll) != 0;
        const std::size_t optional = coff + 20;
        std::uint16_t magic = 0;
        if (!image_.Read16(optional, &magic)) return Fail("truncated optional header");
        if (magic != kPe32Magic && magic != kPe32PlusMagic) return Fail("unknown optional header magic");
        imports->pe32Plus = magic == kPe32PlusMagic;
        pe32Plus_ = imports->pe32Plus;
        if (!image_.Read16(optional + 48, &imports->subsystemMajor) ||
            !image_.Read16(optional + 50, &imports->subsystemMinor))
            return Fail("truncated optional header");
        if (pe32Plus_) {
            if (!image_.Read64(optional + 24, &imageBase_)) return Fail("truncated optional header");
        } else {
            std::uint32_t base = 0;
            if (!image_.Read32(optional + 28, &base)) return Fail("truncated optional header");
            imageBase_ = base;
        }
        if (!image_.Read32(optional + 60, &headersSize_)) return Fail("truncated optional header");
        const std::size_t countOffset = optional + (pe32Plus_ ? 108 : 92);
        std::uint32_t directoryCount = 0;
        if (!image_.Read32(countOffset, &directoryCount)) return Fail("truncated optional header");
        for (unsigned i = 0; i < 16; ++i) {
            directories_[i][0] = directories_[i][1] = 0;
            if (i >= directoryCount) continue;
            const std::size_t entry = countOffset + 4 + i * 8;
            // A directory past the declared optional header does not exist.
            if (entry + 8 > optional + optionalSize) continue;
            if (!image_.Read32(entry, &directories_[i][0]) || !image_.Read32(entry + 4, &directories_[i][1]))
                return Fail("truncated data directories");
        }
        const std::size_t table = optional + optionalSize;
        for (std::uint16_t i = 0; i < sectionCount; ++i) {
            const std::size_t header = table + static_cast<std::size_t>(i) * 40;
            CSection section{};
            if (!image_.Read32(header + 8, &section.virtualSize) || !image_.Read32(header + 12, &section.virtualAddress) ||
                !image_.Read32(header + 16, &section.rawSize) || !image_.Read32(header + 20, &section.rawOffset))
                return Fail("truncated section table");
            sections_.push_back(section);
        }
        return true;
    }

    // The file offset of an RVA whose bytes lie in the file (not in a section's zero-filled tail).
    bool Offset(std::uint64_t rva, std::size_t* offset) const {
        if (rva < headersSize_ && image_.Has(static_cast<std::size_t>(rva), 1)) {
            *offset = static_cast<std::size_t>(rva);
            return true;
        }
        for (const CSection& s : sections_) {
            const std::uint64_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
            if (rva < s.virtualAddress || rva >= static_cast<std::uint64_t>(s.virtualAddress) + span) continue;
            const std::uint64_t delta = rva - s.virtualAddress;
            if (delta >= s.rawSize) return false;
            const std::uint64_t at = static_cast<std::uint64_t>(s.rawOffset) + delta;
            if (!image_.Has(static_cast<std::size_t>(at), 1) || at != static_cast<std::size_t>(at)) return false;
            *offset = static_cast<std::size_t>(at);
            return true;
        }
        return false;
    }

    bool Name(std::uint64_t rva, std::string* name, const char* what) {
        std::size_t offset = 0;
        if (!Offset(rva, &offset) || !image_.ReadName(offset, name))
            return Fail(std::string(what) + " points outside the file or is not terminated");
        return true;
    }

    // One lookup table: entries until a zero entry; by ordinal when the top bit is set.
    bool Thunks(std::uint64_t rva, CPeImportedDll* dll) {
        const std::size_t width = pe32Plus_ ? 8 : 4;
        std::size_t offset = 0;
        if (!Offset(rva, &offset)) return Fail("the lookup table of " + dll->name + " points outside the file");
        for (std::size_t i = 0;; ++i) {
            if (i == kMaxFunctionsPerDll) return Fail("the lookup table of " + dll->name + " has no end");
            std::uint64_t entry = 0;
            if (pe32Plus_) {
                if (!image_.Read64(offset + i * width, &entry))
                    return Fail("the lookup table of " + dll->name + " runs past the file");
            } else {
                std::uint32_t entry32 = 0;
                if (!image_.Read32(offset + i * width, &entry32))
                    return Fail("the lookup table of " + dll->name + " runs past the file");
                entry = entry32;
            }
            if (entry == 0) return true;
            const std::uint64_t ordinalFlag = pe32Plus_ ? 0x8000000000000000ull : 0x80000000ull;
            CPeImport function{};
            if (entry & ordinalFlag) {
                function.byOrdinal = true;
                function.ordinal = static_cast<std::uint16_t>(entry & 0xFFFF);
            } else {
                std::size_t hintOffset = 0;
                // A hint/name entry is a 31-bit RVA: the hint, then the name.
                if (!Offset(entry & 0x7FFFFFFF, &hintOffset) || !image_.Read16(hintOffset, &function.ordinal) ||
                    !image_.ReadName(hintOffset + 2, &function.name))
                    return Fail("an import name of " + dll->name + " points outside the file");
            }
            dll->functions.push_back(function);
        }
    }

    bool ReadImportDirectory(CPeImports* imports) {
        const std::uint32_t rva = directories_[kImportDirectory][0];
        if (rva == 0) return true;
        std::size_t offset = 0;
        if (!Offset(rva, &offset)) return Fail("the import directory points outside the file");
        for (std::size_t i = 0;; ++i) {
            if (i == kMaxDlls) return Fail("the import directory has no end");
            const std::size_t entry = offset + i * 20;
            std::uint32_t lookup = 0, nameRva = 0, addresses = 0;
            if (!image_.Read32(entry, &lookup) || !image_.Read32(entry + 12, &nameRva) ||
                !image_.Read32(entry + 16, &addresses))
                return Fail("the import directory runs past the file");
            if (lookup == 0 && nameRva == 0 && addresses == 0) return true;
            CPeImportedDll dll;
            if (!Name(nameRva, &dll.name, "an imported DLL's name")) return false;
            // Old linkers leave the lookup table out; the address table then holds the same entries.
            if (!Thunks(lookup ? lookup : addresses, &dll)) return false;
            imports->dlls.push_back(std::move(dll));
        }
    }

    bool ReadDelayDirectory(CPeImports* imports) {
        const std::uint32_t rva = directories_[kDelayImportDirectory][0];
        if (rva == 0) return true;
        std::size_t offset = 0;
        if (!Offset(rva, &offset)) return Fail("the delay-load directory points outside the file");
        for (std::size_t i = 0;; ++i) {
            if (i == kMaxDlls) return Fail("the delay-load directory has no end");
            const std::size_t entry = offset + i * 32;
            std::uint32_t attributes = 0, nameRva = 0, nameTable = 0;
            if (!image_.Read32(entry, &attributes) || !image_.Read32(entry + 4, &nameRva) ||
                !image_.Read32(entry + 16, &nameTable))
                return Fail("the delay-load directory runs past the file");
            if (nameRva == 0) return true;
            // Attribute bit 0 clear: the old form, whose pointers are addresses, not RVAs.
            const std::uint64_t bias = (attributes & 1) ? 0 : imageBase_;
            if (nameRva < bias || (nameTable != 0 && nameTable < bias))
                return Fail("the delay-load directory holds an address below the image base");
            CPeImportedDll dll;
            if (!Name(nameRva - bias, &dll.name, "a delay-loaded DLL's name")) return false;
            if (nameTable != 0 && !Thunks(nameTable - bias, &dll)) return false;
            imports->delayLoaded.push_back(std::move(dll));
        }
    }

    // The bound import directory lies in the headers; its names are offsets from its own start.
    bool ReadBoundDirectory(CPeImports* imports) {
        const std::uint32_t start = directories_[kBoundImportDirectory][0];
        if (start == 0) return true;
        std::size_t at = start;
        for (std::size_t i = 0;; ++i) {
            if (i == kMaxDlls) return Fail("the bound import directory has no end");
            std::uint32_t stamp = 0;
            std::uint16_t nameOffset = 0, forwarders = 0;
            if (!image_.Read32(at, &stamp) || !image_.Read16(at + 4, &nameOffset) || !image_.Read16(at + 6, &forwarders))
                return Fail("the bound import directory runs past the file");
            if (stamp == 0 && nameOffset == 0) return true;
            std::string name;
            if (!image_.ReadName(static_cast<std::size_t>(start) + nameOffset, &name))
                return Fail("a bound import name points outside the file");
            imports->bound.push_back(name);
            at += 8 + static_cast<std::size_t>(forwarders) * 8;
        }
    }

private:
    const CImage& image_;
    std::string* error_;
    bool pe32Plus_ = false;
    std::uint64_t imageBase_ = 0;
    std::uint32_t headersSize_ = 0;
    std::uint32_t directories_[16][2] = {};
    std::vector<CSection> sections_;
};

}  // namespace

bool ReadPeImports(const std::uint8_t* data, std::size_t size, CPeImports* imports, std::string* error) {
    *imports = CPeImports();
    const CImage image(data, size);
    CReader reader(image, error);
    return reader.ReadHeaders(imports) && reader.ReadImportDirectory(imports) && reader.ReadDelayDirectory(imports) &&
           reader.ReadBoundDirectory(imports);
}

}  // namespace kvsim
