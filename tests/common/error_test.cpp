#include "kvisinst/common/error.h"
#include "kvisinst/common/strconv.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(Error, RaiseWin32ErrorAddsTheWin32FacilityOnlyWhenMissing) {
    struct Row {
        LONG status;
        HRESULT raised;
    } rows[] = {
        {5, static_cast<HRESULT>(0x80070005)},
        {static_cast<LONG>(0x80070057), static_cast<HRESULT>(0x80070057)},
        // Any facility bit makes the status an HRESULT already, even a positive one.
        {static_cast<LONG>(0x00012345), static_cast<HRESULT>(0x00012345)},
        // SetupAPI's own codes have no bits in the facility field: they count as Win32 codes.
        {static_cast<LONG>(0xE0000102), static_cast<HRESULT>(0x80070102)},
    };
    for (const auto& row : rows) {
        try {
            RaiseWin32Error(row.status);
            ADD_FAILURE() << "nothing raised for " << std::hex << row.status;
        } catch (const CWin32Error& e) {
            EXPECT_EQ(row.raised, e.Result()) << std::hex << "status " << row.status;
        }
    }
}

TEST(Error, CheckStatusRaisesFailuresAndTheBoundaryTurnsThemIntoResults) {
    EXPECT_NO_THROW(CheckStatus(0));
    // S_FALSE has no facility and so reads as Win32 code 1: callers that accept it test it first.
    EXPECT_EQ(static_cast<HRESULT>(0x80070001), HResultBoundary([] {
                  CheckStatus(S_FALSE);
                  return S_OK;
              }));
    EXPECT_NO_THROW(CheckStatus(static_cast<LONG>(0x00040000)));  // success HRESULT with a facility
    EXPECT_THROW(CheckStatus(ERROR_ACCESS_DENIED), CWin32Error);
    EXPECT_THROW(CheckStatus(E_NOINTERFACE), CWin32Error);
    // The boundary turns raised errors into results and everything else into E_UNEXPECTED.
    EXPECT_EQ(S_FALSE, HResultBoundary([] { return S_FALSE; }));
    EXPECT_EQ(E_UNEXPECTED, HResultBoundary([]() -> HRESULT { throw std::runtime_error("x"); }));
}

TEST(Error, RaiseLastErrorUsesTheThreadsLastErrorOrEFail) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(static_cast<HRESULT>(0x80070002), HResultBoundary([]() -> HRESULT { RaiseLastError(); }));
    SetLastError(0);
    EXPECT_EQ(E_FAIL, HResultBoundary([]() -> HRESULT { RaiseLastError(); }));
}
