// An INF file written to the temporary folder and opened with the system's SetupAPI, for the Windows
// tests.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <string>

// An INF file in the temporary folder, open through SetupOpenInfFileA for the object's lifetime and
// deleted afterwards.
class CTempInf {
public:
    explicit CTempInf(const std::string& sections) {
        char folder[MAX_PATH] = {};
        if (!GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "kvi", 0, path_)) {
            ADD_FAILURE() << "no temporary file name, error " << GetLastError();
            return;
        }
        const std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n" + sections;
        HANDLE file = CreateFileA(path_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (file == INVALID_HANDLE_VALUE ||
            !WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written != text.size())
            ADD_FAILURE() << "cannot write " << path_ << ", error " << GetLastError();
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        UINT errorLine = 0;
        inf_ = SetupOpenInfFileA(path_, nullptr, INF_STYLE_WIN4, &errorLine);
        if (inf_ == INVALID_HANDLE_VALUE)
            ADD_FAILURE() << "SetupOpenInfFileA failed at line " << errorLine << ", error " << GetLastError();
    }
    ~CTempInf() {
        if (inf_ != INVALID_HANDLE_VALUE) SetupCloseInfFile(inf_);
        if (path_[0] != '\0') DeleteFileA(path_);
    }
    CTempInf(const CTempInf&) = delete;
    CTempInf& operator=(const CTempInf&) = delete;

    HINF Handle() const { return inf_; }
    const char* Path() const { return path_; }

private:
    char path_[MAX_PATH] = {};
    HINF inf_ = INVALID_HANDLE_VALUE;
};
