// The record cipher against a record worked out apart from this code (shared/trace_records.h): a
// wrong key word, byte order or shift in the writer shows as other bytes in the file.
#include "shared/trace_records.h"
#include "trace/trace_testing.h"

#include <string>

namespace {

class TraceCipherTest : public tracetest::TraceTest {};

// The reader's side of the same record is kvtrace's decoder test (tests/tools).
TEST_F(TraceCipherTest, TheWriterEnciphersEachRecordFromTheStart) {
    TraceOn({{"TraceEntryExit", 1}, {"PrintTime", 0}});
    Reload();
    tracetest::Say(kKnownMessage);
    tracetest::Say(kKnownMessage);
    const std::string bytes = *winsim::ReadWholeFile(tracetest::kTraceFile);
    const std::string known(reinterpret_cast<const char*>(kKnownRecord), sizeof kKnownRecord);
    // Header, entry line ">>>CleanUp()" CR LF (4 + 14 bytes), the message; then its exit line, the
    // next entry line, and the same message in the same bytes.
    const size_t first = 8 + 18;
    EXPECT_EQ(first, bytes.find(known));
    EXPECT_EQ(first + known.size() + 2 * 18, bytes.find(known, first + 1));
}

}  // namespace
