// What the service tests share: an INF file on the current machine, services put into its
// database, and what happened to them.
#pragma once

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/services.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace inftest {

inline constexpr char kInfPath[] = "C:\\Setup\\quillex.inf";

// The INF at kInfPath (its [Version] section added), open for the object's lifetime.
class CTestInf {
public:
    explicit CTestInf(const std::string& sections) {
        EXPECT_TRUE(
            winsim::WriteWholeFile(kInfPath, "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n" + sections));
        inf_ = SetupOpenInfFileA(kInfPath, nullptr, INF_STYLE_WIN4, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, inf_);
    }
    ~CTestInf() { SetupCloseInfFile(inf_); }
    CTestInf(const CTestInf&) = delete;
    CTestInf& operator=(const CTestInf&) = delete;
    HINF Handle() const { return inf_; }

private:
    HINF inf_;
};

// A service's program on the current machine's drive, which starting the service needs.
inline void PutProgram(const std::string& path) { EXPECT_TRUE(winsim::WriteWholeFile(path, "MZ")) << path; }

// An own-process service as the database holds it, its program laid out.
inline winsim::ServiceConfig Service(const std::string& name, std::vector<std::string> dependencies = {},
                                     DWORD startType = SERVICE_DEMAND_START) {
    winsim::ServiceConfig c;
    c.name = name;
    c.type = SERVICE_WIN32_OWN_PROCESS;
    c.startType = startType;
    c.imagePath = "C:\\Quillex\\" + name + ".exe";
    c.dependencies = std::move(dependencies);
    c.account = "LocalSystem";
    PutProgram(c.imagePath);
    return c;
}

// What happened to the services, as "started A", "stopped B", ...
inline std::vector<std::string> Events(const winsim::ServiceDatabase& db) {
    std::vector<std::string> lines;
    for (const auto& e : db.Events())
        lines.push_back(std::string(winsim::ServiceEventName(e.kind)) + " " + e.name);
    return lines;
}

}  // namespace inftest
