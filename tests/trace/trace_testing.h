// What the trace tests share: a machine with the library freshly loaded on it, the Tracing key's
// values, and the trace file read back line by line.
#pragma once

#include "kvisinst/trace/cipher.h"
#include "kvisinst/trace/trace.h"
#include "kvisinst/trace/traceformat.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tracetest {

inline constexpr char kTracingKey[] = "SOFTWARE\\Korvane\\Tracing";
inline constexpr char kTraceFile[] = "C:\\trace.bin";

struct Setting {
    const char* name;
    DWORD value;
};

// Sets a value of the Tracing key, or of one of its name lists ("Functions", "Components", ...).
inline void SetValue(const char* name, DWORD type, const void* data, DWORD size, const std::string& list = "") {
    const std::string path = list.empty() ? std::string(kTracingKey) : std::string(kTracingKey) + "\\" + list;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size)) << name;
    RegCloseKey(key);
}

inline void SetDword(const char* name, DWORD value, const std::string& list = "") {
    SetValue(name, REG_DWORD, &value, sizeof value, list);
}

inline void SetString(const char* name, const std::string& text) {
    SetValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

struct TraceFileContents {
    bool header = false;
    std::vector<std::string> lines;    // each without its CR LF
    std::vector<uint32_t> lengths;     // each record's length field
    std::vector<std::string> records;  // each record's enciphered bytes
    bool whole = true;                 // no bytes left over after the last record
};

// Reads a trace file with the cipher, independently of kvtrace.
inline std::optional<TraceFileContents> ReadTraceFile(const std::string& path = kTraceFile) {
    auto bytes = winsim::ReadWholeFile(path);
    if (!bytes) return std::nullopt;
    TraceFileContents contents;
    contents.header = bytes->compare(0, kTraceFileHeaderSize, kTraceFileHeader) == 0;
    size_t at = contents.header ? kTraceFileHeaderSize : 0;
    while (bytes->size() - at >= 4) {
        const uint32_t length = LoadLe32(reinterpret_cast<const unsigned char*>(bytes->data() + at));
        if (length > kTraceRecordMax || bytes->size() - at - 4 < length) break;
        std::string record = bytes->substr(at + 4, length);
        contents.lengths.push_back(length);
        contents.records.push_back(record);
        DecipherTraceRecord(reinterpret_cast<unsigned char*>(&record[0]), record.size());
        if (record.size() >= 2 && record.compare(record.size() - 2, 2, "\r\n") == 0) record.resize(record.size() - 2);
        contents.lines.push_back(record);
        at += 4 + length;
    }
    contents.whole = at == bytes->size();
    return contents;
}

inline std::vector<std::string> TraceLines(const std::string& path = kTraceFile) {
    auto contents = ReadTraceFile(path);
    return contents ? contents->lines : std::vector<std::string>{};
}

// One traced message from a scope named CleanUp.
inline void Say(const char* text) {
    TraceScope scope("CleanUp");
    TraceMessage(scope, nullptr, "%s", text);
}

// A machine with the library attached to it, its clock at 10:41:07.250, and the trace going to
// C:\trace.bin unless a test says otherwise.
class TraceTest : public ::testing::Test {
protected:
    static constexpr uint64_t kMorning = ((10 * 60 + 41) * 60 + 7) * 1000 + 250;

    void SetUp() override { machine_->Advance(kMorning); }

    // A fresh Tracing key (name lists included) and no trace file, then tracing on to the test's
    // file with the given further settings.
    void TraceOn(std::initializer_list<Setting> settings = {}) {
        HKEY tracing = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTracingKey, 0, KEY_ALL_ACCESS, &tracing) == ERROR_SUCCESS) {
            for (const char* list : {"Functions", "FunctionsNOT", "Keywords", "Components", "ComponentsNOT"})
                RegDeleteKeyA(tracing, list);
            RegCloseKey(tracing);
        }
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTracingKey);
        if (auto host = winsim::HostPath(kTraceFile)) std::remove(host->c_str());
        SetDword("DoTrace", 1);
        SetString("FileName", kTraceFile);
        for (const auto& s : settings) SetDword(s.name, s.value);
    }

    // Unloads the library and loads it again, as a new process would.
    void Reload() {
        winsim::SetCurrent(nullptr);
        winsim::SetCurrent(&*machine_);
    }

    winsim::ScopedMachine machine_{winsim::OsVersion::Win2000};
};

}  // namespace tracetest
