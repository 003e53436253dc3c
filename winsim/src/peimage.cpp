// Portable executable files: the version resource found in a file's bytes, and small DLL images with
// one built (peimage.h).
#include <winsim/peimage.h>

#include <cstdint>
#include <optional>

namespace winsim {

namespace {

constexpr DWORD kRtVersion = 16;
constexpr DWORD kHighBit = 0x80000000u;
constexpr size_t kSectionHeaderSize = 40;

// The bytes of a file, read little-endian; every read is checked by the caller through Has().
class Bytes {
public:
    Bytes(const unsigned char* data, size_t size) : data_(data), size_(size) {}
    bool Has(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
    WORD Word(size_t offset) const { return static_cast<WORD>(data_[offset] | (data_[offset + 1] << 8)); }
    DWORD Dword(size_t offset) const { return Word(offset) | (static_cast<DWORD>(Word(offset + 2)) << 16); }

private:
    const unsigned char* data_;
    size_t size_;
};

struct Section {
    DWORD virtualAddress;
    DWORD rawSize;
    DWORD rawOffset;
};

// Where `length` bytes at `rva` lie in the file: within one section's raw data, and within the file.
std::optional<size_t> FileOffset(const Bytes& bytes, const std::vector<Section>& sections, uint64_t rva,
                                 uint64_t length) {
    for (const Section& s : sections) {
        if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize) continue;
        const uint64_t into = rva - s.virtualAddress;
        if (length > s.rawSize - into) return std::nullopt;
        const uint64_t offset = s.rawOffset + into;
        if (!bytes.Has(offset, length)) return std::nullopt;
        return static_cast<size_t>(offset);
    }
    return std::nullopt;
}

// One level of the resource directory: its entries, read from the file.
struct DirectoryEntry {
    DWORD name;    // an ID, or the offset of a name string when the high bit is set
    DWORD target;  // a subdirectory when the high bit is set, else a data entry; relative to the root
};

std::optional<std::vector<DirectoryEntry>> ReadDirectory(const Bytes& bytes, const std::vector<Section>& sections,
                                                         uint64_t rva) {
    const auto header = FileOffset(bytes, sections, rva, 16);
    if (!header) return std::nullopt;
    const size_t count = static_cast<size_t>(bytes.Word(*header + 12)) + bytes.Word(*header + 14);
    const auto entries = FileOffset(bytes, sections, rva + 16, count * 8);
    if (!entries) return std::nullopt;
    std::vector<DirectoryEntry> result;
    for (size_t i = 0; i < count; ++i)
        result.push_back({bytes.Dword(*entries + i * 8), bytes.Dword(*entries + i * 8 + 4)});
    return result;
}

VersionLocation Status(VersionLookup status) {
    VersionLocation location;
    location.status = status;
    return location;
}

// Writes little-endian words into a growing image.
class Writer {
public:
    std::vector<unsigned char>& Out() { return out_; }
    size_t Size() const { return out_.size(); }
    void Word(WORD value) {
        out_.push_back(static_cast<unsigned char>(value));
        out_.push_back(static_cast<unsigned char>(value >> 8));
    }
    void Dword(DWORD value) {
        Word(static_cast<WORD>(value));
        Word(static_cast<WORD>(value >> 16));
    }
    void Text(std::string_view text) {
        for (char c : text) Word(static_cast<unsigned char>(c));
        Word(0);
    }
    void Align(size_t to) {
        while (out_.size() % to) out_.push_back(0);
    }
    void PatchWord(size_t at, WORD value) {
        out_[at] = static_cast<unsigned char>(value);
        out_[at + 1] = static_cast<unsigned char>(value >> 8);
    }
    void PatchDword(size_t at, DWORD value) {
        PatchWord(at, static_cast<WORD>(value));
        PatchWord(at + 2, static_cast<WORD>(value >> 16));
    }
    void PadTo(size_t size) { out_.resize(size, 0); }

    // A node of the version block: length (patched by End), value length, type, key; the value follows
    // at the next 4-byte boundary.
    size_t Begin(WORD valueLength, WORD type, std::string_view key) {
        Align(4);
        const size_t start = Size();
        Word(0);
        Word(valueLength);
        Word(type);
        Text(key);
        Align(4);
        return start;
    }
    void End(size_t start) { PatchWord(start, static_cast<WORD>(Size() - start)); }

private:
    std::vector<unsigned char> out_;
};

}  // namespace

VersionLocation FindVersionResource(const unsigned char* data, size_t size) {
    const Bytes bytes(data, size);
    if (!bytes.Has(0, 64) || data[0] != 'M' || data[1] != 'Z') return Status(VersionLookup::NotPe);
    const DWORD pe = bytes.Dword(0x3C);
    if (!bytes.Has(pe, 24)) return Status(VersionLookup::Damaged);
    if (data[pe] != 'P' || data[pe + 1] != 'E' || data[pe + 2] != 0 || data[pe + 3] != 0)
        return Status(VersionLookup::NotPe);
    const WORD sectionCount = bytes.Word(pe + 6);
    const WORD optionalSize = bytes.Word(pe + 20);
    const size_t optional = pe + 24;
    if (!bytes.Has(optional, optionalSize) || optionalSize < 2) return Status(VersionLookup::Damaged);
    size_t directoryCountAt = 0;
    switch (bytes.Word(optional)) {
        case 0x10B: directoryCountAt = 92; break;   // PE32
        case 0x20B: directoryCountAt = 108; break;  // PE32+
        default: return Status(VersionLookup::Damaged);
    }
    // The resource directory is the third data directory.
    const size_t resourceEntry = directoryCountAt + 4 + 2 * 8;
    if (optionalSize < directoryCountAt + 4) return Status(VersionLookup::Damaged);
    if (bytes.Dword(optional + directoryCountAt) < 3 || optionalSize < resourceEntry + 8)
        return Status(VersionLookup::NoResources);
    const DWORD resourceRva = bytes.Dword(optional + resourceEntry);
    if (resourceRva == 0 || bytes.Dword(optional + resourceEntry + 4) == 0)
        return Status(VersionLookup::NoResources);

    const uint64_t sectionTable = optional + optionalSize;
    if (!bytes.Has(sectionTable, uint64_t{sectionCount} * kSectionHeaderSize)) return Status(VersionLookup::Damaged);
    std::vector<Section> sections;
    for (size_t i = 0; i < sectionCount; ++i) {
        const size_t at = sectionTable + i * kSectionHeaderSize;
        sections.push_back({bytes.Dword(at + 12), bytes.Dword(at + 16), bytes.Dword(at + 20)});
    }

    const auto types = ReadDirectory(bytes, sections, resourceRva);
    if (!types) return Status(VersionLookup::Damaged);
    const DirectoryEntry* versionType = nullptr;
    for (const auto& entry : *types)
        if (!(entry.name & kHighBit) && entry.name == kRtVersion) versionType = &entry;
    if (!versionType) return Status(VersionLookup::NoVersionType);
    if (!(versionType->target & kHighBit)) return Status(VersionLookup::Damaged);

    const auto names = ReadDirectory(bytes, sections, uint64_t{resourceRva} + (versionType->target & ~kHighBit));
    if (!names) return Status(VersionLookup::Damaged);
    if (names->empty()) return Status(VersionLookup::NoVersionName);
    if (!(names->front().target & kHighBit)) return Status(VersionLookup::Damaged);

    const auto languages = ReadDirectory(bytes, sections, uint64_t{resourceRva} + (names->front().target & ~kHighBit));
    if (!languages) return Status(VersionLookup::Damaged);
    if (languages->empty()) return Status(VersionLookup::NoLanguage);
    if (languages->front().target & kHighBit) return Status(VersionLookup::Damaged);

    const auto dataEntry = FileOffset(bytes, sections, uint64_t{resourceRva} + languages->front().target, 16);
    if (!dataEntry) return Status(VersionLookup::Damaged);
    const DWORD dataSize = bytes.Dword(*dataEntry + 4);
    const auto block = FileOffset(bytes, sections, bytes.Dword(*dataEntry), dataSize);
    // The block must hold at least its own header, and claim no more than the resource holds.
    if (!block || dataSize < 6) return Status(VersionLookup::Damaged);
    const WORD blockLength = bytes.Word(*block);
    if (blockLength < 6 || blockLength > dataSize) return Status(VersionLookup::Damaged);
    VersionLocation found;
    found.status = VersionLookup::Found;
    found.offset = *block;
    found.size = blockLength;
    return found;
}

std::vector<unsigned char> BuildVersionBlock(const VersionResourceFields& fields) {
    Writer w;
    const size_t root = w.Begin(13 * 4, 0, "VS_VERSION_INFO");
    for (DWORD word : {DWORD{0xFEEF04BD}, DWORD{0x00010000}, fields.fileVersionMS, fields.fileVersionLS,
                       fields.productVersionMS, fields.productVersionLS, DWORD{0x3F}, DWORD{0}, DWORD{0x00040004},
                       DWORD{2}, DWORD{0}, DWORD{0}, DWORD{0}})
        w.Dword(word);
    if (!fields.strings.empty()) {
        const size_t fileInfo = w.Begin(0, 1, "StringFileInfo");
        static const char kHex[] = "0123456789abcdef";
        std::string tableKey;
        for (int shift = 28; shift >= 0; shift -= 4)
            tableKey += kHex[((static_cast<DWORD>(fields.language) << 16 | fields.codePage) >> shift) & 0xF];
        const size_t table = w.Begin(0, 1, tableKey);
        for (const auto& [name, value] : fields.strings) {
            const size_t entry = w.Begin(static_cast<WORD>(value.size() + 1), 1, name);
            w.Text(value);
            w.End(entry);
        }
        w.End(table);
        w.End(fileInfo);
    }
    if (fields.translation) {
        const size_t varInfo = w.Begin(0, 1, "VarFileInfo");
        const size_t translation = w.Begin(4, 0, "Translation");
        w.Word(fields.language);
        w.Word(fields.codePage);
        w.End(translation);
        w.End(varInfo);
    }
    w.End(root);
    return std::move(w.Out());
}

std::vector<unsigned char> BuildPeImage(const std::vector<unsigned char>& resourceBlock, bool pe32Plus, WORD language) {
    constexpr DWORD kFileAlign = 0x200, kSectionRva = 0x1000, kBlockAt = 0x58;
    const bool withResources = !resourceBlock.empty();
    const DWORD resourceSize = withResources ? kBlockAt + static_cast<DWORD>(resourceBlock.size()) : 0;
    const DWORD rawSize = (resourceSize + kFileAlign - 1) / kFileAlign * kFileAlign;
    const WORD optionalSize = pe32Plus ? 240 : 224;

    Writer w;
    w.Word(0x5A4D);  // "MZ"
    w.PadTo(0x3C);
    w.Dword(0x40);
    w.Dword(0x00004550);  // "PE\0\0"
    w.Word(pe32Plus ? 0x8664 : 0x14C);
    w.Word(withResources ? 1 : 0);
    w.Dword(0);
    w.Dword(0);
    w.Dword(0);
    w.Word(optionalSize);
    w.Word(pe32Plus ? 0x2022 : 0x2102);  // executable DLL; large-address-aware or 32-bit machine
    const size_t optional = w.Size();
    w.PadTo(optional + optionalSize);
    w.PatchWord(optional, pe32Plus ? 0x20B : 0x10B);
    const size_t field = pe32Plus ? 4 : 0;  // PE32+ has no BaseOfData and an 8-byte image base
    if (pe32Plus) {
        w.PatchDword(optional + 24, 0x80000000u);
        w.PatchDword(optional + 28, 0x1);
    } else {
        w.PatchDword(optional + 28, 0x10000000u);
    }
    w.PatchDword(optional + 32, 0x1000);  // section alignment
    w.PatchDword(optional + 36, kFileAlign);
    w.PatchWord(optional + 40, 4);  // operating system 4.0
    w.PatchWord(optional + 48, 4);  // subsystem 4.0
    w.PatchDword(optional + 56, kSectionRva + (resourceSize + 0xFFF) / 0x1000 * 0x1000);
    w.PatchDword(optional + 60, kFileAlign);
    w.PatchWord(optional + 68, 2);  // Windows GUI
    const size_t directories = optional + 96 + field * 4;
    w.PatchDword(directories - 4, 16);
    if (withResources) {
        w.PatchDword(directories + 16, kSectionRva);
        w.PatchDword(directories + 20, resourceSize);
        const size_t section = w.Size();
        w.PadTo(section + kSectionHeaderSize);
        for (int i = 0; i < 5; ++i) w.Out()[section + i] = static_cast<unsigned char>(".rsrc"[i]);
        w.PatchDword(section + 8, resourceSize);
        w.PatchDword(section + 12, kSectionRva);
        w.PatchDword(section + 16, rawSize);
        w.PatchDword(section + 20, kFileAlign);
        w.PatchDword(section + 36, 0x40000040);  // initialised data, readable
    }
    w.PadTo(kFileAlign);
    if (!withResources) return std::move(w.Out());

    // Three directory levels of one entry each (type 16, name 1, the language), the data entry, the block.
    const DWORD levels[][2] = {{kRtVersion, kHighBit | 0x18}, {1, kHighBit | 0x30}, {language, 0x48}};
    for (const auto& level : levels) {
        w.PadTo(w.Size() + 14);
        w.Word(1);
        w.Dword(level[0]);
        w.Dword(level[1]);
    }
    w.Dword(kSectionRva + kBlockAt);
    w.Dword(static_cast<DWORD>(resourceBlock.size()));
    w.Dword(0);
    w.Dword(0);
    w.Out().insert(w.Out().end(), resourceBlock.begin(), resourceBlock.end());
    w.PadTo(kFileAlign + rawSize);
    return std::move(w.Out());
}

}  // namespace winsim
