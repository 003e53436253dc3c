// What the trace tests share: a machine with the library freshly loaded on it, the Tracing key's
// values, and the trace file read back line by line.
#pragma once

#include "kvisinst/trace/trace.h"
#include "shared/trace_records.h"

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

// The trace file read back, or nothing when there is none.
inline std::optional<TraceRecords> ReadTraceFile(const std::string& path = kTraceFile) {
    auto bytes = winsim::ReadWholeFile(path);
    if (!bytes) return std::nullopt;
    return ReadTraceRecords(*bytes);
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
