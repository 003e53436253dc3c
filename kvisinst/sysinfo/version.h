// Version questions: the service pack of the running Windows, and whether the product's logon
// components carry release 1.0's product version in their version resources (the exports
// GetServicePackNumber and IsVer100, kvisinst/exports.h).
//
// GetServicePackNumber reads the number after "Service Pack" in the CSD version as the C library's
// atol reads decimals: leading white space, one optional sign, the digits up to the first other
// character; no digits give 0. A number beyond 32 bits saturates at 2147483647 (-2147483648 with a
// minus), as strtol does, where old runtimes' atol wraps it round to whatever its low 32 bits make: a
// plain "very large" is the better answer to a question about service packs, and it does not depend on
// which C runtime the DLL meets.
//
// A file whose version resource has no translation table is looked up in the string table of language
// 0x0409 (US English) and code page 1252, "040904e4": that is the pair a resource compiler writes when
// the script names none, and so the one such a file's only string table most likely carries.
#pragma once

#include "kvisinst/common/win32.h"

#include <memory>

// The version resource of one file.
class CFileVersion {
public:
    CFileVersion() = default;
    virtual ~CFileVersion() = default;
    CFileVersion(const CFileVersion&) = delete;
    CFileVersion& operator=(const CFileVersion&) = delete;

    // Reads the file's version resource (a bare name is found as the system finds libraries). TRUE
    // when it was read and its fixed part carries the signature 0xFEEF04BD; the data is kept until
    // Release or the next Load either way.
    BOOL Load(const char* fileName);
    // The named value of the string table for the file's first translation, pointing into the
    // version data (valid until Release or the next Load); null without data or such a value.
    const char* GetStringValue(const char* name) const;
    void Release() { data_.reset(); }

private:
    // Copy of the resource's root block; zero until loaded.
    VS_FIXEDFILEINFO fixed_ = {};
    std::unique_ptr<BYTE[]> data_;
    WORD language_ = 0x0409;
    WORD codePage_ = 1252;
};
